// The removal steps against real files, links and registry keys under Wine, in private temporary
// folders and an HKEY_CURRENT_USER key of their own.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>
#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/file_retry.h"
#include "base/owners.h"
#include "base/file_list.h"
#include "base/listed_removal.h"
#include "sample/removal.h"
#include "sample/self_removal.h"
#include "sample/system_folders.h"
#include "support/files.h"
#include "support/shell.h"

namespace {

// A fresh folder per call: some tests make several.
std::wstring MakeTempDirectory(const wchar_t* tag) {
    static int counter = 0;
    return FreshTempDir(std::wstring(L"sample-") + tag + L"-" + std::to_wstring(++counter));
}

// Also true for a link whose target cannot be reached (Wine's GetFileAttributesW fails on those).
bool ListedInItsFolder(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(find);
    return true;
}

// A fake installation: nested folders, a read-only file and a Cyrillic name.
void FillInstallation(const std::wstring& root) {
    CreateDirectoryW((root + L"\\data").c_str(), nullptr);
    CreateDirectoryW((root + L"\\data\\cache").c_str(), nullptr);
    CreateDirectoryW((root + L"\\empty").c_str(), nullptr);
    WriteFileBytes(root + L"\\ZENKA.exe", "data");
    WriteFileBytes(root + L"\\zenka-updater.exe", "data");
    WriteFileBytes(root + L"\\data\\config.ini", "data");
    WriteFileBytes(root + L"\\data\\cache\\Лицензия.txt", "data");
    WriteFileBytes(root + L"\\data\\locked.dat", "data");
    SetFileAttributesW((root + L"\\data\\locked.dat").c_str(), FILE_ATTRIBUTE_READONLY);
}

const wchar_t* const TEST_KEY = L"Software\\ZENKA-sample-tests\\Uninstall\\ZENKA";

void WriteKey(const wchar_t* location) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, TEST_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    if (location != nullptr) {
        RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(location),
                       static_cast<DWORD>((wcslen(location) + 1) * sizeof(wchar_t)));
    }
    HKEY child = nullptr;
    RegCreateKeyExW(key, L"Extra", 0, nullptr, 0, KEY_WRITE, nullptr, &child, nullptr);
    RegCloseKey(child);
    RegCloseKey(key);
}

bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TEST_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

const wchar_t* const SESSION_MANAGER = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The paths marked for deletion at the next restart, as one string of NUL-separated names.
std::wstring PendingRenames() {
    std::wstring value(65536, L'\0');
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ,
                     nullptr, &value[0], &bytes) != ERROR_SUCCESS) {
        return std::wstring();
    }
    value.resize(bytes / sizeof(wchar_t));
    return value;
}

// Puts the pending renames back as they were, so that no later start of the prefix acts on a
// test's marks.
void RestorePendingRenames(const std::wstring& before) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_SET_VALUE, &key);
    if (before.empty()) {
        RegDeleteValueW(key, L"PendingFileRenameOperations");
    } else {
        RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(before.data()),
                       static_cast<DWORD>(before.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

// Under Wine any program of the same Unix user can swap a folder that Windows keeps in place while
// it is held. A Linux system call made directly: number, then up to five arguments.
long long LinuxCall(long long number, long long a, long long b, long long c, long long d, long long e) {
    long long result = 0;
    register long long r10 asm("r10") = d;
    register long long r8 asm("r8") = e;
    asm volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8) : "rcx", "r11", "memory");
    return result;
}

// The Unix path of `path` under Wine; empty elsewhere.
std::string UnixPath(const std::wstring& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert =
        reinterpret_cast<Convert>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = convert != nullptr ? convert(path.c_str()) : nullptr;
    const std::string result = name != nullptr ? name : "";
    if (name != nullptr) HeapFree(GetProcessHeap(), 0, name);
    return result;
}

}  // namespace

