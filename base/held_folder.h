// Work inside an installation folder that no link can redirect. The setup and the uninstaller run
// elevated, while an installation folder (C:\Games\ZENKA, say) may be writable by ordinary users,
// who can put a junction or a symbolic link where a folder was and so lead an administrator's
// writes and deletes anywhere.
//
// So every folder the programs work in is opened as a handle that does not follow a reparse point,
// checked by that handle (and, where the file system shows links only in listings, by its parent's
// listing and the file's identity) not to be one, and held open without FILE_SHARE_DELETE while the
// work inside it runs, so that it cannot be renamed or replaced meanwhile. Everything inside is
// opened relative to the held handle (NtCreateFile with a root directory), never again by a full
// path, so that even a swap the sharing mode does not stop cannot redirect the work. Files are
// deleted and renamed by handle.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/owners.h"

// The result for a folder that is a reparse point: a junction, a symbolic link, a mount point.
inline constexpr DWORD ERROR_FOLDER_IS_LINK = 4395; // ERROR_REPARSE_POINT_ENCOUNTERED

// Opens the existing folder `fullPath` (a full Win32 path, "\\?\" or not) as a held folder.
// Returns ERROR_SUCCESS, ERROR_FOLDER_IS_LINK, or the Windows error of the open.
DWORD OpenHeldFolder(const std::wstring& fullPath, FileHandle& folder);

// Opens the folder `name` (one name) inside the held folder `parent` as a held folder; with
// `create`, makes it first when missing (it inherits the parent's protection). The folder is
// checked after the open: not a link, the one its parent lists under that name, and resolved to
// the parent's path and that name. Returns ERROR_SUCCESS, ERROR_FOLDER_IS_LINK, ERROR_DIRECTORY
// when a file has that name, or the error.
DWORD OpenHeldSubfolder(HANDLE parent, const std::wstring& name, bool create, FileHandle& folder);

// A chain of held folders from a root down to the folder where the work is: consecutive work in
// the same folder or its neighbours reopens only what changes.
struct HeldPath {
    FileHandle root;                 // from OpenHeldFolder
    std::vector<std::wstring> names; // the folders held below the root, outermost first
    std::vector<FileHandle> folders; // folders[i] holds names[0] \ ... \ names[i]
};

// Makes `held` hold the folders of `relative` (names joined by backslashes, below the root; empty
// for the root itself), keeping those already held on the way and closing the others; with
// `create`, missing folders are made. On failure `failed` is the relative path of the folder that
// failed and the chain ends above it. Returns as OpenHeldSubfolder.
DWORD HoldFolders(HeldPath& held, const std::wstring& relative, bool create, std::wstring& failed);

// The innermost held folder of `held` (the root when nothing below it is held).
HANDLE InnermostFolder(const HeldPath& held);

// NtCreateFile's dispositions, for OpenFileIn.
enum class FileDisposition : ULONG {
    OpenExisting = 1, // FILE_OPEN
    CreateNew = 2,    // FILE_CREATE: fails with ERROR_FILE_EXISTS when the name is taken
    OpenAlways = 3,   // FILE_OPEN_IF
    CreateAlways = 5, // FILE_OVERWRITE_IF
};

// Opens the file `name` (one name) inside the held folder `folder`, never a folder and never
// through a link: a link of that name is opened itself. `access` is GENERIC_READ, GENERIC_WRITE,
// DELETE and the like; `share` FILE_SHARE_* flags. The handle does synchronous I/O (ReadFile,
// WriteFile). Returns ERROR_SUCCESS or the Windows error (ERROR_FILE_NOT_FOUND, ERROR_FILE_EXISTS,
// ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, ...).
DWORD OpenFileIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share, FileDisposition disposition,
                 FileHandle& file);

// Renames `from` to `to` (each one name) inside the held folder `folder`; with `replace`, an
// existing `to` (a file, or a link of that name, never what it points to) is replaced. Returns
// ERROR_SUCCESS or the error (ERROR_ALREADY_EXISTS without `replace`).
DWORD RenameIn(HANDLE folder, const std::wstring& from, const std::wstring& to, bool replace);

// Clears the read-only attribute of the open `file` (opened with FILE_READ_ATTRIBUTES and
// FILE_WRITE_ATTRIBUTES), keeping its other attributes and its times: Windows refuses to delete a
// read-only file or to move another over it. A file that is not read-only is left as it is.
void ClearReadOnly(HANDLE file);

// Deletes `name` (one name) inside the held folder `folder`: a file, a link itself (never what it
// points to), or a folder only when it is empty. A read-only attribute does not stop it. Success
// means the folder no longer lists the name (or lists another file under it). Returns
// ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when there is nothing of that name, ERROR_DIR_NOT_EMPTY,
// ERROR_SHARING_VIOLATION while the name stays (another program still has the file open),
// ERROR_FOLDER_IS_LINK when the file was resolved to another path than the folder's (a folder on
// the way was swapped for a link: nothing is deleted), or the error.
DWORD DeleteIn(HANDLE folder, const std::wstring& name);

// The attributes of `name` inside `folder` as the folder lists it: a link shows
// FILE_ATTRIBUTE_REPARSE_POINT even where opening it would follow it. Returns ERROR_SUCCESS or
// ERROR_FILE_NOT_FOUND.
DWORD ListedAttributesIn(HANDLE folder, const std::wstring& name, DWORD& attributes);

// The names inside `folder`, "." and ".." left out; false when it cannot be listed.
bool ListFolder(HANDLE folder, std::vector<std::wstring>& names);
