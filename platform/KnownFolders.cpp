#include "platform/KnownFolders.h"

#include "platform/Environment.h"
#include "platform/RegularFile.h"
#include "platform/TextConversion.h"

#include <algorithm>
#include <cerrno>
#include <sstream>

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

// HOME with a trailing '/' must not give a doubled slash when a folder is appended to it.
std::string WithoutTrailingSlashes(const std::string& path)
{
    const size_t end = path.find_last_not_of('/');
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

// The xdg-user-dirs rule: a value is "$HOME" followed by a relative path, or an absolute path.
// The file is small and written by a tool; anything else (a FIFO, a device, a huge file) is not
// read at all.
bool UserDirFromFile(const std::string& home, const std::string& name, std::string& dir)
{
    constexpr size_t maxUserDirsSize = 64 * 1024;
    std::string configHome = home + "/.config";
    GetUserConfigFolder(configHome);
    std::string content;
    if (!ReadRegularFile(configHome + "/user-dirs.dirs", maxUserDirsSize, content))
        return false;
    std::istringstream file(content);
    std::string line;
    std::string value;
    bool found = false;
    while (std::getline(file, line)) {
        // A file written on Windows ends its lines with CR LF: a CR ends the line's text.
        line.erase(std::min(line.find('\r'), line.size()));
        // A NUL would silently cut the path short where it is used as a C string.
        if (!ReadAssignment(line, name, value) || value.find('\0') != std::string::npos)
            continue;
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
            dir = WithoutTrailingSlashes(home) + value.substr(5);
            if (dir.empty())
                dir = "/";
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
            result = WithoutTrailingSlashes(home) + "/Downloads";
        else if (folder == KnownFolderId::Desktop && !UserDirFromFile(home, "XDG_DESKTOP_DIR", result))
            result = WithoutTrailingSlashes(home) + "/Desktop";
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
