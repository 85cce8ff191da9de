// Makes a downloaded file startable. Windows starts any file that is a program; here a file
// needs an execute bit, which a download does not carry. Used by the installer only.
#pragma once

#include <string>

namespace Platform {

// Gives the owner the execute bit of the regular file at `path`, leaving the other bits alone.
// A symbolic link at `path` is never followed (false, ELOOP), and a FIFO is never waited on.
// True when the file has the bit afterwards; false (errno set) for anything else. Never throws.
bool MakeOwnerExecutable(const std::string& path);

} // namespace Platform
