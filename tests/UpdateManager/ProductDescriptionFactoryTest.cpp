#include "UpdateManager/ProductDescriptionFactory.h"

#include "tests/support/LogTestSeam.h"
#include "tests/support/ResourcesTestSeam.h"
#include "tests/support/TempDir.h"

#include <boost/property_tree/json_parser.hpp>
#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>

namespace Kelvora {
namespace UpdateManager {
namespace {

namespace pt = boost::property_tree;

const char* const fullElement = R"({
    "product_sku": "ABC", "product_id": "ID-1", "name": "Kelvora Studio", "permalink": "http://h/setup.exe",
    "version": "2.5.1", "links": {"product_page": {"href": "http://h/page"}}, "resources_site_link": "http://h/site",
    "platform_min_version": "6.1", "platform_max_version": "10.0", "platform_display_version": "Windows 7 to 10",
    "size": 123456, "checksum": "0123456789abcdef0123456789abcdef", "extra": "ignored"
})";

pt::ptree Json(const std::string& text)
{
    std::istringstream stream(text);
    pt::ptree tree;
    pt::read_json(stream, tree);
    return tree;
}

// Each field of two descriptions, compared by name, so that a failure names the field.
void ExpectSameFields(const ProductDescription& actual, const ProductDescription& expected)
{
    const std::pair<const char*, std::string ProductDescription::*> texts[] = {
        {"localVersion", &ProductDescription::localVersion},
        {"name", &ProductDescription::name},
        {"sku", &ProductDescription::sku},
        {"type", &ProductDescription::type},
        {"latestVersion", &ProductDescription::latestVersion},
        {"url", &ProductDescription::url},
        {"productPage", &ProductDescription::productPage},
        {"releaseNotesUrl", &ProductDescription::releaseNotesUrl},
        {"platformMinVersion", &ProductDescription::platformMinVersion},
        {"platformMaxVersion", &ProductDescription::platformMaxVersion},
        {"platformDisplayVersion", &ProductDescription::platformDisplayVersion},
        {"checksum", &ProductDescription::checksum},
    };
    for (const auto& field : texts)
        EXPECT_EQ(actual.*field.second, expected.*field.second) << field.first;
    EXPECT_EQ(actual.size, expected.size) << "size";
}

TEST(ProductDescriptionFactoryTest, FillsEveryFieldAndLeavesTheReleaseNotesWithoutAFolder)
{
    ProductDescription full;
    full.sku = "ABC";
    full.type = "soft";
    full.localVersion = "1.0";
    full.name = "Kelvora Studio";
    full.url = "http://h/setup.exe";
    full.latestVersion = "2.5.1";
    full.productPage = "http://h/page";
    full.releaseNotesUrl = "kept";
    full.platformMinVersion = "6.1";
    full.platformMaxVersion = "10.0";
    full.platformDisplayVersion = "Windows 7 to 10";
    full.size = 123456;
    full.checksum = "0123456789abcdef0123456789abcdef";

    // Only the required keys and the page: optional ones default to empty. Without notes in the
    // element the release notes field is left as it was.
    pt::ptree minimal;
    minimal.put("product_sku", "ABC");
    minimal.put("name", "N");
    minimal.put("permalink", "P");
    minimal.put("version", "V");
    minimal.put("resources_site_link", "S");
    ProductDescription least;
    least.sku = "ABC";
    least.type = "soft";
    least.name = "N";
    least.url = "P";
    least.latestVersion = "V";
    least.productPage = "S";
    least.releaseNotesUrl = "kept";

    const struct {
        const char* name;
        pt::ptree element;
        std::string localVersion;
        ProductDescription expected;
    } cases[] = {
        {"full element", Json(fullElement), "1.0", full},
        {"required keys only", minimal, "", least},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log({"description"});
        ProductDescription out;
        out.releaseNotesUrl = "kept";
        ASSERT_TRUE(ProductDescriptionFactory().Create("ABC", "soft", c.localVersion, c.element, out));
        ExpectSameFields(out, c.expected);
        EXPECT_TRUE(log.Messages().empty());
    }
}

// The full element with one key changed (a JSON value) or removed (nullptr).
pt::ptree Variant(const std::string& key, const char* jsonValue)
{
    pt::ptree element = Json(fullElement);
    if (key == "links.product_page.href" && jsonValue == nullptr) {
        element.erase("links");
    } else if (jsonValue == nullptr) {
        element.erase(key);
    } else {
        const pt::ptree value = Json(std::string("{\"v\": ") + jsonValue + "}");
        element.put_child(key, value.get_child("v"));
    }
    return element;
}

TEST(ProductDescriptionFactoryTest, RequiredKeys)
{
    for (const char* key : {"product_sku", "name", "permalink", "version"}) {
        LogCapture log({"description"});
        ProductDescription out;
        EXPECT_FALSE(ProductDescriptionFactory().Create("ABC", "soft", "1.0", Variant(key, nullptr), out)) << key;
        ASSERT_EQ(log.Messages("description", "error").size(), 1u) << key;
        EXPECT_EQ(log.Messages()[0],
                  std::string("Kelvora::UpdateManager::ProductDescriptionFactory::CreateNo such node (") + key + ")");
    }
}

TEST(ProductDescriptionFactoryTest, SkuMatching)
{
    const struct {
        const char* sku;       // asked for
        const char* productSku;
        const char* productId; // nullptr: key missing
        bool accepted;
    } cases[] = {
        {"ABC", "ABC", "ID-1", true},
        {"ID-1", "ABC", "ID-1", true},
        {"abc", "ABC", "ID-1", false}, // case-sensitive
        {"XYZ", "ABC", "ID-1", false},
        {"XYZ", "ABC", nullptr, false},
        {"", "ABC", nullptr, true},    // a missing product_id reads "" and matches an empty SKU
    };
    for (const auto& c : cases) {
        pt::ptree element = Json(fullElement);
        element.put("product_sku", c.productSku);
        if (c.productId)
            element.put("product_id", c.productId);
        else
            element.erase("product_id");
        LogCapture log({"description"});
        ProductDescription out;
        EXPECT_EQ(ProductDescriptionFactory().Create(c.sku, "soft", "1.0", element, out), c.accepted) << c.sku;
        if (c.accepted) {
            EXPECT_EQ(out.sku, c.sku);
            EXPECT_TRUE(log.Messages().empty());
        } else {
            ASSERT_EQ(log.Messages().size(), 1u);
            EXPECT_EQ(log.Messages()[0], std::string("Failed to find sku\n[LOG] ## sku = ") + c.productSku
                                             + "\n[LOG] ## inSKU = " + c.sku);
        }
    }
}

TEST(ProductDescriptionFactoryTest, ProductPageFallback)
{
    const struct {
        const char* name;
        pt::ptree element;
        bool accepted;
        const char* page;
    } cases[] = {
        {"href given", Json(fullElement), true, "http://h/page"},
        {"no links", Variant("links.product_page.href", nullptr), true, "http://h/site"},
        {"empty href", Variant("links.product_page.href", "\"\""), true, "http://h/site"},
        {"neither", [] {
             pt::ptree e = Variant("links.product_page.href", nullptr);
             e.erase("resources_site_link");
             return e;
         }(), false, ""},
        {"empty href, no site link", [] {
             pt::ptree e = Variant("links.product_page.href", "\"\"");
             e.erase("resources_site_link");
             return e;
         }(), false, ""},
    };
    for (const auto& c : cases) {
        ProductDescription out;
        EXPECT_EQ(ProductDescriptionFactory().Create("ABC", "soft", "1.0", c.element, out), c.accepted) << c.name;
        if (c.accepted) {
            EXPECT_EQ(out.productPage, c.page) << c.name;
        }
    }
}

TEST(ProductDescriptionFactoryTest, SizeForms)
{
    const struct {
        const char* json; // nullptr: key missing
        uint64_t size;
    } cases[] = {
        {"123", 123},
        {"\"123\"", 123},
        {"\" 123 \"", 123},
        {"\"12abc\"", 0},
        {"\"1.5\"", 0},
        {"1.5", 0},
        {"-5", 0},
        {"\"\"", 0},
        {"18446744073709551615", 18446744073709551615u},
        {"18446744073709551616", 0},
        {nullptr, 0},
    };
    for (const auto& c : cases) {
        ProductDescription out;
        ASSERT_TRUE(ProductDescriptionFactory().Create("ABC", "soft", "1.0", Variant("size", c.json), out));
        EXPECT_EQ(out.size, c.size) << (c.json ? c.json : "missing");
    }
}

// Release notes go to <folder>temp\<sku>.html, paths being built as text with backslashes; the
// tests work in a temporary current folder so that such names stay inside it.
class ReleaseNotesTest : public ::testing::Test
{
protected:
    ReleaseNotesTest()
    {
        char current[4096];
        if (getcwd(current, sizeof current) != nullptr)
            saved = current;
        EXPECT_EQ(chdir(work.String().c_str()), 0);
    }
    ~ReleaseNotesTest() override { EXPECT_EQ(chdir(saved.c_str()), 0); }

