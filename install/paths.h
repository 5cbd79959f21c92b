// Path rules of the install pipeline. Pure string functions: no file system access.
#pragma once

#include <string>

#include "base/path_name.h"

// `dir` followed directly by "\ZENKA.exe" (plain concatenation, so "C:\X\" gives "C:\X\\ZENKA.exe").
// The shortcuts, the launch button and the uninstall entry all name the launcher this way.
std::wstring LauncherPath(const std::wstring& dir);

// The one form the setup installs into, links to and registers: "\\?\C:\x" is "C:\x" and
// "\\?\UNC\s\x" is "\\s\x" (the shell stores a link to a "\\?\" path as a broken one); anything
// else is returned unchanged.
std::wstring CanonicalTargetDir(const std::wstring& dir);

// `dir` (canonical) as file calls by full path take it: unchanged while every file the pipeline
// keeps in it (the longest is the validator) stays below MAX_PATH, else with backslashes only and
// the "\\?\" prefix, which lifts that limit.
std::wstring LongPathForm(const std::wstring& dir);

// The files the pipeline keeps in the target directory.
extern const wchar_t* const PACKAGE_FILE_NAME; // "payload.zip"
extern const wchar_t* const PARTIAL_FILE_NAME; // "payload.zip.downloading"

// The file beside a partial download that remembers which server file it came from: `partialPath`
// followed by ".validator" ("payload.zip.downloading.validator").
std::wstring ValidatorPath(const std::wstring& partialPath);

// True when an archive entry name, joined to a target directory, stays inside it: the name is not
// empty, has no drive designator or stream colon, does not start with a slash or backslash (root,
// network share, device path), and no "..", taken with either kind of slash, climbs above the top.
// "." components and empty components ("a//b") are harmless and allowed; components Win32 would
// turn into ".." (only dots and blanks) and device names ("NUL", "com1.txt") are refused.
bool IsContainedEntryName(const std::wstring& name);
