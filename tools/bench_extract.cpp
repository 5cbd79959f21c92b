// Benchmark driver for the extraction step. Prints one line:
//   bench_extract.exe PACKAGE TARGET_DIR
//     the real extraction step:
//     seconds=<wall time> peak_mib=<peak private bytes> idle_mib=<before extracting> files_ok=<0|1>
//   bench_extract.exe bare PACKAGE TARGET_DIR
//     its yardstick: the package's files, unpacked into memory first (not timed), created and
//     written by the bare loop of bare_loops.h:   bare_seconds=<wall time> files=<written>
// TARGET_DIR must not exist yet or be empty; both create it and hold it as the setup's worker does.
#include "bare_loops.h"
#include "base/held_folder.h"
#include "install/directories.h"
#include "install/extract.h"

#include <miniz.h>

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double PeakPrivateMib() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return static_cast<double>(counters.PeakPagefileUsage) / (1024.0 * 1024.0);
}

// The package's files as the bare loop writes them; empty when the package cannot be read.
std::vector<BareFile> UnpackToMemory(const std::wstring& package) {
    std::vector<BareFile> files;
    // Read whole first: the miniz built here has no stdio functions (the setup reads through its
    // own callbacks).
    FILE* stream = _wfopen(package.c_str(), L"rb");
    if (stream == nullptr) return files;
    std::string bytes;
    char chunk[65536];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, stream)) > 0;) bytes.append(chunk, got);
    fclose(stream);
    mz_zip_archive zip{};
    if (mz_zip_reader_init_mem(&zip, bytes.data(), bytes.size(), 0)) {
        for (mz_uint i = 0; i < mz_zip_reader_get_num_files(&zip); ++i) {
            mz_zip_archive_file_stat stat;
            if (!mz_zip_reader_file_stat(&zip, i, &stat) || stat.m_is_directory) continue;
            size_t size = 0;
            void* data = mz_zip_reader_extract_to_heap(&zip, i, &size, 0);
            const std::string name = stat.m_filename; // the bench package's names are short ASCII
            const size_t slash = name.rfind('/');
            BareFile file;
            std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash);
            for (char& c : folder) c = c == '/' ? '\\' : c;
            file.folder.assign(folder.begin(), folder.end());
            const std::string last = name.substr(slash == std::string::npos ? 0 : slash + 1);
            file.name.assign(last.begin(), last.end());
            file.data.assign(static_cast<const char*>(data), size);
            mz_free(data);
            files.push_back(std::move(file));
        }
        mz_zip_reader_end(&zip);
    }
    return files;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool bare = argc == 4 && std::wstring(argv[1]) == L"bare";
    if (argc != 3 && !bare) {
        fwprintf(stderr, L"usage: bench_extract.exe [bare] PACKAGE TARGET_DIR\n");
        return 2;
    }
    const std::wstring package = argv[bare ? 2 : 1];
    const std::wstring targetDir = argv[bare ? 3 : 2];
    if (bare) {
        const std::vector<BareFile> files = UnpackToMemory(package);
        const auto start = std::chrono::steady_clock::now();
        CreateDirectoryWithParents(targetDir);
        FileHandle target;
        OpenHeldFolder(targetDir, target);
        const size_t written = BareCreateWriteLoop(target.Get(), files);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("bare_seconds=%.3f files=%zu\n", seconds, written);
        return written == files.size() && !files.empty() ? 0 : 1;
    }
    const double idle = PeakPrivateMib();
    const auto start = std::chrono::steady_clock::now();
    CreateDirectoryWithParents(targetDir);
    FileHandle target;
    OpenHeldFolder(targetDir, target);
    const ExtractResult result = ExtractPackage(nullptr, package, target.Get(), targetDir);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("seconds=%.3f peak_mib=%.1f idle_mib=%.1f files_ok=%d\n", seconds, PeakPrivateMib(), idle,
           result == ExtractResult::Extracted ? 1 : 0);
    return result == ExtractResult::Extracted ? 0 : 1;
}
