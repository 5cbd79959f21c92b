#include "install/paths.h"

#include "base/directory_path.h"
#include "base/path_name.h"
#include "base/product.h"

#include <windows.h>

const wchar_t* const PACKAGE_FILE_NAME = L"payload.zip";
const wchar_t* const PARTIAL_FILE_NAME = L"payload.zip.downloading";

namespace {
// Win32 drops trailing dots and blanks from a component, so ".. " or "..." may act as "..";
// any component made only of dots and blanks (other than ".") is refused outright.
bool IsDotsAndBlanks(const std::wstring& component) { return component.find_first_not_of(L". ") == std::wstring::npos; }

} // namespace

std::wstring LauncherPath(const std::wstring& dir) { return dir + L"\\" + LAUNCHER_FILE_NAME; }

std::wstring ValidatorPath(const std::wstring& partialPath) { return partialPath + L".validator"; }

std::wstring CanonicalTargetDir(const std::wstring& dir) {
    if (dir.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + dir.substr(8);
    if (dir.size() >= 6 && dir.compare(0, 4, L"\\\\?\\") == 0 && dir[5] == L':') return dir.substr(4);
    return dir;
}

std::wstring LongPathForm(const std::wstring& dir) {
    const size_t longestName = 1 + ValidatorPath(PARTIAL_FILE_NAME).size();
    if (dir.size() + longestName < MAX_PATH) return dir;
    const std::wstring plain = NormalizeDirectoryPath(dir);
    if (plain.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + plain.substr(2);
    return L"\\\\?\\" + plain;
}

bool IsContainedEntryName(const std::wstring& name) {
    if (name.empty() || IsPathSeparator(name.front())) return false;
    // A colon anywhere is either a drive ("C:x", "C:\x") or an NTFS stream, never a plain name.
    if (name.find(L':') != std::wstring::npos) return false;

    int depth = 0;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsPathSeparator(name[end])) ++end;
        const std::wstring component = name.substr(start, end - start);
        if (component == L"..") {
            if (--depth < 0) return false;
        } else if (component == L"." || component.empty()) {
            // stays where it is
        } else if (IsDotsAndBlanks(component) || IsDeviceName(component)) {
            return false;
        } else {
            ++depth;
        }
        start = end + 1;
    }
    return true;
}
