// Replaces a folder placeholder at the start of a path ("<pf86>", "<pf64>", "<data>", "<user>")
// by the known folder's path. Used by the file version finder.
#pragma once

#include <string>

namespace Kelvora {
namespace UpdateManager {

// The text with its leading tag replaced, no separator added or removed. Unchanged when it
// starts with no tag, with an unknown tag (letter case counts), or when the folder has no path.
std::string ExpandPathPlaceholders(std::string text);

} // namespace UpdateManager
} // namespace Kelvora
