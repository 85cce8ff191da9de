#include "UpdateManager/VersionFinderSet.h"

#include "common/CLog.h"

namespace Kelvora {
namespace UpdateManager {

void VersionFinderSet::Add(std::unique_ptr<VersionFinder> finder)
{
    finders.push_back(std::move(finder));
}

size_t VersionFinderSet::GetCount() const
{
    return finders.size();
}

bool VersionFinderSet::FindVersion(std::string& version, bool& found) const
{
    found = false;
    version = unknownVersion;
    for (const std::unique_ptr<VersionFinder>& finder : finders) {
        bool finderFound = false;
        const bool read = finder->FindVersion(version, finderFound);
        if (finderFound)
            found = true;
        if (read)
            return true;
    }
    if (!found)
        version = notInstalledVersion;
    CSingleton<CLog>::GetInstance()->Debug("update_manager", "VersionFinderSet: Didn't find any version number.");
    return false;
}

} // namespace UpdateManager
} // namespace Kelvora
