#include "install/old_files.h"

#include "base/directory_path.h"
#include "base/listed_removal.h"
#include "base/path_name.h"

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
