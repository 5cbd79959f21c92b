#include "base/listed_removal.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/directory_path.h"
#include "base/file_retry.h"
#include "base/held_folder.h"
#include "base/owners.h"

std::function<void(const std::wstring& relative)> g_beforeListedDelete;

namespace {

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

// "a\b\c" gives "a\b" and "c"; "c" gives "" and "c".
std::pair<std::wstring, std::wstring> SplitLast(const std::wstring& relative) {
    const size_t slash = relative.rfind(L'\\');
    if (slash == std::wstring::npos) return {std::wstring(), relative};
    return {relative.substr(0, slash), relative.substr(slash + 1)};
}

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

struct Walk {
    std::wstring root; // the installation folder, normalised
    HeldPath held;
    ListedRemoval result;
    std::unordered_set<std::wstring> links;         // folded relative paths of link folders
    std::unordered_set<std::wstring> markedParents; // folded folders that hold something marked
    // Set once a deletion found its folder resolved elsewhere than where it was held: someone is
    // swapping folders while the removal runs, and no later deletion below the root is trusted.
    bool stopped = false;
};

// Adds `relative` and its parents to `folders` (folded key to depth and path), stopping at the
// first already there: its parents are there too, so each folder is copied once.
void AddWithParents(std::unordered_map<std::wstring, std::pair<size_t, std::wstring>>& folders,
                    const std::wstring& relative) {
    size_t depth = static_cast<size_t>(std::count(relative.begin(), relative.end(), L'\\'));
    for (std::wstring path = relative; !path.empty(); path = SplitLast(path).first, --depth) {
        if (!folders.emplace(FoldedPath(path), std::make_pair(depth, path)).second) return;
    }
}

void AddParents(std::unordered_set<std::wstring>& set, const std::wstring& relative) {
    for (std::wstring path = SplitLast(relative).first; !path.empty(); path = SplitLast(path).first) {
        if (!set.insert(FoldedPath(path)).second) return;
    }
}

// Holds the folder `relative` of the walk; a link found on the way is recorded once.
DWORD Hold(Walk& walk, const std::wstring& relative) {
    std::wstring failed;
    const DWORD error = HoldFolders(walk.held, relative, false, failed);
    if (error == ERROR_FOLDER_IS_LINK && walk.links.insert(FoldedPath(failed)).second) {
        walk.result.linkFolders.push_back(failed);
    }
    return error;
}

// True when `relative` or a folder above it was found to be a link.
bool UnderLink(const Walk& walk, const std::wstring& relative) {
    for (std::wstring path = relative; !path.empty(); path = SplitLast(path).first) {
        if (walk.links.count(FoldedPath(path)) != 0) return true;
    }
    return false;
}

void StopAtSwap(Walk& walk, const std::wstring& folder) {
    walk.stopped = true;
    if (walk.links.insert(FoldedPath(folder)).second) walk.result.linkFolders.push_back(folder);
}

void MarkOrCountLeft(Walk& walk, const std::wstring& relative) {
    if (MarkForRestart(walk.root + L"\\" + relative)) {
        walk.result.marked.push_back(walk.root + L"\\" + relative);
        AddParents(walk.markedParents, relative);
    } else {
        ++walk.result.left;
    }
}

void RemoveFile(Walk& walk, const std::wstring& relative) {
    const auto [parent, name] = SplitLast(relative);
    if (walk.stopped || UnderLink(walk, parent)) return;
    const DWORD held = Hold(walk, parent);
    if (held != ERROR_SUCCESS) {
        // A missing folder holds nothing; a link's contents are not ours.
        if (!IsMissing(held) && held != ERROR_FOLDER_IS_LINK && held != ERROR_DIRECTORY) ++walk.result.left;
        return;
    }
    if (g_beforeListedDelete) g_beforeListedDelete(relative);
    const HANDLE folder = InnermostFolder(walk.held);
    const DWORD error = RetryWhileHeld([&] { return DeleteIn(folder, name); });
    if (error == ERROR_SUCCESS) {
        ++walk.result.removed;
    } else if (error == ERROR_FOLDER_IS_LINK) {
        ++walk.result.left;
        StopAtSwap(walk, parent);
    } else if (IsHoldError(error)) {
        MarkOrCountLeft(walk, relative);
    } else if (!IsMissing(error) && error != ERROR_DIR_NOT_EMPTY) {
        // ERROR_DIR_NOT_EMPTY: a folder of someone else's stands where the package had a file.
        ++walk.result.left;
    }
}

void RemoveFolder(Walk& walk, const std::wstring& relative) {
    const std::wstring key = FoldedPath(relative);
    if (walk.stopped || UnderLink(walk, relative)) return;
    const auto [parent, name] = SplitLast(relative);
    if (Hold(walk, parent) != ERROR_SUCCESS) return;
    const HANDLE folder = InnermostFolder(walk.held);
    DWORD attributes = 0;
    if (ListedAttributesIn(folder, name, attributes) != ERROR_SUCCESS) return;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // Removing a link would leave its target, but it is the user's all the same.
        walk.links.insert(key);
        walk.result.linkFolders.push_back(relative);
        return;
    }
    const DWORD error = RetryWhileHeld([&] { return DeleteIn(folder, name); });
    if (error == ERROR_FOLDER_IS_LINK) {
        StopAtSwap(walk, SplitLast(relative).first);
        return;
    }
    // A folder that holds a marked file can go only after it; one that holds others' files stays.
    if ((error == ERROR_DIR_NOT_EMPTY && walk.markedParents.count(key) != 0) || IsHoldError(error)) {
        if (MarkForRestart(walk.root + L"\\" + relative)) {
            walk.result.marked.push_back(walk.root + L"\\" + relative);
            AddParents(walk.markedParents, relative);
        }
    }
}

} // namespace

