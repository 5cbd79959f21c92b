// The extraction step: checks the whole package, then unpacks it into the target directory entry
// by entry.
#pragma once

#include <windows.h>

#include <string>

enum class ExtractResult {
    Extracted, // every entry written and the count line logged; the package is left where it is
    Failed,    // a fatal error has been posted; the package is left where it is
};

// `targetFolder` is the target directory held open (base/held_folder.h) by the caller for the whole
// run; every folder below it is held in turn and every file is written relative to a held folder,
// never by its path. `targetDir` is its path, for messages and the path-length check.
//
// Nothing is written when the package is refused (a name, method or encryption the setup cannot
// install, a path too long, a program missing at the root). Each file is written to a temporary
// name and moved over an installed file only once complete and its CRC checked; a file that did
// not exist is written under its own name and deleted if it fails. The package is never deleted
// here: the worker does that once the whole installation has succeeded.
ExtractResult ExtractPackage(HWND window, const std::wstring& packagePath, HANDLE targetFolder,
                             const std::wstring& targetDir);