TEST(FileList, ReadsThePackagesPathsAndDropsEveryLineThatCouldLeaveTheFolder) {
    std::vector<ListedPath> listed;
    ParseFileList("\xEF\xBB\xBF# header\r\n"
                              "ZENKA.exe\r\n"
                              "data/\n"
                              "data/cache/\xD0\x9B.txt\n"
                              "data\\config.ini\n"
                              "\n"
                              "../outside.txt\n"
                              "data/../../up.txt\n"
                              "C:\\Windows\\win.ini\n"
                              "C:evil.txt\n"
                              "/etc/passwd\n"
                              "\\\\server\\share\\x\n"
                              "data//twice.txt\n"
                              "./here.txt\n"
                              "...\\x\n"
                              "trailing.\n"
                              "stream.txt:hidden\n"
                              "CON\naux.txt\ndata/NUL.txt\ncom1\n"
                              "plugins/bad\xFF\xFEname.dll\n"
                              "last-without-newline",
                              listed);
    std::vector<std::wstring> paths;
    for (const ListedPath& entry : listed) {
        paths.push_back(entry.path + (entry.isDirectory ? L"\\" : L""));
    }
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"ZENKA.exe", L"data\\", L"data\\cache\\Л.txt",
                                                L"data\\config.ini", L"last-without-newline"}));
    // Deeper than any path: dropped before its names are looked at, so reading stays linear.
    std::string deep;
    for (int line = 0; line < 4; ++line) {
        for (int name = 0; name < 20000; ++name) deep += "a/";
        deep += "x.txt\n";
    }
    ParseFileList(deep + "ZENKA.exe\n", listed);
    EXPECT_EQ(listed.size(), 1u);
}

