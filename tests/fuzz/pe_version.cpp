// Feeds arbitrary bytes as an executable file to the version-resource reader: it must never
// crash or read outside the file or its buffers, only report "no version".
#include "UpdateManager/ReadFileVersion.h"
#include "tests/support/TempDir.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const TempDir dir;
    static const boost::filesystem::path file = dir.Path() / "input.exe";
    dir.WriteFile("input.exe", std::string(reinterpret_cast<const char*>(data), size));
    std::string version;
    Kelvora::UpdateManager::ReadFileVersion(file.string(), version);
    return 0;
}
