#include "UpdateManager/ResourcesResponse.h"

#include "tests/support/GroupingLocale.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/StdoutCapture.h"

#include <boost/property_tree/json_parser.hpp>
#include <gtest/gtest.h>

#include <sstream>

namespace Kelvora {
namespace UpdateManager {
namespace {

boost::property_tree::ptree Json(const std::string& text)
{
    std::istringstream stream(text);
    boost::property_tree::ptree tree;
    boost::property_tree::read_json(stream, tree);
    return tree;
}

TEST(BuildResourcesPathTest, TypeBeforeSkuAndNothingEscaped)
{
    EXPECT_EQ(BuildResourcesPath("ABC", "soft", "windows", "latest"), "/api/resources/soft/ABC/windows/latest");
    EXPECT_EQ(BuildResourcesPath("a b/c", "", "windows", "latest"), "/api/resources//a b/c/windows/latest");
}

TEST(ResourcesResponseTest, Wrapper)
{
    const struct {
        const char* json;
        bool valid;
        const char* level;   // level of the one "update_manager" line, "" for none
        const char* message; // its message, or its beginning when it ends with '*'
        const char* name;    // "name" of the kept element when valid
    } cases[] = {
        {R"({"total": 1, "resources": [{"name": "X"}]})", true, "", "", "X"},
        {R"({"total": 2, "resources": [{"name": "X"}]})", false, "error", "Invalid resources: got 1 while total indicates 2", ""},
        {R"({"total": 2, "resources": [{"name": "X"}, {"name": "Y"}]})", true, "", "", "X"},
        {R"({"total": 0, "resources": []})", false, "warning", "Resource is empty", ""},
        {R"({"total": 3, "resources": []})", false, "warning", "Resource is empty", ""},
        {R"({"total": 0, "resources": [{"name": "X"}]})", false, "error", "Invalid resources: got 1 while total indicates 0", ""},
        {R"({"total": -1, "resources": [{"name": "X"}]})", false, "error", "Invalid resources: got 1 while total indicates -1", ""},
        {R"({"resources": [{"name": "X"}]})", false, "error", "Error in resource parsing: No such node (total)", ""},
        {R"({"total": 1})", false, "error", "Error in resource parsing: No such node (resources)", ""},
        {R"({"total": "1", "resources": [{"name": "X"}]})", true, "", "", "X"},
        {R"({"total": " 1 ", "resources": [{"name": "X"}]})", true, "", "", "X"},
        {R"({"total": "1.0", "resources": [{"name": "X"}]})", false, "error", "Error in resource parsing: *", ""},
        {R"({"total": "one", "resources": [{"name": "X"}]})", false, "error", "Error in resource parsing: *", ""},
        {R"({"total": 4294967297, "resources": [{"name": "X"}]})", false, "error", "Error in resource parsing: *", ""},
        {R"({"total": 1, "resources": {"only": {"name": "X"}}})", true, "", "", "X"},
        {R"({"total": 1, "resources": "text"})", false, "warning", "Resource is empty", ""},
    };
    for (const auto& c : cases) {
        LogCapture log({"update_manager"});
        const ResourcesResponse response(Json(c.json));
        EXPECT_EQ(response.IsValid(), c.valid) << c.json;
        if (c.valid)
            EXPECT_EQ(response.GetResource().get<std::string>("name"), c.name) << c.json;
        else
            EXPECT_TRUE(response.GetResource().empty()) << c.json;
        const std::vector<std::string> lines = log.Messages();
        if (std::string(c.level).empty()) {
            EXPECT_TRUE(lines.empty()) << c.json;
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << c.json;
        EXPECT_EQ(log.Messages("update_manager", c.level).size(), 1u) << c.json;
        const std::string expected = c.message;
        if (expected.back() == '*')
            EXPECT_EQ(lines[0].rfind(expected.substr(0, expected.size() - 1), 0), 0u) << lines[0];
        else
            EXPECT_EQ(lines[0], expected);
    }
}

// A global locale that groups digits must not make "1,000" a total of a thousand.
TEST(ResourcesResponseTest, TheTotalIsReadInTheClassicLocale)
{
    std::string resources;
    for (int i = 0; i < 1000; ++i)
        resources += std::string(i == 0 ? "" : ",") + "{\"name\": \"X\"}";
    const GroupingLocale grouping;
    LogCapture log({"update_manager"});
    EXPECT_FALSE(ResourcesResponse(Json("{\"total\": \"1,000\", \"resources\": [" + resources + "]}")).IsValid());
    EXPECT_TRUE(ResourcesResponse(Json("{\"total\": \"1000\", \"resources\": [" + resources + "]}")).IsValid());
}

TEST(ResourcesResponseTest, DumpWritesTheKeptElement)
{
    const ResourcesResponse response(Json(R"({"total": 1, "resources": [{"name": "X", "links": {"a": "b"}}]})"));
    StdoutCapture capture;
    response.DumpPtree();
    EXPECT_EQ(capture.Stop(), "+ :  {\n +name : X {\n }\n +links :  {\n  +a : b {\n  }\n }\n}\n");
}

} // namespace
} // namespace UpdateManager
} // namespace Kelvora
