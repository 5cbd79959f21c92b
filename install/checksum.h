// The checksum step: SHA-256 of the downloaded package against the expected digest.
#pragma once

#include <windows.h>

#include <string>

enum class VerifyResult {
    Verified, // digests equal ignoring letter case, or nothing was expected
    Failed,   // mismatch: partialPath deleted and the fatal error posted
};

// Always computes the digest; compares it only when `expectedSha256` is not empty, ignoring the
// case of ASCII letters and nothing else (a blank or a prefix is a mismatch). A mismatch deletes
// the partial file and its validator, so the next run downloads the package afresh.
VerifyResult VerifyPackage(HWND window, const std::wstring& partialPath, const std::wstring& expectedSha256);

// Lower-case hexadecimal SHA-256 of the file's contents; empty when the file cannot be opened or
// the hash cannot be computed. A read error midway yields the digest of the bytes read so far.
std::wstring ComputeFileSha256(const std::wstring& path);

// 32 digest bytes as 64 lower-case hexadecimal digits.
std::wstring FormatHexDigest(const unsigned char (&digest)[32]);
