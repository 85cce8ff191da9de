#include "UpdateManager/ProductStatus.h"

namespace Kelvora {
namespace UpdateManager {

std::string ProductStatusToString(ProductStatus status)
{
    static const char* const texts[] = {
        "unknown",
        "up-to-date",
        "update needed",
        "download in progress",
        "download paused",
        "download error",
        "installer available",
        "installer start",
        "install in progress",
        "install complete",
        "latest update doesn't support this OS",
        "error",
    };
    const auto value = static_cast<int32_t>(status);
    if (value < 0 || value >= static_cast<int32_t>(sizeof texts / sizeof texts[0]))
        return "<error state unknown>";
    return texts[value];
}

} // namespace UpdateManager
} // namespace Kelvora
