// Whole installations from a local archive (no download), run on a real worker thread and observed
// through the messages a window receives and the progress record.
#include "install/worker.h"
#include "base/file_list.h"
#include "base/listed_removal.h"
#include "base/file_retry.h"
#include "base/install_lock.h"
#include "install/paths.h"
#include "support/holder.h"
#include "support/message_window.h"
#include "support/state_reset.h"
#include "support/files.h"
#include "support/shell.h"
#include "support/zip_builder.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::wstring TestName() {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    return std::wstring(name.begin(), name.end());
}

struct PipelineRun {
    bool finished = false; // WM_INSTALL_FINISHED arrived
    bool failed = false;   // WM_FATAL_ERROR arrived
    std::vector<UINT> messages;
    ProgressSnapshot state;
    std::wstring error;
};

// Starts the worker exactly as the install button does and waits for its last message.
PipelineRun RunWorker(const WorkerValues& values) {
    ResetProgressState();
    MessageWindow window;
    PipelineRun run;
    EXPECT_TRUE(StartInstallWorker(window.handle(), values));
    const UINT last = window.WaitFor({WM_INSTALL_FINISHED, WM_FATAL_ERROR}, 20s, &run.messages);
    EXPECT_NE(last, 0u) << "the worker neither finished nor failed";
    std::this_thread::sleep_for(50ms); // anything posted after the last message would show here
    const std::vector<UINT> late = window.Drain();
    run.messages.insert(run.messages.end(), late.begin(), late.end());
    run.finished = std::count(run.messages.begin(), run.messages.end(), WM_INSTALL_FINISHED) == 1;
    run.failed = std::count(run.messages.begin(), run.messages.end(), WM_FATAL_ERROR) == 1;
    run.state = TakeProgressSnapshot();
    run.error = TakeErrorText();
    return run;
}

WorkerValues LocalInstall(const std::wstring& target) {
    WorkerValues values;
    values.downloadUrl = L"http://127.0.0.1:9/never-used.zip";
    values.targetDir = target;
    values.expectedSha256 = L"not looked at";
    values.skipDownload = true;
    return values;
}

TEST(Pipeline, InstallsFromALocalArchiveAndFinishes) {
    const std::wstring target = FreshTempDir(L"pipeline-" + TestName()) + L"\\Program\\ZENKA";
    std::filesystem::create_directories(target);
    WriteFileBytes(target + L"\\payload.zip",
                   BuildZip({{"ZENKA.exe", "MZ launcher"}, {"zenka-updater.exe", "MZ"}, {"data/a.cfg", "x=1"}}));
    WriteFileBytes(target + L"\\payload.zip.downloading", "partial from an earlier run");
    SetFileAttributesW((target + L"\\payload.zip").c_str(), FILE_ATTRIBUTE_READONLY); // no reason to keep it

    const PipelineRun run = RunWorker(LocalInstall(target));
    ASSERT_TRUE(run.finished) << std::string(run.error.begin(), run.error.end());
    EXPECT_FALSE(run.failed);
    EXPECT_EQ(run.messages.back(), WM_INSTALL_FINISHED);
    EXPECT_EQ(ReadFileBytes(target + L"\\ZENKA.exe"), "MZ launcher");
    EXPECT_EQ(ReadFileBytes(target + L"\\data\\a.cfg"), "x=1");
    EXPECT_FALSE(PathExists(target + L"\\payload.zip"));
    // Without a download the partial file is neither read nor touched.
    EXPECT_EQ(ReadFileBytes(target + L"\\payload.zip.downloading"), "partial from an earlier run");

    EXPECT_EQ(run.state.statusText, L"Установка успешно завершена!");
    EXPECT_EQ(run.state.detailText, L"Все компоненты лаунчера готовы к работе.");
    EXPECT_EQ(run.state.progress, 1000);
    const std::deque<std::wstring> expectedLines = {
        L"[OK] Инициализация окружения ZENKA Setup",
        L"[..] Подключение к защищенному CDN серверу ZENKA...",
        L"[OK] Распаковано файлов: 3 в " + target,
        L"[..] Регистрация фоновой службы и создание ярлыков...",
        L"[OK] Все компоненты успешно развернуты и готовы к запуску",
    };
    EXPECT_EQ(run.state.logLines, expectedLines);
}

