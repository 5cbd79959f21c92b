// file_holder PATH MILLISECONDS: opens the existing file PATH sharing nothing, as an on-access
// virus scanner does for a moment with every new file, and keeps it open for MILLISECONDS (-1:
// until killed). Exit code 0 after the hold, 1 when the file could not be opened within 10 s.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const long milliseconds = std::wcstol(argv[2], nullptr, 10);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const HANDLE file =
            CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            Sleep(milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
            CloseHandle(file);
            return 0;
        }
        Sleep(10);
    }
    return 1;
}
