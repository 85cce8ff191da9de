// The safety rules of the download folder: which file a download link names there, the name of
// its own that a product gets when another one already uses that file, and which paths the
// update library may read, write, run or remove. Used by the installer and the update manager.
#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

namespace Kelvora {
namespace UpdateManager {

// The installer file of a download link: its last segment after the last '/', taken literally
// ("..%2f" is just an odd name), in `folder`. An empty path when that segment names no plain
// file: empty, ".", "..", or holding a backslash (a separator on Windows) or a NUL byte.
boost::filesystem::path LinkedInstallerFile(const std::string& folder, const std::string& url);

// The installer file of its own for a product of `type` and `sku` whose link names `linked`:
// "<type>-<sku>-<name>" beside it, each character of type and SKU but letters, digits, '-', '_'
// and '.' given as '_', so that no separator reaches the name.
boost::filesystem::path OwnInstallerFile(const boost::filesystem::path& linked, const std::string& type,
                                         const std::string& sku);

// The one rule for an installer file and its ".confirm" file: true when nothing, or a regular
// file, lies at `path` (`present` tells which); a link is never followed. False, with the reason
// in `why`, for a folder, a link, a FIFO or device, or a name that cannot be looked up (too long,
// no access). Never throws.
bool IsAbsentOrRegularFile(const boost::filesystem::path& path, bool& present, std::string& why);

// Removes the file at `path`, which IsAbsentOrRegularFile let through; true when none is left.
// False, with an error line, when it cannot be removed. Never throws.
bool RemoveDownloadFile(const boost::filesystem::path& path);

} // namespace UpdateManager
} // namespace Kelvora
