#include "system/shortcut.h"

// Placeholder until the shortcut step lands.
bool CreateShortcut(REFKNOWNFOLDERID, const std::wstring&, const std::wstring&, const std::wstring&,
                    const std::wstring&) {
    return false;
}
