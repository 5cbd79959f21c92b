// Names of a path and joining a name to a directory. Pure string functions: no file system access.
#pragma once

#include <string>

bool IsPathSeparator(wchar_t c);

// "C:", "d:" and the like: a drive designator with nothing after it.
bool IsDriveDesignator(const std::wstring& path);

// `name` after one backslash; no backslash is inserted when `dir` is empty, is a bare drive
// designator ("C:") or already ends in a backslash or slash.
std::wstring AppendPathName(const std::wstring& dir, const std::wstring& name);

// True for a name that opens a device rather than a file, whatever folder it is joined to: "NUL",
// "con", "aux.txt", "COM1.log", "lpt\u00B3". Such a name is never a file of a package.
bool IsDeviceName(const std::wstring& component);
