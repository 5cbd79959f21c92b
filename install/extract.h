// The extraction step: unpacks the package into the target directory entry by entry.
#pragma once

#include <windows.h>

#include <string>

enum class ExtractResult {
    Extracted, // every readable entry written, packagePath deleted, the count line logged
    Failed,    // a fatal error has been posted
};

ExtractResult ExtractPackage(HWND window, const std::wstring& packagePath, const std::wstring& targetDir);
