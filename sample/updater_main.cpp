// zenka-updater.exe: the program the setup registers as the uninstaller.
//
//   zenka-updater.exe                       says that there is nothing to update
//   zenka-updater.exe --uninstall           asks, then removes the installation
//   zenka-updater.exe --uninstall --quiet   removes the installation without asking or reporting
//
// The installation is the directory this program runs from. Only one installation job runs at a
// time on the machine: while a setup or another uninstall holds the lock (base/install_lock.h),
// nothing is touched. Removing it takes, in this order: the files that the package's list
// (zenka-files.txt, see file_list.h) names, by handle inside held folders, never through a folder
// that is a link (base/listed_removal.h); then the folders they leave empty; then the "ZENKA.lnk"
// shortcuts on the shared desktop and in the shared Start menu (only links into this directory);
// then the uninstall key (unless it now describes an installation elsewhere); last the list and
// this program's own file, deleted by a temporary copy after this process has exited (see
// self_removal.h). A file held by another program is waited for about ten seconds, then marked for
// deletion at the next restart. The key goes only once every listed file is removed or marked, and
// the list, this program and the directory are marked before it goes: a run cut short at any
// moment either leaves the key, whose command finishes the job and exits 0, or leaves nothing that
// is not marked. Whatever the package did not install (saves, mods, other programs) stays, and so
// does the directory while it holds any of it. Without a list no file of the directory is removed,
// only the shortcuts and the key; a list that is there but cannot be read stops the run before
// anything is touched.
//
// Exit codes (never renumbered):
//   0  complete: removed (the last files go a moment later), or nothing was asked
//   2  unknown or malformed command-line option
//   3  declined: the user answered No; nothing removed
//   4  refused: the directory is not one that may be deleted (a drive root, a system or user
//      folder, or a folder without zenka-updater.exe); nothing removed
//   5  incomplete: a file could be neither removed nor marked (a mark counts once the registry
//      shows it), a folder is a link (left alone with what it points to) or was swapped for one
//      during the run, or a shortcut or the key could not be removed; the key stays, so running
//      the uninstall again finishes the job. Also when the list exists but cannot be read: then
//      nothing at all is touched, and running the setup again repairs the list
//   6  no list: there is no list of the installed files; shortcuts and key removed, files kept
//   7  complete at restart: everything is removed or marked, and what is marked goes at the next
//      restart
//   8  another uninstall or a setup runs: nothing touched
// The internal --finish-removal run exits with 0 (all gone), 4 (refused) or 5 (files left).
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <string>
#include <vector>

#include "base/dll_search.h"
#include "base/known_folders.h"
#include "base/owners.h"
#include "base/product.h"
#include "base/file_list.h"
#include "base/install_lock.h"
#include "sample/install_location.h"
#include "sample/launcher_window.h"
#include "base/listed_removal.h"
#include "sample/removal.h"
#include "sample/self_removal.h"
#include "sample/system_folders.h"
#include "sample/updater_options.h"

namespace {

const int EXIT_REMOVED = 0;
const int EXIT_BAD_COMMAND_LINE = 2;
const int EXIT_DECLINED = 3;
const int EXIT_UNSAFE_LOCATION = 4;
const int EXIT_INCOMPLETE = 5;
const int EXIT_NO_FILE_LIST = 6;
const int EXIT_AT_RESTART = 7;
const int EXIT_BUSY = 8;

const wchar_t* const UNINSTALL_CAPTION = L"ZENKA - Удаление";
const wchar_t* const UPDATER_CAPTION = L"ZENKA - Обновление";

std::vector<std::wstring> CommandLineArguments() {
    std::vector<std::wstring> args;
    int count = 0;
    const ArgumentArray argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv) {
        return args;
    }
    for (int i = 1; i < count; ++i) {
        args.emplace_back(argv.Get()[i]);
    }
    return args;
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ShowBox(const std::wstring& text, const wchar_t* caption, UINT icon) {
    MessageBoxW(nullptr, text.c_str(), caption, MB_OK | icon | MB_SETFOREGROUND);
}

std::wstring NoListReason() { return std::wstring(L"в ней нет списка установленных файлов ") + FILE_LIST_NAME + L"."; }

bool RemoveShortcutIn(REFKNOWNFOLDERID folder, const std::wstring& installDirectory) {
    std::wstring folderPath = KnownFolderPath(folder);
    if (folderPath.empty()) {
        return true; // no such folder, so no link in it
    }
    RemovalOutcome outcome = RemoveOwnedShortcut(folderPath + L"\\" + LINK_FILE_NAME, installDirectory);
    if (outcome == RemovalOutcome::Removed) {
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, folderPath.c_str(), nullptr);
    }
    return outcome != RemovalOutcome::Failed;
}

