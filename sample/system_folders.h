// Paths of the machine's own folders, as the updater needs them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Folders an uninstall must never delete or delete a parent of: the Windows and Program Files
// folders, the shared and current user's profile folders, the Start menu and desktops, and the
// temporary folder. Folders that cannot be resolved are left out.
std::vector<std::wstring> ProtectedFolders();

// The full path of the running program (any length); empty on failure.
std::wstring CurrentProgramPath();

// The temporary folder with its trailing backslash; empty on failure.
std::wstring TemporaryFolder();