TEST(Pipeline, CreatesAMissingTargetWithAllParents) {
    const std::wstring root = FreshTempDir(L"pipeline-" + TestName());
    const std::wstring target = root + L"\\one\\two\\three\\";
    // No archive: the directory is created, then extraction cannot open the package.
    const PipelineRun run = RunWorker(LocalInstall(target));
    EXPECT_TRUE(run.failed);
    EXPECT_FALSE(run.finished);
    EXPECT_TRUE(std::filesystem::is_directory(root + L"\\one\\two\\three"));
    EXPECT_EQ(run.error, L"Не удалось открыть файл архива для распаковки: " + target + L"payload.zip");
}

TEST(Pipeline, TargetThatIsAFileEndsWithTheDirectoryMessage) {
    const std::wstring root = FreshTempDir(L"pipeline-" + TestName());
    WriteFileBytes(root + L"\\occupied", "a file, not a directory");
    const PipelineRun run = RunWorker(LocalInstall(root + L"\\occupied"));
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(run.error, L"Не удалось создать директорию установки: " + root + L"\\occupied\n183");
    EXPECT_EQ(run.state.progress, 5);
    EXPECT_EQ(run.messages.back(), WM_FATAL_ERROR);
}

// The folder the uninstall entry names; empty when there is none.
std::wstring RegisteredLocation() {
    wchar_t location[1024] = {};
    DWORD size = sizeof(location);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZENKA",
                     L"InstallLocation", RRF_RT_REG_SZ, nullptr, location, &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    return location;
}

TEST(Pipeline, InstallsIntoAFolderGivenWithTheLongPathPrefixAndRegistersItWithout) {
    // Windows leaves "/" alone below "\\?\", so the archive's "data/a.cfg" must be joined with "\".
    const std::wstring plain = FreshTempDir(L"pipeline-" + TestName()) + L"\\ZENKA";
    const std::wstring target = L"\\\\?\\" + plain;
    std::filesystem::create_directories(target);
    WriteFileBytes(target + L"\\payload.zip",
                   BuildZip({{"ZENKA.exe", "MZ"}, {"zenka-updater.exe", "MZ"}, {"data/sub/a.cfg", "x=1"}}));
    const PipelineRun run = RunWorker(LocalInstall(target));
    ASSERT_TRUE(run.finished) << std::string(run.error.begin(), run.error.end());
    EXPECT_EQ(ReadFileBytes(target + L"\\data\\sub\\a.cfg"), "x=1");
    // The shell stores a link to a "\\?\" path broken; links, entry and pages share the plain form.
    EXPECT_EQ(RegisteredLocation(), plain);
    EXPECT_EQ(run.state.logLines[2], L"[OK] Распаковано файлов: 3 в " + plain);
}