bool RemoveLinks(const std::wstring& installDirectory) {
    const ComApartment com = JoinApartmentIfFree();
    bool removed = RemoveShortcutIn(FOLDERID_PublicDesktop, installDirectory);
    return RemoveShortcutIn(FOLDERID_CommonPrograms, installDirectory) && removed;
}

bool RemoveEntry(const std::wstring& installDirectory) {
    return RemoveOwnedUninstallKey(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, installDirectory) != RemovalOutcome::Failed;
}

// For tests, which must stop a run at a chosen moment as a kill would: with
// ZENKA_TEST_STOP_AFTER_DELETES=N in the environment the process ends at once, with exit code 9,
// before the listed file after the first N is deleted.
void StopAfterDeletesForTests() {
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"ZENKA_TEST_STOP_AFTER_DELETES", text, 16);
    if (length == 0 || length >= 16) {
        return;
    }
    const unsigned long limit = wcstoul(text, nullptr, 10);
    g_beforeListedDelete = [limit, count = 0ul](const std::wstring&) mutable {
        if (count++ == limit) {
            TerminateProcess(GetCurrentProcess(), 9);
        }
    };
}

std::wstring LinkFoldersText(const std::wstring& installDirectory, const std::vector<std::wstring>& linkFolders) {
    std::wstring text;
    for (const std::wstring& folder : linkFolders) {
        text += L"\n" + (folder.empty() ? installDirectory : installDirectory + L"\\" + folder);
    }
    return text;
}

int Uninstall(bool quiet) {
    std::wstring updaterPath = CurrentProgramPath();
    std::wstring installDirectory = NormalizeDirectoryPath(ParentDirectory(updaterPath));
    bool hasUpdater = FileExists(installDirectory + L"\\" + UPDATER_FILE_NAME);
    if (updaterPath.empty() ||
        CheckRemovalDirectory(installDirectory, ProtectedFolders(), hasUpdater) != LocationVerdict::Safe) {
        if (!quiet) {
            ShowBox(L"Удаление отменено: эту папку нельзя удалить безопасно.\n\n" + installDirectory, UNINSTALL_CAPTION,
                    MB_ICONERROR);
        }
        return EXIT_UNSAFE_LOCATION;
    }
    // Held until this process ends: no setup may write into the folder while it is emptied, and
    // the copy that removes this program's file takes it over.
    const InstallLock lock = TakeInstallLock();
    if (!lock) {
        if (!quiet) {
            ShowBox(L"Сейчас идёт установка или удаление ZENKA. Дождитесь его завершения и запустите удаление "
                    L"снова.",
                    UNINSTALL_CAPTION, MB_ICONWARNING);
        }
        return EXIT_BUSY;
    }
    std::vector<ListedPath> listed;
    const ListRead read = ReadFileListFrom(installDirectory, listed);
    if (read == ListRead::Unreadable) {
        // A list that is there but cannot be read still says the files are the package's: nothing
        // goes, so that the entry and this program stay to finish the job once it can be read.
        if (!quiet) {
            ShowBox(std::wstring(L"Удаление не выполнено: не удалось прочитать список установленных файлов ") +
                        FILE_LIST_NAME +
                        L". Ничего не удалено.\n\nЗапустите установку ZENKA ещё раз: она "
                        L"восстановит список, после чего удаление можно повторить.\n\n" +
                        installDirectory,
                    UNINSTALL_CAPTION, MB_ICONWARNING);
        }
        return EXIT_INCOMPLETE;
    }
    const bool hasList = read == ListRead::Read;
    if (!quiet) {
        std::wstring question = hasList ? L"Удалить ZENKA с этого компьютера?\n\nБудут удалены ярлыки, запись в "
                                          L"списке установленных программ и файлы ZENKA в папке:\n" +
                                              installDirectory +
                                              L"\n\nФайлы, не входящие в установку ZENKA (сохранения, моды, "
                                              L"другие программы), останутся в этой папке."
                                        : L"Удалить ZENKA с этого компьютера?\n\nБудут удалены ярлыки и запись в "
                                          L"списке установленных программ. Файлы в папке\n" +
                                              installDirectory + L"\nудалены не будут: " + NoListReason();
        if (MessageBoxW(nullptr, question.c_str(), UNINSTALL_CAPTION,
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND) != IDYES) {
            return EXIT_DECLINED;
        }
    }

    // A running launcher holds its own file; ask it to close first.
    CloseRunningLaunchers(installDirectory);

    if (!hasList) {
        // Without the list nothing tells the package's files from the user's: all of them stay,
        // this program included, so the folder can still be looked after by hand.
        bool complete = RemoveLinks(installDirectory);
        complete = RemoveEntry(installDirectory) && complete;
        if (!quiet) {
            ShowBox(L"Ярлыки и запись в списке установленных программ удалены. Файлы в папке\n" + installDirectory +
                        L"\nне удалены: " + NoListReason(),
                    UNINSTALL_CAPTION, MB_ICONWARNING);
        }
        return complete ? EXIT_NO_FILE_LIST : EXIT_INCOMPLETE;
    }

    // Files first; the list and this program stay until the entry has gone, so that a run cut
    // short anywhere before leaves an entry whose command can finish the job.
    StopAfterDeletesForTests();
    const std::wstring listPath = installDirectory + L"\\" + FILE_LIST_NAME;
    const ListedRemoval removal = RemoveListed(installDirectory, listed, {UPDATER_FILE_NAME, FILE_LIST_NAME});
    bool atRestart = !removal.marked.empty();
    bool complete = removal.left == 0 && removal.linkFolders.empty() && RemoveLinks(installDirectory);
    // What is left for later is marked before the entry goes: a run or a copy killed after it
    // leaves nothing behind for good.
    complete = complete && MarkForRestart(listPath) && MarkForRestart(updaterPath) &&
               MarkForRestart(installDirectory) && RemoveEntry(installDirectory);
    if (complete) {
        const ListedRemoval list = RemoveListed(installDirectory, {ListedPath{FILE_LIST_NAME, false}}, {});
        atRestart = atRestart || !list.marked.empty() || list.left != 0;
        // The copy waits for this process, however long the box below stays open.
        atRestart = !StartRemovalHelper(updaterPath, installDirectory) || atRestart;
    }

    if (!quiet) {
        if (!complete) {
            std::wstring text = L"ZENKA удалён не полностью: часть файлов, ярлыков или записей удалить не удалось.";
            if (!removal.linkFolders.empty()) {
                text += L"\n\nЭти папки оказались ссылками на другие места; они и то, на что они указывают, "
                        L"оставлены как есть:" +
                        LinkFoldersText(installDirectory, removal.linkFolders);
            }
            ShowBox(text +
                        L"\n\nЗапись в списке установленных программ сохранена: запустите удаление ещё раз, "
                        L"чтобы завершить его.\n\n" +
                        installDirectory,
                    UNINSTALL_CAPTION, MB_ICONWARNING);
        } else if (atRestart) {
            ShowBox(L"Часть файлов ZENKA сейчас занята другими программами и будет удалена при следующей "
                    L"перезагрузке.\n\nZENKA будет удалён полностью после перезагрузки.\n\n" +
                        installDirectory,
                    UNINSTALL_CAPTION, MB_ICONINFORMATION);
        } else if (HoldsOtherEntries(installDirectory, updaterPath)) {
            ShowBox(L"ZENKA удалён с этого компьютера.\n\nФайлы, не входящие в установку ZENKA, "
                    L"оставлены в папке:\n" +
                        installDirectory,
                    UNINSTALL_CAPTION, MB_ICONINFORMATION);
        } else {
            ShowBox(L"ZENKA удалён с этого компьютера.", UNINSTALL_CAPTION, MB_ICONINFORMATION);
        }
    }
    if (!complete) {
        return EXIT_INCOMPLETE;
    }
    return atRestart ? EXIT_AT_RESTART : EXIT_REMOVED;
}

