// Fault soak for the extraction step: thousands of mutated archives (bit flips, truncations,
// forged sizes, offsets and header fields, hostile, invalid and awkward names) through the real
// ExtractPackage in one process.
//
//   soak_extract.exe WORK_DIR SEED COUNT [FIRST_CASE]
//
// For every case it checks: no crash and no hang (a watchdog ends the process with exit code 3,
// a crash with exit code 4, both naming the case), nothing written outside the case's target
// directory, every failure reported with a message, and no file left open (the case's files can
// all be deleted afterwards). Prints a summary; exit code 0 when every case held, 1 otherwise.
// The case number and seed are printed first, so any failure can be replayed alone with
// `soak_extract.exe DIR SEED 1 FIRST_CASE`.
#include "app/state.h"
#include "install/extract.h"
#include "base/held_folder.h"
#include "install/directories.h"
#include "support/files.h"
#include "support/zip_builder.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned long> g_currentCase{0};
std::atomic<long long> g_caseStartedMs{0};
constexpr long long CASE_TIME_LIMIT_MS = 30000;

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Watchdog() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const long long started = g_caseStartedMs.load();
        if (started != 0 && NowMs() - started > CASE_TIME_LIMIT_MS) {
            printf("HANG in case %lu (over %lld ms)\n", g_currentCase.load(), CASE_TIME_LIMIT_MS);
            fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

const char* const HOSTILE_NAMES[] = {
    "../zsevil.txt", "..\\zsevil.txt", "a/../../zsevil.txt", "a\\..\\..\\zsevil.txt", "a/..\\../zsevil.txt",
    "/zsevil.txt", "\\zsevil.txt", "C:\\zsevil.txt", "C:zsevil.txt", "C:/zsevil.txt",
    "\\\\127.0.0.1\\c$\\zsevil.txt", "//127.0.0.1/c$/zsevil.txt", "\\\\?\\C:\\zsevil.txt",
    "..", "../", "a/b/../../../zsevil.txt", ".. /zsevil.txt", "NUL", "zsevil.txt:stream",
    "../../../../../../../../../../zsevil.txt", "a/../../../../../../../../../../zsevil.txt",
    "./../zsevil.txt", "a/./../../zsevil.txt", "...\\zsevil.txt", "a/ ../../zsevil.txt",
};

// Names that are not valid UTF-8, among them an overlong encoding of "/" that a lenient decoder
// would turn into a way out of the target.
const char* const INVALID_UTF8_NAMES[] = {
    "\xff.txt", "a/\xc3", "\xed\xa0\x80.txt", "..\xc0\xaf..\xc0\xafzsevil.txt", "dir/\x80/file.txt",
    "\xf8\x88\x80\x80\x80.txt", "ok\xe2\x82.txt",
};

// Names that stay inside the target but that a file system may refuse or treat oddly.
const char* const AWKWARD_NAMES[] = {
    "CON", "aux.txt", "a/com1", "nul.txt", "LPT9.log", "a<b>.txt", "q?.txt", "star*.txt", "pipe|.txt",
    "trailing.", "trailing ", "x\"y.txt", "./x.txt", "a/./b.txt", "a//b.txt", "a\\b.txt", "a/b\\c.txt",
    "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.txt", "\xf0\x9f\x98\x80.txt", "\xe2\x80\xae.txt", "",
    " leading.txt", "A.TXT", "a.txt", "d0", "d0/", "f1.txt/inner.txt",
};

std::string LongName(std::mt19937& rng) {
    if (rng() % 2 == 0) return std::string(200 + rng() % 200, 'n') + ".txt"; // one long component
    std::string deep;
    const unsigned levels = 20 + rng() % 120;                              // many short ones
    for (unsigned i = 0; i < levels; ++i) deep += "dd/";
    return deep + "f.txt";
}

std::vector<ZipEntrySpec> BaseEntries(std::mt19937& rng) {
    std::vector<ZipEntrySpec> entries;
    const int count = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < count; ++i) {
        ZipEntrySpec entry;
        switch (rng() % 5) {
        case 0: entry.name = "dir" + std::to_string(i) + "/"; entry.directory = true; break;
        case 1: entry.name = "d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".bin";
                entry.data = RandomBytes(rng() % 5000, rng()); entry.deflate = rng() % 2 == 0; break;
        default: entry.name = "f" + std::to_string(i) + ".txt";
                 entry.data = CompressibleText(rng() % 20000, rng()); break;
        }
        entries.push_back(entry);
    }
    // The programs a package must deliver, so that the mutations, not their absence, decide.
    entries.push_back({"ZENKA.exe", RandomBytes(rng() % 3000, rng()), false});
    entries.push_back({"zenka-updater.exe", CompressibleText(rng() % 3000, rng())});
    return entries;
}

