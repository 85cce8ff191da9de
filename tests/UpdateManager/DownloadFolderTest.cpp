#include "UpdateManager/DownloadFolder.h"

#include "tests/support/LogTestSeam.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>

namespace fs = boost::filesystem;
using namespace Kelvora::UpdateManager;

namespace {

TEST(DownloadFolderTest, ALinkNamesAPlainFileOfTheFolderOrNothing)
{
    const fs::path folder = "/home/u/Downloads";
    const struct {
        std::string url;
        fs::path file; // empty: no installer file
    } cases[] = {
        {"http://h/files/setup.exe", folder / "setup.exe"},
        {"setup.exe", folder / "setup.exe"},
        {"http://h/get?name=dir/setup.exe", folder / "setup.exe"},
        {"http://h/files/..%2f..%2fsetup.exe", folder / "..%2f..%2fsetup.exe"},
        {"http://h/a%2Fb.exe", folder / "a%2Fb.exe"},
        {"http://h/files/...", folder / "..."},
        {"", ""},
        {"http://h/files/", ""},
        {"http://h/files/.", ""},
        {"http://h/files/..", ""},
        {"http://h/files/..\\..\\setup.exe", ""},
        {"http://h/files/dir\\setup.exe", ""},
        {std::string("http://h/a\0b.exe", 16), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(LinkedInstallerFile(folder.string(), c.url), c.file);
    }
    EXPECT_EQ(LinkedInstallerFile("", "http://h/setup.exe"), fs::path("setup.exe"));
}

TEST(DownloadFolderTest, AFileOfItsOwnHasNoSeparatorInItsName)
{
    const fs::path linked = "/d/setup.exe";
    EXPECT_EQ(OwnInstallerFile(linked, "soft", "ABC"), fs::path("/d/soft-ABC-setup.exe"));
    EXPECT_EQ(OwnInstallerFile(linked, "so/ft", "../x y"), fs::path("/d/so_ft-.._x_y-setup.exe"));
    EXPECT_EQ(OwnInstallerFile(linked, "", "a\\b:c"), fs::path("/d/-a_b_c-setup.exe"));
    EXPECT_EQ(OwnInstallerFile("setup.exe", "soft", "A"), fs::path("soft-A-setup.exe"));
}

TEST(DownloadFolderTest, OnlyNothingOrARegularFileMayBeUsed)
{
    TempDir dir;
    const fs::path file = dir.WriteFile("file", "x");
    const struct {
        const char* name;
        std::function<fs::path()> make;
        bool usable;
        bool present;
        const char* why;
    } cases[] = {
        {"nothing", [&] { return dir.Path() / "none"; }, true, false, ""},
        {"below a file", [&] { return file / "none"; }, true, false, ""},
        {"regular file", [&] { return file; }, true, true, ""},
        {"folder", [&] { return dir.Path(); }, false, false, "not a regular file"},
        {"FIFO",
         [&] {
             ::mkfifo((dir.Path() / "fifo").c_str(), 0600);
             return dir.Path() / "fifo";
         },
         false, false, "not a regular file"},
        {"link to a file",
         [&] {
             fs::create_symlink(file, dir.Path() / "link");
             return dir.Path() / "link";
         },
         false, false, "not a regular file"},
        {"name too long", [&] { return dir.Path() / std::string(300, 'n'); }, false, false, "File name too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool present = !c.present;
        std::string why;
        EXPECT_EQ(IsAbsentOrRegularFile(c.make(), present, why), c.usable);
        EXPECT_EQ(present, c.present);
        EXPECT_EQ(why, c.why);
    }
}

TEST(DownloadFolderTest, RemovingAFileThatIsGoneIsNoErrorAndAFailureIsLogged)
{
    TempDir dir;
    LogCapture log({"update_manager"});
    const fs::path file = dir.WriteFile("setup.exe", "x");
    EXPECT_TRUE(RemoveDownloadFile(file));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(RemoveDownloadFile(file));
    EXPECT_TRUE(log.Messages().empty());

    dir.WriteFile("full/inside", "x");
    EXPECT_FALSE(RemoveDownloadFile(dir.Path() / "full"));
    const auto errors = log.Messages("update_manager", "error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Could not remove \"" + (dir.Path() / "full").string() + "\": ", 0), 0u) << errors[0];
}

} // namespace
