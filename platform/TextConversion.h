// Conversion between wide text and the narrow "ANSI code page", which is UTF-8 on this platform
// (WideCharToMultiByte / MultiByteToWideChar with CP_ACP on Windows).
#pragma once

#include <string>

namespace Platform {

// Converts `inLength` wide characters (-1: up to and including the terminating zero) into at
// most `outSize` bytes of `out`. A character without a narrow form (a lone surrogate, a value
// beyond U+10FFFF) is written as `defaultChar`, sets *usedDefault when usedDefault is given and
// leaves errno EILSEQ.
// Returns the number of bytes written, or 0 on failure (output too small: errno ERANGE; bad
// arguments: errno EINVAL); `out` may then hold a partial result.
int WideToNarrow(const wchar_t* in, int inLength, char* out, int outSize, char defaultChar,
                 bool* usedDefault);

// Decodes narrow text. Bytes that are not valid UTF-8 become the lone surrogates U+DC80..U+DCFF,
// which have no narrow form, so WideToNarrow reports them instead of inventing characters.
std::wstring NarrowToWide(const std::string& text);

} // namespace Platform