ListedRemoval RemoveListed(const std::wstring& directory, const std::vector<ListedPath>& listed,
                           const std::vector<std::wstring>& kept) {
    Walk walk;
    walk.root = NormalizeDirectoryPath(directory);
    const DWORD opened = OpenHeldFolder(walk.root, walk.held.root);
    if (opened != ERROR_SUCCESS) {
        if (opened == ERROR_FOLDER_IS_LINK) {
            walk.result.linkFolders.push_back(std::wstring());
        } else if (!IsMissing(opened)) {
            walk.result.left = static_cast<unsigned>(listed.size());
        }
        return walk.result;
    }
    std::unordered_set<std::wstring> keep;
    for (const std::wstring& name : kept) keep.insert(FoldedPath(name));
    std::unordered_map<std::wstring, std::pair<size_t, std::wstring>> folders;
    for (const ListedPath& entry : listed) {
        if (entry.isDirectory) {
            AddWithParents(folders, entry.path);
            continue;
        }
        AddWithParents(folders, SplitLast(entry.path).first);
        if (keep.count(FoldedPath(entry.path)) == 0) RemoveFile(walk, entry.path);
    }
    std::vector<std::pair<size_t, std::wstring>> deepestFirst;
    deepestFirst.reserve(folders.size());
    for (auto& folder : folders) deepestFirst.push_back(std::move(folder.second));
    std::sort(deepestFirst.begin(), deepestFirst.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (const auto& folder : deepestFirst) RemoveFolder(walk, folder.second);
    return walk.result;
}

unsigned RemoveListedFiles(const std::wstring& directory, const std::vector<ListedPath>& listed,
                           const std::wstring& keepPath) {
    const std::wstring root = NormalizeDirectoryPath(directory);
    std::vector<std::wstring> kept{FILE_LIST_NAME};
    if (!keepPath.empty() && IsInsideDirectory(keepPath, root) && !SamePath(keepPath, root)) {
        const std::wstring normal = NormalizeDirectoryPath(keepPath);
        kept.push_back(normal.substr(root.size() + (root.back() == L'\\' ? 0 : 1)));
    }
    const ListedRemoval removal = RemoveListed(root, listed, kept);
    unsigned failures = removal.left + static_cast<unsigned>(removal.marked.size());
    const bool listsItself = std::any_of(listed.begin(), listed.end(), [](const ListedPath& entry) {
        return !entry.isDirectory && SamePath(entry.path, FILE_LIST_NAME);
    });
    if (listsItself) {
        ListedRemoval list = RemoveListed(root, {ListedPath{FILE_LIST_NAME, false}}, {});
        failures += list.left + static_cast<unsigned>(list.marked.size());
    }
    return failures;
}

namespace {

const wchar_t* const SESSION_MANAGER = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t* const PENDING_RENAMES = L"PendingFileRenameOperations";

// The strings of the pending renames: pairs of a source as "\??\C:\..." and a target, empty for a
// deletion. False when the value cannot be read; no value gives no strings.
bool ReadPendingRenames(HKEY key, std::vector<std::wstring>& strings) {
    strings.clear();
    DWORD type = 0;
    DWORD bytes = 0;
    const LSTATUS sized = RegQueryValueExW(key, PENDING_RENAMES, nullptr, &type, nullptr, &bytes);
    if (sized == ERROR_FILE_NOT_FOUND) return true;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (sized != ERROR_SUCCESS || type != REG_MULTI_SZ ||
        RegQueryValueExW(key, PENDING_RENAMES, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &bytes) !=
            ERROR_SUCCESS) {
        return false;
    }
    value.resize(bytes / sizeof(wchar_t));
    // Each string ends in a NUL; one more NUL may end the whole.
    for (size_t start = 0; start < value.size();) {
        size_t end = value.find(L'\0', start);
        if (end == std::wstring::npos) end = value.size();
        strings.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    if (strings.size() % 2 != 0) strings.pop_back();
    return true;
}

} // namespace

bool MarkForRestart(const std::wstring& path) {
    if (MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) == 0) return false;
    // Counted as marked only once the registry shows it: the call can succeed without a mark
    // that the restart would act on.
    RegistryKey key;
    std::vector<std::wstring> strings;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS ||
        !ReadPendingRenames(key.Get(), strings)) {
        return false;
    }
    const std::wstring wanted = FoldedPath(L"\\??\\" + path);
    for (size_t i = 0; i < strings.size(); i += 2) {
        if (strings[i + 1].empty() && FoldedPath(strings[i]) == wanted) return true;
    }
    return false;
}

