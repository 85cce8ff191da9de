#include "UpdateManager/ProductKey.h"

namespace Kelvora {
namespace UpdateManager {

const std::string productTypeSoft = "soft";
const std::string productTypeFirmware = "firmware";
const std::string productTypeManual = "manual";
const std::string platformWindows = "windows";

} // namespace UpdateManager
} // namespace Kelvora
