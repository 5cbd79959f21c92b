#include "support/holder.h"

#include <windows.h>

#include <algorithm>

KernelHandle HoldFile(const std::wstring& path, long milliseconds) {
    std::wstring exe = L"Z:" ZENKA_HOLDER_EXE; // built on the Unix side, where Z: is /
    std::replace(exe.begin(), exe.end(), L'/', L'\\');
    std::wstring commandLine = L"\"" + exe + L"\" \"" + path + L"\" " + std::to_wstring(milliseconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return KernelHandle();
    }
    CloseHandle(process.hThread);
    KernelHandle holder(process.hProcess);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const HANDLE probe =
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) return holder;
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        if (WaitForSingleObject(holder.Get(), 10) != WAIT_TIMEOUT) break; // gone without holding
    }
    EndHold(holder);
    return KernelHandle();
}

void EndHold(KernelHandle& holder) {
    if (!holder) return;
    TerminateProcess(holder.Get(), 0);
    WaitForSingleObject(holder.Get(), 10000);
    holder.Reset();
}