TEST(RemoveListedFiles, RemovesThePackageAndKeepsWhatItNeverInstalled) {
    std::wstring base = MakeTempDirectory(L"listed");
    std::wstring install = base + L"\\ZENKA";
    std::wstring outside = base + L"\\outside";
    CreateDirectoryW(install.c_str(), nullptr);
    CreateDirectoryW(outside.c_str(), nullptr);
    FillInstallation(install);
    WriteFileBytes(install + L"\\" + FILE_LIST_NAME, "data");
    // What others put there: another game, a note, a mod inside one of our folders.
    CreateDirectoryW((install + L"\\Other").c_str(), nullptr);
    WriteFileBytes(install + L"\\Other\\save.dat", "data");
    WriteFileBytes(install + L"\\notes.txt", "data");
    CreateDirectoryW((install + L"\\data\\user-mods").c_str(), nullptr);
    WriteFileBytes(install + L"\\data\\user-mods\\mod.dat", "data");
    WriteFileBytes(outside + L"\\precious.txt", "data");
    WriteFileBytes(base + L"\\beside.txt", "data");
    // A folder the package lists, replaced by a link to somewhere else (where links can be made:
    // Wine 8 reports success but shows no link).
    bool linked = CreateSymbolicLinkW((install + L"\\linked").c_str(), outside.c_str(),
                                      SYMBOLIC_LINK_FLAG_DIRECTORY |
                                          SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0 &&
                  ListedInItsFolder(install + L"\\linked");

    std::vector<ListedPath> listed;
    std::string list = "ZENKA.exe\nzenka-updater.exe\ndata/\ndata/cache/\ndata/config.ini\n"
                       "data/locked.dat\ndata/cache/\xD0\x9B\xD0\xB8\xD1\x86\xD0\xB5\xD0\xBD"
                       "\xD0\xB7\xD0\xB8\xD1\x8F.txt\nempty/\nmissing.txt\nlinked/\n"
                       "linked/precious.txt\n../beside.txt\nzenka-files.txt\n";
    ParseFileList(list, listed);
    std::wstring updater = install + L"\\zenka-updater.exe";
    EXPECT_EQ(RemoveListedFiles(install, listed, updater), 0u);

    for (const wchar_t* gone : {L"ZENKA.exe", L"data\\config.ini", L"data\\locked.dat",
                                L"data\\cache", L"empty", L"zenka-files.txt"}) {
        EXPECT_FALSE(PathExists(install + L"\\" + gone)) << gone;
    }
    for (const wchar_t* kept : {L"zenka-updater.exe", L"Other\\save.dat", L"notes.txt",
                                L"data\\user-mods\\mod.dat"}) {
        EXPECT_TRUE(PathExists(install + L"\\" + kept)) << kept;
    }
    EXPECT_TRUE(PathExists(outside + L"\\precious.txt"));
    EXPECT_TRUE(PathExists(base + L"\\beside.txt"));
    EXPECT_EQ(ListedInItsFolder(install + L"\\linked"), linked);
    EXPECT_TRUE(HoldsOtherEntries(install, updater));

    // With only the updater left, nothing else is there.
    RemoveDirectoryW((install + L"\\linked").c_str());
    RemoveTree(install + L"\\Other");
    RemoveTree(install + L"\\data");
    DeleteFileW((install + L"\\notes.txt").c_str());
    EXPECT_FALSE(HoldsOtherEntries(install, updater));
    RemoveTree(base);
}

TEST(RemoveOwnedShortcut, RemovesOnlyLinksIntoTheInstallation) {
    const ComApartment com = JoinOwnThreadApartment();
    std::wstring folder = MakeTempDirectory(L"links");
    std::wstring install = L"C:\\Games\\ZENKA";
    std::wstring ours = folder + L"\\ours.lnk";
    std::wstring foreign = folder + L"\\foreign.lnk";
    std::wstring lookalike = folder + L"\\lookalike.lnk";
    std::wstring broken = folder + L"\\broken.lnk";
    ASSERT_TRUE(SaveLink(ours, install + L"\\ZENKA.exe"));
    ASSERT_TRUE(SaveLink(foreign, L"C:\\Games\\Other\\ZENKA.exe"));
    ASSERT_TRUE(SaveLink(lookalike, L"C:\\Games\\ZENKA2\\ZENKA.exe"));
    WriteFileBytes(broken, "not a shell link");

    EXPECT_EQ(RemoveOwnedShortcut(ours, install + L"\\"), RemovalOutcome::Removed);
    EXPECT_FALSE(PathExists(ours));
    EXPECT_EQ(RemoveOwnedShortcut(foreign, install), RemovalOutcome::Foreign);
    EXPECT_TRUE(PathExists(foreign));
    EXPECT_EQ(RemoveOwnedShortcut(lookalike, install), RemovalOutcome::Foreign);
    EXPECT_TRUE(PathExists(lookalike));
    EXPECT_EQ(RemoveOwnedShortcut(broken, install), RemovalOutcome::Removed);
    EXPECT_FALSE(PathExists(broken));
    EXPECT_EQ(RemoveOwnedShortcut(ours, install), RemovalOutcome::Absent);
    RemoveTree(folder);
}

TEST(RemoveOwnedUninstallKey, DeletesTheKeyOfThisInstallationOnly) {
    WriteKey(L"c:\\games\\zenka\\");
    EXPECT_EQ(RemoveOwnedUninstallKey(HKEY_CURRENT_USER, TEST_KEY, L"C:\\Games\\ZENKA"),
              RemovalOutcome::Removed);
    EXPECT_FALSE(KeyExists());
    EXPECT_EQ(RemoveOwnedUninstallKey(HKEY_CURRENT_USER, TEST_KEY, L"C:\\Games\\ZENKA"),
              RemovalOutcome::Absent);

    // A later installation elsewhere owns the key now.
    WriteKey(L"D:\\ZENKA");
    EXPECT_EQ(RemoveOwnedUninstallKey(HKEY_CURRENT_USER, TEST_KEY, L"C:\\Games\\ZENKA"),
              RemovalOutcome::Foreign);
    EXPECT_TRUE(KeyExists());
    RegDeleteTreeW(HKEY_CURRENT_USER, TEST_KEY);

    WriteKey(nullptr);
    EXPECT_EQ(RemoveOwnedUninstallKey(HKEY_CURRENT_USER, TEST_KEY, L"C:\\Games\\ZENKA"),
              RemovalOutcome::Removed);
    EXPECT_FALSE(KeyExists());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\ZENKA-sample-tests");
}

TEST(FinishRemoval, DeletesTheUpdaterAndTheFolderOnlyWhenNothingElseIsLeft) {
    std::wstring install = MakeTempDirectory(L"finish");
    WriteFileBytes(install + L"\\zenka-updater.exe", "data");
    WriteFileBytes(install + L"\\save.dat", "data");
    // No process has this id (ids are multiples of four), so there is nothing to wait for.
    EXPECT_EQ(FinishRemoval(install, 4294967294u), 0);
    EXPECT_FALSE(PathExists(install + L"\\zenka-updater.exe"));
    EXPECT_TRUE(PathExists(install + L"\\save.dat"));

    DeleteFileW((install + L"\\save.dat").c_str());
    WriteFileBytes(install + L"\\zenka-updater.exe", "data");
    EXPECT_EQ(FinishRemoval(install, 4294967294u), 0);
    EXPECT_FALSE(PathExists(install));
}

TEST(FinishRemoval, RefusesDirectoriesThatAreNotInstallations) {
    std::wstring folder = MakeTempDirectory(L"refuse");
    WriteFileBytes(folder + L"\\document.txt", "data");
    EXPECT_EQ(FinishRemoval(folder, 4294967294u), -1);
    EXPECT_TRUE(PathExists(folder + L"\\document.txt"));
    RemoveTree(folder);

    // The temporary folder itself is never deleted, even with an updater in it.
    std::wstring temp = TemporaryFolder();
    std::wstring marker = temp + L"zenka-updater.exe";
    WriteFileBytes(marker, "data");
    EXPECT_EQ(FinishRemoval(temp, 4294967294u), -1);
    EXPECT_TRUE(PathExists(marker));
    DeleteFileW(marker.c_str());
}

// The folder the elevated updater's copy runs from: no non-elevated program may put a file in it,
// and nobody can make it in advance. Wine 8 derives a file's DACL from its Unix mode bits and
// keeps none that is set, so the descriptor is read as the folder is created with it.
TEST(CreatePrivateFolder, GrantsOnlyAdministratorsAndSystemUnderANewName) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        PRIVATE_FOLDER_SECURITY, SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing inherited from the temporary folder";
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    EXPECT_TRUE(owner != nullptr && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    PACL dacl = nullptr;
    BOOL present = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    ASSERT_EQ(dacl->AceCount, 2);
    bool system = false;
    bool administrators = false;
    for (WORD index = 0; index < dacl->AceCount; ++index) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, index, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        PSID sid = &ace->SidStart;
        system = system || IsWellKnownSid(sid, WinLocalSystemSid);
        administrators = administrators || IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
    }
    EXPECT_TRUE(system && administrators);
    LocalFree(descriptor);

    std::wstring parent = TemporaryFolder();
    std::wstring first = CreatePrivateFolder(parent);
    std::wstring second = CreatePrivateFolder(parent);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_NE(first, second);
    EXPECT_EQ(first.rfind(parent + L"zenka-uninstall-", 0), 0u) << first.c_str();
    EXPECT_EQ(first.size(), parent.size() + 16 + 36) << "a whole GUID";
    EXPECT_FALSE(CreateDirectoryW(first.c_str(), nullptr)) << "a name that exists is never reused";
    RemoveDirectoryW(first.c_str());
    RemoveDirectoryW(second.c_str());
}

