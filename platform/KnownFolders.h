// Paths of the Windows known folders for the current user (SHGetKnownFolderPath on Windows).
// Here: Profile is $HOME; Downloads and Desktop come from the XDG user-dirs file
// (${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs) or else are $HOME/Downloads, $HOME/Desktop;
// ProgramData is /var/lib; ProgramFilesX86 and ProgramFilesX64 are both /opt.
#pragma once

#include <string>

namespace Platform {

enum class KnownFolderId { ProgramData, ProgramFilesX86, ProgramFilesX64, Desktop, Downloads, Profile };

// True with the folder's path in `path`. False, with `path` unchanged, when the folder has none:
// the per-user folders (Profile, Downloads, Desktop) have none while HOME is unset or empty.
// The folder need not exist.
bool QueryKnownFolderPath(KnownFolderId folder, std::wstring& path);

} // namespace Platform
