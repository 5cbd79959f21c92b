#include "sample/system_folders.h"

#include <knownfolders.h>

#include "base/known_folders.h"

std::vector<std::wstring> ProtectedFolders() {
    std::vector<std::wstring> paths;
    std::wstring windows = KnownFolderPath(FOLDERID_Windows);
    if (!windows.empty()) {
        paths.push_back(windows);
    }
    for (const KNOWNFOLDERID* folder : SYSTEM_AND_USER_FOLDERS) {
        std::wstring path = KnownFolderPath(*folder);
        if (!path.empty()) {
            paths.push_back(path);
        }
    }
    std::wstring temp = TemporaryFolder();
    if (!temp.empty()) {
        paths.push_back(temp);
    }
    return paths;
}

std::wstring CurrentProgramPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        // Truncated: try again with room to spare.
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring TemporaryFolder() {
    wchar_t buffer[MAX_PATH + 2] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH + 1) {
        return std::wstring();
    }
    return std::wstring(buffer, length);
}
