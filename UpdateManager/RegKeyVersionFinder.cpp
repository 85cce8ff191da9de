#include "UpdateManager/RegKeyVersionFinder.h"

#include "UpdateManager/ReadRegistryString.h"
#include "common/CLog.h"
#include "platform/TextConversion.h"

#include <vector>

namespace Kelvora {
namespace UpdateManager {

namespace {

// The code page's form of a wide text (the rule strings were widened with it); a character
// without one becomes '?', which names no file.
std::string Narrowed(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    std::vector<char> narrow(text.size() * 4);
    const int written = Platform::WideToNarrow(text.c_str(), static_cast<int>(text.size()), narrow.data(),
                                               static_cast<int>(narrow.size()), '?', nullptr);
    return std::string(narrow.data(), static_cast<size_t>(written));
}

// The Windows path library's append: a backslash between the parts unless the left one is
// empty or ends with a separator or a drive's colon, or the right one starts with a separator.
std::string AppendPathPart(const std::string& left, const std::string& right)
{
    if (right.empty())
        return left;
    if (left.empty() || left.back() == '/' || left.back() == '\\' || left.back() == ':' || right.front() == '/' ||
        right.front() == '\\')
        return left + right;
    return left + "\\" + right;
}

} // namespace

RegKeyVersionFinder::RegKeyVersionFinder(const std::wstring& registryPath, const std::wstring& fileName,
                                         const std::wstring& subFolder)
    : key(registryPath), valueName(registryPath), fileName(fileName), subFolder(subFolder)
{
    const size_t separator = registryPath.find_last_of(L"/\\");
    if (separator != std::wstring::npos) {
        key = registryPath.substr(0, separator);
        valueName = registryPath.substr(separator + 1);
    }
}

bool RegKeyVersionFinder::FindVersion(std::string& version, bool& found) const
{
    found = false;
    std::string folder;
    if (!ReadRegistryString(key, valueName, folder))
        return false;
    const std::string file = AppendPathPart(AppendPathPart(folder, Narrowed(subFolder)), Narrowed(fileName));
    if (!ReadVersionOfFile(file, version, found))
        return false;
    CSingleton<CLog>::GetInstance()->Debug("update_manager", "RegKeyVersion: Found version ", version, " for item ",
                                           Narrowed(key), "/", Narrowed(valueName));
    return true;
}

} // namespace UpdateManager
} // namespace Kelvora
