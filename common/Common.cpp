#include "common/Common.h"

#include "platform/Environment.h"
#include "platform/LastError.h"
#include "platform/ModulePath.h"
#include "platform/TextConversion.h"

#include <cstdio>
#include <cstdlib>

namespace Kelvora {

// "localhost" resolves on this machine only, so the default never causes network traffic.
const std::string resourcesServer = "localhost";

const std::string legalFileNameChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._- (){}[]&'";

namespace {

constexpr int maxPath = 260;

} // namespace

std::string GetModulePath()
{
    Platform::ModuleHandle module = nullptr;
    if (!Platform::ModuleOfAddress(reinterpret_cast<const void*>(&GetModulePath), module)) {
        // The null handle names the program file.
        std::fprintf(stderr, "GetModuleHandle returned %d\n", Platform::LastErrorCode());
    }
    char path[maxPath] = {};
    Platform::ModuleFileName(module, path, maxPath);
    return path;
}

bool GetKnownFolderPath(const Platform::KnownFolderId& folder, std::string& out)
{
    std::wstring wide;
    if (!Platform::QueryKnownFolderPath(folder, wide))
        return false;
    char narrow[maxPath];
    bool usedDefault = false;
    const int written = Platform::WideToNarrow(wide.c_str(), -1, narrow, maxPath, '?', &usedDefault);
    if (written == 0 || usedDefault) {
        std::printf("GetLastError after WideCharToMultiByte returned %d\n", Platform::LastErrorCode());
        std::fflush(stdout);
        return false;
    }
    out = narrow;
    return true;
}

bool GetSystemFolder(SystemFolder folder, std::string& out)
{
    switch (folder) {
    case SystemFolder::ProgramData:
        return GetKnownFolderPath(Platform::KnownFolderId::ProgramData, out);
    case SystemFolder::ProgramFilesX86:
        return GetKnownFolderPath(Platform::KnownFolderId::ProgramFilesX86, out);
    case SystemFolder::ProgramFilesX64:
        return GetKnownFolderPath(Platform::KnownFolderId::ProgramFilesX64, out);
    case SystemFolder::Desktop:
        return GetKnownFolderPath(Platform::KnownFolderId::Desktop, out);
    case SystemFolder::Downloads:
        return GetKnownFolderPath(Platform::KnownFolderId::Downloads, out);
    case SystemFolder::Profile:
        return GetKnownFolderPath(Platform::KnownFolderId::Profile, out);
    case SystemFolder::SystemDrive: {
        std::string drive;
        if (!Platform::GetEnvironmentVariable("SystemDrive", drive) || drive.empty())
            return false;
        out = drive + PathSeparator();
        return true;
    }
    }
    return false;
}

std::string PathSeparator()
{
    return "\\";
}

char RandomAlphaNumChar()
{
    static const char alphaNum[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    return alphaNum[std::rand() % 62];
}

char RandomFileNameChar()
{
    return legalFileNameChars[static_cast<size_t>(std::rand()) % legalFileNameChars.size()];
}

} // namespace Kelvora
