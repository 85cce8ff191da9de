#include "platform/UserLanguage.h"

#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UserLanguageTest, LocaleNamesGiveWindowsLanguageIdentifiers)
{
    struct Case
    {
        const char* locale;
        uint16_t language;
    };
    const Case cases[] = {
        {"de_AT", 0x0C07},
        {"fr_CA", 0x0C0C},
        {"en_GB", 0x0809},
        {"pt_BR", 0x0416},
        {"zh_TW", 0x0404},
        {"de", 0x0407},
        {"en_US.UTF-8", 0x0409},
        {"de_AT.ISO-8859-15@euro", 0x0C07},
        {"zh_TW.Big5", 0x0404},
        {"fr_CA@modifier", 0x0C0C},
        {"de_BE", 0x0407}, // a territory without its own identifier: the language's default
        {"ca_ES@valencia", 0x0403},
        {"C", 0},
        {"C.UTF-8", 0},
        {"POSIX", 0},
        {"xx_YY", 0},
        {"tlh", 0},
        {"_AT", 0},
        {".UTF-8", 0},
        {"@euro", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        environment.Unset("LC_ALL");
        environment.Unset("LC_MESSAGES");
        environment.Set("LANG", c.locale);
        EXPECT_EQ(Platform::UserUiLanguage(), c.language) << "LANG=" << c.locale;
    }
}

TEST(UserLanguageTest, FirstLocaleVariableSetAndNotEmptyCounts)
{
    struct Case
    {
        const char* lcAll; // nullptr: unset
        const char* lcMessages;
        const char* lang;
        uint16_t language;
    };
    const Case cases[] = {
        {"fr_FR", "de_DE", "en_GB", 0x040C},
        {nullptr, "de_DE", "en_GB", 0x0407},
        {"", "", "en_GB", 0x0809},
        {"C", "de_DE", "en_GB", 0},
        {nullptr, nullptr, nullptr, 0},
    };
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        for (const auto& variable : {std::make_pair("LC_ALL", c.lcAll), std::make_pair("LC_MESSAGES", c.lcMessages),
                                     std::make_pair("LANG", c.lang)}) {
            if (variable.second == nullptr)
                environment.Unset(variable.first);
            else
                environment.Set(variable.first, variable.second);
        }
        EXPECT_EQ(Platform::UserUiLanguage(), c.language)
            << "LC_ALL=" << (c.lcAll ? c.lcAll : "(unset)")
            << " LC_MESSAGES=" << (c.lcMessages ? c.lcMessages : "(unset)") << " LANG=" << (c.lang ? c.lang : "(unset)");
    }
}

} // namespace
