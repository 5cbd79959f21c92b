#include "install/paths.h"
#include "install/target_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(AppendPathName, InsertsOneBackslashOnlyWhereNeeded) {
    EXPECT_EQ(AppendPathName(L"C:\\Program Files\\ZENKA", L"payload.zip"), L"C:\\Program Files\\ZENKA\\payload.zip");
    EXPECT_EQ(AppendPathName(L"C:\\Games\\", L"payload.zip"), L"C:\\Games\\payload.zip");
    EXPECT_EQ(AppendPathName(L"C:/Games/", L"payload.zip"), L"C:/Games/payload.zip");
    EXPECT_EQ(AppendPathName(L"D:", L"payload.zip"), L"D:payload.zip");
    EXPECT_EQ(AppendPathName(L"", L"payload.zip"), L"payload.zip");
    EXPECT_EQ(AppendPathName(L"C:\\X", L"sub/dir/file.txt"), L"C:\\X\\sub/dir/file.txt");
}

TEST(LauncherPath, IsPlainConcatenation) {
    EXPECT_EQ(LauncherPath(L"C:\\Program Files\\ZENKA"), L"C:\\Program Files\\ZENKA\\ZENKA.exe");
    EXPECT_EQ(LauncherPath(L"C:\\Games\\"), L"C:\\Games\\\\ZENKA.exe");
}

TEST(CanonicalTargetDir, DropsTheLongPathPrefixOnly) {
    const struct {
        const wchar_t* given;
        const wchar_t* canonical;
    } cases[] = {
        {L"\\\\?\\C:\\Games\\ZENKA", L"C:\\Games\\ZENKA"},
        {L"\\\\?\\UNC\\server\\share\\ZENKA", L"\\\\server\\share\\ZENKA"},
        {L"C:/Games/ZENKA\\", L"C:/Games/ZENKA\\"}, // registered as given otherwise
        {L"\\\\server\\share\\ZENKA", L"\\\\server\\share\\ZENKA"},
    };
    for (const auto& row : cases) EXPECT_EQ(CanonicalTargetDir(row.given), row.canonical);
}

TEST(LongPathForm, AddsThePrefixOnlyWhereAPipelineFileWouldReachMaxPath) {
    // "\payload.zip.downloading.validator" is 34 characters.
    const std::wstring fits = L"C:\\" + std::wstring(MAX_PATH - 34 - 4, L'x');
    EXPECT_EQ(LongPathForm(fits), fits);
    EXPECT_EQ(LongPathForm(fits + L"y/z\\"), L"\\\\?\\" + fits + L"y\\z");
    const std::wstring share = L"\\\\s\\share\\" + std::wstring(MAX_PATH, L'x');
    EXPECT_EQ(LongPathForm(share), L"\\\\?\\UNC\\" + share.substr(2));
}

TEST(IsContainedEntryName, AcceptsOrdinaryNames) {
    for (const wchar_t* name : {L"ZENKA.exe", L"data/config.json", L"data\\config.json", L"a/b/c/",
                                L"a/../b.txt", L"a/b/../../c.txt", L"./x.txt", L"a//b.txt",
                                L"Документы/файл.txt", L"..hidden", L"a..b", L"x.", L"console.log"}) {
        EXPECT_TRUE(IsContainedEntryName(name)) << name;
    }
}

TEST(IsContainedEntryName, RefusesEveryWayOut) {
    for (const wchar_t* name :
         {L"", L"/etc/passwd", L"\\Windows\\evil.dll", L"C:\\evil.dll", L"C:evil.dll", L"c:/evil.dll",
          L"\\\\server\\share\\evil.dll", L"//server/share/evil.dll", L"\\\\?\\C:\\evil.dll",
          L"\\\\.\\PhysicalDrive0", L"..", L"../evil.dll", L"..\\evil.dll", L"a/../../evil.dll",
          L"a\\..\\..\\evil.dll", L"a/..\\../evil.dll", L"a/b/../../../evil.dll", L"a/b/c/../../../../x",
          L"... /evil.dll", L".. /evil.dll", L"a/.../x", L"file.txt:stream", L"NUL", L"nul.txt",
          L"a/CON", L"com1.txt", L"LPT9", L"CONOUT$", L"COM\u00B9", L"com\u00B2.txt", L"a/LPT\u00B3",
          L"lpt\u00B9 .log"}) {
        EXPECT_FALSE(IsContainedEntryName(name)) << name;
    }
}

} // namespace

TEST(TargetFolder, AcceptsEveryUsableSpellingUpToTheLengthLimit) {
    SystemFolders folders;
    folders.windows = L"C:\\Windows";
    folders.others = {L"C:\\Program Files", L"C:\\Users\\ann", L"C:\\Users\\ann\\AppData\\Local\\Temp\\"};
    for (const std::wstring target : {L"C:\\Program Files\\ZENKA", L"C:/Games/ZENKA", L"C:\\Games\\ZENKA\\",
                                      L"d:\\Игры\\ZENKA", L"\\\\?\\C:\\Games\\ZENKA", L"\\\\server\\share\\ZENKA",
                                      L"\\\\?\\UNC\\server\\share\\ZENKA", L"C:\\Users\\ann\\AppData\\Local\\Temp\\Z",
                                      L"C:\\Windows.old\\ZENKA", L"C:\\Users\\anna"}) {
        EXPECT_EQ(CheckTargetFolder(target, folders), TargetVerdict::Usable) << std::string(target.begin(), target.end());
    }
    // FOLDER\zenka-updater.exe must stay below MAX_PATH (260 with its terminating null).
    const std::wstring longest = L"C:\\" + std::wstring(238, L'x');
    ASSERT_EQ(longest.size() + 18, 259u);
    EXPECT_EQ(CheckTargetFolder(longest, folders), TargetVerdict::Usable);
    EXPECT_EQ(CheckTargetFolder(longest + L"x", folders), TargetVerdict::TooLong);
    EXPECT_EQ(CheckTargetFolder(L"C:\\Users\\ANN", folders), TargetVerdict::SystemFolder);
}
