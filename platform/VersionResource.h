// The version resource of an executable file (GetFileVersionInfoSizeW, GetFileVersionInfoW and
// VerQueryValueW on Windows), read here from PE32 and PE32+ files. Used by the version finders.
// Files are untrusted: a malformed or truncated file, a directory or a device simply has no
// version information; nothing is read outside the file or the caller's buffer.
#pragma once

#include <cstdint>

namespace Platform {

// The fixed file information under the root block "\", as stored in the file (little-endian).
struct VS_FIXEDFILEINFO
{
    uint32_t dwSignature; // always versionSignature
    uint32_t dwStrucVersion;
    uint32_t dwFileVersionMS;
    uint32_t dwFileVersionLS;
    uint32_t dwProductVersionMS;
    uint32_t dwProductVersionLS;
    uint32_t dwFileFlagsMask;
    uint32_t dwFileFlags;
    uint32_t dwFileOS;
    uint32_t dwFileType;
    uint32_t dwFileSubtype;
    uint32_t dwFileDateMS;
    uint32_t dwFileDateLS;
};

constexpr uint32_t versionSignature = 0xFEEF04BD;

// Size in bytes of the file's version information: its RT_VERSION resource numbered 1, in the
// neutral language, else the user's interface language (UserUiLanguage), else that language
// with a neutral sub-language, else US English, else the first; a path may use "\" as
// separator. 0 when it has none. `handle` (may be null) is set to 0: the other calls ignore it.
uint32_t GetFileVersionInfoSizeW(const wchar_t* fileName, uint32_t* handle);

// Copies the version information into `data` of `size` bytes. False when the file has none or
// `size` is smaller than the size reported above.
bool GetFileVersionInfoW(const wchar_t* fileName, uint32_t handle, uint32_t size, void* data);

// Looks a sub-block up in a block filled by GetFileVersionInfoW. Only the root block "\" is
// known: true with `buffer` pointing at the VS_FIXEDFILEINFO inside `block` and `length` (may
// be null) its size. False when the block holds no fixed file information with the signature.
bool VerQueryValueW(const void* block, const wchar_t* subBlock, void** buffer, unsigned* length);

} // namespace Platform
