#include "install/worker.h"

#include "app/state.h"
#include "base/file_list.h"
#include "base/file_retry.h"
#include "base/held_folder.h"
#include "base/install_lock.h"
#include "base/number_text.h"
#include "base/owners.h"
#include "base/product.h"
#include "install/checksum.h"
#include "install/directories.h"
#include "install/download.h"
#include "install/extract.h"
#include "install/old_files.h"
#include "install/partial_download.h"
#include "install/paths.h"
#include "install/target_folder.h"
#include "system/restart_manager.h"
#include "system/shortcut.h"
#include "system/uninstall_entry.h"

#include <objbase.h>
#include <process.h>
#include <shlobj.h>

#include <exception>
#include <memory>
#include <utility>

namespace {

const wchar_t* const SHORTCUT_DESCRIPTION = L"ZENKA Game Launcher & Library Manager";
constexpr DWORD FINISH_PAUSE_MS = 250;

// "PREFIX PATH", a line break and the Windows error code: every file error names its file.
std::wstring FileErrorText(const wchar_t* prefix, const std::wstring& path, DWORD error) {
    return prefix + path + L"\n" + DecimalText(static_cast<long>(error));
}

// Steps 2..19 of an installation. Returns early after any failure, which its step has reported.
void RunPipeline(HWND window, const WorkerValues& values) {
    const std::wstring targetDir = CanonicalTargetDir(values.targetDir);

    // Before anything touches the disk: a folder that Windows could not start, link to or
    // uninstall from is refused with nothing created.
    const std::wstring refusal = TargetRefusalText(CheckTargetFolder(targetDir, ReadSystemFolders()), targetDir);
    if (!refusal.empty()) {
        PostFatalError(window, refusal, EXIT_FOLDER_REFUSED);
        return;
    }
    // Held until the worker returns, on this thread: an uninstall or another setup meanwhile would
    // delete or overwrite what this one writes.
    const InstallLock lock = TakeInstallLock();
    if (!lock) {
        PostFatalError(
            window, L"Уже выполняется установка или удаление ZENKA. Дождитесь окончания и запустите установку снова.",
            EXIT_ANOTHER_JOB_RUNNING);
        return;
    }

    PostProgress(window, L"Подготовка к установке...", L"Завершение конфликтующих процессов...", 5);
    ReleaseLockedFiles(targetDir);
    PostLogLine(window, L"[OK] Инициализация окружения ZENKA Setup");
    PostLogLine(window, L"[..] Подключение к защищенному CDN серверу ZENKA...");

    // Files are reached by full path (the download, the extraction's package, the file lists) in
    // this form, which holds paths longer than MAX_PATH.
    const std::wstring fileDir = LongPathForm(targetDir);
    const DWORD directoryError = CreateProtectedDirectoryWithParents(fileDir);
    if (directoryError != ERROR_SUCCESS) {
        PostFatalError(window, FileErrorText(L"Не удалось создать директорию установки: ", targetDir, directoryError));
        return;
    }
    // Held for the whole run, so that the folder cannot be swapped for a link while the setup
    // downloads into it, extracts into it and removes old files from it.
    FileHandle folder;
    const DWORD heldError = RetryWhileHeld([&] { return OpenHeldFolder(fileDir, folder); });
    if (heldError == ERROR_FOLDER_IS_LINK) {
        PostFatalError(window,
                       L"Папка «" + targetDir +
                           L"» — это ссылка на другое место (точка соединения или символическая ссылка). "
                           L"Установщик ничего в неё не записал.",
                       EXIT_FOLDER_REFUSED);
        return;
    }
    if (heldError != ERROR_SUCCESS) {
        PostFatalError(window, FileErrorText(L"Не удалось открыть директорию установки: ", targetDir, heldError));
        return;
    }

    const std::wstring packagePath = AppendPathName(fileDir, PACKAGE_FILE_NAME);
    const std::wstring partialPath = AppendPathName(fileDir, PARTIAL_FILE_NAME);

    if (!values.skipDownload) {
        if (DownloadPackage(window, values.downloadUrl, partialPath) != DownloadResult::Completed) return;
        if (VerifyPackage(window, folder.Get(), targetDir, values.expectedSha256) != VerifyResult::Verified) return;
        PostLogLine(window, L"[OK] Контрольная сумма архива подтверждена");
        PostLogLine(window, L"[..] Распаковка ядра WinUI 3 и рантайма .NET CoreCLR...");
        // Replaces a package an earlier run left.
        const DWORD renameError =
            RetryWhileHeld([&] { return RenameIn(folder.Get(), PARTIAL_FILE_NAME, PACKAGE_FILE_NAME, true); });
        if (renameError != ERROR_SUCCESS) {
            PostFatalError(window, FileErrorText(L"Не удалось переименовать временный архив: ",
                                                 AppendPathName(targetDir, PARTIAL_FILE_NAME), renameError));
            return;
        }
        // The partial file is gone; its validator must not vouch for the next one.
        DeleteResumeValidator(folder.Get(), PARTIAL_FILE_NAME);
    }

    // What the installed version put here; read before the new version's list replaces it.
    std::vector<ListedPath> oldList;
    if (!ReadFileList(fileDir, oldList)) oldList.clear();

    ReleaseLockedFiles(targetDir);
    if (ExtractPackage(window, packagePath, folder.Get(), targetDir) != ExtractResult::Extracted) {
        // The box already tells of the failure; this only keeps the old version's files on record.
        KeepOldEntriesListed(folder.Get(), fileDir, oldList);
        return;
    }
    const unsigned leftOver = RemoveOldVersionFiles(fileDir, oldList);
    if (leftOver != 0) {
        PostLogLine(window, L"[..] Не удалось удалить файлы прежней версии: " + DecimalText(leftOver));
    }

    PostProgress(window, L"Завершение установки...", L"Создание ярлыков и регистрация в системе...", 1000);
    PostLogLine(window, L"[..] Регистрация фоновой службы и создание ярлыков...");
    const std::wstring launcherPath = LauncherPath(targetDir);
    CreateShortcut(FOLDERID_PublicDesktop, launcherPath, targetDir, LINK_FILE_NAME, SHORTCUT_DESCRIPTION);
    CreateShortcut(FOLDERID_CommonPrograms, launcherPath, targetDir, LINK_FILE_NAME, SHORTCUT_DESCRIPTION);
    // The package goes right after: the size shown is what stays installed.
    RegisterUninstallEntry(targetDir, PRODUCT_VERSION, PACKAGE_FILE_NAME);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    // Only now is the package no longer needed: any failure before kept it for the next run.
    RetryWhileHeld([&] {
        const DWORD error = DeleteIn(folder.Get(), PACKAGE_FILE_NAME);
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    });
    PostLogLine(window, L"[OK] Все компоненты успешно развернуты и готовы к запуску");
    PostProgress(window, L"Установка успешно завершена!", L"Все компоненты лаунчера готовы к работе.", 1000);

    // The window gets a moment to draw the final texts before it switches pages.
    Sleep(FINISH_PAUSE_MS);
    PostMessageW(window, WM_INSTALL_FINISHED, 0, 0);
}

} // namespace

