// A product's status, stored in its installer record, and its display text.
#pragma once

#include <cstdint>
#include <string>

namespace Kelvora {
namespace UpdateManager {

enum class ProductStatus : int32_t {
    Unknown = 0,
    UpToDate = 1,
    UpdateNeeded = 2,
    DownloadInProgress = 3,
    DownloadPaused = 4,
    DownloadError = 5,
    InstallerAvailable = 6,
    InstallerStart = 7,
    InstallInProgress = 8,
    InstallComplete = 9,
    UnsupportedOs = 10,
    Error = 11,
};

// The status text; "<error state unknown>" for a value outside 0 to 11.
std::string ProductStatusToString(ProductStatus status);

} // namespace UpdateManager
} // namespace Kelvora
