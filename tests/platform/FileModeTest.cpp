#include "platform/FileMode.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>

namespace fs = boost::filesystem;

namespace {

mode_t ModeOf(const fs::path& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(FileModeTest, GivesOnlyTheOwnerTheExecuteBit)
{
    TempDir dir;
    const fs::path file = dir.WriteFile("setup.exe", "x");
    fs::permissions(file, fs::owner_read | fs::owner_write | fs::group_read);
    EXPECT_TRUE(Platform::MakeOwnerExecutable(file.string()));
    EXPECT_EQ(ModeOf(file), 0740u);
    EXPECT_TRUE(Platform::MakeOwnerExecutable(file.string())) << "already executable";
    EXPECT_EQ(ModeOf(file), 0740u);
}

TEST(FileModeTest, NeverFollowsALinkNorTouchesAnythingButARegularFile)
{
    TempDir dir;
    const fs::path target = dir.WriteFile("target", "x");
    fs::permissions(target, fs::owner_read | fs::owner_write);
    const fs::path link = dir.Path() / "setup.exe";
    fs::create_symlink(target, link);
    errno = 0;
    EXPECT_FALSE(Platform::MakeOwnerExecutable(link.string()));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(ModeOf(target), 0600u);

    const fs::path fifo = dir.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Platform::MakeOwnerExecutable(fifo.string())) << "and returns at once";
    EXPECT_EQ(ModeOf(fifo), 0600u);
    EXPECT_FALSE(Platform::MakeOwnerExecutable(dir.String()));
    EXPECT_FALSE(Platform::MakeOwnerExecutable((dir.Path() / "missing").string()));
}

} // namespace
