// Benchmark driver for one whole installation through the real setup window.
//
//   bench_install.exe install URL TARGET_DIR SHA256
//     Creates the setup window in this process exactly as the program does, lets it sit idle on
//     its welcome page for a second, presses the install button and waits for the finished page.
//     Prints one line of key=value pairs: the phases in seconds (prep = click to download, download,
//     checksum, extract, register = shortcuts and registration, pause = final status to finished
//     page, whole = click to finished page), the memory idle on the welcome page and at its peak
//     during the installation, how often the status line was looked at (which bounds how exact the
//     phase boundaries are), and the window's repaints during the installation.
//   bench_install.exe bare URL FILE
//     The counterparts in the same process kind: a bare WinHTTP read loop (nothing written), the
//     same loop writing FILE and flushing it, and a bare BCrypt loop over FILE, which is then
//     deleted. Prints seconds of each and the bytes.
//
// Phases are told apart by the status line the worker publishes: a thread looks at it about every
// millisecond, so each boundary is late by at most one look (poll_max_ms) and a phase length is
// off by at most that much either way. The finished page is timed exactly, in the window procedure.
#include "ui/startup.h"
#include "app/state.h"
#include "bare_loops.h"
#include "ui/window.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

double Mib(SIZE_T bytes) { return static_cast<double>(bytes) / 1048576.0; }

// Working set and private bytes now, and the system's own working-set peak. Under Wine the private
// bytes are the commit figure (anonymous resident memory plus swap), whose "peak" is only the
// current value, so the watcher below samples it for a real peak.
struct MemoryFigures {
    SIZE_T workingSet = 0;
    SIZE_T peakWorkingSet = 0;
    SIZE_T privateBytes = 0;
};

MemoryFigures ReadMemory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    MemoryFigures figures;
    figures.workingSet = counters.WorkingSetSize;
    figures.peakWorkingSet = counters.PeakWorkingSetSize;
    figures.privateBytes = counters.PagefileUsage;
    return figures;
}

struct StatusChange {
    Clock::time_point time;
    std::wstring status;
};

// Watches the shared status line and the private bytes from its own thread. Everything but `stop`
// is read only after the thread has been joined.
struct Watcher {
    std::atomic<bool> stop{false};
    std::vector<StatusChange> changes;
    SIZE_T peakPrivate = 0;
    SIZE_T peakWorkingSet = 0;
    double maxGapSeconds = 0;
    uint64_t looks = 0;
    Clock::time_point started;
    Clock::time_point stopped;
};

constexpr auto MEMORY_SAMPLE_INTERVAL = std::chrono::milliseconds(20);

void Watch(Watcher& watcher) {
    std::wstring last;
    Clock::time_point previous = Clock::now();
    Clock::time_point lastMemorySample = previous - MEMORY_SAMPLE_INTERVAL;
    watcher.started = previous;
    while (!watcher.stop.load()) {
        const Clock::time_point now = Clock::now();
        {
            std::lock_guard lock(g_progress.stateMutex);
            if (g_progress.statusText != last) {
                last = g_progress.statusText;
                watcher.changes.push_back({now, last});
            }
        }
        watcher.maxGapSeconds = std::max(watcher.maxGapSeconds, SecondsBetween(previous, now));
        previous = now;
        ++watcher.looks;
        if (now - lastMemorySample >= MEMORY_SAMPLE_INTERVAL) {
            const MemoryFigures memory = ReadMemory();
            watcher.peakPrivate = std::max(watcher.peakPrivate, memory.privateBytes);
            watcher.peakWorkingSet = std::max(watcher.peakWorkingSet, memory.workingSet);
            lastMemorySample = now;
        }
        Sleep(1);
    }
    watcher.stopped = Clock::now();
}

// Set by the window procedure wrapper when the finished page has been shown.
Clock::time_point g_finishedPageTime;
bool g_finishedPageShown = false;
WNDPROC g_setupWindowProc = nullptr;
// What the window spends painting while the worker runs: the main thread competes with it for
// the processor.
bool g_countPaints = false;
uint64_t g_paintCount = 0;
double g_paintSeconds = 0;

std::string Utf8(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

constexpr UINT_PTR GIVE_UP_TIMER = 77;
constexpr UINT GIVE_UP_AFTER_MS = 600000;

// Around the real window procedure: times the finished page and keeps the benchmark from stopping
// at a modal box, which nobody is there to answer.
LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_FATAL_ERROR) {
        std::fprintf(stderr, "installation failed: %s\n", Utf8(TakeErrorText()).c_str());
        std::fflush(stderr);
        ExitProcess(1);
    }
    if (message == WM_TIMER && wParam == GIVE_UP_TIMER) {
        std::fputs("installation did not finish in time\n", stderr);
        std::fflush(stderr);
        ExitProcess(1);
    }
    const Clock::time_point start = Clock::now();
    const LRESULT result = CallWindowProcW(g_setupWindowProc, window, message, wParam, lParam);
    if (message == WM_PAINT && g_countPaints) {
        ++g_paintCount;
        g_paintSeconds += SecondsBetween(start, Clock::now());
    }
    if (message == WM_INSTALL_FINISHED && g_settings.pageState == PAGE_FINISHED) {
        // The page is switched and its repaint is queued; the user sees it with the next paint.
        UpdateWindow(window);
        g_finishedPageTime = Clock::now();
        g_finishedPageShown = true;
        DestroyWindow(window);
    }
    return result;
}

