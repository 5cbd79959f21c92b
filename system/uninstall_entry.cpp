#include "system/uninstall_entry.h"

#include "system/registry_key.h"
#include "system/uninstall_values.h"

#include <filesystem>
#include <system_error>

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

bool IsLinkedDirectory(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace

bool RegisterUninstallEntry(const std::wstring& targetDir, const std::wstring& version) {
    RegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, key.Put(), nullptr) != ERROR_SUCCESS ||
        key.Get() == nullptr) {
        return false;
    }
    SYSTEMTIME today{};
    GetLocalTime(&today);
    ApplyRegistryValues(key.Get(), UninstallValues(targetDir, version, today, DirectorySizeBytes(targetDir)));
    return true;
}

uint64_t DirectorySizeBytes(const std::wstring& directory) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path root(directory);
    const fs::file_status rootStatus = fs::status(root, error);
    if (error || !fs::is_directory(rootStatus)) return 0;

    // A directory we may not read counts as empty; it should not hide the size of the rest.
    fs::recursive_directory_iterator entries(root, fs::directory_options::skip_permission_denied, error);
    uint64_t total = 0;
    for (const fs::recursive_directory_iterator end; !error && entries != end; entries.increment(error)) {
        const fs::file_status status = entries->status(error);
        if (error) break;
        if (fs::is_directory(status) && IsLinkedDirectory(entries->path())) {
            // The runtime library sees through symbolic links and junctions; without this a link
            // back up the tree would be walked until the path grows too long.
            entries.disable_recursion_pending();
        } else if (fs::is_regular_file(status)) {
            const uintmax_t size = entries->file_size(error);
            if (error) break;
            total += size;
        }
    }
    return total;
}
