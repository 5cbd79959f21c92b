// Comparing directory paths the way Windows names them: forward or back slashes, a "\\?\" prefix
// or none, trailing backslashes, any letter case. String logic only (and the system's case table),
// shared by the setup's folder check and the uninstaller's.
#pragma once

#include <string>

// "C:\", "d:\" and the like at the start of `path`.
bool HasDrivePrefix(const std::wstring& path);

// Forward slashes become backslashes, a "\\?\" prefix is dropped ("\\?\UNC\" becomes "\\"), and
// trailing backslashes are removed unless the path is a drive root ("C:\" keeps its backslash).
std::wstring NormalizeDirectoryPath(const std::wstring& path);

// Equal paths after normalisation, ignoring letter case (as Windows file names do).
bool SamePath(const std::wstring& a, const std::wstring& b);

// A key under which paths that Windows takes for the same compare equal (upper case by the system's
// table); for sets and maps of paths already in one form.
std::wstring FoldedPath(const std::wstring& path);

// True when `path` is `directory` itself or lies below it (compared part by part, ignoring case:
// "C:\Games\ZENKA2" is not inside "C:\Games\ZENKA").
bool IsInsideDirectory(const std::wstring& path, const std::wstring& directory);

// One name of a path that Win32 keeps as written: not empty, not ending in a dot or blank (Win32
// drops those, so "data." would reach "data" and ". ." could act as ".."), no control characters
// and none of <>:"|?* (so no drive, no stream, no wildcard).
bool IsPlainName(const std::wstring& name);
