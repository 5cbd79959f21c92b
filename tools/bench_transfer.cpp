// bench_transfer URL PARTIAL_PATH [ROUNDS]
// Measures what the download and the checksum cost on top of the platform: DownloadPackage against
// a bare WinHTTP read loop over the same URL (the same calls, nothing written), and
// ComputeFileSha256 against a bare BCrypt loop over the downloaded file. The bare loop is also run
// writing every chunk to a file and flushing it, which shows the disk's share of the difference. Prints MB/s (2^20 bytes)
// of the best round of each and the peak working set after each phase.
#include "bare_loops.h"
#include "install/checksum.h"
#include "install/download.h"
#include "install/transfer.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double PeakWorkingSetMb() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0;
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The best and the median round: the machine is shared, so single rounds vary a lot.
struct Rounds {
    std::vector<double> rates;
    void Take(uint64_t bytes, double seconds) { rates.push_back(static_cast<double>(bytes) / 1048576.0 / seconds); }
    double Best() const { return rates.empty() ? 0 : *std::max_element(rates.begin(), rates.end()); }
    double Median() const {
        std::vector<double> sorted = rates;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
};

void PrintLine(const char* name, const Rounds& rounds, const Rounds* base) {
    std::printf("%-22s best %7.1f MB/s  median %7.1f MB/s", name, rounds.Best(), rounds.Median());
    if (base != nullptr) {
        std::printf("   (%.3fx / %.3fx)", rounds.Best() / base->Best(), rounds.Median() / base->Median());
    }
    std::printf("\n");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: bench_transfer URL PARTIAL_PATH [ROUNDS]\n", stderr);
        return 2;
    }
    const std::wstring url = argv[1];
    const std::wstring partial = argv[2];
    const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;

    Rounds bareHttp, bareHttpWrite, download, bareHash, hash;
    uint64_t size = 0;
    std::printf("start: peak working set %.1f MB\n", PeakWorkingSetMb());
    // Interleaved rounds, so that a slow moment of the machine hits both sides alike.
    for (int round = 0; round < rounds; ++round) {
        // Alternate which side goes first, so that neither always meets a warmer cache.
        for (int turn = 0; turn < 3; ++turn) {
            const int side = (turn + round) % 3;
            if (side == 2) {
                DeleteFileW(partial.c_str());
                const Clock::time_point start = Clock::now();
                const HANDLE file = CreateFileW(partial.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                const uint64_t received = BareWinHttpLoop(url, file);
                CloseHandle(file);
                bareHttpWrite.Take(received, Seconds(start));
            } else if (side == 0) {
                const Clock::time_point start = Clock::now();
                size = BareWinHttpLoop(url);
                const double seconds = Seconds(start);
                if (size == 0) {
                    std::fputs("bare WinHTTP loop received nothing\n", stderr);
                    return 1;
                }
                bareHttp.Take(size, seconds);
            } else {
                DeleteFileW(partial.c_str());
                const Clock::time_point start = Clock::now();
                if (DownloadPackage(nullptr, url, partial) != DownloadResult::Completed) {
                    std::fputs("DownloadPackage failed\n", stderr);
                    return 1;
                }
                download.Take(FileSize(partial), Seconds(start));
            }
        }
        std::printf("round %d: after downloads, peak working set %.1f MB\n", round + 1, PeakWorkingSetMb());

        for (int turn = 0; turn < 2; ++turn) {
            const Clock::time_point start = Clock::now();
            if ((turn + round) % 2 == 0) {
                const uint64_t hashed = BareBCryptLoop(partial);
                bareHash.Take(hashed, Seconds(start));
            } else {
                if (ComputeFileSha256(partial).empty()) {
                    std::fputs("ComputeFileSha256 failed\n", stderr);
                    return 1;
                }
                hash.Take(FileSize(partial), Seconds(start));
            }
        }
        std::printf("round %d: after hashing, peak working set %.1f MB\n", round + 1, PeakWorkingSetMb());
    }
    std::printf("size: %.1f MB, %d rounds; ratios are best/best and median/median\n",
                static_cast<double>(size) / 1048576.0, rounds);
    PrintLine("bare WinHTTP loop", bareHttp, nullptr);
    PrintLine("  + writes + flush", bareHttpWrite, &bareHttp);
    PrintLine("DownloadPackage", download, &bareHttp);
    PrintLine("  vs loop with writes", download, &bareHttpWrite);
    PrintLine("bare BCrypt loop", bareHash, nullptr);
    PrintLine("ComputeFileSha256", hash, &bareHash);
    DeleteFileW(partial.c_str());
    return 0;
}
