#include "system/uninstall_entry.h"

#include "base/owners.h"
#include "system/uninstall_values.h"

#include <vector>

namespace {

// Writes every value; one that fails is skipped so that the rest still describe the product.
void ApplyRegistryValues(HKEY key, const std::vector<RegistryValue>& values) {
    for (const RegistryValue& value : values) {
        if (value.type == REG_DWORD) {
            RegSetValueExW(key, value.name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                           sizeof value.number);
        } else {
            // The stored string includes its terminating null.
            const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
            RegSetValueExW(key, value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()),
                           bytes);
        }
    }
}

} // namespace

bool RegisterUninstallEntry(const std::wstring& targetDir, const std::wstring& version, const std::wstring& goingName) {
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        key.Put(), nullptr) != ERROR_SUCCESS ||
        key.Get() == nullptr) {
        return false;
    }
    SYSTEMTIME today{};
    GetLocalTime(&today);
    ApplyRegistryValues(key.Get(),
                        UninstallValues(targetDir, version, today, DirectorySizeBytes(targetDir, goingName)));
    return true;
}