// A scanner holding the installed launcher during an update: a short hold is waited out; one that
// outlasts the wait ends in the box naming the file, the old launcher whole and the package kept.
TEST(Pipeline, HeldLauncherIsWaitedOutOrLeftWholeWithThePackageKept) {
    const struct {
        long holdMs; // -1: held for good
        bool finished;
    } cases[] = {{1000, true}, {-1, false}};
    g_holdRetryMs = 3000;
    for (const auto& row : cases) {
        SCOPED_TRACE(row.holdMs);
        const std::wstring target = FreshTempDir(L"pipeline-" + TestName());
        WriteFileBytes(target + L"\\ZENKA.exe", "version 1");
        const std::string package = BuildZip({{"ZENKA.exe", "version 2"}, {"zenka-updater.exe", "MZ"}});
        WriteFileBytes(target + L"\\payload.zip", package);
        KernelHandle holder = HoldFile(target + L"\\ZENKA.exe", row.holdMs);
        ASSERT_TRUE(holder);
        const PipelineRun run = RunWorker(LocalInstall(target));
        EndHold(holder);
        EXPECT_EQ(run.finished, row.finished) << std::string(run.error.begin(), run.error.end());
        EXPECT_EQ(ReadFileBytes(target + L"\\ZENKA.exe"), row.finished ? "version 2" : "version 1");
        EXPECT_EQ(PathExists(target + L"\\payload.zip"), !row.finished);
        if (!row.finished) {
            EXPECT_NE(run.error.find(L"ZENKA.exe"), std::wstring::npos) << "the box names the file";
            EXPECT_EQ(ReadFileBytes(target + L"\\payload.zip"), package);
            EXPECT_EQ(TakeErrorExitCode(), EXIT_INSTALL_FAILED);
        }
    }
    g_holdRetryMs = 10000;
}

TEST(Pipeline, UpdateStoppedAfterItsListLandedKeepsTheOldFilesListedForTheNextRun) {
    const std::wstring target = FreshTempDir(L"pipeline-" + TestName());
    WriteFileBytes(target + L"\\ZENKA.exe", "version 1");
    WriteFileBytes(target + L"\\old.dll", "only version 1 has it");
    WriteFileBytes(target + L"\\zenka-files.txt", "ZENKA.exe\nzenka-updater.exe\nold.dll\nzenka-files.txt\n");
    // The list comes first, so it has replaced the old one when the held launcher stops the run.
    const std::string package = BuildZip({{"zenka-files.txt", "ZENKA.exe\nzenka-updater.exe\nzenka-files.txt\n"},
                                          {"ZENKA.exe", "version 2"},
                                          {"zenka-updater.exe", "MZ"}});
    WriteFileBytes(target + L"\\payload.zip", package);
    g_holdRetryMs = 500;
    KernelHandle holder = HoldFile(target + L"\\ZENKA.exe", -1);
    ASSERT_TRUE(holder);
    EXPECT_FALSE(RunWorker(LocalInstall(target)).finished);
    EndHold(holder);
    g_holdRetryMs = 10000;
    std::vector<ListedPath> listed;
    ASSERT_TRUE(ReadFileList(target, listed));
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [](const ListedPath& e) { return e.path == L"old.dll"; }))
        << "the uninstaller and the next update still know of it";

    const PipelineRun retry = RunWorker(LocalInstall(target));
    ASSERT_TRUE(retry.finished) << std::string(retry.error.begin(), retry.error.end());
    EXPECT_FALSE(PathExists(target + L"\\old.dll"));
    EXPECT_EQ(ReadFileBytes(target + L"\\zenka-files.txt"), "ZENKA.exe\nzenka-updater.exe\nzenka-files.txt\n");
}

TEST(Pipeline, AnotherInstallationJobIsRefusedWithNothingTouched) {
    const std::wstring target = FreshTempDir(L"pipeline-" + TestName()) + L"\\ZENKA";
    const InstallLock uninstalling = TakeInstallLock(); // this thread's, as an uninstaller's would be
    ASSERT_TRUE(uninstalling);
    const PipelineRun run = RunWorker(LocalInstall(target));
    EXPECT_EQ(run.error,
              L"Уже выполняется установка или удаление ZENKA. Дождитесь окончания и запустите установку снова.");
    EXPECT_EQ(TakeErrorExitCode(), EXIT_ANOTHER_JOB_RUNNING);
    EXPECT_EQ(run.messages, std::vector<UINT>{WM_FATAL_ERROR});
    EXPECT_FALSE(PathExists(target));
}

