// A whole installation from a local package, as the setup's worker runs it: afterwards both links
// and the uninstall entry describe the installed launcher.
#include "app/state.h"
#include "install/worker.h"
#include "support/files.h"
#include "support/message_window.h"
#include "support/zip_builder.h"

#include "link_reader.h"
#include "registry_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Installation : public testing::Test {
protected:
    void SetUp() override { RemoveResults(); }
    void TearDown() override { RemoveResults(); }
    static void RemoveResults() {
        DeleteFileW(LinkPathIn(FOLDERID_PublicDesktop).c_str());
        DeleteFileW(LinkPathIn(FOLDERID_CommonPrograms).c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);
    }
};

TEST_F(Installation, LeavesBothLinksAndTheUninstallEntry) {
    ScratchDir target(L"installation");
    const std::wstring package = target.Path() + L"\\payload.zip";
    WriteFileBytes(package, BuildZip({{"ZENKA.exe", std::string(3000, 'L')},
                                      {"zenka-updater.exe", std::string(1500, 'U')},
                                      {"data/pack.bin", std::string(700, 'D')}}));

    MessageWindow window;
    WorkerValues values;
    values.targetDir = target.Path();
    values.skipDownload = true;
    RunInstallWorker(window.handle(), values);
    ASSERT_EQ(window.WaitFor({WM_INSTALL_FINISHED}, std::chrono::milliseconds(5000)), WM_INSTALL_FINISHED);
    ASSERT_TRUE(TakeErrorText().empty());

    // The worker has left its apartment; reading the links needs one of our own.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ExpectLinkTo(LinkPathIn(FOLDERID_PublicDesktop), target.Path());
    ExpectLinkTo(LinkPathIn(FOLDERID_CommonPrograms), target.Path());
    CoUninitialize();

    const std::wstring& dir = target.Path();
    ExpectText(L"DisplayName", L"ZENKA");
    ExpectText(L"DisplayVersion", L"2.1.0");
    ExpectText(L"InstallLocation", dir);
    ExpectText(L"DisplayIcon", dir + L"\\ZENKA.exe,0");
    ExpectText(L"UninstallString", L"\"" + dir + L"\\zenka-updater.exe\" --uninstall");
    ExpectText(L"QuietUninstallString", L"\"" + dir + L"\\zenka-updater.exe\" --uninstall --quiet");
    ExpectNumber(L"EstimatedSize", 5); // 5200 bytes once the package itself is gone
}

} // namespace
