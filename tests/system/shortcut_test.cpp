// Shortcuts written into the real all-users folders of the Wine prefix and read back through the
// shell link object. The folders are shared by every test in the prefix, hence the resource lock
// in CMakeLists.txt and the clean-up on both ends.
#include "system/shortcut.h"

#include "link_reader.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const wchar_t* const LINK_NAME = L"ZENKA.lnk";
const wchar_t* const DESCRIPTION = L"ZENKA Game Launcher & Library Manager";
// {B0E2A3D4-1111-4E5F-9A0B-0123456789AB}: no such known folder.
const KNOWNFOLDERID BOGUS_FOLDER = {0xb0e2a3d4, 0x1111, 0x4e5f, {0x9a, 0x0b, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab}};

class Shortcuts : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        RemoveLinks();
    }
    void TearDown() override {
        RemoveLinks();
        CoUninitialize();
    }
    static void RemoveLinks() {
        DeleteFileW(LinkPathIn(FOLDERID_PublicDesktop).c_str());
        DeleteFileW(LinkPathIn(FOLDERID_CommonPrograms).c_str());
    }
};

TEST_F(Shortcuts, BothAllUserFoldersGetACompleteLinkToAnyTargetDirectory) {
    const std::wstring targetDir = L"C:\\Games\\ZENKA Lab";
    const std::wstring launcher = targetDir + L"\\ZENKA.exe";
    EXPECT_TRUE(CreateShortcut(FOLDERID_PublicDesktop, launcher, targetDir, LINK_NAME, DESCRIPTION));
    EXPECT_TRUE(CreateShortcut(FOLDERID_CommonPrograms, launcher, targetDir, LINK_NAME, DESCRIPTION));

    // Directly in the folder, one backslash between folder and name.
    const std::wstring desktop = KnownFolderPath(FOLDERID_PublicDesktop);
    const std::wstring programs = KnownFolderPath(FOLDERID_CommonPrograms);
    ASSERT_FALSE(desktop.empty());
    ASSERT_FALSE(programs.empty());
    EXPECT_NE(desktop.back(), L'\\');
    ExpectLinkTo(desktop + L"\\ZENKA.lnk", targetDir);
    ExpectLinkTo(programs + L"\\ZENKA.lnk", targetDir);
}

