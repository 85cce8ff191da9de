#include "platform/KnownFolders.h"

#include "platform/Environment.h"
#include "platform/TextConversion.h"

#include <cerrno>
#include <fstream>

namespace Platform {

namespace {

// Value of one assignment of user-dirs.dirs: a double-quoted text with backslash escapes, or
// a bare word. Returns false when the line is not an assignment of `name`.
bool ReadAssignment(const std::string& line, const std::string& name, std::string& value)
{
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line.compare(i, name.size() + 1, name + "=") != 0)
        return false;
    i += name.size() + 1;
    value.clear();
    if (i < line.size() && line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            value.push_back(line[i]);
        }
        return true;
    }
    const size_t end = line.find_first_of(" \t#", i);
    value = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
    return true;
}

// The xdg-user-dirs rule: a value is "$HOME" followed by a relative path, or an absolute path.
bool UserDirFromFile(const std::string& home, const std::string& name, std::string& dir)
{
    std::string configHome = home + "/.config";
    GetUserConfigFolder(configHome);
    std::ifstream file(configHome + "/user-dirs.dirs");
    std::string line;
    std::string value;
    bool found = false;
    while (std::getline(file, line)) {
        if (!ReadAssignment(line, name, value))
            continue;
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
            dir = home + value.substr(5);
            found = true;
        } else if (!value.empty() && value[0] == '/') {
            dir = value;
            found = true;
        }
    }
    return found;
}

} // namespace

bool QueryKnownFolderPath(KnownFolderId folder, std::wstring& path)
{
    std::string result;
    switch (folder) {
    case KnownFolderId::ProgramData:
        result = "/var/lib";
        break;
    case KnownFolderId::ProgramFilesX86:
    case KnownFolderId::ProgramFilesX64:
        result = "/opt";
        break;
    case KnownFolderId::Desktop:
    case KnownFolderId::Downloads:
    case KnownFolderId::Profile: {
        std::string home;
        if (!GetEnvironmentVariable("HOME", home) || home.empty()) {
            errno = ENOENT;
            return false;
        }
        if (folder == KnownFolderId::Profile)
            result = home;
        else if (folder == KnownFolderId::Downloads && !UserDirFromFile(home, "XDG_DOWNLOAD_DIR", result))
            result = home + "/Downloads";
        else if (folder == KnownFolderId::Desktop && !UserDirFromFile(home, "XDG_DESKTOP_DIR", result))
            result = home + "/Desktop";
        break;
    }
    default:
        errno = EINVAL;
        return false;
    }
    path = NarrowToWide(result);
    return true;
}

} // namespace Platform