void Put16At(std::string& bytes, size_t at, uint32_t value) {
    if (at + 2 > bytes.size()) return;
    for (int i = 0; i < 2; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Put32At(std::string& bytes, size_t at, uint32_t value) {
    if (at + 4 > bytes.size()) return;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Positions of every header signature, so forged fields land on real ones.
std::vector<size_t> FindSignatures(const std::string& bytes, uint32_t signature) {
    std::vector<size_t> found;
    for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
        uint32_t v = 0;
        for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(bytes[i + k]);
        if (v == signature) found.push_back(i);
    }
    return found;
}

std::string Mutate(std::mt19937& rng, std::string& kind) {
    std::vector<ZipEntrySpec> entries = BaseEntries(rng);
    const unsigned choice = rng() % 9;
    if (choice == 0) {
        kind = "hostile-name";
        entries[rng() % entries.size()].name = HOSTILE_NAMES[rng() % (sizeof(HOSTILE_NAMES) / sizeof(*HOSTILE_NAMES))];
        return BuildZip(entries);
    }
    if (choice == 6) {
        kind = "invalid-utf8-name";
        entries[rng() % entries.size()].name =
            INVALID_UTF8_NAMES[rng() % (sizeof(INVALID_UTF8_NAMES) / sizeof(*INVALID_UTF8_NAMES))];
        return BuildZip(entries);
    }
    if (choice == 7) {
        // Several awkward names at once, also clashing with each other and with the base entries
        // (a file where a directory is wanted, the same name twice in different letter case).
        kind = "awkward-name";
        const unsigned count = 1 + rng() % 4;
        for (unsigned i = 0; i < count; ++i) {
            ZipEntrySpec entry;
            const unsigned pick = rng() % (sizeof(AWKWARD_NAMES) / sizeof(*AWKWARD_NAMES) + 1);
            entry.name = pick < sizeof(AWKWARD_NAMES) / sizeof(*AWKWARD_NAMES) ? AWKWARD_NAMES[pick] : LongName(rng);
            entry.directory = !entry.name.empty() && entry.name.back() == '/';
            if (!entry.directory) entry.data = CompressibleText(rng() % 3000, rng());
            entries.insert(entries.begin() + static_cast<long>(rng() % (entries.size() + 1)), entry);
        }
        if (rng() % 2 == 0) entries.push_back(entries[rng() % entries.size()]); // a duplicate
        return BuildZip(entries);
    }
    std::string bytes = BuildZip(entries);
    if (choice == 1) {
        kind = "bit-flips";
        const unsigned flips = 1 + rng() % 8;
        for (unsigned i = 0; i < flips; ++i) bytes[rng() % bytes.size()] ^= static_cast<char>(1u << (rng() % 8));
    } else if (choice == 2) {
        kind = "truncation";
        bytes.resize(rng() % bytes.size());
    } else if (choice == 3) {
        kind = "forged-size";
        const bool central = rng() % 2 == 0;
        const std::vector<size_t> headers = FindSignatures(bytes, central ? 0x02014b50u : 0x04034b50u);
        if (!headers.empty()) {
            const size_t header = headers[rng() % headers.size()];
            const size_t field = central ? (rng() % 2 ? 20 : 24) : (rng() % 2 ? 18 : 22);
            const uint32_t values[] = {0, 1, 0xFFFFFFFFu, 0x7FFFFFFFu, static_cast<uint32_t>(rng()),
                                       static_cast<uint32_t>(rng() % 100000)};
            Put32At(bytes, header + field, values[rng() % 6]);
        }
    } else if (choice == 4) {
        kind = "forged-offset";
        const std::vector<size_t> central = FindSignatures(bytes, 0x02014b50u);
        const std::vector<size_t> end = FindSignatures(bytes, 0x06054b50u);
        const uint32_t value = rng() % 3 == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(rng() % (bytes.size() + 64));
        if (!central.empty() && rng() % 2 == 0) {
            Put32At(bytes, central[rng() % central.size()] + 42, value); // local header offset
        } else if (!end.empty()) {
            const size_t fields[] = {8, 12, 16};                        // counts, directory size, offset
            Put32At(bytes, end.back() + fields[rng() % 3], value);
        }
    } else if (choice == 8) {
        // The fields a reader trusts to find names and data: flags (encryption), method, name,
        // extra and comment lengths, attributes, entry counts and the archive comment length.
        kind = "forged-header";
        struct Field { uint32_t signature; size_t at; bool wide; };
        const Field fields[] = {
            {0x04034b50u, 6, false}, {0x04034b50u, 8, false}, {0x04034b50u, 26, false}, {0x04034b50u, 28, false},
            {0x02014b50u, 8, false}, {0x02014b50u, 10, false}, {0x02014b50u, 28, false}, {0x02014b50u, 30, false},
            {0x02014b50u, 32, false}, {0x02014b50u, 34, false}, {0x02014b50u, 38, true},
            {0x06054b50u, 4, false}, {0x06054b50u, 6, false}, {0x06054b50u, 8, false}, {0x06054b50u, 10, false},
            {0x06054b50u, 20, false}};
        const unsigned forgeries = 1 + rng() % 3;
        for (unsigned i = 0; i < forgeries; ++i) {
            const Field& field = fields[rng() % (sizeof(fields) / sizeof(*fields))];
            const std::vector<size_t> headers = FindSignatures(bytes, field.signature);
            if (headers.empty()) continue;
            const size_t header = headers[rng() % headers.size()];
            const uint32_t values[] = {0, 1, 8, 12, 14, 99, 0x41, 0xFFFF, 0x8000, static_cast<uint32_t>(rng() % 600),
                                       static_cast<uint32_t>(rng())};
            const uint32_t value = values[rng() % (sizeof(values) / sizeof(*values))];
            if (field.wide) Put32At(bytes, header + field.at, value);
            else Put16At(bytes, header + field.at, value & 0xFFFF);
        }
    } else {
        kind = "garbage-tail";
        bytes += RandomBytes(rng() % 3000, rng());
        for (unsigned i = 0; i < 4; ++i) bytes[rng() % bytes.size()] = static_cast<char>(rng());
    }
    return bytes;
}

// Every file below `sandbox` that is neither inside `target` nor the package itself.
std::vector<std::wstring> StrayFiles(const fs::path& sandbox, const fs::path& target) {
    std::vector<std::wstring> strays;
    std::error_code error;
    for (fs::recursive_directory_iterator it(sandbox, error), end; it != end; it.increment(error)) {
        if (error) break;
        const fs::path path = it->path();
        const std::wstring relative = path.lexically_relative(target).wstring();
        const bool insideTarget = !relative.empty() && relative.rfind(L"..", 0) != 0;
        const std::wstring up = target.lexically_relative(path).wstring();
        const bool ancestorOfTarget = !up.empty() && up.rfind(L"..", 0) != 0;
        if (!insideTarget && !ancestorOfTarget && path.filename() != L"payload.zip") strays.push_back(path.wstring());
    }
    return strays;
}

// Deletes `path` (a file or a whole tree) through Win32 calls on extended-length paths, which
// reach trees deeper than MAX_PATH (the awkward names make some); std::filesystem stops there.
void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

// Removes the case's files. True when nothing is left.
bool RemoveCase(const fs::path& sandbox) {
    RemoveTree(L"\\\\?\\" + fs::absolute(sandbox).wstring());
    return GetFileAttributesW(sandbox.wstring().c_str()) == INVALID_FILE_ATTRIBUTES;
}

// A crash names its case, so that it can be replayed alone.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    printf("CRASH in case %lu (exception 0x%08lx)\n", g_currentCase.load(),
           static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode));
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Where a name that climbs out of the target would land: the escape file in every directory from
// the sandbox up to the root of its drive, at the root of C:, and in the current directory.
std::vector<std::wstring> EscapeProbes(const fs::path& sandbox) {
    std::vector<std::wstring> probes = {L"C:\\zsevil.txt", L"C:\\zsevil.txt:stream", L"zsevil.txt"};
    for (fs::path up = fs::absolute(sandbox); ; up = up.parent_path()) {
        probes.push_back((up / L"zsevil.txt").wstring());
        if (up == up.parent_path()) break;
    }
    return probes;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        fwprintf(stderr, L"usage: soak_extract.exe WORK_DIR SEED COUNT [FIRST_CASE]\n");
        return 2;
    }
    const fs::path work = argv[1];
    const unsigned long seed = wcstoul(argv[2], nullptr, 10);
    const unsigned long count = wcstoul(argv[3], nullptr, 10);
    const unsigned long first = argc > 4 ? wcstoul(argv[4], nullptr, 10) : 0;
    printf("extraction soak: seed %lu, cases %lu..%lu\n", seed, first, first + count - 1);
    fflush(stdout);
    std::thread(Watchdog).detach();
    SetUnhandledExceptionFilter(ReportCrash);

    std::map<std::string, std::map<std::string, unsigned long>> outcomes; // kind -> outcome -> n
    unsigned long violations = 0;
    long long slowestMs = 0;
    const fs::path sandbox = work / L"sandbox";
    const std::vector<std::wstring> escapes = EscapeProbes(sandbox);

    for (unsigned long n = first; n < first + count; ++n) {
        std::mt19937 rng(static_cast<std::mt19937::result_type>(seed * 1000003ul + n));
        std::string kind;
        const std::string archive = Mutate(rng, kind);

        RemoveCase(sandbox); // an earlier case failing to clean up was counted there
        const fs::path target = sandbox / L"case" / L"target";
        fs::create_directories(target.parent_path());
        WriteFileBytes((sandbox / L"case" / L"payload.zip").wstring(), archive);
        {
            std::lock_guard lock(g_progress.stateMutex);
            g_progress.errorText.clear();
        }

        g_currentCase = n;
        const long long started = NowMs();
        g_caseStartedMs = started;
        std::string outcome;
        bool reported = true;
        try {
            CreateDirectoryWithParents(target.wstring());
            FileHandle held;
            OpenHeldFolder(target.wstring(), held);
            const ExtractResult result = ExtractPackage(nullptr, (sandbox / L"case" / L"payload.zip").wstring(),
                                                        held.Get(), target.wstring());
            if (result == ExtractResult::Extracted) {
                outcome = "extracted";
            } else {
                const std::wstring error = TakeErrorText();
                reported = !error.empty();
                // Group by the message, not by the entry it names.
                outcome = error.rfind(L"Не удалось создать файл", 0) == 0       ? "refused/unwritable entry"
                          : error.rfind(L"Ошибка извлечения файла", 0) == 0     ? "entry failed with code"
                          : error.rfind(L"Ошибка чтения ZIP-архива", 0) == 0    ? "not a readable archive"
                          : error.rfind(L"Не удалось открыть файл архива", 0) == 0 ? "cannot open package"
                                                                                 : "refused package";
            }
        } catch (const std::exception& e) {
            // The worker turns this into its fatal message with the exception's text.
            outcome = std::string("exception: ") + e.what();
            reported = e.what()[0] != '\0';
        }
        g_caseStartedMs = 0;
        slowestMs = std::max(slowestMs, NowMs() - started);

        std::vector<std::wstring> strays = StrayFiles(sandbox, target);
        for (const std::wstring& escape : escapes) {
            if (GetFileAttributesW(escape.c_str()) != INVALID_FILE_ATTRIBUTES) {
                strays.push_back(escape);
                DeleteFileW(escape.c_str());
            }
        }
        // A stream left open by the step keeps its file from being deleted (Wine, like Windows,
        // refuses to delete a file open without delete sharing).
        const bool cleaned = RemoveCase(sandbox);
        if (!strays.empty() || !reported || !cleaned) {
            ++violations;
            printf("VIOLATION in case %lu (%s): %s%ls\n", n, kind.c_str(),
                   !strays.empty() ? "written outside the target: "
                   : !reported     ? "failure without a message"
                                   : "a file of the case stayed open: ",
                   strays.empty() ? L"" : strays.front().c_str());
        }
        ++outcomes[kind][outcome];
    }

    printf("%-18s %-46s %8s\n", "mutation", "outcome", "cases");
    for (const auto& [kind, byOutcome] : outcomes) {
        for (const auto& [outcome, n] : byOutcome) printf("%-18s %-46s %8lu\n", kind.c_str(), outcome.c_str(), n);
    }
    printf("cases: %lu, violations: %lu, slowest case: %lld ms\n", count, violations, slowestMs);
    std::error_code ignored;
    fs::remove_all(sandbox, ignored);
    return violations == 0 ? 0 : 1;
}
