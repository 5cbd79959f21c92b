// Known folders and shell links for tests and test tools. The link functions need a COM apartment
// on the calling thread.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

// The folder's path, or empty when the shell does not know it.
std::wstring KnownFolder(REFKNOWNFOLDERID folder);

// Saves a link at `linkPath` whose program is `target`; nothing else is set.
bool SaveLink(const std::wstring& linkPath, const std::wstring& target);

struct LinkFields {
    std::wstring path;
    std::wstring workingDirectory;
    std::wstring description;
    std::wstring iconPath;
    int iconIndex = -1;
};

// Loads a saved link into a fresh link object, as Explorer would, and reads its fields.
bool ReadLink(const std::wstring& linkPath, LinkFields& fields);
