#include "UpdateManager/DownloadFolder.h"

#include "common/CLog.h"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cctype>

namespace fs = boost::filesystem;

namespace Kelvora {
namespace UpdateManager {

namespace {

bool IsPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('\\') == std::string::npos
        && name.find('\0') == std::string::npos;
}

std::string FileNamePart(const std::string& text)
{
    std::string part = text;
    std::replace_if(
        part.begin(), part.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.'; }, '_');
    return part;
}

} // namespace

fs::path LinkedInstallerFile(const std::string& folder, const std::string& url)
{
    const size_t slash = url.rfind('/');
    const std::string name = slash == std::string::npos ? url : url.substr(slash + 1);
    if (!IsPlainFileName(name))
        return fs::path();
    return fs::path(folder) / name;
}

fs::path OwnInstallerFile(const fs::path& linked, const std::string& type, const std::string& sku)
{
    return linked.parent_path() / (FileNamePart(type) + "-" + FileNamePart(sku) + "-" + linked.filename().string());
}

bool IsAbsentOrRegularFile(const fs::path& path, bool& present, std::string& why)
{
    boost::system::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    present = status.type() == fs::regular_file;
    if (present || status.type() == fs::file_not_found)
        return true;
    why = status.type() == fs::status_error ? error.message() : std::string("not a regular file");
    return false;
}

bool RemoveDownloadFile(const fs::path& path)
{
    boost::system::error_code error;
    fs::remove(path, error);
    if (!error)
        return true;
    CSingleton<CLog>::GetInstance()->Error("update_manager", "Could not remove ", path, ": ", error.message());
    return false;
}

} // namespace UpdateManager
} // namespace Kelvora
