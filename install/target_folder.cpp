#include "install/target_folder.h"

#include "base/product.h"

#include <windows.h>

#include <vector>

namespace {

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool HasDriveRoot(const std::wstring& path) {
    return path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && path[2] == L'\\';
}

// Backslashes only, without the "\\?\" prefix: the spelling in which folders are compared.
std::wstring Canonical(std::wstring path) {
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (StartsWith(path, L"\\\\?\\UNC\\")) {
        path = L"\\\\" + path.substr(8);
    } else if (StartsWith(path, L"\\\\?\\")) {
        path = path.substr(4);
    }
    return path;
}

// The names after "C:\" or "\\" (server and share included); trailing backslashes add no name.
std::vector<std::wstring> NamesBelowRoot(const std::wstring& path) {
    std::wstring rest = path.substr(HasDriveRoot(path) ? 3 : 2);
    while (!rest.empty() && rest.back() == L'\\') rest.pop_back();
    std::vector<std::wstring> names;
    if (rest.empty()) return names;
    size_t start = 0;
    for (;;) {
        const size_t end = rest.find(L'\\', start);
        names.push_back(rest.substr(start, end - start));
        if (end == std::wstring::npos) return names;
        start = end + 1;
    }
}

// Win32 would drop a trailing dot or blank, so the folder on disk would not be the one registered.
bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
    for (wchar_t c : name) {
        if (c < 32 || std::wstring(L"<>:\"|?*").find(c) != std::wstring::npos) return false;
    }
    return true;
}

// True when `inner` is `outer` or lies below it, name by name, ignoring letter case.
bool IsSameOrBelow(const std::wstring& inner, const std::wstring& outer) {
    std::wstring a = Canonical(inner);
    std::wstring b = Canonical(outer);
    while (a.size() > 3 && a.back() == L'\\') a.pop_back();
    while (b.size() > 3 && b.back() == L'\\') b.pop_back();
    if (b.empty() || a.size() < b.size() ||
        CompareStringOrdinal(a.c_str(), static_cast<int>(b.size()), b.c_str(), static_cast<int>(b.size()), TRUE) !=
            CSTR_EQUAL) {
        return false;
    }
    return a.size() == b.size() || b.back() == L'\\' || a[b.size()] == L'\\';
}

} // namespace

TargetVerdict CheckTargetFolder(const std::wstring& targetDir, const SystemFolders& folders) {
    const std::wstring path = Canonical(targetDir);
    const bool unc = StartsWith(path, L"\\\\") && !StartsWith(path, L"\\\\.\\") && !StartsWith(path, L"\\\\?\\");
    if (!HasDriveRoot(path) && !unc) return TargetVerdict::NotAbsolute;

    const std::vector<std::wstring> names = NamesBelowRoot(path);
    for (const std::wstring& name : names) {
        if (!IsPlainName(name)) return TargetVerdict::BadName;
    }
    if (names.size() <= (unc ? 2u : 0u)) return TargetVerdict::Root;

    if (!folders.windows.empty() && IsSameOrBelow(path, folders.windows)) return TargetVerdict::WindowsFolder;
    for (const std::wstring& folder : folders.others) {
        if (IsSameOrBelow(folder, path)) return TargetVerdict::SystemFolder;
    }
    // The uninstall command and the links name files in the folder exactly as given, so they are
    // measured as given too; "\ZENKA.exe" is shorter than the updater's name.
    if (targetDir.size() + 1 + std::wstring(UPDATER_FILE_NAME).size() >= MAX_PATH) return TargetVerdict::TooLong;
    return TargetVerdict::Usable;
}

std::wstring TargetRefusalText(TargetVerdict verdict, const std::wstring& targetDir) {
    // In the order of TargetVerdict, after Usable.
    static const wchar_t* const REASONS[] = {
        L"Путь указан не полностью: нужна буква диска (например, C:\\Games\\ZENKA) или сетевой путь "
        L"\\\\сервер\\ресурс\\папка.",
        L"В пути есть недопустимые имена: пустые, «.» или «..», с точкой или пробелом в конце, с символами "
        L"< > : \" | ? *.",
        L"Это корень диска или сетевого ресурса: выберите папку внутри него, например C:\\Games\\ZENKA.",
        L"Это папка Windows или папка внутри неё: там хранятся только файлы системы.",
        L"Это системная папка или папка, в которой лежат системные папки: ZENKA нужна своя отдельная папка.",
        L"Путь слишком длинный: путь к zenka-updater.exe в этой папке должен быть короче 260 символов.",
    };
    static_assert(sizeof(REASONS) / sizeof(REASONS[0]) == static_cast<size_t>(TargetVerdict::TooLong),
                  "one reason for every refusal");
    if (verdict == TargetVerdict::Usable) return std::wstring();
    return L"Нельзя установить ZENKA в папку: " + targetDir + L"\n" + REASONS[static_cast<int>(verdict) - 1];
}