std::wstring WidenExceptionMessage(const char* message) {
    std::wstring widened;
    for (const char* p = message; p != nullptr && *p != '\0'; ++p) {
        // Sign-extension is what the message has always shown; only ASCII is meant to be readable.
        widened.push_back(static_cast<wchar_t>(static_cast<short>(static_cast<signed char>(*p))));
    }
    return widened;
}

void RunInstallWorker(HWND window, WorkerValues values) {
    // Left on every way out of the worker, the exception path included.
    const ComApartment apartment = JoinOwnThreadApartment();
    try {
        RunPipeline(window, values);
    } catch (const std::exception& e) {
        PostFatalError(window, L"Непредвиденное исключение при установке: " + WidenExceptionMessage(e.what()));
    }
}

unsigned __stdcall InstallThreadEntry(void* startRecord) {
    std::unique_ptr<WorkerStartRecord> record(static_cast<WorkerStartRecord*>(startRecord));
    WorkerValues values;
    values.downloadUrl = std::move(record->downloadUrl);
    values.targetDir = std::move(record->targetDir);
    values.expectedSha256 = std::move(record->expectedSha256);
    values.skipDownload = record->skipDownload;
    record->entry(record->window, std::move(values));
    return 0;
}

bool StartInstallWorker(HWND window, const WorkerValues& values) {
    auto record = std::make_unique<WorkerStartRecord>();
    record->downloadUrl = values.downloadUrl;
    record->targetDir = values.targetDir;
    record->expectedSha256 = values.expectedSha256;
    record->skipDownload = values.skipDownload;
    record->window = window;
    record->entry = &RunInstallWorker;

    const uintptr_t thread = _beginthreadex(nullptr, 0, &InstallThreadEntry, record.get(), 0, nullptr);
    if (thread == 0) return false;
    record.release();                              // the thread owns it now
    CloseHandle(reinterpret_cast<HANDLE>(thread)); // detached: nobody waits for the worker
    return true;
}
