#include "base/known_folders.h"

#include "base/owners.h"

#include <knownfolders.h>

std::wstring KnownFolderPath(REFKNOWNFOLDERID folder) {
    CoTaskMemString path; // the shell may hand out memory even on failure
    if (FAILED(SHGetKnownFolderPath(folder, 0, nullptr, path.Put())) || !path) return std::wstring();
    return path.Get();
}

const std::array<const KNOWNFOLDERID*, 22> SYSTEM_AND_USER_FOLDERS = {
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
