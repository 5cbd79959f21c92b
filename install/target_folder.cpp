#include "install/target_folder.h"

#include "base/directory_path.h"
#include "base/product.h"

#include <windows.h>

#include <vector>

namespace {

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The names after "C:\" or "\\" (server and share included); trailing backslashes add no name.
std::vector<std::wstring> NamesBelowRoot(const std::wstring& path) {
    std::wstring rest = path.substr(HasDrivePrefix(path) ? 3 : 2);
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

} // namespace

TargetVerdict CheckTargetFolder(const std::wstring& targetDir, const SystemFolders& folders) {
    const std::wstring path = NormalizeDirectoryPath(targetDir);
    const bool unc = StartsWith(path, L"\\\\") && !StartsWith(path, L"\\\\.\\") && !StartsWith(path, L"\\\\?\\");
    if (!HasDrivePrefix(path) && !unc) return TargetVerdict::NotAbsolute;

    const std::vector<std::wstring> names = NamesBelowRoot(path);
    for (const std::wstring& name : names) {
        if (!IsPlainName(name)) return TargetVerdict::BadName;
    }
    if (names.size() <= (unc ? 2u : 0u)) return TargetVerdict::Root;

    if (!folders.windows.empty() && IsInsideDirectory(path, folders.windows)) return TargetVerdict::WindowsFolder;
    for (const std::wstring& folder : folders.others) {
        if (IsInsideDirectory(folder, path)) return TargetVerdict::SystemFolder;
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
