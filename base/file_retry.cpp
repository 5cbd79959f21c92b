#include "base/file_retry.h"

#include <algorithm>

DWORD g_holdRetryMs = 10000;

bool IsHoldError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

DWORD RetryWhileHeld(const std::function<DWORD()>& attempt) {
    const ULONGLONG start = GetTickCount64();
    DWORD pause = 10;
    for (;;) {
        const DWORD result = attempt();
        if (result == ERROR_SUCCESS || !IsHoldError(result)) return result;
        const ULONGLONG waited = GetTickCount64() - start;
        if (waited >= g_holdRetryMs) return result;
        // Never sleep past the end: the last attempt comes at the limit, not after it.
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, g_holdRetryMs - waited)));
        pause = std::min<DWORD>(pause * 2, 500);
    }
}
