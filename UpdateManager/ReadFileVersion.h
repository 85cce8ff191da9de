// The file version of an executable, from its version resource. Used by the file and registry
// version finders.
#pragma once

#include <string>

namespace Kelvora {
namespace UpdateManager {

// True with `version` = "major.minor.build.revision" in decimal; major and minor keep only
// their low 8 bits, build and revision are given in full. False, with `version` untouched, when
// the file has no readable version resource.
bool ReadFileVersion(const std::string& path, std::string& version);

} // namespace UpdateManager
} // namespace Kelvora
