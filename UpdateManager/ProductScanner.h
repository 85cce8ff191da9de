// Finds which version of each known product is installed, from the rules of a scanner
// definition file (JSON) read once at construction. Owned by the update manager.
#pragma once

#include "UpdateManager/ProductKey.h"
#include "UpdateManager/VersionFinderSet.h"

#include <boost/filesystem/path.hpp>
#include <boost/property_tree/ptree_fwd.hpp>

#include <map>
#include <string>
#include <utility>

namespace Kelvora {
namespace UpdateManager {

// (SKU, "soft") and the installed version text.
using ScanResult = std::pair<ProductKey, std::string>;

class ProductScanner
{
public:
    // Loads the definitions; problems are logged and leave the rules they concern out.
    explicit ProductScanner(const boost::filesystem::path& definitionFile);
    ProductScanner(const ProductScanner&) = delete;
    ProductScanner& operator=(const ProductScanner&) = delete;

    // True when `sku` has a rule set, also an empty one.
    bool HasRules(const std::string& sku) const;
    // False when the definition file was missing, unreadable or not JSON.
    bool IsLoaded() const;

    // The version of one product; notInstalledVersion when it has no rules or nothing is found.
    ScanResult Scan(const std::string& sku) const;
    // The versions of every product that has a rule set.
    LocalVersionMap ScanAll() const;

private:
    // False when the file is missing, unreadable, no regular file or not JSON that ReadJson
    // accepts; true otherwise, also when its content is partly or wholly unusable.
    bool LoadDefinitions(const boost::filesystem::path& definitionFile);
    void AddRules(const std::string& sku, const boost::property_tree::ptree& rulesNode);

    std::map<std::string, VersionFinderSet> rules;
    bool loaded;
};

} // namespace UpdateManager
} // namespace Kelvora
