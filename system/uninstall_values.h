// What the uninstall entry holds, as plain data: built without touching the registry, so the
// exact names, types and texts can be checked, then written in one place.
#pragma once

#include <windows.h>

#include "base/product.h"

#include <cstdint>
#include <string>
#include <vector>

// One registry value: `text` for REG_SZ, `number` for REG_DWORD.
struct RegistryValue {
    std::wstring name;
    DWORD type = REG_SZ;
    std::wstring text;
    DWORD number = 0;
};

extern const wchar_t* const PUBLISHER_SITE_URL; // scheme and host only
extern const wchar_t* const DEFAULT_VERSION;    // stored when the version text is empty

// `date` as eight digits, year month day, month and day zero-padded: 2026-01-05 gives "20260105".
std::wstring FormatInstallDate(const SYSTEMTIME& date);

// The size shown in the list of installed programs, in KiB, rounded down, except that a tree of 1
// to 1023 bytes shows 1 rather than looking empty. Saturates at the largest DWORD.
DWORD EstimatedSizeKiB(uint64_t totalBytes);

// The thirteen values in the order they are written. `targetDir` goes in unchanged: a trailing
// backslash is not removed before the file names are appended.
std::vector<RegistryValue> UninstallValues(const std::wstring& targetDir, const std::wstring& version,
                                           const SYSTEMTIME& today, uint64_t treeBytes);
