// Removing what a package's list names from an installation folder, shared by the uninstaller and
// by the setup (which removes what an earlier version installed and the new one does not).
//
// The programs run elevated, while an installation folder may be writable by ordinary users. So
// every deletion is made by handle, inside folders held open by base/held_folder.h from the
// installation folder down: a folder that is (or becomes) a link is never gone through, and what
// it points to is left alone. A file held by another program is waited for (base/file_retry.h) and,
// when the hold outlasts that, marked for deletion at the next restart.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/file_list.h"

// What a removal did.
struct ListedRemoval {
    unsigned removed = 0;                  // listed files deleted
    std::vector<std::wstring> marked;      // full paths left to the next restart: files, then folders
    unsigned left = 0;                     // listed files that exist and could be neither deleted nor marked
    std::vector<std::wstring> linkFolders; // relative paths ("" for the folder itself) found to be links
};

// Deletes the files that `listed` names below `directory`, except those named in `kept` (relative
// paths, any letter case), then the folders they leave empty (the listed ones and every parent of
// a listed path), deepest first; a folder that still holds a file marked for the restart is marked
// too, after it. Whatever the list does not name stays, and so does every folder that still holds
// something; `directory` itself is not removed. A folder found to be a link is neither gone
// through nor removed, and is reported; so is a folder in which a file turned out to be resolved
// through another path (swapped for a link around the open), and then nothing more is deleted at
// all: what is left counts as left. A file counts as removed only once its folder no longer lists
// it. Read-only files are deleted too. Work and memory are
// linear in the list: each folder is looked at once.
ListedRemoval RemoveListed(const std::wstring& directory, const std::vector<ListedPath>& listed,
                           const std::vector<std::wstring>& kept);

// RemoveListed keeping `keepPath` (a full path; empty keeps nothing), followed by the list file
// FILE_LIST_NAME when `listed` names it. Returns the number of listed files that exist but could
// not be deleted now (marked for the restart or not).
unsigned RemoveListedFiles(const std::wstring& directory, const std::vector<ListedPath>& listed,
                           const std::wstring& keepPath);

// Marks the file or folder `path` (a full path) for deletion when Windows next starts (a folder
// only goes then if it is empty). Needs administrator rights. True only when the mark reads back
// from the registry's pending renames.
bool MarkForRestart(const std::wstring& path);

// Drops the marks that MarkForRestart left for `paths` (full paths), so that a file installed
// again under one of those names before the restart is not deleted then. Other programs' marks
// stay. True when none of them is marked any more.
bool ForgetRestartMarks(const std::vector<std::wstring>& paths);

// True when a mark for the next restart names something below `directory` (full path), or the
// marks cannot be read.
bool HasRestartMarksInside(const std::wstring& directory);

// True when `directory` holds anything other than `keepPath` (full path; empty keeps nothing).
bool HoldsOtherEntries(const std::wstring& directory, const std::wstring& keepPath);

// For tests, where a race or a kill must come at one moment: when set, called with a listed file's
// relative path once its folder is held, just before the file is deleted.
extern std::function<void(const std::wstring& relative)> g_beforeListedDelete;
