// The user's interface language as a Windows language identifier (GetUserDefaultUILanguage on
// Windows). Here it comes from the locale environment: LC_ALL, else LC_MESSAGES, else LANG (the
// first that is set and not empty). Used by the version resource reader to choose a language.
#pragma once

#include <cstdint>

namespace Platform {

// The LANGID (primary language in the low 10 bits, sub-language above) of the locale named in
// the environment, of the form language[_TERRITORY][.codeset][@modifier]: a known
// language_TERRITORY pair gives its own identifier, any other territory the language's default
// one. 0 (neutral) for no locale, "C", "POSIX" or a language without an identifier here.
uint16_t UserUiLanguage();

} // namespace Platform
