#include "system/uninstall_entry.h"

// Placeholder until the uninstall registration lands.
bool RegisterUninstallEntry(const std::wstring&, const std::wstring&) { return false; }

uint64_t DirectorySizeBytes(const std::wstring&) { return 0; }
