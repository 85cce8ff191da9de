#include "platform/TextConversion.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(TextConversionTest, RoundTripAndDefaultCharacters)
{
    struct Case
    {
        std::wstring wide;
        std::string narrow;
        bool usedDefault;
    } cases[] = {
        {L"plain", "plain", false},
        {L"j\u00fcrgen \u20ac \U0001F600", "j\xc3\xbcrgen \xe2\x82\xac \xf0\x9f\x98\x80", false},
        {std::wstring(1, wchar_t(0xDC80 + 0x7F)) + L"x", "?x", true}, // a lone surrogate
        {std::wstring(1, wchar_t(0x110000)), "?", true},
    };
    for (const Case& c : cases) {
        char out[64];
        bool usedDefault = !c.usedDefault;
        const int written = Platform::WideToNarrow(c.wide.c_str(), static_cast<int>(c.wide.size()), out,
                                                   sizeof out, '?', &usedDefault);
        EXPECT_EQ(std::string(out, static_cast<size_t>(written)), c.narrow);
        EXPECT_EQ(usedDefault, c.usedDefault);
        if (!c.usedDefault) {
            EXPECT_EQ(Platform::NarrowToWide(c.narrow), c.wide);
        }
    }
}

TEST(TextConversionTest, TerminatorCountsAndShortBufferFails)
{
    char out[4];
    EXPECT_EQ(Platform::WideToNarrow(L"abc", -1, out, 4, '?', nullptr), 4);
    EXPECT_EQ(out[3], '\0');
    errno = 0;
    EXPECT_EQ(Platform::WideToNarrow(L"abcd", -1, out, 4, '?', nullptr), 0);
    EXPECT_EQ(errno, ERANGE);
    // A multi-byte character is never split at the end of the buffer.
    EXPECT_EQ(Platform::WideToNarrow(L"ab\u20ac", 3, out, 4, '?', nullptr), 0);
}

TEST(TextConversionTest, InvalidUtf8BecomesUnconvertibleCharacters)
{
    struct Case
    {
        std::string narrow;
        size_t wideLength;
    } cases[] = {
        {"\xff", 1},
        {"\xc3", 1},          // truncated sequence
        {"\xc0\x80", 2},      // overlong zero
        {"\xed\xa0\x80", 3},  // encoded surrogate
        {"a\xe2\x82", 3},
    };
    for (const Case& c : cases) {
        const std::wstring wide = Platform::NarrowToWide(c.narrow);
        EXPECT_EQ(wide.size(), c.wideLength);
        char out[16];
        bool usedDefault = false;
        Platform::WideToNarrow(wide.c_str(), static_cast<int>(wide.size()), out, sizeof out, '\0', &usedDefault);
        EXPECT_TRUE(usedDefault) << c.narrow;
    }
}

} // namespace
