#include "common/CTiming.h"

#include "tests/support/FakeClock.h"
#include "tests/support/LogTestSeam.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(CTimingTest, LogsTruncatedCountInItsUnit)
{
    struct Case
    {
        bool inMilliseconds;
        int64_t ticks;
        std::string expected;
    } cases[] = {
        {true, 19999, "scope : 1 ms"},           // 1.9999 ms: the remainder is dropped
        {true, 1530000, "scope : 153 ms"},
        {false, 19999, "scope : 1999 micros"},
        {true, -25000, "scope : -2 ms"},         // the clock set back during the scope
        {false, 9, "scope : 0 micros"},
    };
    for (const Case& c : cases) {
        LogCapture capture({"timing"});
        FakeClock clock(1000000000);
        {
            Kelvora::CTiming timing("scope", c.inMilliseconds);
            clock.Advance(c.ticks);
        }
        EXPECT_EQ(capture.Messages("timing", "notice"), std::vector<std::string>{c.expected});
    }
}

TEST(CTimingTest, ElapsedDoesNotLogAndScopeLeftByExceptionStillLogs)
{
    LogCapture capture({"timing"});
    FakeClock clock(0);
    try {
        Kelvora::CTiming timing("Complete Scan", true);
        clock.Advance(30000);
        EXPECT_EQ(timing.Elapsed(), 3);
        EXPECT_TRUE(capture.Lines().empty());
        clock.Advance(40000);
        throw std::runtime_error("scope failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(capture.Messages(), std::vector<std::string>{"Complete Scan : 7 ms"});
}

} // namespace
