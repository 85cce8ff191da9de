// Constants and small helpers over system paths shared by the whole program: the default
// resources server, the program file's path, known folders, the path separator.
#pragma once

#include "platform/KnownFolders.h"

#include <string>

namespace Kelvora {

// Default address of the resources server: a host name without scheme, port or path.
extern const std::string resourcesServer;

// The 74 characters RandomFileNameChar draws from.
extern const std::string legalFileNameChars;

enum class SystemFolder : int {
    ProgramData = 0,
    ProgramFilesX86 = 1,
    ProgramFilesX64 = 2,
    Desktop = 3,
    Downloads = 4,
    Profile = 5,
    SystemDrive = 6,
};

// Full path of the program file, cut to 259 characters. Prints "GetModuleHandle returned %d"
// on standard error when the module cannot be found, and still names the program file.
std::string GetModulePath();

// The known folder's path in the narrow code page. False, with `out` unchanged, when the system
// gives no path (silently) or the path does not convert into 260 bytes without a default
// character (with a message on standard output).
bool GetKnownFolderPath(const Platform::KnownFolderId& folder, std::string& out);

// The folder's path; SystemDrive is the "SystemDrive" variable and a separator. False, with
// `out` unchanged, for an unknown value or an unset or empty variable.
bool GetSystemFolder(SystemFolder folder, std::string& out);

// One backslash: the separator of the paths the system builds as text.
std::string PathSeparator();

char RandomAlphaNumChar();
char RandomFileNameChar();

} // namespace Kelvora
