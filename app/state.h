// The two process-wide records through which the program's parts meet, and the three posting
// operations that are the install worker's only way to report to the window.
//
// Threads: the Installer settings belong to the main thread alone. The Shared progress state is
// written by the install worker (only through PostProgress, PostLogLine and PostFatalError) and
// read by the main thread while painting and when it shows a fatal error; `stateMutex` guards it
// and is never held across a window-system call.
#pragma once

#include "app/exit_codes.h"
#include "base/owners.h"

#include <windows.h>

#include <deque>
#include <mutex>
#include <string>

// The lock of the shared progress state: a slim reader/writer lock taken exclusively, usable
// with std::lock_guard. std::mutex would bring the pthreads mutex and std::system_error along.
struct StateLock {
    SRWLOCK srw = SRWLOCK_INIT;
    void lock() { AcquireSRWLockExclusive(&srw); }
    void unlock() { ReleaseSRWLockExclusive(&srw); }
};

// Window messages, always posted with wParam 0 and lParam 0.
constexpr UINT WM_STATE_CHANGED = WM_APP + 1;    // repaint from a fresh snapshot
constexpr UINT WM_INSTALL_FINISHED = WM_APP + 2; // show the finished page
constexpr UINT WM_FATAL_ERROR = WM_APP + 3;      // show errorText in a box, then close
// The worker's request to close the window without the "still installing" question; sent when
// the user gives up in the network-error box.
constexpr UINT WM_CLOSE_REQUEST = WM_APP + 4;

constexpr size_t LOG_LINES_MAX = 6;
constexpr int PROGRESS_MAX = 1000; // progress is counted in thousandths

// Page state: only ever moves forward.
constexpr int PAGE_WELCOME = 0;
constexpr int PAGE_INSTALLING = 1;
constexpr int PAGE_FINISHED = 2;

// The release the setup installs unless told otherwise on the command line.
extern const wchar_t* const DEFAULT_DOWNLOAD_URL;
extern const wchar_t* const DEFAULT_TARGET_DIR;

struct InstallerSettings {
    std::wstring downloadUrl = DEFAULT_DOWNLOAD_URL;
    std::wstring targetDir = DEFAULT_TARGET_DIR;
    std::wstring expectedSha256;
    bool skipDownload = false;
    HWND mainWindow = nullptr;
    int pageState = PAGE_WELCOME;
    int exitCode = EXIT_CLOSED_BY_USER; // what the process ends with once the window is gone
    HWND installButton = nullptr;
    HWND cancelButton = nullptr;
    HWND launchButton = nullptr;
    HWND closeButton = nullptr;
    GdiObject<HFONT> titleFont;
    GdiObject<HFONT> subtitleFont;
    GdiObject<HFONT> bodyFont;
    GdiObject<HFONT> headingFont;
    GdiObject<HFONT> buttonFont;
    GdiObject<HFONT> smallFont;
    GdiObject<HFONT> consoleFont;
    Icon appIcon;
};

struct SharedProgressState {
    StateLock stateMutex;
    std::wstring statusText = L"Инициализация установки...";
    std::wstring detailText = L"Подготовка компонентов...";
    int progress = 0;                  // thousandths, always within 0..PROGRESS_MAX
    std::wstring errorText;            // the most recent fatal error
    int errorExitCode = EXIT_INSTALL_FAILED; // the exit code that goes with it
    std::deque<std::wstring> logLines; // oldest first, at most LOG_LINES_MAX
};

extern InstallerSettings g_settings;

// Never destroyed: the install worker is detached and may still post while the process runs its
// static destructors after the window has closed, so this record must outlive them all.
extern SharedProgressState& g_progress;

// Each stores under stateMutex, releases it, and then (when window is not null) posts its message.
// None waits for the window. Values outside 0..1000 are clamped. A fatal error carries the exit
// code (app/exit_codes.h) the setup ends with after its box.
void PostProgress(HWND window, const std::wstring& status, const std::wstring& detail, int value);
void PostLogLine(HWND window, const std::wstring& line);
void PostFatalError(HWND window, const std::wstring& text, int exitCode = EXIT_INSTALL_FAILED);

// A consistent copy of the Shared progress state, taken in the two locked sections painting uses.
struct ProgressSnapshot {
    std::wstring statusText;
    std::wstring detailText;
    int progress = 0;
    std::deque<std::wstring> logLines;
};
ProgressSnapshot TakeProgressSnapshot();
std::wstring TakeErrorText();
int TakeErrorExitCode();
