#include "UpdateManager/ProductScanner.h"

#include "tests/support/LogTestSeam.h"
#include "tests/support/PeFileBuilder.h"
#include "tests/support/TestRegistryStore.h"

#include <boost/algorithm/string/replace.hpp>
#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

namespace {

using namespace Kelvora::UpdateManager;
using Messages = std::vector<std::string>;

// $DIR/app.exe has version 1.2.3.4, $DIR/plain.exe none; the registry names $DIR as the
// folder of HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Dir.
class ProductScannerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        files.WriteFile("app.exe", PeFileBuilder().FileVersion(1, 2, 3, 4).Build());
        files.WriteFile("plain.exe", "no version");
        registry.Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\nDir=REG_SZ:" + files.String() + "\n");
    }

    boost::filesystem::path Definitions(const std::string& json) const
    {
        return files.WriteFile("scanner.json", boost::algorithm::replace_all_copy(json, "$DIR", files.String()));
    }

    TempDir files;
    TestRegistryStore registry;
};

TEST_F(ProductScannerTest, DefinitionDocuments)
{
    struct Case
    {
        const char* name;
        std::string json;
        bool loaded;
        Messages warnings;
        Messages errors;
        Messages infos;
        bool hasRules; // for SKU "A"
        std::string version; // of SKU "A"
    };
    const std::string file = R"({"file": "$DIR/app.exe"})";
    const std::string regkey = R"({"regkey": ["HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Dir", "app.exe"]})";
    const std::vector<Case> cases = {
        {"no scanner node", R"({"other": []})", true, {},
         {"'scanner' node not found in scanner definition file: No such node (scanner)"}, {}, false, "not_installed"},
        {"entry without name", R"({"scanner": [{"sku": "B", "rules": []}, {"name": "a", "sku": "A", "rules": [)" + file + "]}]}",
         true, {"Bad scanner definition for product '': No such node (name)"}, {}, {"1 scan rules to find A"}, true,
         "1.2.3.4"},
        {"entry without sku", R"({"scanner": [{"name": "a", "rules": []}]})", true,
         {"Bad scanner definition for product 'a': No such node (sku)"}, {}, {}, false, "not_installed"},
        {"entry without rules", R"({"scanner": [{"name": "a", "sku": "A"}]})", true,
         {"Bad scanner definition for product 'a': No such node (rules)"}, {}, {}, false, "not_installed"},
        {"empty rules", R"({"scanner": [{"name": "a", "sku": "A", "rules": []}]})", true, {}, {},
         {"0 scan rules to find A"}, true, "not_installed"},
        {"rules without children are skipped", R"({"scanner": [{"name": "a", "sku": "A", "rules": [{}, "x", 5, )" + file + "]}]}",
         true, {}, {}, {"1 scan rules to find A"}, true, "1.2.3.4"},
        {"regkey rule with two strings", R"({"scanner": [{"name": "a", "sku": "A", "rules": [)" + regkey + "]}]}", true, {}, {},
         {"1 scan rules to find A"}, true, "1.2.3.4"},
        {"regkey rule with a sub-folder",
         R"({"scanner": [{"name": "a", "sku": "A", "rules": [{"regkey": ["HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor/Dir", "app.exe", ""]}]}]})",
         true, {}, {}, {"1 scan rules to find A"}, true, "1.2.3.4"},
        {"regkey rule with one string", R"({"scanner": [{"name": "a", "sku": "A", "rules": [{"regkey": ["x"]}]}]})", true,
         {"Missing a string in RegkeyVersionFinder definition in json 'regkey'", "Could not add Unknown Rule 'regkey'"}, {},
         {"0 scan rules to find A"}, true, "not_installed"},
        {"regkey rule with four strings",
         R"({"scanner": [{"name": "a", "sku": "A", "rules": [{"regkey": ["a", "b", "c", "d"]}]}]})", true,
         {"Missing a string in RegkeyVersionFinder definition in json 'regkey'", "Could not add Unknown Rule 'regkey'"}, {},
         {"0 scan rules to find A"}, true, "not_installed"},
        {"kind in other letter case", R"({"scanner": [{"name": "a", "sku": "A", "rules": [{"File": "$DIR/app.exe"}]}]})",
         true, {"Could not add Unknown Rule 'File'"}, {}, {"0 scan rules to find A"}, true, "not_installed"},
        {"file before regkey counts as file",
         R"({"scanner": [{"name": "a", "sku": "A", "rules": [{"file": "$DIR/plain.exe", "regkey": ["HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Dir", "app.exe"]}]}]})",
         true, {}, {}, {"1 scan rules to find A"}, true, "unknown"},
        {"regkey before file counts as regkey",
         R"({"scanner": [{"name": "a", "sku": "A", "rules": [{"regkey": ["HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Dir", "app.exe"], "file": "$DIR/plain.exe"}]}]})",
         true, {}, {}, {"1 scan rules to find A"}, true, "1.2.3.4"},
        {"file without version and nothing else",
         R"({"scanner": [{"name": "a", "sku": "A", "rules": [{"file": "$DIR/plain.exe"}, {"file": "$DIR/missing.exe"}]}]})",
         true, {}, {}, {"2 scan rules to find A"}, true, "unknown"},
        {"repeated SKU adds to one set",
         R"({"scanner": [{"name": "a", "sku": "A", "rules": [{"file": "$DIR/missing.exe"}]},
                         {"name": "a2", "sku": "A", "rules": [{"file": "$DIR/plain.exe"}, )" + file + "]}]}",
         true, {}, {}, {"1 scan rules to find A", "3 scan rules to find A"}, true, "1.2.3.4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log({"update_manager"});
        const ProductScanner scanner(Definitions(c.json));
        EXPECT_EQ(scanner.IsLoaded(), c.loaded);
        EXPECT_EQ(log.Messages("update_manager", "warning"), c.warnings);
        EXPECT_EQ(log.Messages("update_manager", "error"), c.errors);
        EXPECT_EQ(log.Messages("update_manager", "info"), c.infos);
        EXPECT_EQ(scanner.HasRules("A"), c.hasRules);
        EXPECT_EQ(scanner.Scan("A"), ScanResult(ProductKey("A", "soft"), c.version));
    }
}

