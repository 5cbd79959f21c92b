// Removing the pieces of an installation: the files, a shortcut, the uninstall key. Each removal
// touches only what belongs to the installation directory it is given.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sample/file_list.h"

// Deletes the files that `listed` names below `directory`, except `keepPath` (full path; empty
// keeps nothing), then the folders they leave empty (the listed ones and every parent of a listed
// path), deepest first, then the list file FILE_LIST_NAME itself. Whatever the list does not name
// stays, and so does every folder that still holds something; `directory` itself is not removed.
// Nothing is reached through a directory link (junction, symbolic link) below `directory`, so no
// list can lead a deletion outside it. Read-only files are made writable first. Returns the number
// of listed files that exist but could not be deleted.
unsigned RemoveListedFiles(const std::wstring& directory, const std::vector<ListedPath>& listed,
                           const std::wstring& keepPath);

// True when `directory` holds anything other than `keepPath` (full path; empty keeps nothing).
bool HoldsOtherEntries(const std::wstring& directory, const std::wstring& keepPath);

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
