// The size walk behind the uninstall entry's "EstimatedSize".
#include "system/uninstall_entry.h"

#include <windows.h>

#include <filesystem>
#include <system_error>

namespace {

bool IsLinkedDirectory(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsLeftOut(const std::filesystem::recursive_directory_iterator& entry, const std::wstring& leftOut) {
    if (leftOut.empty() || entry.depth() != 0) return false;
    const std::wstring name = entry->path().filename().wstring();
    return CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), leftOut.c_str(),
                                static_cast<int>(leftOut.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

uint64_t DirectorySizeBytes(const std::wstring& directory, const std::wstring& leftOut) {
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
        } else if (fs::is_regular_file(status) && !IsLeftOut(entries, leftOut)) {
            const uintmax_t size = entries->file_size(error);
            if (error) break;
            total += size;
        }
    }
    return total;
}
