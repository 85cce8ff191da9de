#include "platform/RegularFile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <string>

namespace {

// Content of several read chunks, with every byte value, so that a short or joined read shows.
std::string Bytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 % 256);
    return bytes;
}

TEST(RegularFileTest, ReadsAWholeFileUpToTheLimit)
{
    TempDir dir;
    struct Case
    {
        size_t size;
        size_t limit;
    };
    const Case cases[] = {{0, 0}, {0, 100}, {5, 5}, {20000, 20000}, {20000, 1 << 20}};
    for (const Case& c : cases) {
        const std::string bytes = Bytes(c.size);
        std::string content = "previous";
        errno = 0;
        EXPECT_TRUE(Platform::ReadRegularFile(dir.WriteFile("file", bytes).string(), c.limit, content))
            << c.size << " bytes, limit " << c.limit << ": " << std::strerror(errno);
        EXPECT_TRUE(content == bytes) << c.size << " bytes, limit " << c.limit << ": read " << content.size();
    }
}

TEST(RegularFileTest, FailuresSetErrnoAndLeaveTheContent)
{
    TempDir dir;
    dir.WriteFile("big", Bytes(20001));
    dir.WriteFile("one", "x");
    boost::filesystem::create_directory(dir.Path() / "folder");
    struct Case
    {
        std::string path;
        size_t limit;
        int error;
    };
    const Case cases[] = {
        {dir.String() + "/missing", 100, ENOENT},
        {dir.String() + "/folder", 100, EISDIR},
        {"/dev/null", 100, ENODEV},
        {dir.String() + "/big", 20000, EFBIG},
        {dir.String() + "/big", 8192, EFBIG},
        {dir.String() + "/one", 0, EFBIG},
    };
    for (const Case& c : cases) {
        std::string content = "previous";
        errno = 0;
        EXPECT_FALSE(Platform::ReadRegularFile(c.path, c.limit, content)) << c.path;
        EXPECT_EQ(errno, c.error) << c.path << ": " << std::strerror(errno);
        EXPECT_EQ(content, "previous") << c.path;
    }
}

TEST(RegularFileTest, FifoIsRefusedWithoutWaitingForAWriter)
{
    TempDir dir;
    const std::string fifo = dir.String() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    auto read = std::async(std::launch::async, [&fifo] {
        std::string content = "previous";
        const bool ok = Platform::ReadRegularFile(fifo, 100, content);
        return std::make_pair(ok ? 0 : errno, content);
    });
    if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the read waits for a writer";
        // Release the blocked open, so the test ends.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    const auto result = read.get();
    EXPECT_EQ(result.first, ENODEV);
    EXPECT_EQ(result.second, "previous");
}

} // namespace
