// Removing the pieces of an installation outside its folder: a shortcut, the uninstall key. Each
// removal touches only what belongs to the installation directory it is given. (The files go by
// base/listed_removal.h.)
#pragma once

#include <windows.h>

#include <string>
#include <vector>


enum class RemovalOutcome {
    Removed,
    Absent,  // nothing to remove
    Foreign, // exists but belongs to another installation: kept
    Failed,  // ours, but could not be removed
};

// Deletes the shell link `linkPath` when its target lies inside `installDirectory`. A link that
// cannot be read, or has no target, is deleted too: its name is ours and it is broken anyway.
// COM must be initialised on the calling thread.
RemovalOutcome RemoveOwnedShortcut(const std::wstring& linkPath, const std::wstring& installDirectory);

// Deletes the registry key `root`\`subkey` with all its values and subkeys, unless its
// "InstallLocation" names a directory other than `installDirectory` (a newer installation
// elsewhere has taken the key over). A key without "InstallLocation" is deleted.
RemovalOutcome RemoveOwnedUninstallKey(HKEY root, const std::wstring& subkey, const std::wstring& installDirectory);
