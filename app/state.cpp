#include "app/state.h"

#include <algorithm>

#include "publisher.h"

const wchar_t* const DEFAULT_DOWNLOAD_URL = ZENKA_DOWNLOAD_URL;
const wchar_t* const DEFAULT_TARGET_DIR = L"C:\\Program Files\\ZENKA";

InstallerSettings g_settings;

// Allocated during static initialisation, before the entry point runs, and deliberately never
// freed (see the header).
SharedProgressState& g_progress = *new SharedProgressState;

namespace {
void Notify(HWND window, UINT message) {
    if (window != nullptr) PostMessageW(window, message, 0, 0);
}
} // namespace

void PostProgress(HWND window, const std::wstring& status, const std::wstring& detail, int value) {
    {
        std::lock_guard lock(g_progress.stateMutex);
        g_progress.statusText = status;
        g_progress.detailText = detail;
        g_progress.progress = std::clamp(value, 0, PROGRESS_MAX);
    }
    Notify(window, WM_STATE_CHANGED);
}

void PostLogLine(HWND window, const std::wstring& line) {
    {
        std::lock_guard lock(g_progress.stateMutex);
        g_progress.logLines.push_back(line);
        while (g_progress.logLines.size() > LOG_LINES_MAX) g_progress.logLines.pop_front();
    }
    Notify(window, WM_STATE_CHANGED);
}

void PostFatalError(HWND window, const std::wstring& text, int exitCode) {
    {
        std::lock_guard lock(g_progress.stateMutex);
        g_progress.errorText = text;
        g_progress.errorExitCode = exitCode;
    }
    Notify(window, WM_FATAL_ERROR);
}

ProgressSnapshot TakeProgressSnapshot() {
    ProgressSnapshot snapshot;
    {
        std::lock_guard lock(g_progress.stateMutex);
        snapshot.statusText = g_progress.statusText;
        snapshot.detailText = g_progress.detailText;
        snapshot.progress = g_progress.progress;
    }
    {
        std::lock_guard lock(g_progress.stateMutex);
        snapshot.logLines = g_progress.logLines;
    }
    return snapshot;
}

std::wstring TakeErrorText() {
    std::lock_guard lock(g_progress.stateMutex);
    return g_progress.errorText;
}

int TakeErrorExitCode() {
    std::lock_guard lock(g_progress.stateMutex);
    return g_progress.errorExitCode;
}
