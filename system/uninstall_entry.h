// The machine-wide entry that lists the product among the installed programs.
#pragma once

#include <cstdint>
#include <string>

// Writes HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZENKA. False when the key cannot
// be created or opened; single values that fail are skipped.
bool RegisterUninstallEntry(const std::wstring& targetDir, const std::wstring& version);

// Total bytes of the regular files below `directory`; 0 when it is missing or not a directory.
uint64_t DirectorySizeBytes(const std::wstring& directory);
