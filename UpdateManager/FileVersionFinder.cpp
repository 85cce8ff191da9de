#include "UpdateManager/FileVersionFinder.h"

#include "UpdateManager/ExpandPathPlaceholders.h"
#include "UpdateManager/ReadFileVersion.h"
#include "common/CLog.h"

#include <boost/filesystem/operations.hpp>

namespace Kelvora {
namespace UpdateManager {

FileVersionFinder::FileVersionFinder(const std::string& text) : path(ExpandPathPlaceholders(text)) {}

bool FileVersionFinder::FindVersion(std::string& version, bool& found) const
{
    boost::system::error_code error;
    found = boost::filesystem::exists(path, error);
    if (error || !found) {
        found = false;
        return false;
    }
    if (!ReadFileVersion(path.string(), version))
        return false;
    CSingleton<CLog>::GetInstance()->Debug("update_manager", "FileVersion: Found version ", version, " for item ",
                                           path.string());
    return true;
}

} // namespace UpdateManager
} // namespace Kelvora
