#include "UpdateManager/ProductDescription.h"

#include "platform/WindowsVersion.h"

#include <boost/algorithm/string/split.hpp>

#include <cctype>
#include <vector>

namespace Kelvora {
namespace UpdateManager {

namespace {

std::vector<std::string> SplitAtDots(const std::string& text)
{
    std::vector<std::string> parts;
    boost::algorithm::split(parts, text, [](char c) { return c == '.'; });
    return parts;
}

// One part of a platform bound, read the way strtoul reads base 10 on a 32-bit system: leading
// white space, one sign, digits up to the first other character. Gives the low 16 bits.
bool ReadBoundPart(const std::string& part, uint16_t& value)
{
    size_t i = 0;
    while (i < part.size() && std::isspace(static_cast<unsigned char>(part[i])))
        ++i;
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
        negative = part[i] == '-';
        ++i;
    }
    if (i >= part.size() || !std::isdigit(static_cast<unsigned char>(part[i])))
        return false;
    uint64_t number = 0;
    for (; i < part.size() && std::isdigit(static_cast<unsigned char>(part[i])); ++i) {
        number = number * 10 + static_cast<uint64_t>(part[i] - '0');
        if (number > 4294967295u)
            return false;
    }
    const auto number32 = static_cast<uint32_t>(negative ? 0u - number : number);
    value = static_cast<uint16_t>(number32 & 0xFFFF);
    return true;
}

// Reads parts 1 to 3 of a bound; missing parts 2 and 3 take `missing`.
bool ReadBound(const std::string& bound, uint16_t missing, uint16_t (&parts)[3], bool (&present)[3])
{
    const std::vector<std::string> texts = SplitAtDots(bound);
    for (size_t i = 0; i < 3; ++i) {
        present[i] = i < texts.size();
        parts[i] = missing;
        if (present[i] && !ReadBoundPart(texts[i], parts[i]))
            return false;
    }
    return true;
}

// One version part: an optional sign and one or more digits, nothing else, at most 65535.
bool ReadVersionPart(const std::string& part, uint16_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
        negative = part[i] == '-';
        ++i;
    }
    if (i == part.size())
        return false;
    uint32_t number = 0;
    for (; i < part.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(part[i])))
            return false;
        number = number * 10 + static_cast<uint32_t>(part[i] - '0');
        if (number > 65535)
            return false;
    }
    value = static_cast<uint16_t>(negative ? (65536 - number) % 65536 : number);
    return true;
}

} // namespace

bool ProductDescription::IsPlatformCompatible() const
{
    bool result = true;
    uint16_t parts[3];
    bool present[3];
    if (!platformMinVersion.empty()) {
        if (!ReadBound(platformMinVersion, 0, parts, present))
            return false;
        result = Platform::IsWindowsVersionOrGreater(parts[0], parts[1], parts[2]);
    }
    if (!platformMaxVersion.empty()) {
        if (!ReadBound(platformMaxVersion, 65535, parts, present))
            return false;
        // The maximum is inclusive: running < (a, b, c + 1).
        const uint16_t servicePack = present[2] ? static_cast<uint16_t>(parts[2] + 1) : uint16_t{65535};
        if (result)
            result = !Platform::IsWindowsVersionOrGreater(parts[0], parts[1], servicePack);
    }
    return result;
}

uint64_t ParseVersion(const std::string& text)
{
    const std::vector<std::string> parts = SplitAtDots(text);
    if (parts.size() < 2)
        return 0;
    uint64_t result = 0;
    for (size_t i = 0; i < 4; ++i) {
        uint16_t value = 0;
        if (i < parts.size() && !ReadVersionPart(parts[i], value))
            return 0;
        result = result << 16 | value;
    }
    return result;
}

} // namespace UpdateManager
} // namespace Kelvora
