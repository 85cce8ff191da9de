#include "UpdateManager/ResourcesResponse.h"

#include "UpdateManager/ReadJson.h"
#include "common/CLog.h"

#include <cstdint>
#include <exception>
#include <iostream>

namespace Kelvora {
namespace UpdateManager {

std::string BuildResourcesPath(const std::string& sku, const std::string& type, const std::string& platform,
                               const std::string& version)
{
    return "/api/resources/" + type + "/" + sku + "/" + platform + "/" + version;
}

ResourcesResponse::ResourcesResponse(const boost::property_tree::ptree& answer)
    : valid(false)
{
    Parse(answer);
}

void ResourcesResponse::Parse(const boost::property_tree::ptree& answer)
{
    CLog& log = *CSingleton<CLog>::GetInstance();
    try {
        const int32_t total = answer.get<int32_t>("total", JsonNumber<int32_t>());
        const boost::property_tree::ptree resources = answer.get_child("resources");
        const size_t count = resources.size();
        if (count == 0) {
            log.Warning("update_manager", "Resource is empty");
            return;
        }
        if (total >= 0 && count == static_cast<size_t>(total)) {
            valid = true;
            resource = resources.front().second;
            return;
        }
        log.Error("update_manager", "Invalid resources: ", "got ", count, " while ", "total indicates ", total);
    } catch (const std::exception& error) {
        log.Error("update_manager", "Error in resource parsing: ", error.what());
    } catch (...) {
        log.Error("update_manager", "Unknown error in resource parsing");
    }
}

void ResourcesResponse::DumpPtree() const
{
    DumpPtree(resource, "", 0);
}

void ResourcesResponse::DumpPtree(const boost::property_tree::ptree& tree, const std::string& key, int depth)
{
    const std::string indent(static_cast<size_t>(depth), ' ');
    std::cout << indent << "+" << key << " : " << tree.data() << " {\n";
    for (const auto& child : tree)
        DumpPtree(child.second, child.first, depth + 1);
    std::cout << indent << "}\n";
}

} // namespace UpdateManager
} // namespace Kelvora
