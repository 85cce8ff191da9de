#include "UpdateManager/VersionFinder.h"

#include "UpdateManager/ReadFileVersion.h"
#include "platform/NativePath.h"

#include <boost/filesystem/operations.hpp>

namespace Kelvora {
namespace UpdateManager {

const std::string notInstalledVersion = "not_installed";
const std::string unknownVersion = "unknown";

bool VersionFinder::ReadVersionOfFile(const boost::filesystem::path& file, std::string& version, bool& found)
{
    found = false;
    // Definitions and registry values are written for Windows; the version resource reader
    // maps the path in the same way.
    const boost::filesystem::path native(Platform::ToNativePath(file.string()));
    try {
        found = boost::filesystem::exists(native);
    } catch (const boost::filesystem::filesystem_error&) {
        return false;
    }
    return found && ReadFileVersion(file.string(), version);
}

} // namespace UpdateManager
} // namespace Kelvora
