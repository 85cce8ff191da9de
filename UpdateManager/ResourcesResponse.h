// The resources server's side of a release request: the request path, and the check of the
// answer's wrapper {"total": n, "resources": [...]} that keeps its one release description.
// Used by the update manager when it refreshes a product from the server.
#pragma once

#include <boost/property_tree/ptree.hpp>

#include <string>

namespace Kelvora {
namespace UpdateManager {

// "/api/resources/" type "/" sku "/" platform "/" version, joined as they stand (nothing escaped).
std::string BuildResourcesPath(const std::string& sku, const std::string& type, const std::string& platform,
                               const std::string& version);

class ResourcesResponse
{
public:
    // Checks the answer once; nothing leaves the constructor: every failure is logged (category
    // "update_manager") and leaves the response invalid.
    explicit ResourcesResponse(const boost::property_tree::ptree& answer);

    // True when "total" is a 32-bit integer equal to the (non-zero) number of "resources" elements.
    bool IsValid() const { return valid; }
    // The first element of "resources" when valid; an empty tree otherwise.
    const boost::property_tree::ptree& GetResource() const { return resource; }

    // Diagnostic: writes the kept element to standard output, one node per line with its children
    // indented by one blank per level.
    void DumpPtree() const;

private:
    void Parse(const boost::property_tree::ptree& answer);
    static void DumpPtree(const boost::property_tree::ptree& tree, const std::string& key, int depth);

    bool valid;
    boost::property_tree::ptree resource;
};

} // namespace UpdateManager
} // namespace Kelvora
