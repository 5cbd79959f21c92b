// Removing what a package's list names from an installation folder, shared by the uninstaller and
// by the setup (which removes what an earlier version installed and the new one does not).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/file_list.h"

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
