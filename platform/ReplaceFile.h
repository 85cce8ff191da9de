// Replaces a file as a whole (a new file written beside it, then MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH on Windows; rename here). Used for the
// ".confirm" record, which must never be half written nor written through whatever holds its name.
#pragma once

#include <string>

namespace Platform {

// Writes `content` to a new file in the folder of `path`, flushes it to the disk and renames it
// over `path`. Whatever has that name (a file, a FIFO, a symbolic link) is replaced as a name:
// it is never opened, followed or written to; a folder there is not replaced. True when `path`
// then names the new file. False, with errno set and the new file removed, otherwise. Never
// throws.
bool ReplaceFileWith(const std::string& path, const std::string& content);

} // namespace Platform
