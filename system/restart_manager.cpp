#include "system/restart_manager.h"

// Placeholder until the Restart Manager step lands.
bool ReleaseLockedFiles(const std::wstring&) { return true; }
