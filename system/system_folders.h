// The machine's own folders, which an installation folder must neither be nor contain.
#pragma once

#include <string>
#include <vector>

struct SystemFolders {
    std::wstring windows;             // the Windows folder; nothing is installed in or below it
    std::vector<std::wstring> others; // Program Files, ProgramData, the shared and the current
                                      // user's profile folders, Start menu, desktops, temporary
};

// Resolves the folders of this machine; folders that cannot be resolved are left out. These are
// the folders the delivered uninstaller refuses to remove, so a folder that passes here can also
// be uninstalled.
SystemFolders ReadSystemFolders();
