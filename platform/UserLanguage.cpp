#include "platform/UserLanguage.h"

#include "platform/Environment.h"

#include <cstring>
#include <string>

namespace Platform {

namespace {

struct LanguageName
{
    const char* locale; // language, or language_TERRITORY
    uint16_t id;
};

// Windows' identifiers; a plain language maps to the one Windows gives it by default.
constexpr LanguageName languageNames[] = {
    {"ar", 0x0401},    {"bg", 0x0402},    {"ca", 0x0403},    {"zh", 0x0804},    {"zh_CN", 0x0804},
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"cs", 0x0405},    {"da", 0x0406},
    {"de", 0x0407},    {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"el", 0x0408},
    {"en", 0x0409},    {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"es", 0x0C0A},    {"es_MX", 0x080A}, {"fi", 0x040B},    {"fr", 0x040C},
    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"he", 0x040D},
    {"hu", 0x040E},    {"is", 0x040F},    {"it", 0x0410},    {"it_CH", 0x0810}, {"ja", 0x0411},
    {"ko", 0x0412},    {"nl", 0x0413},    {"nl_BE", 0x0813}, {"nb", 0x0414},    {"no", 0x0414},
    {"nn", 0x0814},    {"pl", 0x0415},    {"pt", 0x0416},    {"pt_BR", 0x0416}, {"pt_PT", 0x0816},
    {"ro", 0x0418},    {"ru", 0x0419},    {"hr", 0x041A},    {"sk", 0x041B},    {"sq", 0x041C},
    {"sv", 0x041D},    {"sv_FI", 0x081D}, {"th", 0x041E},    {"tr", 0x041F},    {"id", 0x0421},
    {"uk", 0x0422},    {"sl", 0x0424},    {"et", 0x0425},    {"lv", 0x0426},    {"lt", 0x0427},
    {"vi", 0x042A},
};

uint16_t Lookup(const std::string& name)
{
    for (const LanguageName& entry : languageNames) {
        if (name == entry.locale)
            return entry.id;
    }
    return 0;
}

} // namespace

uint16_t UserUiLanguage()
{
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (GetEnvironmentVariable(variable, locale) && !locale.empty())
            break;
        locale.clear();
    }
    const std::string name = locale.substr(0, locale.find_first_of(".@"));
    const std::string language = name.substr(0, name.find('_'));
    if (const uint16_t exact = Lookup(name))
        return exact;
    return Lookup(language);
}

} // namespace Platform
