// Test tool for the uninstall scripts: makes and looks for shell links in the shared folders.
//
//   sample_link_tool make desktop|programs NAME TARGET   saves NAME there, pointing at TARGET
//   sample_link_tool exists desktop|programs NAME        exit 0 when NAME is there, 1 when not
//   sample_link_tool remove desktop|programs NAME        deletes NAME if present
// Any other failure exits with 2.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "support/shell.h"

namespace {

std::wstring FolderPath(const std::wstring& which) {
    if (which == L"desktop") {
        return KnownFolderPath(FOLDERID_PublicDesktop);
    }
    if (which == L"programs") {
        return KnownFolderPath(FOLDERID_CommonPrograms);
    }
    return std::wstring();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        return 2;
    }
    std::wstring command = argv[1];
    std::wstring folder = FolderPath(argv[2]);
    if (folder.empty()) {
        return 2;
    }
    std::wstring linkPath = folder + L"\\" + argv[3];
    if (command == L"exists") {
        return GetFileAttributesW(linkPath.c_str()) != INVALID_FILE_ATTRIBUTES ? 0 : 1;
    }
    if (command == L"remove") {
        DeleteFileW(linkPath.c_str());
        return 0;
    }
    if (command == L"make" && argc == 5) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        bool saved = SaveLink(linkPath, argv[4]);
        CoUninitialize();
        if (!saved) {
            std::fwprintf(stderr, L"cannot save %ls\n", linkPath.c_str());
        }
        return saved ? 0 : 2;
    }
    return 2;
}
