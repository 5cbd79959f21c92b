#include "install/directories.h"

#include "base/owners.h"
#include "base/path_name.h"

#include <sddl.h>

namespace {

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Index just past the root that cannot be created: "C:\", "\\server\share\", "\\?\C:\" or "\".
size_t RootLength(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        // "\\?\C:\..." and "\\server\share\...": skip two more components.
        size_t pos = 2;
        for (int component = 0; component < 2 && pos < path.size(); ++component) {
            while (pos < path.size() && !IsPathSeparator(path[pos])) ++pos;
            if (pos < path.size()) ++pos;
        }
        return pos;
    }
    if (!path.empty() && IsPathSeparator(path[0])) return 1;
    return 0;
}

DWORD CreateWithParents(const std::wstring& path, SECURITY_ATTRIBUTES* created) {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;

    DWORD lastError = ERROR_SUCCESS;
    for (size_t pos = RootLength(path); pos <= path.size(); ++pos) {
        if (pos < path.size() && !IsPathSeparator(path[pos])) continue;
        if (pos == 0 || IsPathSeparator(path[pos - 1])) continue; // doubled or trailing separator
        const std::wstring prefix = path.substr(0, pos);
        if (!CreateDirectoryW(prefix.c_str(), created)) lastError = GetLastError();
    }

    if (IsDirectory(path)) return ERROR_SUCCESS;
    if (lastError == ERROR_SUCCESS || lastError == ERROR_ALREADY_EXISTS) {
        // The last component exists but is not a directory (or vanished again).
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND;
    }
    return lastError;
}

} // namespace

DWORD CreateDirectoryWithParents(const std::wstring& path) { return CreateWithParents(path, nullptr); }

DWORD CreateProtectedDirectoryWithParents(const std::wstring& path) {
    UniqueAny<LocalMemTraits<PSECURITY_DESCRIPTOR>> descriptor;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(PROTECTED_FOLDER_SECURITY, SDDL_REVISION_1,
                                                             descriptor.Put(), nullptr) == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
    return CreateWithParents(path, &attributes);
}
