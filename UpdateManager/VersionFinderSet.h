// The ordered finders of one product SKU: the first that reads a version wins. Held by value,
// one per SKU, in the product scanner.
#pragma once

#include "UpdateManager/VersionFinder.h"

#include <memory>
#include <vector>

namespace Kelvora {
namespace UpdateManager {

class VersionFinderSet : public VersionFinder
{
public:
    VersionFinderSet() = default;
    VersionFinderSet(const VersionFinderSet&) = delete;
    VersionFinderSet& operator=(const VersionFinderSet&) = delete;

    // Appends a finder; the set owns it from then on.
    void Add(std::unique_ptr<VersionFinder> finder);
    size_t GetCount() const;

    // True with the first version a finder reads (later finders are not asked). Otherwise
    // false with `version` = unknownVersion when some finder found its item, else
    // notInstalledVersion (also for an empty set).
    bool FindVersion(std::string& version, bool& found) const override;

private:
    std::vector<std::unique_ptr<VersionFinder>> finders;
};

} // namespace UpdateManager
} // namespace Kelvora
