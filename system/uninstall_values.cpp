#include "system/uninstall_values.h"

#include "base/number_text.h"

#include <utility>

const wchar_t* const PUBLISHER_SITE_URL = ZENKA_SITE_URL;
const wchar_t* const DEFAULT_VERSION = PRODUCT_VERSION;

namespace {

RegistryValue Text(const wchar_t* name, std::wstring text) {
    RegistryValue value;
    value.name = name;
    value.type = REG_SZ;
    value.text = std::move(text);
    return value;
}

RegistryValue Number(const wchar_t* name, DWORD number) {
    RegistryValue value;
    value.name = name;
    value.type = REG_DWORD;
    value.number = number;
    return value;
}

} // namespace

std::wstring FormatInstallDate(const SYSTEMTIME& date) {
    std::wstring text;
    for (const auto& [number, width] : {std::pair<WORD, size_t>{date.wYear, 4}, {date.wMonth, 2}, {date.wDay, 2}}) {
        const std::wstring digits = DecimalText(number);
        if (digits.size() < width) text.append(width - digits.size(), L'0');
        text += digits;
    }
    return text;
}

DWORD EstimatedSizeKiB(uint64_t totalBytes) {
    if (totalBytes == 0) return 0;
    if (totalBytes < 1024) return 1;
    const uint64_t kib = totalBytes / 1024;
    // Beyond 4 TiB of KiB a wrapped value would show a small, wrong size; the ceiling is closer.
    return kib > 0xFFFFFFFFull ? 0xFFFFFFFFul : static_cast<DWORD>(kib);
}

std::vector<RegistryValue> UninstallValues(const std::wstring& targetDir, const std::wstring& version,
                                           const SYSTEMTIME& today, uint64_t treeBytes) {
    // The updater is quoted because the default directory has a space in it.
    const std::wstring updaterCommand = L"\"" + targetDir + L"\\" + UPDATER_FILE_NAME + L"\"";
    return {
        Text(L"DisplayName", L"ZENKA"),
        Text(L"DisplayVersion", version.empty() ? DEFAULT_VERSION : version),
        Text(L"Publisher", L"ZENKA Team"),
        Text(L"DisplayIcon", targetDir + L"\\" + LAUNCHER_FILE_NAME + L",0"),
        Text(L"InstallLocation", targetDir),
        Text(L"UninstallString", updaterCommand + L" --uninstall"),
        Text(L"QuietUninstallString", updaterCommand + L" --uninstall --quiet"),
        Text(L"InstallDate", FormatInstallDate(today)),
        Number(L"EstimatedSize", EstimatedSizeKiB(treeBytes)),
        Number(L"NoModify", 1),
        Number(L"NoRepair", 1),
        Text(L"URLInfoAbout", PUBLISHER_SITE_URL),
        Text(L"HelpLink", PUBLISHER_SITE_URL),
    };
}