// Another program holds a file without sharing, as a scanner does: a short hold is waited out, a
// longer one leaves the file and its folder marked for the restart, files first.
TEST(RemoveListed, WaitsOutAShortHoldAndMarksALongOneForTheRestart) {
    const std::wstring pendingBefore = PendingRenames();
    std::vector<ListedPath> listed;
    ParseFileList("data/\ndata/held.dat\n", listed);
    const DWORD savedRetry = g_holdRetryMs;
    g_holdRetryMs = 3000;
    for (const DWORD holdMs : {1000u, 8000u}) {
        std::wstring install = MakeTempDirectory(L"held");
        CreateDirectoryW((install + L"\\data").c_str(), nullptr);
        const std::wstring held = install + L"\\data\\held.dat";
        WriteFileBytes(held, "data");
        HANDLE hold = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(hold, INVALID_HANDLE_VALUE);
        std::thread release([hold, holdMs] {
            Sleep(holdMs);
            CloseHandle(hold);
        });
        const ListedRemoval removal = RemoveListed(install, listed, {});
        release.join();
        if (holdMs < g_holdRetryMs) {
            EXPECT_EQ(removal.removed, 1u);
            EXPECT_TRUE(removal.marked.empty());
            EXPECT_FALSE(PathExists(install + L"\\data"));
        } else {
            EXPECT_EQ(removal.removed, 0u);
            EXPECT_EQ(removal.marked, (std::vector<std::wstring>{held, install + L"\\data"}));
            const std::wstring pending = PendingRenames();
            const size_t file = pending.find(L"\\??\\" + held);
            EXPECT_NE(file, std::wstring::npos);
            EXPECT_GT(pending.find(L"\\??\\" + install + L"\\data", file + 1), file) << "the folder after its file";
            EXPECT_TRUE(ForgetRestartMarks(removal.marked));
            EXPECT_EQ(PendingRenames().find(install), std::wstring::npos);
            RemoveTree(install);
        }
        EXPECT_EQ(removal.left, 0u);
    }
    g_holdRetryMs = savedRetry;
    RestorePendingRenames(pendingBefore);
}

