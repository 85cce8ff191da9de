#include "UpdateManager/FileVersionFinder.h"

#include "UpdateManager/ExpandPathPlaceholders.h"
#include "common/CLog.h"

namespace Kelvora {
namespace UpdateManager {

FileVersionFinder::FileVersionFinder(const std::string& text) : path(ExpandPathPlaceholders(text)) {}

bool FileVersionFinder::FindVersion(std::string& version, bool& found) const
{
    if (!ReadVersionOfFile(path, version, found))
        return false;
    CSingleton<CLog>::GetInstance()->Debug("update_manager", "FileVersion: Found version ", version, " for item ",
                                           path.string());
    return true;
}

} // namespace UpdateManager
} // namespace Kelvora
