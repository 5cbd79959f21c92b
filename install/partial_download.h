// The partial download on disk: the partial file and, beside it, the validator of the server file
// it came from (ValidatorPath of its name). The two are deleted together, so a validator never
// outlives the bytes it vouches for and is never taken for a newer partial file's. Both lie in the
// installation folder, which ordinary users may be able to write to: they are opened, written and
// deleted only relative to that folder held open (base/held_folder.h), by their names in it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/owners.h"

// Opens the setup's own file `name` in the held folder `folder`, `disposition` OPEN_EXISTING or
// CREATE_ALWAYS (then emptied), for `access` shared for reading. An ordinary user could have put a
// hard link or a link to another file (a system file) under the name: writing through it would
// change that file. So such a name is deleted (the name only: the file it shared its data with
// stays as it was) and, for CREATE_ALWAYS, made anew; for OPEN_EXISTING the result is then empty,
// as for a missing file.
FileHandle OpenOwnFile(HANDLE folder, const std::wstring& name, DWORD access, DWORD disposition);

// The size in bytes of `name` in `folder`; 0 when it is missing or cannot be read.
uint64_t OwnFileSize(HANDLE folder, const std::wstring& name);

// The validator remembered for the partial file `partialName`; empty (none) when there is no
// validator file or it cannot be read, is oversized or malformed. Never fails otherwise.
std::wstring ReadResumeValidator(HANDLE folder, const std::wstring& partialName);

// Replaces the validator file with `validator` and flushes it, so it is on disk before the first
// body byte of the partial file it belongs to. Best effort: when it cannot be written completely,
// no validator file is left (a later run then resumes without one, as for a server that sends none).
void WriteResumeValidator(HANDLE folder, const std::wstring& partialName, const std::wstring& validator);

// Deletes the validator file, waiting out a short hold (base/file_retry.h); absence is fine.
void DeleteResumeValidator(HANDLE folder, const std::wstring& partialName);

// Deletes the partial file and its validator file, waiting out short holds; errors (absence
// included) are ignored.
void DeletePartialDownload(HANDLE folder, const std::wstring& partialName);
