#include "base/path_name.h"

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveDesignator(const std::wstring& path) {
    return path.size() == 2 && path[1] == L':' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

std::wstring AppendPathName(const std::wstring& dir, const std::wstring& name) {
    if (dir.empty() || IsDriveDesignator(dir) || IsPathSeparator(dir.back())) return dir + name;
    return dir + L'\\' + name;
}
