// The platform alone, as the benchmarks' yardsticks: the download's network calls with nothing of
// ours around them, reading plus hashing a file with nothing else, and creating and writing files
// with nothing else. Shared by the benchmark
// drivers so that every figure is compared with the same loops.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// One GET of `url` read to its end with WinHttpQueryDataAvailable / WinHttpReadData into one
// 64 KiB buffer, exactly the calls the download makes, without reports. When `file` is an open
// handle every chunk is also written to it before the next read, and it is flushed at the end.
// Returns the body bytes received; 0 when the request failed, was not answered with 200, or a
// write failed.
uint64_t BareWinHttpLoop(const std::wstring& url, HANDLE file = INVALID_HANDLE_VALUE);

// Reads `path` in 64 KiB pieces and feeds them to a BCrypt SHA-256 hash. Returns the bytes hashed
// (0 when the file cannot be opened).
uint64_t BareBCryptLoop(const std::wstring& path);

// One file for BareCreateWriteLoop: its folder below the root (names joined by "\\", "" for the
// root), its name and its bytes.
struct BareFile {
    std::wstring folder;
    std::wstring name;
    std::string data;
};

// Creates `files` below the held folder `root` as the extraction does, with nothing else: each
// folder held in turn (base/held_folder.h, made when missing), each file created anew relative to
// it, written in one call and closed. Returns the number of files written; it stops at the first
// failure.
size_t BareCreateWriteLoop(HANDLE root, const std::vector<BareFile>& files);
