// Stands in for the installed launcher in GUI tests: records the working directory and the command
// line it was started with into "launched.txt" beside itself, then exits.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring record = self;
    record = record.substr(0, record.find_last_of(L'\\') + 1) + L"launched.txt";

    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    FILE* out = _wfopen(record.c_str(), L"w, ccs=UTF-8");
    if (out == nullptr) return 1;
    fwprintf(out, L"cwd=%ls\ncommand=%ls\n", directory, GetCommandLineW());
    fclose(out);
    return 0;
}