TEST_F(Shortcuts, ExistingLinkIsReplaced) {
    const std::wstring linkPath = LinkPathIn(FOLDERID_PublicDesktop);
    ASSERT_TRUE(CreateShortcut(FOLDERID_PublicDesktop, L"C:\\Old\\ZENKA.exe", L"C:\\Old", LINK_NAME, L"old"));
    EXPECT_TRUE(CreateShortcut(FOLDERID_PublicDesktop, L"C:\\Program Files\\ZENKA\\ZENKA.exe",
                               L"C:\\Program Files\\ZENKA", LINK_NAME, DESCRIPTION));
    ExpectLinkTo(linkPath, L"C:\\Program Files\\ZENKA");

    // A file that is not a link at all is overwritten just the same.
    HANDLE junk = CreateFileW(linkPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(junk, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(junk, "not a link", 10, &written, nullptr);
    CloseHandle(junk);
    EXPECT_TRUE(CreateShortcut(FOLDERID_PublicDesktop, L"C:\\Program Files\\ZENKA\\ZENKA.exe",
                               L"C:\\Program Files\\ZENKA", LINK_NAME, DESCRIPTION));
    ExpectLinkTo(linkPath, L"C:\\Program Files\\ZENKA");
}

TEST_F(Shortcuts, AFailedFirstFolderDoesNotPreventTheSecond) {
    const std::wstring targetDir = L"C:\\Program Files\\ZENKA";
    EXPECT_FALSE(CreateShortcut(BOGUS_FOLDER, targetDir + L"\\ZENKA.exe", targetDir, LINK_NAME, DESCRIPTION));
    EXPECT_TRUE(CreateShortcut(FOLDERID_CommonPrograms, targetDir + L"\\ZENKA.exe", targetDir, LINK_NAME,
                               DESCRIPTION));
    EXPECT_FALSE(PathExists(LinkPathIn(FOLDERID_PublicDesktop)));
    ExpectLinkTo(LinkPathIn(FOLDERID_CommonPrograms), targetDir);
}

TEST_F(Shortcuts, AFailedSaveIsReportedAndLeavesNothing) {
    // The folder resolves, but the link would go into a subfolder that does not exist.
    const std::wstring name = L"zenka-missing-subfolder\\ZENKA.lnk";
    EXPECT_FALSE(CreateShortcut(FOLDERID_PublicDesktop, L"C:\\Program Files\\ZENKA\\ZENKA.exe",
                                L"C:\\Program Files\\ZENKA", name, DESCRIPTION));
    EXPECT_FALSE(PathExists(KnownFolderPath(FOLDERID_PublicDesktop) + L"\\" + name));
}

// What the shell hears while it is alive: the (event, path) pairs sent to a listener registered
// for a folder and everything below it, as an Explorer window registers for the folder it shows.
// Wine sends them only within the process that notifies, at once, so the listener lives here.
class ShellListener {
public:
    static constexpr UINT MESSAGE = WM_APP + 1;

    explicit ShellListener(const std::wstring& folder) : folder_(ILCreateFromPathW(folder.c_str())) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Receive;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ZenkaTestShellListener";
        RegisterClassW(&windowClass); // fails harmlessly when a previous listener registered it
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
        if (folder_ == nullptr || window_ == nullptr) return;
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SHChangeNotifyEntry entry = {folder_, TRUE};
        id_ = SHChangeNotifyRegister(window_, SHCNRF_ShellLevel | SHCNRF_InterruptLevel | SHCNRF_NewDelivery,
                                     SHCNE_ALLEVENTS, MESSAGE, 1, &entry);
    }
    ~ShellListener() {
        if (id_ != 0) SHChangeNotifyDeregister(id_);
        if (window_ != nullptr) DestroyWindow(window_);
        ILFree(folder_);
    }
    ShellListener(const ShellListener&) = delete;
    ShellListener& operator=(const ShellListener&) = delete;

    bool Registered() const { return id_ != 0; }

    bool Heard(LONG event, const std::wstring& path) {
        MSG message; // a shell that posts instead of sending is heard too
        while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        for (const auto& item : heard_) {
            if (item.first == event && _wcsicmp(item.second.c_str(), path.c_str()) == 0) return true;
        }
        return false;
    }
    size_t Count() const { return heard_.size(); }

private:
    static LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ShellListener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != MESSAGE || self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
        PIDLIST_ABSOLUTE* items = nullptr;
        LONG event = 0;
        HANDLE lock = SHChangeNotification_Lock(reinterpret_cast<HANDLE>(wParam), static_cast<DWORD>(lParam),
                                                &items, &event);
        if (lock == nullptr) return 0;
        wchar_t path[MAX_PATH] = L"";
        if (items != nullptr && items[0] != nullptr) SHGetPathFromIDListW(items[0], path);
        self->heard_.emplace_back(event, path);
        SHChangeNotification_Unlock(lock);
        return 0;
    }

    PIDLIST_ABSOLUTE folder_;
    HWND window_ = nullptr;
    ULONG id_ = 0;
    std::vector<std::pair<LONG, std::wstring>> heard_;
};

TEST_F(Shortcuts, TheShellHearsOfTheNewLinkAndItsFolder) {
    const std::wstring folder = KnownFolderPath(FOLDERID_PublicDesktop);
    ShellListener listener(folder);
    ASSERT_TRUE(listener.Registered());
    ASSERT_TRUE(CreateShortcut(FOLDERID_PublicDesktop, L"C:\\Program Files\\ZENKA\\ZENKA.exe",
                               L"C:\\Program Files\\ZENKA", LINK_NAME, DESCRIPTION));
    EXPECT_TRUE(listener.Heard(SHCNE_CREATE, LinkPathIn(FOLDERID_PublicDesktop))) << listener.Count() << " heard";
    EXPECT_TRUE(listener.Heard(SHCNE_UPDATEDIR, folder)) << listener.Count() << " heard";
}

} // namespace
