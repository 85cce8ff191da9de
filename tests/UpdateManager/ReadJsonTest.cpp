#include "UpdateManager/ReadJson.h"

#include "tests/support/TempDir.h"

#include <boost/property_tree/json_parser.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace Kelvora::UpdateManager;
namespace pt = boost::property_tree;

std::string Nested(int depth)
{
    return std::string(static_cast<size_t>(depth), '[') + std::string(static_cast<size_t>(depth), ']');
}

// What the reader makes of a text: empty when it accepts it, else the error's text.
std::string Refusal(const std::string& text)
{
    pt::ptree tree;
    tree.put("before", "kept");
    try {
        ReadJson(text, tree);
        return std::string();
    } catch (const pt::json_parser_error& error) {
        EXPECT_EQ(tree.get<std::string>("before", ""), "kept") << "a refused document changes nothing";
        return error.what();
    }
}

TEST(ReadJsonTest, RefusesOnlyWhatExceedsItsLimits)
{
    struct Case
    {
        const char* name;
        std::string text;
        bool accepted;
    };
    const std::string atSizeLimit = "\"" + std::string(maxJsonDocumentSize - 2, 'x') + "\"";
    const Case cases[] = {
        {"at the depth limit", Nested(maxJsonDepth), true},
        {"one level deeper", Nested(maxJsonDepth + 1), false},
        {"objects count like arrays", std::string(maxJsonDepth + 1, '{'), false},
        {"brackets inside strings do not nest", "[\"" + std::string(1000, '[') + "\\\"[\"]", true},
        {"closing brackets cannot lower the count below zero", "]]]]" + Nested(maxJsonDepth + 1), false},
        {"at the size limit", atSizeLimit, true},
        {"one byte larger", atSizeLimit + " ", false},
        {"invalid JSON keeps boost's error", "{\"a\": ", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Refusal(c.text).empty(), c.accepted) << c.name;
    EXPECT_NE(Refusal(Nested(100000)).find("nested deeper than 256 levels"), std::string::npos);
}

TEST(ReadJsonTest, ReadsOnlyRegularFiles)
{
    TempDir dir;
    const std::string good = dir.WriteFile("good.json", "{\"size\": \"5\"}").string();
    const std::string fifo = dir.String() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir.WriteFile("huge.json", std::string(maxJsonDocumentSize + 1, ' ')).string();

    pt::ptree tree;
    ReadJsonFile(good, tree);
    EXPECT_EQ(tree.get<int>("size"), 5);
    for (const std::string& path : {dir.String(), fifo, std::string("/dev/zero"), huge, dir.String() + "/missing"}) {
        pt::ptree refused;
        EXPECT_THROW(ReadJsonFile(path, refused), pt::json_parser_error) << path;
        EXPECT_TRUE(refused.empty()) << path;
    }
}

} // namespace
