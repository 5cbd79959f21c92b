// Puts the process-wide progress record back to its start values between tests in one process.
#pragma once

#include "app/state.h"

inline void ResetProgressState() {
    std::lock_guard lock(g_progress.stateMutex);
    g_progress.statusText = L"Инициализация установки...";
    g_progress.detailText = L"Подготовка компонентов...";
    g_progress.progress = 0;
    g_progress.errorText.clear();
    g_progress.errorExitCode = EXIT_INSTALL_FAILED;
    g_progress.logLines.clear();
}
