// The machine-wide entry that lists the product among the installed programs.
#pragma once

#include <cstdint>
#include <string>

// Writes HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZENKA. False when the key cannot
// be created or opened; single values that fail are skipped. The size is that of `targetDir`
// without its file `goingName` (one name, e.g. the package deleted right after; empty for none),
// so that it shows what stays installed.
bool RegisterUninstallEntry(const std::wstring& targetDir, const std::wstring& version,
                            const std::wstring& goingName = std::wstring());

// Total bytes of the regular files below `directory`, leaving out the file `leftOut` directly in
// it (one name, any letter case; empty leaves out nothing); 0 when it is missing or not a directory.
uint64_t DirectorySizeBytes(const std::wstring& directory, const std::wstring& leftOut = std::wstring());
