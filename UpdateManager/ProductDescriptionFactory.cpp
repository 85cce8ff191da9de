#include "UpdateManager/ProductDescriptionFactory.h"

#include "common/CLog.h"
#include "common/Common.h"
#include "common/Resources.h"

#include <boost/algorithm/string/replace.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/filesystem.hpp>
#include <boost/property_tree/exceptions.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <stdexcept>

namespace Kelvora {
namespace UpdateManager {

namespace {

const char* const createName = "Kelvora::UpdateManager::ProductDescriptionFactory::Create";

// A decimal integer with white space around it and nothing else; 0 for any other text.
uint64_t ReadSize(const std::string& text)
{
    const std::string digits = boost::algorithm::trim_copy(text);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return 0;
    try {
        return std::stoull(digits);
    } catch (const std::out_of_range&) {
        return 0;
    }
}

} // namespace

bool ProductDescriptionFactory::Create(const std::string& sku, const std::string& type, const std::string& localVersion,
                                       const boost::property_tree::ptree& element, ProductDescription& out)
{
    CLog& log = *CSingleton<CLog>::GetInstance();
    try {
        const std::string productSku = element.get<std::string>("product_sku");
        const std::string productId = element.get<std::string>("product_id", "");
        if (productSku != sku && productId != sku) {
            log.Error("description", "Failed to find sku", "\n", "[LOG] ## ", "sku", " = ", productSku, "\n",
                      "[LOG] ## ", "inSKU", " = ", sku);
            return false;
        }
        out.sku = sku;
        out.type = type;
        out.localVersion = localVersion;
        out.name = element.get<std::string>("name");
        out.url = element.get<std::string>("permalink");
        out.latestVersion = element.get<std::string>("version");
        out.productPage = element.get<std::string>("links.product_page.href", "");
        if (out.productPage.empty())
            out.productPage = element.get<std::string>("resources_site_link");
        const std::string notes = element.get<std::string>("release_notes_html", "");
        if (!notes.empty())
            WriteReleaseNotes(sku, notes, out);
        out.platformMinVersion = element.get<std::string>("platform_min_version", "");
        out.platformMaxVersion = element.get<std::string>("platform_max_version", "");
        out.platformDisplayVersion = element.get<std::string>("platform_display_version", "");
        out.size = ReadSize(element.get<std::string>("size", ""));
        out.checksum = element.get<std::string>("checksum", "");
        return true;
    } catch (const boost::property_tree::ptree_error& error) {
        log.Error("description", createName, error.what());
        return false;
    }
}

void ProductDescriptionFactory::WriteReleaseNotes(const std::string& sku, const std::string& notes, ProductDescription& out)
{
    const std::string folder = CSingleton<Resources>::GetInstance()->GetResourcesFolder();
    // The folder is a text prefix that ends with its separator.
    const std::string tempFolder = folder + "temp";
    try {
        const std::string parent = GetDirectoryPart(tempFolder);
        if (parent.empty() || !boost::filesystem::exists(parent))
            return;
        if (!boost::filesystem::exists(tempFolder))
            boost::filesystem::create_directory(tempFolder);
        const std::string file = tempFolder + PathSeparator() + sku + ".html";
        std::ofstream stream(file, std::ios::out | std::ios::trunc);
        if (!stream)
            return;
        stream << notes;
        out.releaseNotesUrl = "file://" + file;
    } catch (const boost::filesystem::filesystem_error& error) {
        CSingleton<CLog>::GetInstance()->Error("description", createName, error.what(), "\n", "[LOG] ## ", "dest_dir",
                                               " = ", tempFolder);
    }
}

std::string GetDirectoryPart(const std::string& path)
{
    const size_t end = path.find_last_not_of("/\\");
    const std::string trimmed = end == std::string::npos ? std::string() : path.substr(0, end + 1);
    const std::string text = ReplaceAll(trimmed, "/", PathSeparator());
    const size_t last = text.rfind('\\');
    return last == std::string::npos ? std::string() : text.substr(0, last);
}

std::string ReplaceAll(const std::string& text, const std::string& pattern, const std::string& replacement)
{
    // An empty pattern would match everywhere without advancing.
    if (pattern.empty())
        return text;
    return boost::algorithm::replace_all_copy(text, pattern, replacement);
}

} // namespace UpdateManager
} // namespace Kelvora
