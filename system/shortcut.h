// Shell links for all users.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

// Saves `folder`\`linkFileName` pointing at `targetPath` (also its icon, index 0), starting in
// `workingDirectory`. COM must be initialised on the calling thread. True only when saved.
bool CreateShortcut(REFKNOWNFOLDERID folder, const std::wstring& targetPath, const std::wstring& workingDirectory,
                    const std::wstring& linkFileName, const std::wstring& description);
