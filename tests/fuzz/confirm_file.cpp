// Feeds arbitrary bytes as the ".confirm" file of a five-byte installer and runs the state check
// that reads it: it must neither crash nor call the installer verified unless "size" says 5.
#include "UpdateManager/Installer.h"
#include "UpdateManager/ReadJson.h"
#include "tests/support/TempDir.h"

#include <cstdlib>

namespace um = Kelvora::UpdateManager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const TempDir dir;
    static const boost::filesystem::path installer = dir.WriteFile("setup.exe", "12345");
    const std::string content(reinterpret_cast<const char*>(data), size);
    dir.WriteFile("setup.exe.confirm", content);

    const um::Installer checked("u", installer, um::ProductStatus::Unknown, "0.0", "1.0");
    const um::ProductStatus status = checked.GetStatus();
    if (status == um::ProductStatus::InstallerAvailable) {
        boost::property_tree::ptree tree;
        um::ReadJson(content, tree); // accepted by the state check, so it parses here too
        if (tree.get<int64_t>("size", 0) != 5 || checked.GetDownloadedSize() != 0)
            std::abort();
    } else if (status != um::ProductStatus::DownloadPaused || checked.GetDownloadedSize() != 5) {
        std::abort();
    }
    return 0;
}
