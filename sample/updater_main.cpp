// zenka-updater.exe: the program the setup registers as the uninstaller.
//
//   zenka-updater.exe                       says that there is nothing to update
//   zenka-updater.exe --uninstall           asks, then removes the installation
//   zenka-updater.exe --uninstall --quiet   removes the installation without asking or reporting
//
// The installation is the directory this program runs from. Removing it takes away the
// "ZENKA.lnk" shortcuts on the shared desktop and in the shared Start menu (only links into this
// directory), the uninstall key (unless it now describes an installation elsewhere), and the files
// that the package's list (zenka-files.txt, see file_list.h) names, with the folders they leave
// empty. Whatever the package did not install (saves, mods, other programs) stays, and so does the
// directory while it holds any of it. This program's own file goes last, deleted by a temporary
// copy after this process has exited (see self_removal.h). Without a readable list no file of the
// directory is removed, only the shortcuts and the key.
//
// Exit codes:
//   0  removed (the last files go a moment later), or nothing was asked
//   2  unknown or malformed command-line option
//   3  the user answered No; nothing removed
//   4  the directory is not one that may be deleted (a drive root, a system or user folder, or a
//      folder without zenka-updater.exe); nothing removed
//   5  removal incomplete: a shortcut, the key or some files could not be removed
//   6  no readable list of the installed files: shortcuts and key removed, every file kept
// The internal --finish-removal run exits with 0 (all gone), 4 (refused) or 5 (files left).
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "base/dll_search.h"
#include "base/known_folders.h"
#include "base/owners.h"
#include "base/product.h"
#include "base/file_list.h"
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

std::wstring NoListReason() {
    return std::wstring(L"в ней нет списка установленных файлов ") + FILE_LIST_NAME + L" или его не удалось прочитать.";
}

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
    std::vector<ListedPath> listed;
    bool hasList = ReadFileList(installDirectory, listed);
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

    bool complete = true;
    {
        const ComApartment com = JoinApartmentIfFree();
        complete = RemoveShortcutIn(FOLDERID_PublicDesktop, installDirectory) && complete;
        complete = RemoveShortcutIn(FOLDERID_CommonPrograms, installDirectory) && complete;
    }
    complete =
        RemoveOwnedUninstallKey(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, installDirectory) != RemovalOutcome::Failed &&
        complete;
    if (!hasList) {
        // Without the list nothing tells the package's files from the user's: all of them stay,
        // this program included, so the folder can still be looked after by hand.
        if (!quiet) {
            ShowBox(L"Ярлыки и запись в списке установленных программ удалены. Файлы в папке\n" + installDirectory +
                        L"\nне удалены: " + NoListReason(),
                    UNINSTALL_CAPTION, MB_ICONWARNING);
        }
        return complete ? EXIT_NO_FILE_LIST : EXIT_INCOMPLETE;
    }
    complete = RemoveListedFiles(installDirectory, listed, updaterPath) == 0 && complete;

    if (!quiet) {
        if (complete && HoldsOtherEntries(installDirectory, updaterPath)) {
            ShowBox(L"ZENKA удалён с этого компьютера.\n\nФайлы, не входящие в установку ZENKA, "
                    L"оставлены в папке:\n" +
                        installDirectory,
                    UNINSTALL_CAPTION, MB_ICONINFORMATION);
        } else if (complete) {
            ShowBox(L"ZENKA удалён с этого компьютера.", UNINSTALL_CAPTION, MB_ICONINFORMATION);
        } else {
            ShowBox(L"ZENKA удалён не полностью: часть файлов, ярлыков или записей удалить не "
                    L"удалось.\n\n" +
                        installDirectory,
                    UNINSTALL_CAPTION, MB_ICONWARNING);
        }
    }
    // Only now, once the user has read the result: the helper waits for this process a limited
    // time, and a box left open longer would keep the updater's file in place.
    complete = StartRemovalHelper(updaterPath, installDirectory) && complete;
    return complete ? EXIT_REMOVED : EXIT_INCOMPLETE;
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