// Someone swaps a folder for another between the check of the folder and the deletion inside it:
// the deletion still happens in the folder that was checked, never in the one put in its place.
TEST(RemoveListed, DeletesInTheFolderItCheckedWhenTheFolderIsSwappedMeanwhile) {
    std::wstring install = MakeTempDirectory(L"swap");
    CreateDirectoryW((install + L"\\data").c_str(), nullptr);
    WriteFileBytes(install + L"\\data\\config.ini", "ours");
    bool swapped = false;
    g_beforeListedDelete = [&](const std::wstring&) {
        // Held folders refuse the rename where the system enforces sharing; else the swap goes on.
        swapped = MoveFileW((install + L"\\data").c_str(), (install + L"\\moved").c_str()) != 0;
        if (swapped) {
            CreateDirectoryW((install + L"\\data").c_str(), nullptr);
            WriteFileBytes(install + L"\\data\\config.ini", "someone else's");
        }
    };
    std::vector<ListedPath> listed;
    ParseFileList("data/config.ini\n", listed);
    const ListedRemoval removal = RemoveListed(install, listed, {});
    g_beforeListedDelete = nullptr;
    EXPECT_EQ(removal.removed, 1u);
    EXPECT_FALSE(PathExists(install + L"\\moved\\config.ini"));
    EXPECT_EQ(PathExists(install + L"\\data\\config.ini"), swapped) << "swapped: " << swapped;
    RemoveTree(install);
}

// The same, as an ordinary user's program would do it all along: for the whole removal another
// thread exchanges data\ with a link to a folder elsewhere that holds the same names. Nothing
// elsewhere is deleted, and every file of ours still there counts as not removed.
TEST(RemoveListed, DeletesNothingElsewhereWhileAFolderIsSwappedForALinkAllAlong) {
    std::wstring base = MakeTempDirectory(L"swap-loop");
    std::wstring install = base + L"\\ZENKA";
    std::string list;
    CreateDirectoryW(install.c_str(), nullptr);
    for (const std::wstring& root : {install + L"\\data", base + L"\\outside"}) {
        CreateDirectoryW(root.c_str(), nullptr);
        for (int file = 0; file < 300; ++file) {
            const std::wstring folder = root + L"\\d" + std::to_wstring(file / 100);
            CreateDirectoryW(folder.c_str(), nullptr);
            WriteFileBytes(folder + L"\\f" + std::to_wstring(file) + L".txt", "data");
            if (root == install + L"\\data") list += "data/d" + std::to_string(file / 100) + "/f" + std::to_string(file) + ".txt\n";
        }
    }
    const std::string data = UnixPath(install + L"\\data");
    const std::string link = UnixPath(base) + "/link";
    if (data.empty()) GTEST_SKIP() << "swapping a held folder needs the Unix side of Wine";
    // unlink(2) of a link an earlier run left, symlink(2), renameat2(2) with RENAME_EXCHANGE.
    LinuxCall(87, reinterpret_cast<long long>(link.c_str()), 0, 0, 0, 0);
    ASSERT_EQ(LinuxCall(88, reinterpret_cast<long long>((UnixPath(base) + "/outside").c_str()),
                        reinterpret_cast<long long>(link.c_str()), 0, 0, 0),
              0);
    std::atomic<bool> stop{false};
    long long swaps = 0;
    std::thread swapper([&] {
        while (!stop || swaps % 2 != 0) {
            if (LinuxCall(316, -100, reinterpret_cast<long long>(data.c_str()), -100,
                          reinterpret_cast<long long>(link.c_str()), 2) == 0) {
                ++swaps;
            }
        }
    });
    std::vector<ListedPath> listed;
    ParseFileList(list + "data/d0/\ndata/d1/\ndata/d2/\n", listed);
    const ListedRemoval removal = RemoveListed(install, listed, {});
    stop = true;
    swapper.join();
    unsigned ours = 0;
    unsigned theirs = 0;
    for (int file = 0; file < 300; ++file) {
        const std::wstring name = L"\\d" + std::to_wstring(file / 100) + L"\\f" + std::to_wstring(file) + L".txt";
        ours += PathExists(install + L"\\data" + name) ? 1 : 0;
        theirs += PathExists(base + L"\\outside" + name) ? 1 : 0;
    }
    EXPECT_GT(swaps, 100);
    EXPECT_EQ(theirs, 300u);
    EXPECT_EQ(removal.removed + ours, 300u);
    EXPECT_TRUE(ours == 0 || removal.left != 0 || !removal.linkFolders.empty()) << ours;
    LinuxCall(87, reinterpret_cast<long long>(link.c_str()), 0, 0, 0, 0);
    RemoveTree(base);
}
