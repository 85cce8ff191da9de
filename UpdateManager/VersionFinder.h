// The question every version finder answers: which version of one product is installed here.
// Implemented by the file, registry and set finders; the scanner asks one set per SKU.
#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

namespace Kelvora {
namespace UpdateManager {

// No finder found its item, or there was no finder to ask.
extern const std::string notInstalledVersion;
// Some finder found its item, but none could read a version from it.
extern const std::string unknownVersion;

class VersionFinder
{
public:
    virtual ~VersionFinder() = default;

    // True when a version was read; `version` then holds it. `found` tells whether the
    // finder's item (its file) exists, readable version or not. The file and registry finders
    // leave `version` as it was when they fail. Never throws for file-system errors.
    virtual bool FindVersion(std::string& version, bool& found) const = 0;

protected:
    // The file finders' common step: `found` = whether `file` exists (false when the test
    // itself fails), then its version resource as ReadFileVersion reads it.
    static bool ReadVersionOfFile(const boost::filesystem::path& file, std::string& version, bool& found);
};

} // namespace UpdateManager
} // namespace Kelvora
