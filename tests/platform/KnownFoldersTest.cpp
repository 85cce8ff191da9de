#include "platform/KnownFolders.h"

#include "platform/TextConversion.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using Platform::KnownFolderId;

std::string Folder(KnownFolderId id)
{
    std::wstring wide = L"unset";
    if (!Platform::QueryKnownFolderPath(id, wide))
        return "<none>";
    char out[4096];
    const int n = Platform::WideToNarrow(wide.c_str(), static_cast<int>(wide.size()), out, sizeof out, '?', nullptr);
    return std::string(out, static_cast<size_t>(n));
}

TEST(KnownFoldersTest, UserDirsFileOverridesDefaults)
{
    TempDir config;
    ScopedEnvironment environment;
    environment.Set("HOME", "/home/u");
    environment.Set("XDG_CONFIG_HOME", config.String());
    config.WriteFile("user-dirs.dirs",
                     "# written by xdg-user-dirs-update\n"
                     "XDG_DESKTOP_DIR=\"/srv/desk top\"\n"
                     "XDG_DOWNLOAD_DIR=\"$HOME/Telechargements\"\n"
                     "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    EXPECT_EQ(Folder(KnownFolderId::Downloads), "/home/u/Telechargements");
    EXPECT_EQ(Folder(KnownFolderId::Desktop), "/srv/desk top");
    EXPECT_EQ(Folder(KnownFolderId::Profile), "/home/u");
}

TEST(KnownFoldersTest, UnusableEntriesFallBackToHomeFolders)
{
    struct Case
    {
        std::string file;
        std::string downloads;
    } cases[] = {
        {"", "/home/u/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"relative/dir\"\n", "/home/u/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"$HOMEX/dir\"\n", "/home/u/Downloads"},
        {"#XDG_DOWNLOAD_DIR=\"/commented\"\n", "/home/u/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"/first\"\nXDG_DOWNLOAD_DIR=\"/second\"\n", "/second"},
        {"  XDG_DOWNLOAD_DIR=\"/with \\\"quote\\\"\"\n", "/with \"quote\""},
        {"XDG_DOWNLOAD_DIR=$HOME/bare\n", "/home/u/bare"},
    };
    for (const Case& c : cases) {
        TempDir config;
        ScopedEnvironment environment;
        environment.Set("HOME", "/home/u");
        environment.Set("XDG_CONFIG_HOME", config.String());
        config.WriteFile("user-dirs.dirs", c.file);
        EXPECT_EQ(Folder(KnownFolderId::Downloads), c.downloads) << c.file;
    }
}

TEST(KnownFoldersTest, ConfigFolderDefaultsToDotConfigUnderHome)
{
    TempDir home;
    ScopedEnvironment environment;
    environment.Set("HOME", home.String());
    environment.Unset("XDG_CONFIG_HOME");
    home.WriteFile(".config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/dl\"\n");
    EXPECT_EQ(Folder(KnownFolderId::Downloads), home.String() + "/dl");
}

TEST(KnownFoldersTest, PerUserFoldersNeedHome)
{
    ScopedEnvironment environment;
    environment.Unset("HOME");
    EXPECT_EQ(Folder(KnownFolderId::Downloads), "<none>");
    EXPECT_EQ(Folder(KnownFolderId::Desktop), "<none>");
    EXPECT_EQ(Folder(KnownFolderId::Profile), "<none>");
    EXPECT_EQ(Folder(KnownFolderId::ProgramData), "/var/lib");
}

} // namespace
