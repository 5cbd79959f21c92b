/* A DLL planted beside a program under the name of one the program may load. DllMain appends
 * "this DLL's path<TAB>the program's path" as a UTF-16 line to the file that ZENKA_PLANT_MARKERS
 * names; every export is a forwarder to the system's DLL of that name (made by the test), so a
 * program that loads it keeps working. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    WCHAR markers[MAX_PATH];
    WCHAR line[2 * MAX_PATH + 2];
    DWORD length = GetEnvironmentVariableW(L"ZENKA_PLANT_MARKERS", markers, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    DWORD used = GetModuleFileNameW(self, line, MAX_PATH);
    line[used++] = L'\t';
    used += GetModuleFileNameW(NULL, line + used, MAX_PATH);
    line[used++] = L'\n';
    HANDLE file = CreateFileW(markers, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, used * sizeof(WCHAR), &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
