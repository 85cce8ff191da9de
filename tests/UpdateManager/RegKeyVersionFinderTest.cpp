#include "UpdateManager/RegKeyVersionFinder.h"

#include "tests/support/LogTestSeam.h"
#include "tests/support/PeFileBuilder.h"
#include "tests/support/TestRegistryStore.h"

#include <gtest/gtest.h>

namespace {

using Kelvora::UpdateManager::RegKeyVersionFinder;

class RegKeyVersionFinderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        files.WriteFile("Product/bin/app.exe", PeFileBuilder().FileVersion(3, 1, 4, 1).Build());
        files.WriteFile("Product/app.exe", PeFileBuilder().FileVersion(2, 7, 1, 8).Build());
        files.WriteFile("Product/plain.exe", "no version");
        const std::string folder = files.String() + "/Product";
        registry.Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product]\n"
                       "InstallDir=REG_SZ:" + folder + "\n"
                       "Trailing=REG_SZ:" + folder + "/\n"
                       "Backslashed=REG_SZ:" + folder + "\\\n"
                       "Expanded=REG_EXPAND_SZ:" + folder + "\n");
    }

    struct Outcome
    {
        bool result;
        bool found;
        std::string version;
    };
    Outcome Find(const std::wstring& registryPath, const std::wstring& fileName, const std::wstring& subFolder)
    {
        Outcome outcome{false, true, "before"};
        outcome.result = RegKeyVersionFinder(registryPath, fileName, subFolder).FindVersion(outcome.version, outcome.found);
        return outcome;
    }

    TempDir files;
    TestRegistryStore registry;
};

TEST_F(RegKeyVersionFinderTest, JoinsFolderSubFolderAndFileName)
{
    struct Case
    {
        const wchar_t* valueName;
        const wchar_t* fileName;
        const wchar_t* subFolder;
        Outcome expected;
    };
    const std::vector<Case> cases = {
        {L"InstallDir", L"app.exe", L"bin", {true, true, "3.1.4.1"}},
        {L"Trailing", L"app.exe", L"bin", {true, true, "3.1.4.1"}},
        {L"InstallDir", L"app.exe", L"", {true, true, "2.7.1.8"}},
        {L"InstallDir", L"plain.exe", L"", {false, true, "before"}},
        {L"InstallDir", L"missing.exe", L"bin", {false, false, "before"}},
        {L"Missing", L"app.exe", L"", {false, false, "before"}},
        {L"Expanded", L"app.exe", L"", {false, false, "before"}},
        // Written for Windows: one backslash between the parts unless one already stands there.
        {L"Backslashed", L"app.exe", L"bin", {true, true, "3.1.4.1"}},
        {L"InstallDir", L"app.exe", L"bin\\", {true, true, "3.1.4.1"}},
        {L"InstallDir", L"app.exe", L"\\bin", {true, true, "3.1.4.1"}},
        {L"InstallDir", L"\\app.exe", L"bin", {true, true, "3.1.4.1"}},
        {L"InstallDir", L"bin\\app.exe", L"", {true, true, "3.1.4.1"}},
        {L"Backslashed", L"app.exe", L"", {true, true, "2.7.1.8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.valueName, c.valueName + wcslen(c.valueName)) + " " +
                     std::string(c.fileName, c.fileName + wcslen(c.fileName)));
        const Outcome outcome =
            Find(std::wstring(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\") + c.valueName, c.fileName, c.subFolder);
        EXPECT_EQ(outcome.result, c.expected.result);
        EXPECT_EQ(outcome.found, c.expected.found);
        EXPECT_EQ(outcome.version, c.expected.version);
    }
}

TEST_F(RegKeyVersionFinderTest, RegistryPathSplitsAtItsLastSeparator)
{
    for (const wchar_t* path : {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product/InstallDir",
                                L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\InstallDir"}) {
        LogCapture log({"update_manager"});
        EXPECT_TRUE(Find(path, L"app.exe", L"").result);
        EXPECT_EQ(log.Messages("update_manager", "debug"),
                  std::vector<std::string>{
                      "RegKeyVersion: Found version 2.7.1.8 for item HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product/InstallDir"});
    }
    // Without a separator the whole text is both the key and the value name: no root matches.
    LogCapture log({"external"});
    EXPECT_FALSE(Find(L"InstallDir", L"app.exe", L"").result);
    EXPECT_EQ(log.Messages("external", "error").size(), 1u);
}

} // namespace
