#include "platform/Registry.h"

#include "platform/Environment.h"
#include "platform/RegularFile.h"
#include "platform/TextConversion.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace Platform {

struct RegistryValue
{
    uint32_t type = 0;
    std::vector<wchar_t> data;
};

struct RegistryKey
{
    std::wstring path; // root name and sub-key, letter case folded
    std::map<std::wstring, RegistryValue> values; // by folded name; empty for the roots
};

namespace {

RegistryKey roots[] = {{L"hkey_classes_root", {}}, {L"hkey_current_user", {}}, {L"hkey_local_machine", {}}};

// Registry names ignore the letter case of ASCII letters, as on Windows for these names.
std::wstring Folded(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::wstring WithoutEdgeBackslashes(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L'\\');
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(L'\\') - first + 1);
}

bool IsRoot(HKEY key)
{
    for (RegistryKey& root : roots) {
        if (key == &root)
            return true;
    }
    return false;
}

bool ParseType(const std::string& name, uint32_t& type)
{
    if (name == "REG_SZ")
        type = REG_SZ;
    else if (name == "REG_EXPAND_SZ")
        type = REG_EXPAND_SZ;
    else
        return false;
    return true;
}

// "TYPE:text" (the text and a NUL) or "TYPE#codes" (blank-separated hexadecimal character
// codes, nothing added).
bool ParseValue(const std::string& definition, RegistryValue& value)
{
    const size_t mark = definition.find_first_of(":#");
    if (mark == std::string::npos || !ParseType(Trimmed(definition.substr(0, mark)), value.type))
        return false;
    const std::string rest = definition.substr(mark + 1);
    value.data.clear();
    if (definition[mark] == ':') {
        const std::wstring text = NarrowToWide(rest);
        value.data.assign(text.begin(), text.end());
        value.data.push_back(L'\0');
        return true;
    }
    std::istringstream codes(rest);
    std::string code;
    while (codes >> code) {
        char* end = nullptr;
        const unsigned long number = std::strtoul(code.c_str(), &end, 16);
        if (*end != '\0' || number > 0x10FFFF)
            return false;
        value.data.push_back(static_cast<wchar_t>(number));
    }
    return true;
}

// Fills `key` with the values stored for key->path. True when the store names the key or a
// key below it.
bool LoadKey(RegistryKey& key)
{
    std::string folder;
    if (!GetUserConfigFolder(folder))
        return false;
    // Read whole and bounded: a FIFO or device in its place must not stall the scan.
    constexpr size_t maxStoreSize = 4 * 1024 * 1024;
    std::string content;
    if (!ReadRegularFile(folder + "/kelvora/registry.txt", maxStoreSize, content))
        return false;
    std::istringstream store(content);
    const std::wstring below = key.path + L"\\";
    bool exists = false;
    bool inKey = false;
    std::string line;
    while (std::getline(store, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string trimmed = Trimmed(line);
        if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';')
            continue;
        if (trimmed.front() == '[' && trimmed.back() == ']') {
            const std::wstring path = Folded(WithoutEdgeBackslashes(NarrowToWide(trimmed.substr(1, trimmed.size() - 2))));
            inKey = path == key.path;
            exists = exists || inKey || path.compare(0, below.size(), below) == 0;
            continue;
        }
        const size_t equals = line.find('=');
        RegistryValue value;
        if (!inKey || equals == std::string::npos || !ParseValue(line.substr(equals + 1), value))
            continue;
        key.values[Folded(NarrowToWide(Trimmed(line.substr(0, equals))))] = value;
    }
    return exists;
}

} // namespace

const HKEY HKEY_CLASSES_ROOT = &roots[0];
const HKEY HKEY_CURRENT_USER = &roots[1];
const HKEY HKEY_LOCAL_MACHINE = &roots[2];

long RegOpenKeyExW(HKEY root, const wchar_t* subKey, uint32_t /*options*/, uint32_t samDesired, HKEY* result)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (!IsRoot(root))
        return ERROR_INVALID_HANDLE;
    if ((samDesired & ~KEY_READ) != 0)
        return ERROR_ACCESS_DENIED;
    auto key = std::make_unique<RegistryKey>();
    key->path = root->path;
    const std::wstring sub = Folded(WithoutEdgeBackslashes(subKey == nullptr ? std::wstring() : subKey));
    if (!sub.empty())
        key->path += L"\\" + sub;
    if (!LoadKey(*key) && !sub.empty())
        return ERROR_FILE_NOT_FOUND;
    *result = key.release();
    return ERROR_SUCCESS;
}

long RegQueryValueExW(HKEY key, const wchar_t* valueName, uint32_t* reserved, uint32_t* type,
                      uint8_t* data, uint32_t* dataSize)
{
    if (key == nullptr)
        return ERROR_INVALID_HANDLE;
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr))
        return ERROR_INVALID_PARAMETER;
    RegistryKey rootValues;
    const RegistryKey* source = key;
    if (IsRoot(key)) {
        rootValues.path = key->path;
        LoadKey(rootValues);
        source = &rootValues;
    }
    const auto found = source->values.find(Folded(valueName == nullptr ? std::wstring() : valueName));
    if (found == source->values.end())
        return ERROR_FILE_NOT_FOUND;
    const RegistryValue& value = found->second;
    const size_t needed = value.data.size() * sizeof(wchar_t);
    if (type != nullptr)
        *type = value.type;
    if (data == nullptr) {
        if (dataSize != nullptr)
            *dataSize = static_cast<uint32_t>(needed);
        return ERROR_SUCCESS;
    }
    const size_t room = *dataSize;
    *dataSize = static_cast<uint32_t>(needed);
    if (needed > room)
        return ERROR_MORE_DATA;
    if (needed > 0)
        std::memcpy(data, value.data.data(), needed);
    return ERROR_SUCCESS;
}

long RegCloseKey(HKEY key)
{
    if (key == nullptr)
        return ERROR_INVALID_HANDLE;
    if (!IsRoot(key))
        delete key;
    return ERROR_SUCCESS;
}

} // namespace Platform
