#include "sample/launcher_window.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "base/owners.h"
#include "sample/install_location.h"

namespace {

const DWORD CLOSE_WAIT_MS = 5000;

struct Search {
    std::wstring installDirectory;
    std::vector<KernelHandle> processes;
    std::vector<DWORD> processIds;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
    Search& search = *reinterpret_cast<Search*>(context);
    wchar_t className[64] = {};
    if (GetClassNameW(window, className, 64) == 0 || std::wstring(className) != LAUNCHER_WINDOW_CLASS) {
        return TRUE;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    KernelHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return TRUE;
    }
    wchar_t image[32768] = {};
    DWORD length = 32768;
    if (QueryFullProcessImageNameW(process.Get(), 0, image, &length) == 0 ||
        !IsInsideDirectory(image, search.installDirectory)) {
        return TRUE;
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
    for (DWORD known : search.processIds) {
        if (known == processId) {
            return TRUE;
        }
    }
    search.processIds.push_back(processId);
    search.processes.push_back(std::move(process));
    return TRUE;
}

} // namespace

unsigned CloseRunningLaunchers(const std::wstring& installDirectory) {
    Search search;
    search.installDirectory = installDirectory;
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    unsigned running = 0;
    DWORD deadline = GetTickCount() + CLOSE_WAIT_MS;
    for (const KernelHandle& process : search.processes) {
        DWORD now = GetTickCount();
        DWORD wait = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        if (WaitForSingleObject(process.Get(), wait) != WAIT_OBJECT_0) {
            ++running;
        }
    }
    return running;
}
