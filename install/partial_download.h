// The partial download on disk: the partial file and, beside it, the validator of the server file
// it came from (ValidatorPath). The two are deleted together, so a validator never outlives the
// bytes it vouches for and is never taken for a newer partial file's.
#pragma once

#include <windows.h>

#include <string>

#include "base/owners.h"

// Opens one of the setup's own files in the installation folder, `disposition` OPEN_EXISTING or
// CREATE_ALWAYS (then emptied), for `access` shared for reading. The folder may be writable by
// ordinary users, who could put a hard link or a link to another file (a system file) under the
// name: writing through it would change that file. So such a name is deleted (the name only: the
// file it shared its data with stays as it was) and, for CREATE_ALWAYS, made anew; for
// OPEN_EXISTING the result is then empty, as for a missing file.
FileHandle OpenOwnFile(const std::wstring& path, DWORD access, DWORD disposition);

// The validator remembered for the partial file at `partialPath`; empty (none) when there is no
// validator file or it cannot be read, is oversized or malformed. Never fails otherwise.
std::wstring ReadResumeValidator(const std::wstring& partialPath);

// Replaces the validator file with `validator` and flushes it, so it is on disk before the first
// body byte of the partial file it belongs to. Best effort: when it cannot be written completely,
// no validator file is left (a later run then resumes without one, as for a server that sends none).
void WriteResumeValidator(const std::wstring& partialPath, const std::wstring& validator);

// Deletes the validator file; absence is fine.
void DeleteResumeValidator(const std::wstring& partialPath);

// Deletes the partial file and its validator file; errors (absence included) are ignored.
void DeletePartialDownload(const std::wstring& partialPath);
