// Whether a folder can take an installation that Windows can then start, link to and uninstall.
// Pure string rules (letter case compared with the system's table); the machine's folders are
// passed in, so every refusal can be tested alone.
#pragma once

#include "system/system_folders.h"

#include <string>

enum class TargetVerdict {
    Usable,
    NotAbsolute,   // no drive letter and no \\server\share: it would depend on the working folder
    BadName,       // "." or ".." parts, empty parts, names ending in a dot or a blank, <>:"|?*
    Root,          // a drive root ("C:\") or a share root ("\\server\share")
    WindowsFolder, // the Windows folder or a folder below it
    SystemFolder,  // one of the machine's own folders, or a folder that contains one
    TooLong,       // FOLDER\zenka-updater.exe (the longest path registered) reaches MAX_PATH
};

// Checks `targetDir` as the command line gave it. Forward slashes, a trailing backslash and a
// "\\?\" prefix are accepted: they are read as Windows reads them, and the folder is still used
// and registered exactly as given.
TargetVerdict CheckTargetFolder(const std::wstring& targetDir, const SystemFolders& folders);

// The fatal message for a refused folder, naming the folder and the reason; empty for Usable.
std::wstring TargetRefusalText(TargetVerdict verdict, const std::wstring& targetDir);
