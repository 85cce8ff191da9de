// Feeds arbitrary bytes as a scanner definition file, then scans every product it defines.
// The registry store and the home folder point at an empty folder, so rules read nothing of
// the machine's own configuration.
#include "UpdateManager/ProductScanner.h"
#include "tests/support/TempDir.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static const TempDir home;
    ::setenv("HOME", home.String().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.String().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const TempDir dir;
    const boost::filesystem::path file =
        dir.WriteFile("scanner.json", std::string(reinterpret_cast<const char*>(data), size));
    const Kelvora::UpdateManager::ProductScanner scanner(file);
    scanner.ScanAll();
    scanner.Scan("A");
    return 0;
}
