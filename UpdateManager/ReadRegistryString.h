// Reads a string value of the registry as narrow text. Used by the registry version finder.
#pragma once

#include <string>

namespace Kelvora {
namespace UpdateManager {

// `keyPath` begins with a root name (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT,
// letter case ignored); the sub-key follows its first backslash. True with the value's text in
// `out`, cut before the first character the code page cannot represent. False, with `out`
// untouched, for another root (logged, category "external"), a missing key or value, a type
// other than REG_SZ, or a value longer than 2047 characters or 2047 bytes of narrow text.
bool ReadRegistryString(const std::wstring& keyPath, const std::wstring& valueName, std::string& out);

} // namespace UpdateManager
} // namespace Kelvora