// Pumps messages for `duration`, so the window settles on its welcome page.
void PumpFor(std::chrono::milliseconds duration) {
    const Clock::time_point end = Clock::now() + duration;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// The first moment any of `statuses` was seen, or `fallback` when none was.
Clock::time_point FirstSeen(const std::vector<StatusChange>& changes, std::initializer_list<const wchar_t*> statuses,
                            Clock::time_point fallback) {
    for (const StatusChange& change : changes) {
        for (const wchar_t* status : statuses) {
            if (change.status == status) return change.time;
        }
    }
    return fallback;
}

int RunInstall(const std::wstring& url, const std::wstring& targetDir, const std::wstring& sha256) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    g_settings.downloadUrl = url;
    g_settings.targetDir = targetDir;
    g_settings.expectedSha256 = sha256;

    const ClassIcons icons = RegisterSetupWindowClass(instance);
    const HWND window = CreateSetupWindow(instance);
    if (window == nullptr) {
        std::fputs("the setup window could not be created\n", stderr);
        return 1;
    }
    g_settings.mainWindow = window;
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.large));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.small));
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    g_setupWindowProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BenchWindowProc)));

    // The watcher runs from the start, so the idle figure already includes its own thread.
    Watcher watcher;
    std::thread watchThread(Watch, std::ref(watcher));
    PumpFor(std::chrono::milliseconds(1000));
    const MemoryFigures idle = ReadMemory();

    SetTimer(window, GIVE_UP_TIMER, GIVE_UP_AFTER_MS, nullptr);
    const Clock::time_point click = Clock::now();
    g_countPaints = true;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_INSTALL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(g_settings.installButton));
    RunMessageLoop();
    const MemoryFigures end = ReadMemory();
    watcher.stop.store(true);
    watchThread.join();

    if (!g_finishedPageShown) {
        std::fputs("the window closed before the finished page\n", stderr);
        return 1;
    }
    const Clock::time_point finished = g_finishedPageTime;
    const std::vector<StatusChange>& changes = watcher.changes;
    const Clock::time_point download = FirstSeen(
        changes, {L"Подключение к серверу обновлений...", L"Загрузка компонентов ZENKA...", L"Связь с сервером прервана..."},
        finished);
    const Clock::time_point checksum = FirstSeen(changes, {L"Проверка контрольной суммы..."}, finished);
    const Clock::time_point extract = FirstSeen(changes, {L"Распаковка дистрибутива ZENKA..."}, finished);
    const Clock::time_point registration = FirstSeen(changes, {L"Завершение установки..."}, finished);
    const Clock::time_point done = FirstSeen(changes, {L"Установка успешно завершена!"}, finished);

    const double lookedSeconds = SecondsBetween(watcher.started, watcher.stopped);
    std::printf("prep=%.4f download=%.4f checksum=%.4f extract=%.4f register=%.4f pause=%.4f whole=%.4f "
                "idle_ws_mib=%.1f peak_ws_mib=%.1f idle_private_mib=%.1f peak_private_mib=%.1f "
                "poll_mean_ms=%.2f poll_max_ms=%.2f paints=%llu paint_s=%.4f\n",
                SecondsBetween(click, download), SecondsBetween(download, checksum),
                SecondsBetween(checksum, extract), SecondsBetween(extract, registration),
                SecondsBetween(registration, done), SecondsBetween(done, finished), SecondsBetween(click, finished),
                Mib(idle.workingSet), Mib(std::max({watcher.peakWorkingSet, end.peakWorkingSet, end.workingSet})),
                Mib(idle.privateBytes), Mib(std::max(watcher.peakPrivate, end.privateBytes)),
                1000.0 * lookedSeconds / static_cast<double>(std::max<uint64_t>(watcher.looks, 1)),
                1000.0 * watcher.maxGapSeconds, static_cast<unsigned long long>(g_paintCount), g_paintSeconds);
    return 0;
}

int RunBare(const std::wstring& url, const std::wstring& filePath) {
    Clock::time_point start = Clock::now();
    const uint64_t received = BareWinHttpLoop(url);
    const double httpSeconds = SecondsBetween(start, Clock::now());

    start = Clock::now();
    const HANDLE file = CreateFileW(filePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const uint64_t written = file == INVALID_HANDLE_VALUE ? 0 : BareWinHttpLoop(url, file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    const double writeSeconds = SecondsBetween(start, Clock::now());

    start = Clock::now();
    const uint64_t hashed = BareBCryptLoop(filePath);
    const double hashSeconds = SecondsBetween(start, Clock::now());
    DeleteFileW(filePath.c_str());

    if (received == 0 || written != received || hashed != received) {
        std::fprintf(stderr, "bare loops disagree: received %llu, written %llu, hashed %llu\n",
                     static_cast<unsigned long long>(received), static_cast<unsigned long long>(written),
                     static_cast<unsigned long long>(hashed));
        return 1;
    }
    std::printf("bare_http=%.4f bare_http_write=%.4f bare_bcrypt=%.4f bytes=%llu\n", httpSeconds, writeSeconds,
                hashSeconds, static_cast<unsigned long long>(received));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"install" && argc == 5) return RunInstall(argv[2], argv[3], argv[4]);
    if (mode == L"bare" && argc == 4) return RunBare(argv[2], argv[3]);
    std::fputs("usage: bench_install.exe install URL TARGET_DIR SHA256\n"
               "       bench_install.exe bare URL FILE\n",
               stderr);
    return 2;
}
