// The extraction step: unpacks the package into the target directory entry by entry.
#pragma once

#include <windows.h>

#include <string>

enum class ExtractResult {
    Extracted, // every readable entry written, packagePath deleted, the count line logged
    Failed,    // a fatal error has been posted
};

// `targetFolder` is the target directory held open (base/held_folder.h) by the caller for the whole
// run; everything is written relative to it. `targetDir` is its path, for messages.
ExtractResult ExtractPackage(HWND window, const std::wstring& packagePath, HANDLE targetFolder,
                             const std::wstring& targetDir);
