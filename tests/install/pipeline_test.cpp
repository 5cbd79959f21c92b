// Whole installations from a local archive (no download), run on a real worker thread and observed
// through the messages a window receives and the progress record.
#include "install/worker.h"
#include "support/message_window.h"
#include "support/state_reset.h"
#include "support/zip_builder.h"

#include <gtest/gtest.h>

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
    WriteFileBytes(target + L"\\payload.zip", BuildZip({{"ZENKA.exe", "MZ launcher"}, {"data/a.cfg", "x=1"}}));
    WriteFileBytes(target + L"\\payload.zip.downloading", "partial from an earlier run");

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
        L"[OK] Распаковано файлов: 2 в " + target,
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

TEST(Pipeline, EmptyTargetEndsWithCodeThree) {
    const PipelineRun run = RunWorker(LocalInstall(L""));
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(run.error, L"Не удалось создать директорию установки: \n3");
}

TEST(Pipeline, InvalidUtf8NameEndsThroughTheExceptionPathAndKeepsThePackage) {
    const std::wstring target = FreshTempDir(L"pipeline-" + TestName());
    const std::string archive = BuildZip({{"first.txt", "1"}, {"bad\xC3\x28name.txt", "2"}, {"third.txt", "3"}});
    WriteFileBytes(target + L"\\payload.zip", archive);
    const PipelineRun run = RunWorker(LocalInstall(target));
    EXPECT_TRUE(run.failed);
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(run.error, L"Непредвиденное исключение при установке: invalid UTF-8 in archive entry name");
    EXPECT_EQ(ReadFileBytes(target + L"\\first.txt"), "1");
    EXPECT_FALSE(PathExists(target + L"\\third.txt"));
    EXPECT_EQ(ReadFileBytes(target + L"\\payload.zip"), archive);
}

TEST(Pipeline, SecondRunOverwritesTheInstalledFiles) {
    const std::wstring target = FreshTempDir(L"pipeline-" + TestName());
    WriteFileBytes(target + L"\\payload.zip", BuildZip({{"ZENKA.exe", "version 1"}}));
    ASSERT_TRUE(RunWorker(LocalInstall(target)).finished);
    WriteFileBytes(target + L"\\payload.zip", BuildZip({{"ZENKA.exe", "version 2"}}));
    ASSERT_TRUE(RunWorker(LocalInstall(target)).finished);
    EXPECT_EQ(ReadFileBytes(target + L"\\ZENKA.exe"), "version 2");
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
