#include "platform/TextConversion.h"

#include <cerrno>
#include <cwchar>

namespace Platform {

namespace {

// Encodes one code point; returns the number of bytes (0 when it has no UTF-8 form).
int EncodeUtf8(char32_t c, char (&bytes)[4])
{
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c >= 0xD800 && c <= 0xDFFF)
        return 0;
    if (c < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    if (c <= 0x10FFFF) {
        bytes[0] = static_cast<char>(0xF0 | (c >> 18));
        bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
        return 4;
    }
    return 0;
}

} // namespace

int WideToNarrow(const wchar_t* in, int inLength, char* out, int outSize, char defaultChar,
                 bool* usedDefault)
{
    if (in == nullptr || out == nullptr || outSize <= 0 || inLength < -1) {
        errno = EINVAL;
        return 0;
    }
    const size_t count = inLength == -1 ? std::wcslen(in) + 1 : static_cast<size_t>(inLength);
    if (usedDefault != nullptr)
        *usedDefault = false;
    int written = 0;
    for (size_t i = 0; i < count; ++i) {
        char bytes[4];
        int n = EncodeUtf8(static_cast<char32_t>(in[i]), bytes);
        if (n == 0) {
            bytes[0] = defaultChar;
            n = 1;
            if (usedDefault != nullptr)
                *usedDefault = true;
            errno = EILSEQ;
        }
        if (written + n > outSize) {
            errno = ERANGE;
            return 0;
        }
        for (int k = 0; k < n; ++k)
            out[written++] = bytes[k];
    }
    return written;
}

std::wstring NarrowToWide(const std::string& text)
{
    std::wstring result;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        int extra = 0;
        char32_t c = lead;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
            minimum = 0x10000;
        } else if (lead >= 0x80) {
            extra = -1;
        }
        bool valid = extra >= 0;
        for (int k = 1; valid && k <= extra; ++k) {
            if (i + k >= size || (bytes[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                c = (c << 6) | (bytes[i + k] & 0x3F);
        }
        if (valid && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (!valid) {
            result.push_back(static_cast<wchar_t>(0xDC00 + lead));
            ++i;
            continue;
        }
        result.push_back(static_cast<wchar_t>(c));
        i += static_cast<size_t>(extra) + 1;
    }
    return result;
}

} // namespace Platform
