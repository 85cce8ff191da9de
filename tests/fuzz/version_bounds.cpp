// Fuzzes ParseVersion and the platform check's reading of its bounds. Input: a reported system
// version (first 6 bytes), then "min\nmax\nversion".
#include "UpdateManager/ProductDescription.h"

#include "platform/WindowsVersion.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

uint16_t Read16(const uint8_t* data)
{
    return static_cast<uint16_t>(data[0] | data[1] << 8);
}

std::string NextLine(std::string& text)
{
    const size_t end = text.find('\n');
    std::string line = text.substr(0, end);
    text = end == std::string::npos ? std::string() : text.substr(end + 1);
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    const uint16_t major = Read16(data), minor = Read16(data + 2), servicePack = Read16(data + 4);
    Platform::SetReportedWindowsVersionForTesting(major, minor, servicePack);
    std::string rest(reinterpret_cast<const char*>(data + 6), size - 6);

    Kelvora::UpdateManager::ProductDescription description;
    description.platformMinVersion = NextLine(rest);
    description.platformMaxVersion = NextLine(rest);
    const bool compatible = description.IsPlatformCompatible();
    // Two empty bounds admit every system; a minimum equal to the system, given whole, admits it.
    if (description.platformMinVersion.empty() && description.platformMaxVersion.empty() && !compatible)
        std::abort();
    Kelvora::UpdateManager::ProductDescription exact;
    exact.platformMinVersion = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(servicePack);
    exact.platformMaxVersion = exact.platformMinVersion;
    if (servicePack != 65535 && !exact.IsPlatformCompatible())
        std::abort();

    const uint64_t version = Kelvora::UpdateManager::ParseVersion(rest);
    // A version that parses reads back to the same number from its canonical text.
    if (version != 0) {
        const std::string canonical = std::to_string(version >> 48) + "." + std::to_string(version >> 32 & 0xFFFF) + "."
            + std::to_string(version >> 16 & 0xFFFF) + "." + std::to_string(version & 0xFFFF);
        if (Kelvora::UpdateManager::ParseVersion(canonical) != version)
            std::abort();
    }
    return 0;
}
