#include "base/listed_removal.h"

#include <algorithm>

#include "base/directory_path.h"
#include "base/owners.h"

namespace {
bool DeleteOneFile(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    return DeleteFileW(path.c_str()) != 0;
}

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

// The attributes of `path` itself, as its folder lists it: a link is reported as a link even when
// what it points to cannot be reached.
DWORD OwnAttributes(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    const FindHandle find(FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    return find ? data.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool IsDirectoryLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// True when no folder on the way from `root` to `root`\`relative` (the last name excluded) is a
// directory link: one the user put there could lead elsewhere.
bool ReachableWithoutLinks(const std::wstring& root, const std::wstring& relative) {
    for (size_t slash = relative.find(L'\\'); slash != std::wstring::npos; slash = relative.find(L'\\', slash + 1)) {
        if (IsDirectoryLink(OwnAttributes(root + L"\\" + relative.substr(0, slash)))) {
            return false;
        }
    }
    return true;
}

size_t Depth(const std::wstring& relative) {
    return static_cast<size_t>(std::count(relative.begin(), relative.end(), L'\\'));
}

// The listed folders and every parent of a listed path, deepest first, each once.
std::vector<std::wstring> FoldersDeepestFirst(const std::vector<ListedPath>& listed) {
    std::vector<std::wstring> folders;
    for (const ListedPath& entry : listed) {
        if (entry.isDirectory) {
            folders.push_back(entry.path);
        }
        for (size_t slash = entry.path.rfind(L'\\'); slash != std::wstring::npos && slash > 0;
             slash = entry.path.rfind(L'\\', slash - 1)) {
            folders.push_back(entry.path.substr(0, slash));
        }
    }
    std::sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) {
        return Depth(a) != Depth(b) ? Depth(a) > Depth(b) : a < b;
    });
    folders.erase(std::unique(folders.begin(), folders.end(),
                              [](const std::wstring& a, const std::wstring& b) { return SamePath(a, b); }),
                  folders.end());
    return folders;
}

// Deletes one listed file; true when it is gone or was never there.
bool DeleteListedFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return true; // a folder now stands where the package had a file: not ours to touch
    }
    return DeleteOneFile(path, attributes);
}

} // namespace

unsigned RemoveListedFiles(const std::wstring& directory, const std::vector<ListedPath>& listed,
                           const std::wstring& keepPath) {
    std::wstring root = NormalizeDirectoryPath(directory);
    std::wstring listPath = root + L"\\" + FILE_LIST_NAME;
    unsigned failures = 0;
    for (const ListedPath& entry : listed) {
        std::wstring path = root + L"\\" + entry.path;
        if (entry.isDirectory || SamePath(path, listPath) || (!keepPath.empty() && SamePath(path, keepPath)) ||
            !ReachableWithoutLinks(root, entry.path)) {
            continue;
        }
        if (!DeleteListedFile(path)) {
            ++failures;
        }
    }
    for (const std::wstring& folder : FoldersDeepestFirst(listed)) {
        std::wstring path = root + L"\\" + folder;
        DWORD attributes = OwnAttributes(path);
        // A folder that still holds something keeps it, and a link is the user's, not ours.
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            !IsDirectoryLink(attributes) && ReachableWithoutLinks(root, folder)) {
            RemoveDirectoryW(path.c_str());
        }
    }
    if (!DeleteListedFile(listPath)) {
        ++failures;
    }
    return failures;
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
