#include "sample/install_location.h"

#include <windows.h>

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
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
