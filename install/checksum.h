// The checksum step: SHA-256 of the downloaded package against the expected digest.
#pragma once

#include <windows.h>

#include <string>

enum class VerifyResult {
    Verified, // digests equal ignoring letter case, or nothing was expected
    Failed,   // the fatal error is posted: a mismatch (the partial file deleted) or an unreadable file
};

// Hashes the partial download PARTIAL_FILE_NAME inside the held folder `folder`, whose path
// `folderPath` names it in messages; a hold on the file is waited out (RetryWhileHeld). A file
// that cannot be opened or read is its own error, naming the file, and deletes nothing. Otherwise
// the digest is always computed and compared only when `expectedSha256` is not empty, ignoring the
// case of ASCII letters and nothing else (a blank or a prefix is a mismatch). A mismatch deletes
// the partial file and its validator, so the next run downloads the package afresh.
VerifyResult VerifyPackage(HWND window, HANDLE folder, const std::wstring& folderPath,
                           const std::wstring& expectedSha256);

// Lower-case hexadecimal SHA-256 of what is left to read in `file` (opened for reading, at its
// start); ERROR_SUCCESS, or the error of a read or of the hash (then `digest` is empty).
DWORD HashFile(HANDLE file, std::wstring& digest);

// HashFile of the file at `path`; empty when it cannot be opened, read or hashed.
std::wstring ComputeFileSha256(const std::wstring& path);

// 32 digest bytes as 64 lower-case hexadecimal digits.
std::wstring FormatHexDigest(const unsigned char (&digest)[32]);
