// A small Windows program through which the script tests drive the system steps and then look at
// the result with readers of their own (lnkinfo, reg, uninstaller).
//   system_probe shortcuts TARGET_DIR   both links to TARGET_DIR\ZENKA.exe; prints each link path
//   system_probe uninstall TARGET_DIR VERSION
//   system_probe dirsize DIRECTORY      prints DirectorySizeBytes
// Exit code 0 on success, 1 when a step reported failure, 2 on bad usage.
#include "install/paths.h"
#include "support/shell.h"
#include "system/shortcut.h"
#include "system/uninstall_entry.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

void PrintLine(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    std::printf("%s\n", utf8.c_str());
}

int MakeShortcuts(const std::wstring& targetDir) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring launcher = LauncherPath(targetDir);
    const wchar_t* const description = L"ZENKA Game Launcher & Library Manager";
    bool saved = true;
    for (const KNOWNFOLDERID* folder : {&FOLDERID_PublicDesktop, &FOLDERID_CommonPrograms}) {
        saved = CreateShortcut(*folder, launcher, targetDir, L"ZENKA.lnk", description) && saved;
        PrintLine(KnownFolderPath(*folder) + L"\\ZENKA.lnk");
    }
    CoUninitialize();
    return saved ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"shortcuts" && argc == 3) return MakeShortcuts(argv[2]);
    if (command == L"uninstall" && argc == 4) return RegisterUninstallEntry(argv[2], argv[3]) ? 0 : 1;
    if (command == L"dirsize" && argc == 3) {
        PrintLine(std::to_wstring(DirectorySizeBytes(argv[2])));
        return 0;
    }
    std::fprintf(stderr, "usage: system_probe shortcuts DIR | uninstall DIR VERSION | dirsize DIR\n");
    return 2;
}
