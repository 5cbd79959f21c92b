#include "system/system_folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace {

std::wstring ResolveKnownFolder(REFKNOWNFOLDERID id) {
    PWSTR raw = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &raw);
    const std::wstring resolved = SUCCEEDED(result) && raw != nullptr ? raw : L"";
    CoTaskMemFree(raw); // the shell may hand out memory even on failure
    return resolved;
}

} // namespace

SystemFolders ReadSystemFolders() {
    SystemFolders folders;
    folders.windows = ResolveKnownFolder(FOLDERID_Windows);
    static const GUID* const kept[] = {
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
    for (const GUID* id : kept) {
        std::wstring path = ResolveKnownFolder(*id);
        if (!path.empty()) folders.others.push_back(std::move(path));
    }
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length > 0 && length <= MAX_PATH) folders.others.emplace_back(temp, length);
    return folders;
}
