#include <gtest/gtest.h>

#include "sample/install_location.h"

namespace {

const std::vector<std::wstring> PROTECTED = {
    L"C:\\Windows", L"C:\\Program Files", L"C:\\Users\\Public\\Desktop", L"C:\\Users\\ann",
    L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
};

LocationVerdict Check(const std::wstring& directory, bool containsUpdater = true) {
    return CheckRemovalDirectory(directory, PROTECTED, containsUpdater);
}

}  // namespace

TEST(InstallLocation, OrdinaryInstallationsMayBeRemoved) {
    EXPECT_EQ(Check(L"C:\\Program Files\\ZENKA"), LocationVerdict::Safe);
    EXPECT_EQ(Check(L"c:/program files/zenka/"), LocationVerdict::Safe);
    EXPECT_EQ(Check(L"D:\\Игры\\ZENKA"), LocationVerdict::Safe);
    EXPECT_EQ(Check(L"\\\\?\\C:\\Games\\ZENKA"), LocationVerdict::Safe);
    EXPECT_EQ(Check(L"\\\\server\\share\\ZENKA"), LocationVerdict::Safe);
    EXPECT_EQ(Check(L"C:\\Users\\ann\\AppData\\Local\\ZENKA"), LocationVerdict::Safe);
}

TEST(InstallLocation, RootsAndSharedFoldersAreRefused) {
    EXPECT_EQ(Check(L"C:\\"), LocationVerdict::Root);
    EXPECT_EQ(Check(L"C:/"), LocationVerdict::Root);
    EXPECT_EQ(Check(L"\\\\?\\D:\\"), LocationVerdict::Root);
    EXPECT_EQ(Check(L"\\\\server\\share"), LocationVerdict::Root);
    EXPECT_EQ(Check(L"\\\\?\\UNC\\server\\share\\"), LocationVerdict::Root);
    // The protected folders themselves, in any spelling, and every folder above them.
    EXPECT_EQ(Check(L"C:\\Program Files"), LocationVerdict::ProtectedFolder);
    EXPECT_EQ(Check(L"c:\\program files\\"), LocationVerdict::ProtectedFolder);
    EXPECT_EQ(Check(L"C:\\WINDOWS"), LocationVerdict::ProtectedFolder);
    EXPECT_EQ(Check(L"C:\\Users"), LocationVerdict::ProtectedFolder);
    EXPECT_EQ(Check(L"C:\\Users\\Public"), LocationVerdict::ProtectedFolder);
    EXPECT_EQ(Check(L"C:\\ProgramData\\Microsoft"), LocationVerdict::ProtectedFolder);
}

TEST(InstallLocation, MalformedOrRelativePathsAreRefused) {
    EXPECT_EQ(Check(L""), LocationVerdict::NotAbsolute);
    EXPECT_EQ(Check(L"ZENKA"), LocationVerdict::NotAbsolute);
    EXPECT_EQ(Check(L"C:ZENKA"), LocationVerdict::NotAbsolute);
    EXPECT_EQ(Check(L"\\ZENKA"), LocationVerdict::NotAbsolute);
    EXPECT_EQ(Check(L"\\\\.\\C:\\ZENKA"), LocationVerdict::NotAbsolute);
    // ".." could climb out of the checked path into a protected one.
    EXPECT_EQ(Check(L"C:\\Games\\..\\Windows"), LocationVerdict::Malformed);
    EXPECT_EQ(Check(L"C:\\Games\\.\\ZENKA"), LocationVerdict::Malformed);
    EXPECT_EQ(Check(L"C:\\Games\\\\ZENKA"), LocationVerdict::Malformed);
    EXPECT_EQ(Check(L"C:\\Games\\ZEN*"), LocationVerdict::Malformed);
    EXPECT_EQ(Check(L"C:\\Games\\a:b"), LocationVerdict::Malformed);
}

TEST(InstallLocation, NeedsTheUpdaterAfterEveryPathTest) {
    EXPECT_EQ(Check(L"C:\\Games\\ZENKA", false), LocationVerdict::NoUpdater);
    EXPECT_EQ(Check(L"C:\\", false), LocationVerdict::Root);
}

TEST(InstallLocation, ContainmentComparesWholeNames) {
    EXPECT_TRUE(IsInsideDirectory(L"C:\\Games\\ZENKA\\ZENKA.exe", L"C:\\Games\\ZENKA"));
    EXPECT_TRUE(IsInsideDirectory(L"c:\\games\\zenka", L"C:\\Games\\ZENKA\\"));
    EXPECT_TRUE(IsInsideDirectory(L"C:\\Игры\\ZENKA\\a", L"C:\\ИГРЫ\\zenka"));
    EXPECT_FALSE(IsInsideDirectory(L"C:\\Games\\ZENKA2\\ZENKA.exe", L"C:\\Games\\ZENKA"));
    EXPECT_FALSE(IsInsideDirectory(L"C:\\Games", L"C:\\Games\\ZENKA"));
    EXPECT_FALSE(IsInsideDirectory(L"D:\\Games\\ZENKA\\x", L"C:\\Games\\ZENKA"));
    EXPECT_TRUE(IsInsideDirectory(L"C:\\x", L"C:\\"));
    EXPECT_FALSE(IsInsideDirectory(L"C:\\x", L""));
}

TEST(InstallLocation, ParentDirectoryOfProgramPaths) {
    EXPECT_EQ(ParentDirectory(L"C:\\Games\\ZENKA\\zenka-updater.exe"), L"C:\\Games\\ZENKA");
    EXPECT_EQ(ParentDirectory(L"C:\\zenka-updater.exe"), L"C:\\");
    EXPECT_EQ(ParentDirectory(L"zenka-updater.exe"), L"");
    EXPECT_EQ(NormalizeDirectoryPath(L"C:\\Games\\\\"), L"C:\\Games");
}
