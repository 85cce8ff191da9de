// The report of a failed post: on the framework's real posting path, in a child process whose
// queue socket is broken for real, and the formatting of the system's text.
#include "app/MessagePostReport.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/StdoutCapture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace {

using Kelvora::Updater::FormatLastErrorMessage;
using Kelvora::Updater::ReportFailedPost;

const std::string prefix = "[ERROR] PostMessage Windows Failed : ";

ChildResult Probe(const std::string& mode)
{
    return RunChild(TestProgramPath("message_post_probe"), {mode}, {}, 60);
}

TEST(MessagePostReportTest, SuccessfulPostIsDeliveredAndReportsNothing)
{
    const ChildResult result = Probe("ok");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "posted 1\ndelivered 1\n");
}

TEST(MessagePostReportTest, FailedPostReturnsFalseAndReportsTheSystemError)
{
    struct Case
    {
        const char* mode;
        std::string line;
    };
    const Case cases[] = {
        {"closed", prefix + "Broken pipe (0x20)"},
        {"full", prefix + "Resource temporarily unavailable (0xb)"},
    };
    for (const Case& c : cases) {
        const ChildResult result = Probe(c.mode);
        EXPECT_EQ(result.exitCode, 0) << c.mode << ": " << result.err;
        EXPECT_EQ(result.out, c.line + "\nposted 0\ndelivered 0\n") << c.mode;
    }
}

TEST(MessagePostReportTest, TimerThreadReportsItsFailedTicks)
{
    const ChildResult result = Probe("timer");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::istringstream lines(result.out);
    std::string line;
    int reports = 0;
    while (std::getline(lines, line) && line.rfind("timer posts failed", 0) != 0) {
        EXPECT_EQ(line, prefix + "Broken pipe (0x20)");
        ++reports;
    }
    EXPECT_GE(reports, 1) << result.out;
    EXPECT_EQ(line, "timer posts failed, ticks 0") << "no tick may be delivered";
}

TEST(MessagePostReportTest, ReportWithoutSystemTextIsThePrefixAlone)
{
    StdoutCapture capture;
    errno = 12345;
    ReportFailedPost();
    errno = EBADF;
    ReportFailedPost();
    EXPECT_EQ(capture.Stop(), prefix + "\n" + prefix + "Bad file descriptor (0x9)\n");
}

TEST(MessagePostReportTest, FormattedMessageFitsTheBuffer)
{
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    errno = EBADF;
    EXPECT_EQ(FormatLastErrorMessage(buffer, 0), buffer);
    EXPECT_EQ(buffer[0], 'x') << "size 0 writes nothing";
    EXPECT_STREQ(FormatLastErrorMessage(buffer, 15), "");
    errno = EBADF;
    EXPECT_STREQ(FormatLastErrorMessage(buffer, 20), "Bad  (0x9)") << "text cut to size - 16";
    errno = EBADF;
    EXPECT_STREQ(FormatLastErrorMessage(buffer, sizeof buffer), "Bad file descriptor (0x9)");
    errno = 12345;
    EXPECT_STREQ(FormatLastErrorMessage(buffer, sizeof buffer), "");
}

} // namespace