    bool CreateWithNotes(ProductDescription& out)
    {
        return ProductDescriptionFactory().Create("ABC", "soft", "1.0", Variant("release_notes_html", "\"<p>new</p>\""), out);
    }

    TempDir work;
    std::string saved;
    LogCapture log{{"description"}};
};

TEST_F(ReleaseNotesTest, NoFolderSetWritesNothing)
{
    ProductDescription out;
    EXPECT_TRUE(CreateWithNotes(out));
    EXPECT_EQ(out.releaseNotesUrl, "");
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Resources Folder not yet defined"});
    EXPECT_TRUE(boost::filesystem::is_empty(work.Path()));
}

TEST_F(ReleaseNotesTest, WrittenUnderTheFolder)
{
    boost::filesystem::create_directory("res");
    ScopedResourcesFolder folder("res\\");
    ProductDescription out;
    EXPECT_TRUE(CreateWithNotes(out));
    EXPECT_EQ(out.releaseNotesUrl, "file://res\\temp\\ABC.html");
    EXPECT_TRUE(boost::filesystem::is_directory("res\\temp"));
    EXPECT_EQ(ReadFile("res\\temp\\ABC.html"), "<p>new</p>");
    EXPECT_TRUE(log.Messages().empty());

    // The next description of the SKU overwrites the file.
    pt::ptree element = Variant("release_notes_html", "\"<p>newer</p>\"");
    EXPECT_TRUE(ProductDescriptionFactory().Create("ABC", "soft", "1.0", element, out));
    EXPECT_EQ(ReadFile("res\\temp\\ABC.html"), "<p>newer</p>");
}

TEST_F(ReleaseNotesTest, MissingParentWritesNothing)
{
    ScopedResourcesFolder folder("absent\\");
    ProductDescription out;
    EXPECT_TRUE(CreateWithNotes(out));
    EXPECT_EQ(out.releaseNotesUrl, "");
    EXPECT_TRUE(log.Messages().empty());
    EXPECT_TRUE(boost::filesystem::is_empty(work.Path()));
}

TEST_F(ReleaseNotesTest, FileThatCannotBeOpenedLeavesNoUrl)
{
    boost::filesystem::create_directory("res");
    boost::filesystem::create_directory("res\\temp\\ABC.html");
    ScopedResourcesFolder folder("res\\");
    ProductDescription out;
    EXPECT_TRUE(CreateWithNotes(out));
    EXPECT_EQ(out.releaseNotesUrl, "");
    EXPECT_TRUE(log.Messages().empty());
}

TEST_F(ReleaseNotesTest, FileSystemErrorIsLoggedAndCreateGoesOn)
{
    // A name too long to be looked up makes the file-system library throw.
    const std::string longName(5000, 'n');
    ScopedResourcesFolder folder(longName + "\\");
    ProductDescription out;
    EXPECT_TRUE(CreateWithNotes(out));
    EXPECT_EQ(out.releaseNotesUrl, "");
    EXPECT_EQ(out.platformMinVersion, "6.1"); // the steps after the notes still ran
    const std::vector<std::string> lines = log.Messages("description", "error");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Kelvora::UpdateManager::ProductDescriptionFactory::Create", 0), 0u);
    const std::string tail = "\n[LOG] ## dest_dir = " + longName + "\\temp";
    EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail);
}

TEST(PathTextTest, GetDirectoryPart)
{
    const struct {
        const char* path;
        const char* directory;
    } cases[] = {
        {"C:/a/b/", "C:\\a"}, {"C:\\a\\b", "C:\\a"}, {"temp", ""}, {"\\temp", ""}, {"", ""},
        {"///", ""},          {"a/b\\c//\\", "a\\b"}, {"res\\temp", "res"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetDirectoryPart(c.path), c.directory) << c.path;
}

TEST(PathTextTest, ReplaceAll)
{
    const struct {
        const char* text;
        const char* pattern;
        const char* replacement;
        const char* result;
    } cases[] = {
        {"a//b", "/", "\\", "a\\\\b"},
        {"aaa", "a", "aa", "aaaaaa"}, // replacements are not searched again
        {"abab", "ab", "", ""},
        {"xyz", "q", "r", "xyz"},
        {"", "/", "\\", ""},
        {"abc", "", "-", "abc"},      // an empty pattern changes nothing
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        EXPECT_EQ(ReplaceAll(text, c.pattern, c.replacement), c.result) << c.text << " / " << c.pattern;
        EXPECT_EQ(text, c.text);
    }
}

} // namespace
} // namespace UpdateManager
} // namespace Kelvora
