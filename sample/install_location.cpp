#include "sample/install_location.h"

#include <windows.h>

namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

bool HasDrivePrefix(const std::wstring& path) {
    return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
}

bool IsUnc(const std::wstring& path) { return StartsWith(path, L"\\\\"); }

// Splits the part after "C:\" or "\\" into its names; empty names are kept so they can be refused.
std::vector<std::wstring> SplitParts(const std::wstring& path) {
    size_t start = HasDrivePrefix(path) ? 3 : (IsUnc(path) ? 2 : 0);
    std::vector<std::wstring> parts;
    if (start >= path.size()) {
        return parts;
    }
    std::wstring current;
    for (size_t i = start; i < path.size(); ++i) {
        if (path[i] == L'\\') {
            parts.push_back(current);
            current.clear();
        } else {
            current += path[i];
        }
    }
    parts.push_back(current);
    return parts;
}

// Letter case is compared the way the file system does, with the system's upper-case table, which
// covers every alphabet (the C runtime's towlower knows only ASCII in its default locale).
bool EqualIgnoringCase(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
    return CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE) == CSTR_EQUAL;
}

} // namespace

bool IsValidName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    for (wchar_t c : name) {
        if (c < 32 || std::wstring(L"<>:\"|?*").find(c) != std::wstring::npos) {
            return false;
        }
    }
    return true;
}

std::wstring NormalizeDirectoryPath(const std::wstring& path) {
    std::wstring result = path;
    for (wchar_t& c : result) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (StartsWith(result, L"\\\\?\\UNC\\")) {
        result = L"\\\\" + result.substr(8);
    } else if (StartsWith(result, L"\\\\?\\")) {
        result = result.substr(4);
    }
    size_t keep = HasDrivePrefix(result) ? 3 : 1;
    while (result.size() > keep && result.back() == L'\\') {
        result.pop_back();
    }
    return result;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    std::wstring left = NormalizeDirectoryPath(a);
    std::wstring right = NormalizeDirectoryPath(b);
    return EqualIgnoringCase(left.c_str(), left.size(), right.c_str(), right.size());
}

bool IsInsideDirectory(const std::wstring& path, const std::wstring& directory) {
    std::wstring p = NormalizeDirectoryPath(path);
    std::wstring d = NormalizeDirectoryPath(directory);
    if (d.empty() || p.size() < d.size() || !EqualIgnoringCase(p.c_str(), d.size(), d.c_str(), d.size())) {
        return false;
    }
    // A drive root already ends with its backslash; any other directory needs one next.
    return p.size() == d.size() || d.back() == L'\\' || p[d.size()] == L'\\';
}

LocationVerdict CheckRemovalDirectory(const std::wstring& directory, const std::vector<std::wstring>& protectedFolders,
                                      bool containsUpdater) {
    std::wstring path = NormalizeDirectoryPath(directory);
    if (StartsWith(path, L"\\\\.\\") || StartsWith(path, L"\\\\?\\") || (!HasDrivePrefix(path) && !IsUnc(path))) {
        return LocationVerdict::NotAbsolute;
    }
    std::vector<std::wstring> parts = SplitParts(path);
    for (const std::wstring& part : parts) {
        if (!IsValidName(part)) {
            return LocationVerdict::Malformed;
        }
    }
    // A share ("\\server\share") is as much a root as "C:\".
    if (parts.empty() || (IsUnc(path) && parts.size() <= 2)) {
        return LocationVerdict::Root;
    }
    for (const std::wstring& folder : protectedFolders) {
        if (!folder.empty() && IsInsideDirectory(folder, path)) {
            return LocationVerdict::ProtectedFolder;
        }
    }
    return containsUpdater ? LocationVerdict::Safe : LocationVerdict::NoUpdater;
}

std::wstring ParentDirectory(const std::wstring& filePath) {
    size_t slash = filePath.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return std::wstring();
    }
    if (slash == 2 && HasDrivePrefix(filePath)) {
        return filePath.substr(0, 3);
    }
    return filePath.substr(0, slash);
}
