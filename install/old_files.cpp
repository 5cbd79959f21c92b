#include "install/old_files.h"

#include "base/directory_path.h"
#include "base/held_folder.h"
#include "base/listed_removal.h"
#include "base/path_name.h"

#include <algorithm>

namespace {

// Room for any list a package brings; a bigger file is not one.
constexpr LONGLONG LIST_BYTES_MAX = 64 * 1024 * 1024;

bool ReadListBytes(HANDLE folder, std::string& bytes) {
    FileHandle file;
    if (OpenFileIn(folder, FILE_LIST_NAME, GENERIC_READ, FILE_SHARE_READ, FileDisposition::OpenExisting, file) !=
        ERROR_SUCCESS) {
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > LIST_BYTES_MAX) return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return bytes.empty() ||
           (ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
}

void WriteListBytes(HANDLE folder, const std::string& bytes) {
    FileHandle file;
    if (OpenFileIn(folder, FILE_LIST_NAME, GENERIC_WRITE, 0, FileDisposition::CreateNew, file) != ERROR_SUCCESS) return;
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace

std::vector<ListedPath> ListedOnlyInOld(const std::vector<ListedPath>& oldList,
                                        const std::vector<ListedPath>& newList) {
    std::vector<ListedPath> only;
    for (const ListedPath& old : oldList) {
        const bool kept = std::any_of(newList.begin(), newList.end(),
                                      [&](const ListedPath& entry) { return SamePath(entry.path, old.path); });
        if (!kept) only.push_back(old);
    }
    return only;
}

unsigned RemoveOldVersionFiles(HANDLE folder, const std::wstring& folderPath, const std::vector<ListedPath>& oldList) {
    std::vector<ListedPath> newList;
    if (oldList.empty() || !ReadFileList(folderPath, newList)) return 0;
    const std::vector<ListedPath> gone = ListedOnlyInOld(oldList, newList);
    if (gone.empty()) return 0;
    // RemoveListedFiles ends by deleting the list file, which is the new version's now: it goes back.
    std::string listBytes;
    const bool read = ReadListBytes(folder, listBytes);
    const unsigned failures = RemoveListedFiles(folderPath, gone, AppendPathName(folderPath, FILE_LIST_NAME));
    DWORD attributes = 0;
    if (read && ListedAttributesIn(folder, FILE_LIST_NAME, attributes) == ERROR_FILE_NOT_FOUND) {
        WriteListBytes(folder, listBytes);
    }
    return failures;
}
