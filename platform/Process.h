// Starts a program and waits for it to end (_spawnv with _P_WAIT on Windows; posix_spawn and
// waitpid here). Used by the installer to run a downloaded installer and the disk-image tools.
#pragma once

#include <string>
#include <vector>

namespace Platform {

// Starts `program` (a path; a bare name is a file in the current folder, PATH is never
// searched) with `arguments` as its whole argument vector, its own name first, waits for it and
// returns its exit code. Each argument reaches the program as one text; one pair of double
// quotes around a whole argument is taken off, as a Windows program's own command-line parsing
// does. The file's mode is left as it is. Returns -1 when the program cannot be started or ends
// by a signal. Never throws.
int RunProcess(const std::string& program, const std::vector<std::string>& arguments);

// One argument as a Windows program's own command-line parsing gives it back: one pair of double
// quotes around the whole text taken off, nothing else unescaped.
std::string WithoutEnclosingQuotes(const std::string& text);

// Starts `program` as a process of its own, in a new session and with default signal handling,
// and does not wait for it, so that it outlives the caller (the relaunch: _execv on Windows).
// `program` is used as given: a bare name is a file in the current directory, never looked up
// in PATH. `arguments` is the whole argument vector, passed unchanged. False, with errno set,
// when the program cannot be started (missing, not executable, empty path). Never throws.
bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& arguments);

} // namespace Platform
