#include "UpdateManager/ReadRegistryString.h"

#include "common/CLog.h"
#include "platform/Registry.h"
#include "platform/TextConversion.h"

#include <boost/algorithm/string/predicate.hpp>

#include <algorithm>

namespace Kelvora {
namespace UpdateManager {

namespace {

// 4096 bytes of UTF-16 on Windows: 2048 wide characters, the terminating NUL included.
constexpr size_t valueChars = 2048;
constexpr int narrowBytes = 2048;

} // namespace

bool ReadRegistryString(const std::wstring& keyPath, const std::wstring& valueName, std::string& out)
{
    Platform::HKEY root = nullptr;
    if (boost::algorithm::istarts_with(keyPath, L"HKEY_CURRENT_USER"))
        root = Platform::HKEY_CURRENT_USER;
    else if (boost::algorithm::istarts_with(keyPath, L"HKEY_LOCAL_MACHINE"))
        root = Platform::HKEY_LOCAL_MACHINE;
    else if (boost::algorithm::istarts_with(keyPath, L"HKEY_CLASSES_ROOT"))
        root = Platform::HKEY_CLASSES_ROOT;
    else {
        CSingleton<CLog>::GetInstance()->Error(
            "external", "Reg Key is none of {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT}", "\n",
            " The registrykey could not be resolved.");
        return false;
    }
    const size_t slash = keyPath.find(L'\\');
    const std::wstring subKey = slash == std::wstring::npos ? keyPath : keyPath.substr(slash + 1);

    Platform::HKEY key = nullptr;
    if (Platform::RegOpenKeyExW(root, subKey.c_str(), 0, Platform::KEY_READ, &key) != Platform::ERROR_SUCCESS ||
        key == nullptr)
        return false;
    wchar_t value[valueChars] = {};
    uint32_t size = sizeof(value);
    uint32_t type = 0;
    bool result = false;
    if (Platform::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<uint8_t*>(value),
                                   &size) == Platform::ERROR_SUCCESS &&
        type == Platform::REG_SZ) {
        // The data need not end with a NUL: only the characters returned are taken, and a
        // value that fills the whole buffer without one is complete as it is.
        const size_t returned = std::min<size_t>(size / sizeof(wchar_t), valueChars);
        const size_t length = std::find(value, value + returned, L'\0') - value;
        // NUL replaces what the code page cannot represent, so the text ends there. A text
        // that does not fit with its terminator is refused rather than cut to a wrong path.
        char narrow[narrowBytes];
        const int written = length == 0 ? 0
                                        : Platform::WideToNarrow(value, static_cast<int>(length), narrow,
                                                                 narrowBytes - 1, '\0', nullptr);
        if (length == 0 || written > 0) {
            out.assign(narrow, std::find(narrow, narrow + written, '\0'));
            result = true;
        }
    }
    Platform::RegCloseKey(key);
    return result;
}

} // namespace UpdateManager
} // namespace Kelvora
