#include "system/system_folders.h"

#include "base/known_folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

SystemFolders ReadSystemFolders() {
    SystemFolders folders;
    folders.windows = KnownFolderPath(FOLDERID_Windows);
    for (const KNOWNFOLDERID* folder : SYSTEM_AND_USER_FOLDERS) {
        std::wstring path = KnownFolderPath(*folder);
        if (!path.empty()) folders.others.push_back(std::move(path));
    }
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length > 0 && length <= MAX_PATH) folders.others.emplace_back(temp, length);
    return folders;
}
