#include "app/os_gate.h"

#include <cstring>

namespace {
using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
}

bool IsSupportedWindows(DWORD majorVersion, DWORD buildNumber) {
    if (majorVersion != 10) return majorVersion > 10;
    return buildNumber >= MINIMUM_WINDOWS_BUILD;
}

bool PassesOsGate() {
    // GetVersionEx lies to programs without the right manifest entries; ntdll does not.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return true;
    FARPROC address = GetProcAddress(ntdll, "RtlGetVersion");
    if (address == nullptr) return true;
    RtlGetVersionFunction rtlGetVersion;
    static_assert(sizeof(rtlGetVersion) == sizeof(address), "function pointers of one size");
    memcpy(&rtlGetVersion, &address, sizeof(address));

    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (rtlGetVersion(&version) != 0) return true;
    return IsSupportedWindows(version.dwMajorVersion, version.dwBuildNumber);
}

void ShowUnsupportedOsMessage() {
    MessageBoxW(nullptr,
                L"ZENKA требует операционную систему Windows 10 (версия 2004, сборка 19041) или Windows 11.\n"
                L"Пожалуйста, обновите Windows для продолжения установки.",
                L"ZENKA Setup - Неподдерживаемая ОС", MB_OK | MB_ICONERROR);
}
