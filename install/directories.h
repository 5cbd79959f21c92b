// Creating a directory with all its missing parents through CreateDirectoryW.
#pragma once

#include <windows.h>

#include <string>

// Creates every prefix of `path` below its root (drive or share), outermost first. Returns 0 when
// `path` exists as a directory afterwards, whatever happened at the earlier prefixes; otherwise the
// Windows error code (5 without write rights, 183 when a file of that name exists, 3 for "").
DWORD CreateDirectoryWithParents(const std::wstring& path);
