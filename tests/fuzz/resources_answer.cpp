// Fuzzes the road of a server answer: JSON text (through the system's JSON reader) -> ResourcesResponse -> ProductDescriptionFactory,
// then the platform check of what was read.
#include "UpdateManager/ProductDescriptionFactory.h"
#include "UpdateManager/ReadJson.h"
#include "UpdateManager/ResourcesResponse.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    boost::property_tree::ptree answer;
    try {
        Kelvora::UpdateManager::ReadJson(std::string(reinterpret_cast<const char*>(data), size), answer);
    } catch (const boost::property_tree::ptree_error&) {
        return 0;
    }
    const Kelvora::UpdateManager::ResourcesResponse response(answer);
    if (!response.IsValid())
        return 0;
    Kelvora::UpdateManager::ProductDescription description;
    const std::string sku = response.GetResource().get<std::string>("product_sku", "");
    if (Kelvora::UpdateManager::ProductDescriptionFactory().Create(sku, "soft", "0.0", response.GetResource(), description)) {
        description.IsPlatformCompatible();
        Kelvora::UpdateManager::ParseVersion(description.latestVersion);
    }
    return 0;
}
