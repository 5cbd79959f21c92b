// Decisions about which directory the uninstaller may delete. String logic on Windows paths, with
// no file-system access (only the system's case table), so every refusal can be tested directly.
#pragma once

#include <string>
#include <vector>

#include "base/directory_path.h"
#include "base/product.h"

// UPDATER_FILE_NAME (base/product.h) marks a directory as a ZENKA installation.

enum class LocationVerdict {
    Safe,
    NotAbsolute,     // relative, drive-relative ("C:x"), empty, or a device path ("\\.\")
    Malformed,       // "." or ".." parts, empty parts ("a\\b"), or characters a name cannot hold
    Root,            // a drive root ("C:\") or a network share root ("\\server\share")
    ProtectedFolder, // a system or user folder, or a folder that contains one
    NoUpdater,       // the directory holds no zenka-updater.exe
};

// True for one name of a path: not empty, not "." or "..", no control characters and none of
// <>:"|?* (so no drive, no stream, no wildcard).
bool IsValidName(const std::wstring& name);

// Whether `directory` may be deleted as a whole. `protectedFolders` are folders that must survive
// (the Windows, Program Files, user and shared folders of the machine): the directory must be none
// of them and must contain none of them. `containsUpdater` says whether the directory holds
// UPDATER_FILE_NAME; checked last, after every test on the path itself.
LocationVerdict CheckRemovalDirectory(const std::wstring& directory, const std::vector<std::wstring>& protectedFolders,
                                      bool containsUpdater);

// The directory part of a file path ("C:\a\b.exe" gives "C:\a"; "C:\b.exe" gives "C:\"); empty
// when there is no backslash.
std::wstring ParentDirectory(const std::wstring& filePath);
