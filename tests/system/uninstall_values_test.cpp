// The uninstall entry's contents, decided without the registry.
#include "system/uninstall_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SYSTEMTIME Date(WORD year, WORD month, WORD day) {
    SYSTEMTIME date{};
    date.wYear = year;
    date.wMonth = month;
    date.wDay = day;
    date.wHour = 23;
    date.wMinute = 59;
    return date;
}

const RegistryValue* Find(const std::vector<RegistryValue>& values, const wchar_t* name) {
    for (const RegistryValue& value : values) {
        if (value.name == name) return &value;
    }
    return nullptr;
}

TEST(InstallDate, AlwaysEightDigitsWithMonthAndDayPadded) {
    EXPECT_EQ(FormatInstallDate(Date(2026, 1, 5)), L"20260105");
    EXPECT_EQ(FormatInstallDate(Date(2026, 12, 31)), L"20261231");
    EXPECT_EQ(FormatInstallDate(Date(2030, 10, 1)), L"20301001");
}

TEST(EstimatedSize, KibibytesRoundedDownButNeverZeroForANonEmptyTree) {
    EXPECT_EQ(EstimatedSizeKiB(0), 0u);
    EXPECT_EQ(EstimatedSizeKiB(1), 1u);
    EXPECT_EQ(EstimatedSizeKiB(1023), 1u);
    EXPECT_EQ(EstimatedSizeKiB(1024), 1u);
    EXPECT_EQ(EstimatedSizeKiB(2047), 1u);
    EXPECT_EQ(EstimatedSizeKiB(2048), 2u);
    EXPECT_EQ(EstimatedSizeKiB(300ull * 1024 * 1024 + 5), 300u * 1024);
    // Past what a DWORD can count, the largest value rather than a wrapped small one.
    EXPECT_EQ(EstimatedSizeKiB(0x100000000ull * 1024), 0xFFFFFFFFu);
    EXPECT_EQ(EstimatedSizeKiB(UINT64_MAX), 0xFFFFFFFFu);
}

TEST(UninstallValues, ThirteenValuesInOrderForTheDefaultDirectory) {
    const std::vector<RegistryValue> values =
        UninstallValues(L"C:\\Program Files\\ZENKA", L"2.1.0", Date(2026, 3, 9), 5 * 1024 * 1024 + 100);
    struct Expected {
        const wchar_t* name;
        DWORD type;
        const wchar_t* text;
        DWORD number;
    };
    const Expected expected[] = {
        {L"DisplayName", REG_SZ, L"ZENKA", 0},
        {L"DisplayVersion", REG_SZ, L"2.1.0", 0},
        {L"Publisher", REG_SZ, L"ZENKA Team", 0},
        {L"DisplayIcon", REG_SZ, L"C:\\Program Files\\ZENKA\\ZENKA.exe,0", 0},
        {L"InstallLocation", REG_SZ, L"C:\\Program Files\\ZENKA", 0},
        {L"UninstallString", REG_SZ, L"\"C:\\Program Files\\ZENKA\\zenka-updater.exe\" --uninstall", 0},
        {L"QuietUninstallString", REG_SZ,
         L"\"C:\\Program Files\\ZENKA\\zenka-updater.exe\" --uninstall --quiet", 0},
        {L"InstallDate", REG_SZ, L"20260309", 0},
        {L"EstimatedSize", REG_DWORD, L"", 5 * 1024},
        {L"NoModify", REG_DWORD, L"", 1},
        {L"NoRepair", REG_DWORD, L"", 1},
        {L"URLInfoAbout", REG_SZ, L"https://zenka.app", 0},
        {L"HelpLink", REG_SZ, L"https://zenka.app", 0},
    };
    ASSERT_EQ(values.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(values[i].name, expected[i].name);
        EXPECT_EQ(values[i].type, expected[i].type);
        if (expected[i].type == REG_SZ) {
            EXPECT_EQ(values[i].text, expected[i].text);
        } else {
            EXPECT_EQ(values[i].number, expected[i].number);
        }
    }
}

TEST(UninstallValues, TargetDirectoryAndVersionAreTakenAsGiven) {
    // A trailing backslash stays, so the file names follow a doubled one.
    const std::vector<RegistryValue> values = UninstallValues(L"D:\\Games\\ZENKA\\", L"", Date(2026, 1, 5), 0);
    EXPECT_EQ(Find(values, L"InstallLocation")->text, L"D:\\Games\\ZENKA\\");
    EXPECT_EQ(Find(values, L"DisplayIcon")->text, L"D:\\Games\\ZENKA\\\\ZENKA.exe,0");
    EXPECT_EQ(Find(values, L"UninstallString")->text, L"\"D:\\Games\\ZENKA\\\\zenka-updater.exe\" --uninstall");
    EXPECT_EQ(Find(values, L"QuietUninstallString")->text,
              L"\"D:\\Games\\ZENKA\\\\zenka-updater.exe\" --uninstall --quiet");
    EXPECT_EQ(Find(values, L"DisplayVersion")->text, L"2.1.0"); // empty version
    EXPECT_EQ(Find(values, L"EstimatedSize")->number, 0u);

    EXPECT_EQ(Find(UninstallValues(L"C:\\Z", L"2.2.0-beta", Date(2026, 1, 5), 1), L"DisplayVersion")->text,
              L"2.2.0-beta");
}

} // namespace
