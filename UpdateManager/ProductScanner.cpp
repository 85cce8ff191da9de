#include "UpdateManager/ProductScanner.h"

#include "UpdateManager/FileVersionFinder.h"
#include "UpdateManager/ReadJson.h"
#include "UpdateManager/RegKeyVersionFinder.h"
#include "common/CLog.h"
#include "common/CTiming.h"
#include "platform/TextConversion.h"

#include <boost/filesystem/operations.hpp>
#include <boost/property_tree/ptree.hpp>

namespace Kelvora {
namespace UpdateManager {

namespace pt = boost::property_tree;

namespace {

CLog& Log()
{
    return *CSingleton<CLog>::GetInstance();
}

// An object or array in place of a text counts as empty text.
std::wstring RegkeyString(const pt::ptree& node)
{
    // Decoded with the code page rather than byte by byte, so that names outside ASCII reach
    // the same registry key and file.
    return node.empty() ? Platform::NarrowToWide(node.data()) : std::wstring();
}

} // namespace

ProductScanner::ProductScanner(const boost::filesystem::path& definitionFile)
    : loaded(false)
{
    loaded = LoadDefinitions(definitionFile);
}

bool ProductScanner::LoadDefinitions(const boost::filesystem::path& definitionFile)
{
    const std::string narrowPath = definitionFile.string();
    if (!definitionFile.empty()) {
        bool exists = false;
        try {
            exists = boost::filesystem::exists(definitionFile);
        } catch (const boost::filesystem::filesystem_error&) {
            return false;
        }
        if (!exists) {
            Log().Warning("update_manager", "Could not find scanner definition file: ", narrowPath);
            return false;
        }
    }

    pt::ptree document;
    try {
        ReadJsonFile(narrowPath, document);
    } catch (const std::exception& e) {
        Log().Error("update_manager", " Caught exception while parsing json file ", narrowPath, ": ", e.what());
        return false;
    }

    const pt::ptree* scanner = nullptr;
    try {
        scanner = &document.get_child("scanner");
    } catch (const pt::ptree_error& e) {
        Log().Error("update_manager", "'scanner' node not found in scanner definition file: ", e.what());
        return true;
    }

    for (const pt::ptree::value_type& entry : *scanner) {
        std::string name;
        std::string sku;
        const pt::ptree* rulesNode = nullptr;
        try {
            name = entry.second.get<std::string>("name");
            sku = entry.second.get<std::string>("sku");
            rulesNode = &entry.second.get_child("rules");
        } catch (const pt::ptree_error& e) {
            Log().Warning("update_manager", "Bad scanner definition for product '", name, "': ", e.what());
            continue;
        }
        AddRules(sku, *rulesNode);
    }
    return true;
}

void ProductScanner::AddRules(const std::string& sku, const pt::ptree& rulesNode)
{
    for (const pt::ptree::value_type& rule : rulesNode) {
        if (rule.second.empty())
            continue;
        const std::string& kind = rule.second.front().first;
        const pt::ptree& argument = rule.second.front().second;
        std::unique_ptr<VersionFinder> finder;
        if (kind == "file") {
            finder = std::make_unique<FileVersionFinder>(argument.data());
        } else if (kind == "regkey") {
            if (argument.size() == 2 || argument.size() == 3) {
                auto child = argument.begin();
                const std::wstring registryPath = RegkeyString((child++)->second);
                const std::wstring fileName = RegkeyString((child++)->second);
                const std::wstring subFolder = child == argument.end() ? std::wstring() : RegkeyString(child->second);
                finder = std::make_unique<RegKeyVersionFinder>(registryPath, fileName, subFolder);
            } else {
                Log().Warning("update_manager", "Missing a string in RegkeyVersionFinder definition in json '", kind,
                              "'");
                Log().Warning("update_manager", "Could not add Unknown Rule '", kind, "'");
            }
        } else {
            Log().Warning("update_manager", "Could not add Unknown Rule '", kind, "'");
        }
        if (finder)
            rules[sku].Add(std::move(finder));
    }
    const unsigned count = static_cast<unsigned>(rules[sku].GetCount());
    Log().Info("update_manager", count, " scan rules to find ", sku);
}

bool ProductScanner::HasRules(const std::string& sku) const
{
    return rules.count(sku) != 0;
}

bool ProductScanner::IsLoaded() const
{
    return loaded;
}

ScanResult ProductScanner::Scan(const std::string& sku) const
{
    Log().Info("update_manager", "Searching for ", sku);
    ScanResult result(ProductKey(sku, productTypeSoft), notInstalledVersion);
    const auto set = rules.find(sku);
    if (set != rules.end()) {
        std::string version;
        bool found = false;
        set->second.FindVersion(version, found);
        result.second = version;
    }
    Log().Info("update_manager", "Found ", sku, "/", result.second);
    return result;
}

LocalVersionMap ProductScanner::ScanAll() const
{
    CTiming timing("Complete Scan", true);
    Log().Info("update_manager", "Complete Scan");
    LocalVersionMap versions;
    for (const auto& set : rules) {
        std::string version;
        bool found = false;
        set.second.FindVersion(version, found);
        versions[ProductKey(set.first, productTypeSoft)] = version;
    }
    return versions;
}

} // namespace UpdateManager
} // namespace Kelvora
