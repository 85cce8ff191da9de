#include "UpdateManager/ReadFileVersion.h"

#include "platform/TextConversion.h"
#include "platform/VersionResource.h"

#include <vector>

namespace Kelvora {
namespace UpdateManager {

bool ReadFileVersion(const std::string& path, std::string& version)
{
    // Decoded with the code page rather than byte by byte, so that names outside ASCII reach
    // the same file.
    const std::wstring widePath = Platform::NarrowToWide(path);
    uint32_t ignored = 0;
    const uint32_t size = Platform::GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    std::vector<char> buffer(size);
    if (size == 0 || !Platform::GetFileVersionInfoW(widePath.c_str(), 0, size, buffer.data()))
        return false;
    void* value = nullptr;
    unsigned length = 0;
    if (!Platform::VerQueryValueW(buffer.data(), L"\\", &value, &length))
        return false;
    const auto* info = static_cast<const Platform::VS_FIXEDFILEINFO*>(value);
    version = std::to_string((info->dwFileVersionMS >> 16) & 0xFF) + "." +
              std::to_string(info->dwFileVersionMS & 0xFF) + "." +
              std::to_string(info->dwFileVersionLS >> 16) + "." + std::to_string(info->dwFileVersionLS & 0xFFFF);
    return true;
}

} // namespace UpdateManager
} // namespace Kelvora
