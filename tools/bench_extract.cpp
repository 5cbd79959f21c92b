// Benchmark driver: extracts a package through the real extraction step and prints one line
//   seconds=<wall time> peak_mib=<peak private bytes> idle_mib=<before extracting> files_ok=<0|1>
// Usage: bench_extract.exe PACKAGE TARGET_DIR
// The package is consumed (the step deletes it), so the caller copies it in before every run.
#include "install/extract.h"
#include "base/held_folder.h"
#include "install/directories.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>

namespace {
double PeakPrivateMib() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return static_cast<double>(counters.PeakPagefileUsage) / (1024.0 * 1024.0);
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fwprintf(stderr, L"usage: bench_extract.exe PACKAGE TARGET_DIR\n");
        return 2;
    }
    const double idle = PeakPrivateMib();
    const auto start = std::chrono::steady_clock::now();
    CreateDirectoryWithParents(argv[2]);
    FileHandle target;
    OpenHeldFolder(argv[2], target);
    const ExtractResult result = ExtractPackage(nullptr, argv[1], target.Get(), argv[2]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("seconds=%.3f peak_mib=%.1f idle_mib=%.1f files_ok=%d\n", seconds, PeakPrivateMib(), idle,
           result == ExtractResult::Extracted ? 1 : 0);
    return result == ExtractResult::Extracted ? 0 : 1;
}
