// Known folders: their paths, and the machine's own folders that neither program may take as an
// installation.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <array>
#include <string>

// The path of a known folder, or empty when the shell cannot resolve it.
std::wstring KnownFolderPath(REFKNOWNFOLDERID folder);

// Besides the Windows folder: the system, Program Files and ProgramData folders, the shared and the
// current user's profile folders, Start menus and desktops. The setup installs into none of them nor
// above one; the updater deletes none of them nor a parent of one.
extern const std::array<const KNOWNFOLDERID*, 22> SYSTEM_AND_USER_FOLDERS;