// The links and the entry that a refused folder must not get.
std::vector<std::wstring> RegisteredTraces() {
    std::vector<std::wstring> traces;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZENKA", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        traces.push_back(L"uninstall key");
    }
    for (REFKNOWNFOLDERID folder : {FOLDERID_PublicDesktop, FOLDERID_CommonPrograms}) {
        const std::wstring link = KnownFolderPath(folder) + L"\\ZENKA.lnk";
        if (PathExists(link)) traces.push_back(link);
    }
    return traces;
}

void EraseRegisteredTraces() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZENKA");
    for (const std::wstring& trace : RegisteredTraces()) DeleteFileW(trace.c_str());
}

TEST(Pipeline, RefusedFoldersShowTheBoxAndWriteNothing) {
    const std::wstring temp = FreshTempDir(L"pipeline-" + TestName());
    // 267 characters: FOLDER\zenka-updater.exe would not fit in MAX_PATH.
    const std::wstring tooLong = temp + L"\\" + std::wstring(267 - temp.size() - 1, L'x');
    const std::wstring relative = L"Путь указан не полностью: нужна буква диска (например, C:\\Games\\ZENKA) "
                                  L"или сетевой путь \\\\сервер\\ресурс\\папка.";
    const std::wstring badName = L"В пути есть недопустимые имена: пустые, «.» или «..», с точкой или пробелом "
                                 L"в конце, с символами < > : \" | ? *.";
    const std::wstring root =
        L"Это корень диска или сетевого ресурса: выберите папку внутри него, например C:\\Games\\ZENKA.";
    const std::wstring windows = L"Это папка Windows или папка внутри неё: там хранятся только файлы системы.";
    const std::wstring system =
        L"Это системная папка или папка, в которой лежат системные папки: ZENKA нужна своя отдельная папка.";
    const std::wstring length =
        L"Путь слишком длинный: путь к zenka-updater.exe в этой папке должен быть короче 260 символов.";
    const struct {
        std::wstring target;
        std::wstring reason;
        bool absent = false; // a folder that does not exist and must not come to
    } cases[] = {
        {L"", relative},
        {L"ZENKA-relative", relative, true}, // would land in whatever the working folder is
        {L"C:ZENKA", relative},
        {L"\\ZENKA", relative},
        {L"\\\\.\\C:\\ZENKA", relative},
        {temp + L"\\..\\ZENKA", badName, true},
        {temp + L"\\ZENKA.", badName, true},
        {L"C:\\", root},
        {L"c:/", root},
        {L"\\\\?\\C:\\", root},
        {L"\\\\server\\share\\", root},
        {L"C:\\windows", windows},
        {L"C:\\WINDOWS\\system32\\ZENKA", windows, true},
        {L"C:\\Program Files", system},
        {L"C:\\users\\", system},
        {L"C:\\ProgramData", system},
        {tooLong, length, true},
    };
    EraseRegisteredTraces();
    for (const auto& row : cases) {
        SCOPED_TRACE(std::string(row.target.begin(), row.target.end()));
        const PipelineRun run = RunWorker(LocalInstall(row.target));
        EXPECT_EQ(run.error,
                  L"Нельзя установить ZENKA в папку: " + CanonicalTargetDir(row.target) + L"\n" + row.reason);
        EXPECT_EQ(TakeErrorExitCode(), EXIT_FOLDER_REFUSED);
        // The box is all there is: not even the first progress report.
        EXPECT_EQ(run.messages, std::vector<UINT>{WM_FATAL_ERROR});
        if (row.absent) {
            EXPECT_FALSE(PathExists(row.target));
        }
    }
    EXPECT_FALSE(PathExists(temp + L"\\ZENKA"));
    EXPECT_EQ(RegisteredTraces(), std::vector<std::wstring>{});
}

