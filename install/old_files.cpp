#include "install/old_files.h"

#include "base/directory_path.h"
#include "base/held_folder.h"
#include "base/listed_removal.h"
#include "base/path_name.h"
#include "base/utf8.h"

#include <algorithm>
#include <unordered_set>

std::vector<ListedPath> ListedOnlyInOld(const std::vector<ListedPath>& oldList,
                                        const std::vector<ListedPath>& newList) {
    // A set, so that lists of many thousands of files compare in linear time.
    std::unordered_set<std::wstring> inNew;
    for (const ListedPath& entry : newList) inNew.insert(FoldedPath(entry.path));
    std::vector<ListedPath> only;
    for (const ListedPath& old : oldList) {
        if (inNew.count(FoldedPath(old.path)) == 0) only.push_back(old);
    }
    return only;
}

unsigned RemoveOldVersionFiles(const std::wstring& folderPath, const std::vector<ListedPath>& oldList) {
    std::vector<ListedPath> newList;
    if (!ReadFileList(folderPath, newList)) return 0;
    // An uninstall that met a held file left it marked for deletion at the next restart; the file
    // now under that name is the new version's and must survive it.
    std::vector<std::wstring> installed;
    const std::wstring root = NormalizeDirectoryPath(folderPath);
    for (const ListedPath& entry : newList) installed.push_back(AppendPathName(root, entry.path));
    ForgetRestartMarks(installed);
    const std::vector<ListedPath> gone = ListedOnlyInOld(oldList, newList);
    if (gone.empty()) return 0;
    // The list file is in both lists, so it is not among them: the new version's stays.
    return RemoveListedFiles(folderPath, gone, AppendPathName(folderPath, FILE_LIST_NAME));
}

void KeepOldEntriesListed(HANDLE folder, const std::wstring& folderPath, const std::vector<ListedPath>& oldList) {
    std::vector<ListedPath> onDisk;
    if (oldList.empty() || !ReadFileList(folderPath, onDisk)) return;
    const std::vector<ListedPath> missing = ListedOnlyInOld(oldList, onDisk);
    if (missing.empty()) return;
    // The list's own format: forward slashes, a folder ends in "/"; the comment says why they are here.
    std::wstring lines = L"\n# Installed by the version before; removed once an update completes\n";
    for (const ListedPath& entry : missing) {
        std::wstring path = entry.path;
        std::replace(path.begin(), path.end(), L'\\', L'/');
        lines += path + (entry.isDirectory ? L"/\n" : L"\n");
    }
    const std::string bytes = EncodeUtf8(lines);
    FileHandle list;
    if (OpenFileIn(folder, FILE_LIST_NAME, FILE_APPEND_DATA, FILE_SHARE_READ, FileDisposition::OpenExisting, list) ==
        ERROR_SUCCESS) {
        DWORD written = 0;
        WriteFile(list.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}
