#include "UpdateManager/FileVersionFinder.h"

#include "tests/support/PeFileBuilder.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using Kelvora::UpdateManager::FileVersionFinder;

TEST(FileVersionFinderTest, FoundTellsWhetherThePathExists)
{
    TempDir dir;
    dir.WriteFile("Vendor/app.exe", PeFileBuilder().FileVersion(1, 2, 3, 4).Build());
    dir.WriteFile("Vendor/plain.exe", "no version");
    dir.WriteFile("Other/readme", "");
    ScopedEnvironment home;
    home.Set("HOME", dir.String());
    struct Case
    {
        std::string text;
        bool result;
        bool found;
        std::string version;
    };
    const std::vector<Case> cases = {
        {"<user>/Vendor/app.exe", true, true, "1.2.3.4"},
        {dir.String() + "/Vendor/app.exe", true, true, "1.2.3.4"},
        {"<user>/Vendor/plain.exe", false, true, "before"},
        {"<user>/Vendor", false, true, "before"}, // a folder exists but holds no version
        {"<user>/Vendor/missing.exe", false, false, "before"},
        {"<USER>/Vendor/app.exe", false, false, "before"},
        {"<user>/" + std::string(300, 'n'), false, false, "before"}, // the existence test fails
        // The same definition as on Windows finds the same file.
        {"<user>\\Vendor\\app.exe", true, true, "1.2.3.4"},
        {"<user>\\Other\\..\\Vendor\\app.exe", true, true, "1.2.3.4"},
        {"<user>\\Vendor\\plain.exe", false, true, "before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string version = "before";
        bool found = !c.found;
        EXPECT_EQ(FileVersionFinder(c.text).FindVersion(version, found), c.result);
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(version, c.version);
    }
}

} // namespace
