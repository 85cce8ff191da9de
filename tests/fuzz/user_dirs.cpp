// Feeds arbitrary bytes as the user-dirs.dirs file and looks the Downloads and Desktop folders
// up: each lookup must give an absolute path without NUL or CR, never crash or block.
#include "platform/KnownFolders.h"
#include "tests/support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static const TempDir config;
    ::setenv("HOME", "/home/fuzz/", 1);
    ::setenv("XDG_CONFIG_HOME", config.String().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string folder = std::getenv("XDG_CONFIG_HOME");
    {
        FILE* file = std::fopen((folder + "/user-dirs.dirs").c_str(), "wb");
        if (file == nullptr)
            return 0;
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    for (const Platform::KnownFolderId id : {Platform::KnownFolderId::Downloads, Platform::KnownFolderId::Desktop}) {
        std::wstring path;
        if (!Platform::QueryKnownFolderPath(id, path))
            std::abort(); // HOME is set, so there is always a folder
        if (path.empty() || path[0] != L'/' || path.find(L'\0') != std::wstring::npos ||
            path.find(L'\r') != std::wstring::npos)
            std::abort();
    }
    return 0;
}
