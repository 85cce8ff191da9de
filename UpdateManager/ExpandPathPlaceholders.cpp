#include "UpdateManager/ExpandPathPlaceholders.h"

#include "common/Common.h"

namespace Kelvora {
namespace UpdateManager {

std::string ExpandPathPlaceholders(std::string text)
{
    if (text.empty() || text[0] != '<')
        return text;
    const size_t close = text.find('>');
    if (close == std::string::npos)
        return text;
    const std::string tag = text.substr(0, close + 1);
    Platform::KnownFolderId folder;
    if (tag == "<pf86>")
        folder = Platform::KnownFolderId::ProgramFilesX86;
    else if (tag == "<pf64>")
        folder = Platform::KnownFolderId::ProgramFilesX64;
    else if (tag == "<data>")
        folder = Platform::KnownFolderId::ProgramData;
    else if (tag == "<user>")
        folder = Platform::KnownFolderId::Profile;
    else
        return text;
    std::string path;
    if (!GetKnownFolderPath(folder, path))
        return text;
    return path + text.substr(close + 1);
}

} // namespace UpdateManager
} // namespace Kelvora
