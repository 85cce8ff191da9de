// Maps a file path written the Windows way to this platform's, so that one scanner definition
// or registry value names the same file on both: "\" is a separator there, so it becomes "/".
// Used wherever the version finders reach the file system.
#pragma once

#include <string>

namespace Platform {

// `path` with every backslash replaced by a slash; nothing else changes. A Linux file whose
// name holds a backslash cannot be named through it.
std::string ToNativePath(const std::string& path);

} // namespace Platform
