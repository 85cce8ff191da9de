#include "platform/BrokenPipe.h"

#include "platform/Process.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

namespace {

TEST(BrokenPipeTest, WriteWithoutReaderFailsInsteadOfEndingTheProcess)
{
    Platform::IgnoreBrokenPipe();
    Platform::IgnoreBrokenPipe();
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    errno = 0;
    EXPECT_EQ(::write(ends[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(ends[1]);
}

TEST(BrokenPipeTest, ProgramsStartedAfterwardsHaveTheDefaultAction)
{
    Platform::IgnoreBrokenPipe();
    const std::string program = TestProgramPath("sigpipe_disposition");
    EXPECT_EQ(Platform::RunProcess(program, {program}), 0);
}

} // namespace
