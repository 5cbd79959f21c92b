// The uninstall entry written to the prefix's HKLM and read back value by value. The key is shared
// with other tests and the end-to-end installation, hence the resource lock and the clean-up.
#include "base/owners.h"
#include "support/files.h"
#include "system/uninstall_entry.h"
#include "system/uninstall_values.h"

#include "registry_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return FormatInstallDate(now);
}

class UninstallEntry : public testing::Test {
protected:
    void SetUp() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH); }
    void TearDown() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH); }
};

TEST_F(UninstallEntry, EveryValueIsStoredWithItsTypeAndData) {
    ScratchDir target(L"uninstall-all");
    target.AddFile(L"ZENKA.exe", 2000);
    target.AddFile(L"bin\\core.dll", 1100); // 3100 bytes: 3 KiB
    target.AddFile(L"payload.zip", 9000);   // deleted right after: not counted
    const std::wstring dir = target.Path();

    const std::wstring dayBefore = Today();
    ASSERT_TRUE(RegisterUninstallEntry(dir, L"2.1.0", L"PAYLOAD.zip"));
    const std::wstring dayAfter = Today();

    ExpectText(L"DisplayName", L"ZENKA");
    ExpectText(L"DisplayVersion", L"2.1.0");
    ExpectText(L"Publisher", L"ZENKA Team");
    ExpectText(L"DisplayIcon", dir + L"\\ZENKA.exe,0");
    ExpectText(L"InstallLocation", dir);
    ExpectText(L"UninstallString", L"\"" + dir + L"\\zenka-updater.exe\" --uninstall");
    ExpectText(L"QuietUninstallString", L"\"" + dir + L"\\zenka-updater.exe\" --uninstall --quiet");
    const StoredValue date = Read(L"InstallDate");
    EXPECT_TRUE(date.text == dayBefore + L'\0' || date.text == dayAfter + L'\0');
    ExpectText(L"InstallDate", date.text.substr(0, 8));
    ExpectNumber(L"EstimatedSize", 3);
    ExpectNumber(L"NoModify", 1);
    ExpectNumber(L"NoRepair", 1);
    ExpectText(L"URLInfoAbout", L"https://zenka.app");
    ExpectText(L"HelpLink", L"https://zenka.app");
}

TEST_F(UninstallEntry, ASecondRunOverwritesOurValuesAndKeepsForeignOnes) {
    ScratchDir first(L"uninstall-first");
    first.AddFile(L"ZENKA.exe", 5000);
    ASSERT_TRUE(RegisterUninstallEntry(first.Path(), L"2.0.9"));
    {
        RegistryKey key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, KEY_WRITE, key.Put()), ERROR_SUCCESS);
        const wchar_t comment[] = L"kept";
        RegSetValueExW(key.Get(), L"Comments", 0, REG_SZ, reinterpret_cast<const BYTE*>(comment), sizeof comment);
        const wchar_t stale[] = L"stale";
        RegSetValueExW(key.Get(), L"Publisher", 0, REG_SZ, reinterpret_cast<const BYTE*>(stale), sizeof stale);
    }

    // The second installation goes elsewhere, with a trailing backslash and no version text.
    ScratchDir second(L"uninstall-second");
    second.AddFile(L"ZENKA.exe", 1);
    const std::wstring dir = second.Path() + L"\\";
    ASSERT_TRUE(RegisterUninstallEntry(dir, L""));

    ExpectText(L"DisplayVersion", L"2.1.0");
    ExpectText(L"Publisher", L"ZENKA Team");
    ExpectText(L"InstallLocation", dir);
    ExpectText(L"DisplayIcon", second.Path() + L"\\\\ZENKA.exe,0");
    ExpectText(L"UninstallString", L"\"" + second.Path() + L"\\\\zenka-updater.exe\" --uninstall");
    ExpectText(L"QuietUninstallString", L"\"" + second.Path() + L"\\\\zenka-updater.exe\" --uninstall --quiet");
    ExpectNumber(L"EstimatedSize", 1);
    ExpectText(L"Comments", L"kept");
}

TEST_F(UninstallEntry, AMissingTargetIsRegisteredWithSizeZero) {
    ASSERT_TRUE(RegisterUninstallEntry(L"C:\\zenka-uninstall-missing-target", L"2.1.0"));
    ExpectNumber(L"EstimatedSize", 0);
    ExpectText(L"InstallLocation", L"C:\\zenka-uninstall-missing-target");
}

} // namespace