int FinishRemovalRun(const UpdaterOptions& options) {
    int left = FinishRemoval(options.removalDirectory, options.parentProcessId);
    ScheduleOwnDeletion();
    if (left < 0) {
        return EXIT_UNSAFE_LOCATION;
    }
    return left == 0 ? EXIT_REMOVED : EXIT_INCOMPLETE;
}

bool MentionsQuiet(const std::vector<std::wstring>& args) {
    for (const std::wstring& arg : args) {
        UpdaterOptions single;
        std::wstring ignored;
        if (ParseUpdaterOptions({arg}, single, ignored) && single.quiet) {
            return true;
        }
    }
    return false;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem();
    std::vector<std::wstring> args = CommandLineArguments();
    UpdaterOptions options;
    std::wstring error;
    if (!ParseUpdaterOptions(args, options, error)) {
        if (!MentionsQuiet(args)) {
            ShowBox(L"Неизвестный или неполный параметр командной строки: " + error +
                        L"\n\nИспользование: zenka-updater.exe [--uninstall [--quiet]]",
                    UPDATER_CAPTION, MB_ICONERROR);
        }
        return EXIT_BAD_COMMAND_LINE;
    }
    switch (options.mode) {
    case UpdaterMode::Uninstall: return Uninstall(options.quiet);
    case UpdaterMode::FinishRemoval: return FinishRemovalRun(options);
    case UpdaterMode::Info: break;
    }
    if (!options.quiet) {
        ShowBox(L"Установлена последняя версия ZENKA. Обновлений нет.", UPDATER_CAPTION, MB_ICONINFORMATION);
    }
    return EXIT_REMOVED;
}
