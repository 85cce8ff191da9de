#include "UpdateManager/ExpandPathPlaceholders.h"

#include "common/Common.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Kelvora::UpdateManager::ExpandPathPlaceholders;

std::string Folder(Platform::KnownFolderId id)
{
    std::string path;
    EXPECT_TRUE(Kelvora::GetKnownFolderPath(id, path));
    return path;
}

TEST(ExpandPathPlaceholdersTest, ReplacesOnlyAKnownLeadingTag)
{
    ScopedEnvironment home;
    home.Set("HOME", "/home/tester");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<pf86>\\Vendor\\app.exe", Folder(Platform::KnownFolderId::ProgramFilesX86) + "\\Vendor\\app.exe"},
        {"<pf64>/Vendor/app.exe", Folder(Platform::KnownFolderId::ProgramFilesX64) + "/Vendor/app.exe"},
        {"<data>x", Folder(Platform::KnownFolderId::ProgramData) + "x"},
        {"<user>/bin/app", "/home/tester/bin/app"},
        {"<user>", "/home/tester"},
        {"<PF86>\\Vendor\\app.exe", "<PF86>\\Vendor\\app.exe"},
        {"<pf86\\Vendor\\app.exe", "<pf86\\Vendor\\app.exe"},
        {"<other>\\app.exe", "<other>\\app.exe"},
        {"x<pf86>\\app.exe", "x<pf86>\\app.exe"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandPathPlaceholders(c.first), c.second) << c.first;
}

TEST(ExpandPathPlaceholdersTest, FolderWithoutAPathLeavesTheTag)
{
    ScopedEnvironment home;
    home.Unset("HOME");
    EXPECT_EQ(ExpandPathPlaceholders("<user>/app"), "<user>/app");
}

} // namespace
