// The library's constant names, the key that identifies a product and the map of installed
// versions, shared by the update manager, the scanner and the application.
#pragma once

#include <map>
#include <string>
#include <utility>

namespace Kelvora {
namespace UpdateManager {

extern const std::string productTypeSoft;
extern const std::string productTypeFirmware;
extern const std::string productTypeManual;
extern const std::string platformWindows;

// (SKU, type), ordered by SKU, then type, byte-wise.
using ProductKey = std::pair<std::string, std::string>;

// Installed version text of each product.
using LocalVersionMap = std::map<ProductKey, std::string>;

} // namespace UpdateManager
} // namespace Kelvora