bool ForgetRestartMarks(const std::vector<std::wstring>& paths) {
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::vector<std::wstring> strings;
    if (!ReadPendingRenames(key.Get(), strings)) return false;
    std::unordered_set<std::wstring> forgotten;
    for (const std::wstring& path : paths) forgotten.insert(FoldedPath(L"\\??\\" + path));
    std::wstring kept;
    bool dropped = false;
    for (size_t i = 0; i < strings.size(); i += 2) {
        if (!strings[i + 1].empty() || forgotten.count(FoldedPath(strings[i])) == 0) {
            kept += strings[i] + L'\0' + strings[i + 1] + L'\0';
        } else {
            dropped = true;
        }
    }
    // Rewritten only when a mark of ours goes: every write risks losing another program's mark
    // made at the same moment.
    if (!dropped) return true;
    if (kept.empty()) return RegDeleteValueW(key.Get(), PENDING_RENAMES) == ERROR_SUCCESS;
    kept += L'\0';
    return RegSetValueExW(key.Get(), PENDING_RENAMES, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                          static_cast<DWORD>(kept.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool HasRestartMarksInside(const std::wstring& directory) {
    RegistryKey key;
    std::vector<std::wstring> strings;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS ||
        !ReadPendingRenames(key.Get(), strings)) {
        return true; // cannot tell: as if there were
    }
    for (size_t i = 0; i < strings.size(); i += 2) {
        const std::wstring& source = strings[i];
        if (source.compare(0, 4, L"\\??\\") == 0 && !SamePath(source.substr(4), directory) &&
            IsInsideDirectory(source.substr(4), directory)) {
            return true;
        }
    }
    return false;
}

bool HoldsOtherEntries(const std::wstring& directory, const std::wstring& keepPath) {
    std::wstring root = NormalizeDirectoryPath(directory);
    WIN32_FIND_DATAW data;
    const FindHandle find(
        FindFirstFileExW((root + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) {
        return false;
    }
    do {
        if (!IsDotEntry(data.cFileName) && (keepPath.empty() || !SamePath(root + L"\\" + data.cFileName, keepPath))) {
            return true;
        }
    } while (FindNextFileW(find.Get(), &data) != 0);
    return false;
}
