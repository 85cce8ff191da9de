#include "UpdateManager/VersionFinder.h"

#include "UpdateManager/ReadFileVersion.h"

#include <boost/filesystem/operations.hpp>

namespace Kelvora {
namespace UpdateManager {

const std::string notInstalledVersion = "not_installed";
const std::string unknownVersion = "unknown";

bool VersionFinder::ReadVersionOfFile(const boost::filesystem::path& file, std::string& version, bool& found)
{
    found = false;
    try {
        found = boost::filesystem::exists(file);
    } catch (const boost::filesystem::filesystem_error&) {
        return false;
    }
    return found && ReadFileVersion(file.string(), version);
}

} // namespace UpdateManager
} // namespace Kelvora
