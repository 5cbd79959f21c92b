// The size walk behind the uninstall entry's "EstimatedSize".
#include "system/uninstall_entry.h"

#include "base/owners.h"

#include <windows.h>

#include <vector>

namespace {

bool IsDots(const wchar_t* name) { return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)); }

// The size of what a linked file points at, as a walk that follows links sees it; 0 when that is gone.
uint64_t LinkedFileSize(const std::wstring& path) {
    const FileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

// Whether a name at the top of the walk is the one the caller leaves out (compared as Windows compares names).
bool IsLeftOut(const wchar_t* name, const std::wstring& leftOut) {
    return !leftOut.empty() && CompareStringOrdinal(name, -1, leftOut.c_str(), static_cast<int>(leftOut.size()),
                                                    TRUE) == CSTR_EQUAL;
}

} // namespace

uint64_t DirectorySizeBytes(const std::wstring& directory, const std::wstring& leftOut) {
    const DWORD rootAttributes = GetFileAttributesW(directory.c_str());
    if (directory.empty() || rootAttributes == INVALID_FILE_ATTRIBUTES ||
        (rootAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return 0;
    }
    uint64_t total = 0;
    std::vector<std::wstring> pending{directory};
    while (!pending.empty()) {
        std::wstring folder = std::move(pending.back());
        pending.pop_back();
        // Every folder below the root has a longer path than the root itself.
        const bool atRoot = folder.size() == directory.size();
        if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
        WIN32_FIND_DATAW entry;
        // A directory we may not read counts as empty; it should not hide the size of the rest.
        const FindHandle found(FindFirstFileExW((folder + L'*').c_str(), FindExInfoBasic, &entry,
                                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!found.IsValid()) continue;
        do {
            if (IsDots(entry.cFileName)) continue;
            const bool linked = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                // A symbolic link or junction is not walked: a link back up the tree would be
                // walked until the path grows too long.
                if (!linked) pending.push_back(folder + entry.cFileName);
            } else if (atRoot && IsLeftOut(entry.cFileName, leftOut)) {
                continue;
            } else if (linked) {
                total += LinkedFileSize(folder + entry.cFileName);
            } else {
                total += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            }
        } while (FindNextFileW(found.Get(), &entry));
    }
    return total;
}
