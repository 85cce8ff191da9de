#include "common/CLog.h"

#include "platform/ThreadId.h"
#include "tests/support/FakeClock.h"
#include "tests/support/LogTestSeam.h"
#include "tests/support/StdoutCapture.h"

#include <boost/filesystem/path.hpp>
#include <gtest/gtest.h>

#include <locale>
#include <sstream>

namespace {

// Counts how often it is converted to text: a rejected message must convert no part.
struct CountingPart
{
    mutable int* conversions;
};

std::ostream& operator<<(std::ostream& stream, const CountingPart& part)
{
    ++*part.conversions;
    return stream << "counted";
}

std::string Padded(const std::string& text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string ThreadField()
{
    return Padded(std::to_string(Platform::CurrentThreadId()), 5);
}

std::string FormatAt(int64_t elapsedTicks, const char* category, int level, const std::string& text)
{
    FakeClock clock(CLogTestSeam::StartTicks() + elapsedTicks);
    std::ostringstream message;
    message << text;
    return CLogTestSeam::Engine().FormatLine(category, level, message);
}

// Groups every three digits with a dot, as many user locales do.
struct GroupingPunctuation : std::numpunct<char>
{
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Makes a grouping locale the global one for the length of a test.
class ScopedGroupingLocale
{
public:
    ScopedGroupingLocale() : previous(std::locale::global(std::locale(std::locale::classic(), new GroupingPunctuation)))
    {
    }
    ~ScopedGroupingLocale() { std::locale::global(previous); }

private:
    std::locale previous;
};

TEST(CLogTest, NumbersHaveNoDigitGroupingWhateverTheGlobalLocale)
{
    LogCapture capture({"download"});
    const ScopedGroupingLocale grouping;
    ASSERT_EQ((std::ostringstream() << 1048576).str(), "1.048.576") << "the locale groups";
    CSingleton<CLog>::GetInstance()->Info("download", int64_t{1048576}, " ", -1234567, " ", 4000000000u);
    EXPECT_EQ(capture.Messages("download", "info"), std::vector<std::string>{"1048576 -1234567 4000000000"});
    const std::string line = FormatAt(1234567 * int64_t{10000}, "install", 1, "x");
    EXPECT_EQ(line.substr(0, 13), "[LOG] 1234567");
    EXPECT_NE(line.find(" | " + ThreadField() + " | "), std::string::npos) << line;
}

TEST(CLogTest, RejectedMessageWritesNothingAndConvertsNoPart)
{
    int conversions = 0;
    LogCapture capture({"download"}, 3);
    CLog* log = CSingleton<CLog>::GetInstance();
    log->Info("download", CountingPart{&conversions});
    log->Error("web", CountingPart{&conversions});
    log->Error("Download", CountingPart{&conversions});
    EXPECT_EQ(conversions, 0);
    EXPECT_TRUE(capture.Lines().empty());

    log->Warning("download", CountingPart{&conversions});
    log->Error("download", CountingPart{&conversions});
    EXPECT_EQ(conversions, 2);
    EXPECT_EQ(capture.Messages("download", "warning"), std::vector<std::string>{"counted"});
    EXPECT_EQ(capture.Messages("download", "error"), std::vector<std::string>{"counted"});
}

TEST(CLogTest, EmptyTableEnablesNothing)
{
    CLogTestSeam::ClearCategories();
    CLog* log = CSingleton<CLog>::GetInstance();
    for (int level = 0; level <= 6; ++level) {
        EXPECT_FALSE(log->IsEnabled("update_manager", level));
        EXPECT_FALSE(log->IsEnabled("", level));
    }
}

TEST(CLogTest, IsEnabledComparesMinimumLevel)
{
    LogCapture capture({"download"}, 3);
    CLog* log = CSingleton<CLog>::GetInstance();
    struct Case
    {
        const char* category;
        int level;
        bool enabled;
    } cases[] = {
        {"download", 2, false}, {"download", 3, true}, {"download", 4, true},
        {"Download", 4, false}, {"download ", 4, false}, {"web", 4, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(log->IsEnabled(c.category, c.level), c.enabled) << c.category << " " << c.level;
}

TEST(CLogTest, FormatLineFieldsAndWidths)
{
    const std::string thread = ThreadField();
    struct Case
    {
        int64_t elapsedTicks;
        const char* category;
        int level;
        std::string expectedStart;
    } cases[] = {
        {1234 * 10000LL, "install", 1, "[LOG] 1234   | " + thread + " | install         | info   | "},
        // "warning" is longer than its field: no fill, the separators touch it.
        {0, "download", 3, "[LOG] 0      | " + thread + " | download        | warning | "},
        {5, "update_manager", 4, "[LOG] 0      | " + thread + " | update_manager  | error  | "},
        {0, "a_category_of_twenty", 0, "[LOG] 0      | " + thread + " | a_category_of_twenty | debug  | "},
        // Widths are minimums: seven digits widen the field.
        {1000000 * 10000LL, "web", 0, "[LOG] 1000000 | " + thread + " | web             | debug  | "},
        // The clock set back: negative elapsed time; division truncates toward zero.
        {-19999, "web", 2, "[LOG] -1     | " + thread + " | web             | notice | "},
        // Only the low 32 bits are written: 2^31 ms wraps to the most negative value.
        {2147483648LL * 10000, "web", 2, "[LOG] -2147483648 | " + thread + " | web             | notice | "},
        {2147483647LL * 10000, "web", 2, "[LOG] 2147483647 | " + thread + " | web             | notice | "},
    };
    for (const Case& c : cases) {
        const std::string line = FormatAt(c.elapsedTicks, c.category, c.level, "message");
        EXPECT_EQ(line, c.expectedStart + "message\n");
    }
}

TEST(CLogTest, MessageIsNotEscapedAndEmptyMessageEndsWithSeparator)
{
    const std::string empty = FormatAt(0, "web", 0, "");
    EXPECT_EQ(empty.substr(empty.size() - 4), " | \n");
    const std::string multi = FormatAt(0, "update_manager", 0, "first\nsecond");
    EXPECT_EQ(multi.substr(multi.size() - 16), " | first\nsecond\n");
}

TEST(CLogTest, PartsAreWrittenWithoutSeparators)
{
    struct Case
    {
        std::string expected;
        std::string written;
    };
    auto text = [](auto&&... parts) {
        std::ostringstream stream;
        CLog::AppendParts(stream, parts...);
        return stream.str();
    };
    const Case cases[] = {
        {"abc", text("a", std::string("b"), 'c')},
        {"1048576", text(int64_t{1048576})},
        {"-1", text(int64_t{-1})},
        {"-7|4294967295", text(-7, "|", uint32_t{4294967295u})},
        {"x", text(std::string(), "x", std::string())},
        {"\"C:\\a&&b\\set&\"up.exe\"", text(boost::filesystem::path("C:\\a&b\\set\"up.exe"))},
        {"\"/plain/setup.exe\"", text(boost::filesystem::path("/plain/setup.exe"))},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.written, c.expected);
}

TEST(CLogTest, LongLineIsCutForTheRingButWholeForTheListener)
{
    LogCapture capture({"web"});
    CLog* log = CSingleton<CLog>::GetInstance();
    ASSERT_TRUE(CLogTestSeam::WaitForDrain(*log));
    const std::string body(12000, 'x');

    StdoutCapture output;
    log->Debug("web", body, "END");
    ASSERT_TRUE(CLogTestSeam::WaitForDrain(*log));
    const std::string written = output.Stop();

    ASSERT_EQ(capture.Lines().size(), 1u);
    const std::string line = capture.Lines()[0];
    EXPECT_EQ(line.size(), line.find(" | " + body) + 3 + 12000 + 4);
    EXPECT_EQ(written, line.substr(0, 9999));
}

} // namespace
