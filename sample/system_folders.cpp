#include "sample/system_folders.h"

#include <knownfolders.h>

#include "base/owners.h"

std::wstring KnownFolderPath(REFKNOWNFOLDERID folder) {
    CoTaskMemString path; // the shell may hand out memory even on failure
    if (SUCCEEDED(SHGetKnownFolderPath(folder, 0, nullptr, path.Put())) && path) {
        return path.Get();
    }
    return std::wstring();
}

std::vector<std::wstring> ProtectedFolders() {
    const KNOWNFOLDERID* const folders[] = {
        &FOLDERID_Windows,
        &FOLDERID_System,
        &FOLDERID_SystemX86,
        &FOLDERID_ProgramFiles,
        &FOLDERID_ProgramFilesX86,
        &FOLDERID_ProgramFilesCommon,
        &FOLDERID_ProgramFilesCommonX86,
        &FOLDERID_ProgramData,
        &FOLDERID_UserProfiles,
        &FOLDERID_Public,
        &FOLDERID_PublicDesktop,
        &FOLDERID_PublicDocuments,
        &FOLDERID_CommonStartMenu,
        &FOLDERID_CommonPrograms,
        &FOLDERID_Profile,
        &FOLDERID_Desktop,
        &FOLDERID_Documents,
        &FOLDERID_Downloads,
        &FOLDERID_StartMenu,
        &FOLDERID_Programs,
        &FOLDERID_LocalAppData,
        &FOLDERID_RoamingAppData,
        &FOLDERID_UserProgramFiles,
    };
    std::vector<std::wstring> paths;
    for (const KNOWNFOLDERID* folder : folders) {
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
