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
    found = false;
    try {
        found = boost::filesystem::exists(path);
    } catch (const boost::filesystem::filesystem_error&) {
        return false;
    }
    if (!found)
        return false;
    if (!ReadFileVersion(path.string(), version))
        return false;
    CSingleton<CLog>::GetInstance()->Debug("update_manager", "FileVersion: Found version ", version, " for item ",
                                           path.string());
    return true;
}

} // namespace UpdateManager
} // namespace Kelvora
