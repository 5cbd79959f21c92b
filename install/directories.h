// Creating a directory with all its missing parents through CreateDirectoryW.
#pragma once

#include <windows.h>

#include <string>

// Creates every prefix of `path` below its root (drive or share), outermost first. Returns 0 when
// `path` exists as a directory afterwards, whatever happened at the earlier prefixes; otherwise the
// Windows error code (5 without write rights, 183 when a file of that name exists, 3 for "").
DWORD CreateDirectoryWithParents(const std::wstring& path);

// The protection Program Files gives what is installed in it, for a folder the setup creates:
// owned by Administrators, full control for SYSTEM and Administrators, read and execute for Users,
// inherited by everything inside and nothing inherited from above. An ordinary user can then
// neither change the installed programs nor put a file or a link where the elevated setup or
// uninstaller will work.
inline const wchar_t* const PROTECTED_FOLDER_SECURITY =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// CreateDirectoryWithParents that gives every folder it creates PROTECTED_FOLDER_SECURITY; folders
// that already exist keep their own protection. ERROR_INVALID_PARAMETER when the descriptor
// cannot be built.
DWORD CreateProtectedDirectoryWithParents(const std::wstring& path);
