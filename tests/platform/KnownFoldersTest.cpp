#include "platform/KnownFolders.h"

#include "platform/TextConversion.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Platform::KnownFolderId;
using namespace std::string_literals;

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
        // A CR of a CRLF file ends the value; a NUL makes it unusable rather than shorter.
        {"XDG_DOWNLOAD_DIR=$HOME/crlf\r\n", "/home/u/crlf"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/crlf\r\n", "/home/u/crlf"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/cr\rinside\"\n", "/home/u/cr"},
        {"XDG_DOWNLOAD_DIR=\"/cut\0here\"\n"s, "/home/u/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"/kept\"\nXDG_DOWNLOAD_DIR=\"/cut\0here\"\n"s, "/kept"},
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

TEST(KnownFoldersTest, HomeWithATrailingSlashGivesNoDoubleSlash)
{
    TempDir config;
    ScopedEnvironment environment;
    environment.Set("HOME", "/home/u/");
    environment.Set("XDG_CONFIG_HOME", config.String());
    config.WriteFile("user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/desk\"\n");
    EXPECT_EQ(Folder(KnownFolderId::Desktop), "/home/u/desk");
    EXPECT_EQ(Folder(KnownFolderId::Downloads), "/home/u/Downloads");
    environment.Set("HOME", "/");
    config.WriteFile("user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME\"\n");
    EXPECT_EQ(Folder(KnownFolderId::Desktop), "/");
}

TEST(KnownFoldersTest, UserDirsThatIsNoRegularFileIsNotRead)
{
    // A FIFO would block the lookup for ever and /dev/zero would be read without end.
    for (const char* kind : {"fifo", "zeros", "huge"}) {
        SCOPED_TRACE(kind);
        TempDir config;
        ScopedEnvironment environment;
        environment.Set("HOME", "/home/u");
        environment.Set("XDG_CONFIG_HOME", config.String());
        const std::string path = config.String() + "/user-dirs.dirs";
        if (std::string(kind) == "fifo")
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        else if (std::string(kind) == "zeros")
            boost::filesystem::create_symlink("/dev/zero", path);
        else
            config.WriteFile("user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"/huge\"\n" + std::string(1 << 20, '#'));
        EXPECT_EQ(Folder(KnownFolderId::Downloads), "/home/u/Downloads");
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