TEST(Pipeline, RefusedPackageIsKeptAndNothingIsWritten) {
    const std::wstring target = FreshTempDir(L"pipeline-" + TestName());
    const std::string archive = BuildZip({{"first.txt", "1"}, {"bad\xC3\x28name.txt", "2"}, {"third.txt", "3"}});
    WriteFileBytes(target + L"\\payload.zip", archive);
    const PipelineRun run = RunWorker(LocalInstall(target));
    EXPECT_TRUE(run.failed);
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(run.error, L"Имя файла в архиве записано не в UTF-8: «bad\uFFFD(name.txt». Упакуйте архив программой, "
                         L"которая записывает имена файлов в UTF-8.");
    EXPECT_FALSE(PathExists(target + L"\\first.txt"));
    EXPECT_FALSE(PathExists(target + L"\\third.txt"));
    EXPECT_EQ(ReadFileBytes(target + L"\\payload.zip"), archive);
}

// The pending renames of the session manager, folded to upper case; empty when there are none.
std::wstring PendingRestartOperations() {
    wchar_t value[32768] = {};
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                     L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) {
        return std::wstring();
    }
    std::wstring text(value, bytes / sizeof(wchar_t));
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

TEST(Pipeline, SecondRunOverwritesTheInstalledFilesAndKeepsThemPastTheRestart) {
    const std::wstring target = FreshTempDir(L"pipeline-" + TestName());
    const std::string list = "ZENKA.exe\nzenka-updater.exe\nzenka-files.txt\n";
    WriteFileBytes(target + L"\\payload.zip",
                   BuildZip({{"ZENKA.exe", "version 1"}, {"zenka-updater.exe", "1"}, {"zenka-files.txt", list}}));
    ASSERT_TRUE(RunWorker(LocalInstall(target)).finished);
    // An uninstall that met the launcher held left it to the restart; the new version must survive it.
    ASSERT_TRUE(MarkForRestart(target + L"\\ZENKA.exe"));
    std::wstring launcher = target + L"\\ZENKA.EXE";
    CharUpperBuffW(&launcher[0], static_cast<DWORD>(launcher.size()));
    ASSERT_NE(PendingRestartOperations().find(launcher), std::wstring::npos);
    WriteFileBytes(target + L"\\payload.zip",
                   BuildZip({{"ZENKA.exe", "version 2"}, {"zenka-updater.exe", "2"}, {"zenka-files.txt", list}}));
    ASSERT_TRUE(RunWorker(LocalInstall(target)).finished);
    EXPECT_EQ(ReadFileBytes(target + L"\\ZENKA.exe"), "version 2");
    EXPECT_EQ(PendingRestartOperations().find(launcher), std::wstring::npos);
}

TEST(WidenExceptionMessage, SignExtendsEveryByte) {
    EXPECT_EQ(WidenExceptionMessage("bad alloc"), L"bad alloc");
    const std::wstring widened = WidenExceptionMessage("a\xC3\xA9z");
    ASSERT_EQ(widened.size(), 4u);
    EXPECT_EQ(widened[1], static_cast<wchar_t>(0xFFC3));
    EXPECT_EQ(widened[2], static_cast<wchar_t>(0xFFA9));
    EXPECT_EQ(WidenExceptionMessage(""), L"");
}

TEST(ThreadEntry, MovesTheValuesOutAndFreesTheRecord) {
    static WorkerValues received;
    static HWND receivedWindow = nullptr;
    auto* record = new WorkerStartRecord;
    record->downloadUrl = L"http://127.0.0.1/x.zip";
    record->targetDir = L"C:\\T";
    record->expectedSha256 = L"abc";
    record->skipDownload = true;
    record->window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    record->entry = [](HWND window, WorkerValues values) {
        receivedWindow = window;
        received = std::move(values);
    };
    EXPECT_EQ(InstallThreadEntry(record), 0u);
    EXPECT_EQ(received.downloadUrl, L"http://127.0.0.1/x.zip");
    EXPECT_EQ(received.targetDir, L"C:\\T");
    EXPECT_EQ(received.expectedSha256, L"abc");
    EXPECT_TRUE(received.skipDownload);
    EXPECT_EQ(receivedWindow, reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)));
}

} // namespace