TEST_F(ProductScannerTest, UnreadableDefinitionsLoadNothing)
{
    const std::string missing = files.String() + "/missing.json";
    const std::string fifo = files.String() + "/fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string zeros = files.String() + "/zeros.json";
    boost::filesystem::create_symlink("/dev/zero", zeros);
    const std::string deep =
        files.WriteFile("deep.json", "{\"scanner\": " + std::string(80000, '[') + std::string(80000, ']') + "}")
            .string();
    struct Case
    {
        std::string path;
        Messages warnings;
        std::string errorPrefix; // empty: no error
    };
    const std::vector<Case> cases = {
        {"", {}, " Caught exception while parsing json file : <unspecified file>"},
        {missing, {"Could not find scanner definition file: " + missing}, ""},
        {Definitions("{\"scanner\": [").string(), {},
         " Caught exception while parsing json file " + Definitions("").string() + ": <unspecified file>("},
        {files.String(), {}, " Caught exception while parsing json file " + files.String() + ": "},
        // A name too long for the file system makes the existence test itself fail: no message.
        {files.String() + "/" + std::string(300, 'n'), {}, ""},
        // Neither blocks, nor reads without end, nor exhausts the stack.
        {fifo, {}, " Caught exception while parsing json file " + fifo + ": "},
        {zeros, {}, " Caught exception while parsing json file " + zeros + ": "},
        {deep, {}, " Caught exception while parsing json file " + deep + ": <unspecified file>(1): "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Definitions("{\"scanner\": [");
        LogCapture log({"update_manager"});
        const ProductScanner scanner(c.path);
        EXPECT_FALSE(scanner.IsLoaded());
        EXPECT_EQ(log.Messages("update_manager", "warning"), c.warnings);
        const Messages errors = log.Messages("update_manager", "error");
        if (c.errorPrefix.empty()) {
            EXPECT_TRUE(errors.empty());
        } else {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_EQ(errors[0].substr(0, c.errorPrefix.size()), c.errorPrefix);
        }
        EXPECT_TRUE(scanner.ScanAll().empty());
    }
}

TEST_F(ProductScannerTest, ScanOfASkuWithoutRulesIsNotInstalled)
{
    const ProductScanner scanner("");
    LogCapture log({"update_manager"});
    EXPECT_EQ(scanner.Scan("X1"), ScanResult(ProductKey("X1", "soft"), "not_installed"));
    EXPECT_EQ(log.Messages("update_manager", "info"), (Messages{"Searching for X1", "Found X1/not_installed"}));
}

TEST_F(ProductScannerTest, ScanAllAsksEverySetInSkuOrder)
{
    const ProductScanner scanner(Definitions(R"({"scanner": [
        {"name": "b", "sku": "B", "rules": [{"file": "$DIR/plain.exe"}]},
        {"name": "a", "sku": "A", "rules": [{"file": "$DIR/app.exe"}]},
        {"name": "c", "sku": "C", "rules": []}]})"));
    LogCapture log({"update_manager", "timing"});
    const LocalVersionMap expected = {
        {{"A", "soft"}, "1.2.3.4"}, {{"B", "soft"}, "unknown"}, {{"C", "soft"}, "not_installed"}};
    EXPECT_EQ(scanner.ScanAll(), expected);
    EXPECT_EQ(log.Messages("update_manager", "info"), Messages{"Complete Scan"});
    const Messages timing = log.Messages("timing", "notice");
    ASSERT_EQ(timing.size(), 1u);
    EXPECT_EQ(timing[0].substr(0, 16), "Complete Scan : ");
    EXPECT_EQ(timing[0].substr(timing[0].size() - 3), " ms");
}

} // namespace
