// Stands in for the installed launcher in GUI tests: records the working directory, the command
// line it was started with and the image name of the process that started it into "launched.txt"
// beside itself, then exits.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

namespace {

// Image name ("explorer.exe") of the process that created this one; empty when it has ended or
// cannot be found.
std::wstring ParentImageName() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return L"";
    const DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
    }
    std::wstring name;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more && parent != 0; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == parent) name = entry.szExeFile;
    }
    CloseHandle(snapshot);
    return name;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring record = self;
    record = record.substr(0, record.find_last_of(L'\\') + 1) + L"launched.txt";

    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    const std::wstring parent = ParentImageName();
    FILE* out = _wfopen(record.c_str(), L"w, ccs=UTF-8");
    if (out == nullptr) return 1;
    fwprintf(out, L"cwd=%ls\ncommand=%ls\nparent=%ls\n", directory, GetCommandLineW(), parent.c_str());
    fclose(out);
    return 0;
}
