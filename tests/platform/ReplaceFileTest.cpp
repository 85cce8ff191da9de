#include "platform/ReplaceFile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <string>

namespace fs = boost::filesystem;

namespace {

TEST(ReplaceFileTest, WhateverHasTheNameIsReplacedAsAName)
{
    const struct {
        const char* name;
        void (*make)(TempDir& dir, const fs::path& at);
    } cases[] = {
        {"nothing", [](TempDir&, const fs::path&) {}},
        {"a longer file", [](TempDir&, const fs::path& at) { std::ofstream(at.string()) << std::string(5000, 'x'); }},
        // Opening a FIFO for writing would wait for a reader for ever.
        {"a FIFO", [](TempDir&, const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {"a link", [](TempDir& dir, const fs::path& at) { fs::create_symlink(dir.Path() / "target", at); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path target = dir.WriteFile("target", "untouched");
        const fs::path at = dir.Path() / "record";
        c.make(dir, at);
        ASSERT_TRUE(Platform::ReplaceFileWith(at.string(), "new\r\ncontent"));
        EXPECT_EQ(fs::symlink_status(at).type(), fs::regular_file);
        EXPECT_EQ(ReadFile(at), "new\r\ncontent");
        EXPECT_EQ(ReadFile(target), "untouched");
        EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"record", "target"})) << "nothing left beside it";
    }
}

TEST(ReplaceFileTest, AFolderOrAMissingFolderIsNotReplacedAndLeavesNothing)
{
    TempDir dir;
    const fs::path folder = dir.Path() / "record";
    fs::create_directory(folder);
    errno = 0;
    EXPECT_FALSE(Platform::ReplaceFileWith(folder.string(), "x"));
    EXPECT_NE(errno, 0);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"record"});

    errno = 0;
    EXPECT_FALSE(Platform::ReplaceFileWith((dir.Path() / "missing" / "record").string(), "x"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(Platform::ReplaceFileWith("", "x"));
}

} // namespace
