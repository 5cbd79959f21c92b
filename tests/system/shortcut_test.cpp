// Shortcuts written into the real all-users folders of the Wine prefix and read back through the
// shell link object. The folders are shared by every test in the prefix, hence the resource lock
// in CMakeLists.txt and the clean-up on both ends.
#include "system/shortcut.h"

#include "link_reader.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

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
    const std::wstring desktop = FolderPath(FOLDERID_PublicDesktop);
    const std::wstring programs = FolderPath(FOLDERID_CommonPrograms);
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
    EXPECT_FALSE(FileExists(LinkPathIn(FOLDERID_PublicDesktop)));
    ExpectLinkTo(LinkPathIn(FOLDERID_CommonPrograms), targetDir);
}

TEST_F(Shortcuts, AFailedSaveIsReportedAndLeavesNothing) {
    // The folder resolves, but the link would go into a subfolder that does not exist.
    const std::wstring name = L"zenka-missing-subfolder\\ZENKA.lnk";
    EXPECT_FALSE(CreateShortcut(FOLDERID_PublicDesktop, L"C:\\Program Files\\ZENKA\\ZENKA.exe",
                                L"C:\\Program Files\\ZENKA", name, DESCRIPTION));
    EXPECT_FALSE(FileExists(FolderPath(FOLDERID_PublicDesktop) + L"\\" + name));
}

} // namespace
