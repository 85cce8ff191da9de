#include "UpdateManager/VersionFinder.h"

namespace Kelvora {
namespace UpdateManager {

const std::string notInstalledVersion = "not_installed";
const std::string unknownVersion = "unknown";

} // namespace UpdateManager
} // namespace Kelvora
