// Makes a write to a pipe whose reader went away an ordinary failed write (EPIPE), as it is on
// Windows, instead of a SIGPIPE that ends the process. Installed by the log engine; the program's
// entry calls it before its first write to standard output.
#pragma once

namespace Platform {

// Process-wide and idempotent; safe to call from any thread. Programs started afterwards get the
// default behaviour back, since a caught signal is reset when a program is executed.
void IgnoreBrokenPipe();

} // namespace Platform
