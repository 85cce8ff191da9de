// Reading the registry (RegOpenKeyExW, RegQueryValueExW, RegCloseKey on Windows). Used by the
// registry reader of the version finders. Here the registry is the plain-text file
// ${XDG_CONFIG_HOME:-$HOME/.config}/kelvora/registry.txt, read afresh at every open; its format
// is described in the README. No store, or no HOME, reads as an empty registry.
#pragma once

#include <cstdint>

namespace Platform {

struct RegistryKey;
using HKEY = RegistryKey*;

// The three roots; they need no opening and are never closed.
extern const HKEY HKEY_CLASSES_ROOT;
extern const HKEY HKEY_CURRENT_USER;
extern const HKEY HKEY_LOCAL_MACHINE;

constexpr uint32_t KEY_READ = 0x20019;

constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_INVALID_PARAMETER = 87;
constexpr long ERROR_MORE_DATA = 234;

// Opens `subKey` (backslash-separated, letter case ignored; empty: the root itself) under a
// root. ERROR_SUCCESS and *result a key to close with RegCloseKey; ERROR_FILE_NOT_FOUND when
// no such key is stored; ERROR_ACCESS_DENIED for any access other than KEY_READ.
long RegOpenKeyExW(HKEY root, const wchar_t* subKey, uint32_t options, uint32_t samDesired, HKEY* result);

// Reads a value of an open key (name: letter case ignored; empty: the key's default value).
// Data of text types are wide characters (sizeof(wchar_t) bytes each here, 2 on Windows),
// normally ending with a NUL character; sizes are in bytes. With `data` null only the size is
// given. ERROR_MORE_DATA, with *dataSize the size needed and the buffer's content undefined,
// when the data do not fit; ERROR_FILE_NOT_FOUND when no such value is stored.
long RegQueryValueExW(HKEY key, const wchar_t* valueName, uint32_t* reserved, uint32_t* type,
                      uint8_t* data, uint32_t* dataSize);

// Closes a key opened by RegOpenKeyExW; ERROR_INVALID_HANDLE for a null key.
long RegCloseKey(HKEY key);

} // namespace Platform
