#include "base/directory_path.h"

#include <windows.h>

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

// Letter case is compared the way the file system does, with the system's upper-case table, which
// covers every alphabet (the C runtime's towlower knows only ASCII in its default locale).
bool EqualIgnoringCase(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
    return CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE) == CSTR_EQUAL;
}

} // namespace

bool HasDrivePrefix(const std::wstring& path) {
    return path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && path[2] == L'\\';
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

bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
    for (wchar_t c : name) {
        if (c < 32 || std::wstring(L"<>:\"|?*").find(c) != std::wstring::npos) return false;
    }
    return true;
}

std::wstring FoldedPath(const std::wstring& path) {
    std::wstring key = path;
    if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}
