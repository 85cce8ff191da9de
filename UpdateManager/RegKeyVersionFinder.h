// Finds a product's version through a folder recorded in a registry string value: the version
// resource of a file in that folder (a "regkey" rule of the scanner definition file). Created
// by the product scanner.
#pragma once

#include "UpdateManager/VersionFinder.h"

#include <string>

namespace Kelvora {
namespace UpdateManager {

class RegKeyVersionFinder : public VersionFinder
{
public:
    // `registryPath` is the root name, the key path and the value name; it is split at its
    // last slash or backslash (with neither, key and value name are both the whole text).
    RegKeyVersionFinder(const std::wstring& registryPath, const std::wstring& fileName,
                        const std::wstring& subFolder);

    // `found` is whether the file in the registry's folder exists; true when a version was
    // read from it. A missing key or value finds nothing.
    bool FindVersion(std::string& version, bool& found) const override;

private:
    std::wstring key;
    std::wstring valueName;
    std::wstring fileName;
    std::wstring subFolder;
};

} // namespace UpdateManager
} // namespace Kelvora
