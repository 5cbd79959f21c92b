// The checksum step: SHA-256 of the downloaded package against the expected digest.
#pragma once

#include <windows.h>

#include <string>

enum class VerifyResult {
    Verified, // digests equal ignoring letter case, or nothing was expected
    Failed,   // mismatch: partialPath deleted and the fatal error posted
};

VerifyResult VerifyPackage(HWND window, const std::wstring& partialPath,
                           const std::wstring& expectedSha256);

// Lower-case hexadecimal SHA-256 of the file's contents; empty when the file cannot be opened or
// the hash cannot be computed.
std::wstring ComputeFileSha256(const std::wstring& path);
