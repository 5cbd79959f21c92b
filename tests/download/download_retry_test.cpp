// Reconnecting: transfers that break off, a server that is not there, the network-error box with
// its two answers, and a download process killed midway and started again.
#include "download/download_run.h"
#include "download/test_servers.h"
#include "install/checksum.h"
#include "support/box_answerer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

const wchar_t* const BOX_CAPTION = L"ZENKA Setup - Ошибка сети";
const wchar_t* const LOST_STATUS = L"Связь с сервером прервана...";

class Reconnect : public ::testing::Test {
protected:
    void SetUp() override { ResetDownloadTestState(); }
    void TearDown() override { ResetDownloadTestState(); }
};

std::wstring Notice(int attempt) {
    return L"Восстановление подключения (попытка " + std::to_wstring(attempt) + L" из 5)...";
}

} // namespace

TEST_F(Reconnect, BrokenTransferWaitsTwoSecondsAndContinuesTheOpenFile) {
    const std::wstring partial = FreshWorkDir("break-75") + L"\\payload.zip.downloading";
    // The first answer stops at three quarters of the 4 MiB file; the real 2-second pause follows.
    const std::wstring url = SetScenario(
        "break-75", "{\"file\":\"" + SmallFileUnixPath() + "\",\"responses\":[{\"break_after\":3145728},{}]}");
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(SameContents(partial, WindowsPath(SmallFileUnixPath())));
    EXPECT_TRUE(run.SawDetail(Notice(1), 750));

    const std::vector<LoggedRequest> log = FaultLog("break-75");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].range, "-");
    EXPECT_EQ(log[1].range, "bytes=3145728-");
    EXPECT_GE(log[1].elapsedMs - log[0].elapsedMs, 2000);
    EXPECT_EQ(run.Count(WM_FATAL_ERROR), 0);
    // The console lines of the first response are not repeated after the reconnect.
    EXPECT_EQ(run.final.logLines.size(), 3u);
}

TEST_F(Reconnect, NoServerFivePausedNoticesThenTheBoxRetryThenCancel) {
    const std::wstring partial = FreshWorkDir("no-server-seam") + L"\\payload.zip.downloading";
    WriteFileBytes(partial, "kept");
    InstallInstantSeams();
    Seams().answers = {true, false}; // Retry once, then Cancel
    const ObservedDownload run = ObserveDownload(DeadUrl(), partial);

    EXPECT_EQ(run.result, DownloadResult::Abandoned);
    ASSERT_EQ(Seams().pauses.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(Seams().pauses[i].statusText, LOST_STATUS);
        EXPECT_EQ(Seams().pauses[i].detailText, Notice(static_cast<int>(i % 5) + 1)) << i;
    }
    // The box after five pauses (the sixth failure); Retry starts the next series with a request
    // at once, so the second box again comes after exactly five more.
    EXPECT_EQ(Seams().boxesAfterPauses, (std::vector<size_t>{5, 10}));
    EXPECT_EQ(run.Count(WM_CLOSE_REQUEST), 1);
    EXPECT_EQ(run.Count(WM_FATAL_ERROR), 0);
    EXPECT_TRUE(run.errorText.empty());
    EXPECT_EQ(ReadFileBytes(partial), "kept");
}

TEST_F(Reconnect, NoServerRealPausesAndTheRealBoxCancelled) {
    const std::wstring partial = FreshWorkDir("no-server-real") + L"\\payload.zip.downloading";
    WriteFileBytes(partial, "kept");
    BoxAnswerer answerer(BOX_CAPTION, IDCANCEL);
    const ObservedDownload run = ObserveDownload(DeadUrl(), partial);

    EXPECT_EQ(run.result, DownloadResult::Abandoned);
    const std::vector<AnsweredBox> boxes = answerer.Finish();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              L"Соединение с сервером прервано. Проверьте подключение к интернету.\n\n"
              L"Нажмите «Повтор», чтобы продолжить загрузку, или «Отмена», чтобы завершить установку "
              L"(прогресс загрузки сохранится).");
    EXPECT_GE(run.seconds, 10.0); // five real pauses of 2 seconds
    for (int attempt = 1; attempt <= 5; ++attempt) EXPECT_TRUE(run.SawDetail(Notice(attempt), 0)) << attempt;
    EXPECT_EQ(run.Count(WM_CLOSE_REQUEST), 1);
    EXPECT_EQ(ReadFileBytes(partial), "kept");
}

TEST_F(Reconnect, RealBoxRetryTriesAgainAtOnce) {
    const std::wstring partial = FreshWorkDir("box-retry") + L"\\payload.zip.downloading";
    InstallInstantPause();
    BoxAnswerer answerer(BOX_CAPTION, {IDRETRY, IDCANCEL});
    const ObservedDownload run = ObserveDownload(DeadUrl(), partial);
    EXPECT_EQ(run.result, DownloadResult::Abandoned);
    EXPECT_EQ(answerer.Finish().size(), 2u);
    EXPECT_EQ(Seams().pauses.size(), 10u);
    EXPECT_EQ(run.Count(WM_CLOSE_REQUEST), 1);
    EXPECT_FALSE(PathExists(partial)); // nothing was ever received, and Cancel creates nothing
}

TEST_F(Reconnect, KilledDownloadResumesFromTheFileSizeInTheNextProcess) {
    const std::wstring partial = FreshWorkDir("killed") + L"\\payload.zip.downloading";
    // Slow enough (about 2.5 MB/s) to be caught midway.
    const std::wstring url = SetScenario("killed", "{\"file\":\"" + SmallFileUnixPath() +
                                                       "\",\"responses\":[{\"chunk\":65536,\"delay\":0.025}]}");
    std::wstring commandLine = L"\"" + WindowsPath(DOWNLOAD_DRIVER) + L"\" \"" + url + L"\" \"" + partial + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (FileSizeOf(partial) < (1u << 20) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hThread, INFINITE);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    const uint64_t kept = FileSizeOf(partial);
    ASSERT_GE(kept, 1u << 20);
    ASSERT_LT(kept, 4u << 20);

    SetScenario("killed", "{\"file\":\"" + SmallFileUnixPath() + "\"}");
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    const std::vector<LoggedRequest> log = FaultLog("killed");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].range, "bytes=" + std::to_string(kept) + "-");
    EXPECT_EQ(ComputeFileSha256(partial), ComputeFileSha256(WindowsPath(SmallFileUnixPath())));
    EXPECT_TRUE(SameContents(partial, WindowsPath(SmallFileUnixPath())));
}

TEST_F(Reconnect, BodyStalledPastTheReceiveTimeoutIsALostConnection) {
    const std::wstring partial = FreshWorkDir("body-stall") + L"\\payload.zip.downloading";
    InstallInstantSeams();
    // One megabyte, then silence longer than the 15-second receive time-out.
    const std::wstring url = SetScenario(
        "body-stall", "{\"file\":\"" + SmallFileUnixPath() + "\",\"responses\":[{\"stall_after\":[1048576,25]},{}]}");
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(SameContents(partial, WindowsPath(SmallFileUnixPath())));
    ASSERT_EQ(Seams().pauses.size(), 1u);
    EXPECT_EQ(Seams().pauses[0].detailText, Notice(1));
    EXPECT_EQ(Seams().pauses[0].progress, 250);
    const std::vector<LoggedRequest> log = FaultLog("body-stall");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].range, "bytes=1048576-");
    EXPECT_GE(log[1].elapsedMs, 14000);
    EXPECT_LT(log[1].elapsedMs, 24000);
}

TEST_F(Reconnect, AfterABrokenTransferTheBoxComesAfterFiveMoreFailures) {
    const std::wstring partial = FreshWorkDir("break-then-drop") + L"\\payload.zip.downloading";
    InstallInstantSeams();
    // One broken body, then a server that hangs up on every request without an answer.
    const std::wstring url = SetScenario(
        "break-then-drop", "{\"file\":\"" + SmallFileUnixPath() + "\",\"responses\":[{\"break_after\":1048576},{\"drop\":true}]}");
    const ObservedDownload run = ObserveDownload(url, partial);
    EXPECT_EQ(run.result, DownloadResult::Abandoned);
    ASSERT_EQ(Seams().pauses.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Seams().pauses[i].detailText, Notice(static_cast<int>(i) + 1)) << i;
        EXPECT_EQ(Seams().pauses[i].progress, 250) << i; // the bar stays where the transfer broke
    }
    EXPECT_EQ(Seams().boxesAfterPauses, (std::vector<size_t>{5}));
    EXPECT_EQ(FaultLog("break-then-drop").size(), 6u);
    EXPECT_EQ(FileSizeOf(partial), 1u << 20); // kept for the next run
}

TEST_F(Reconnect, AnswersThatBringNothingNewEndInABoxAndKeepThePartialFile) {
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    const std::string overstated = std::to_string(source.size() + 4096);
    struct Case {
        const char* key;
        std::string earlier; // the partial file before the run, and after it
        std::string steps;   // the scenario's answers, the last repeating
        std::wstring fatal;  // the error box's text before the URL; empty: the network box
        size_t requests;
    };
    const Case cases[] = {
        // Every ranged request gets a 206 and then the connection closes before the first body byte.
        {"no-byte-206", source.substr(0, 3145728), "{\"break_after\":0}", L"", 6},
        // A length 4 KiB over the file's: the body falls short, the resume gets 416, the whole file
        // comes again and falls short again. Fetched again, it is no progress.
        {"overstated-416", source, "{\"length\":" + overstated + "}", L"", 12},
        {"redirect-loop", "earlier bytes", "{\"status\":302,\"location\":\"/f/redirect-loop\"}",
         L"Сервер перенаправляет запрос по кругу или слишком много раз: ", 11},
        {"empty-200", "earlier bytes", "{\"status\":200,\"empty\":true}", L"Сервер вернул пустой файл: ", 1},
    };
    for (const Case& c : cases) {
        ResetDownloadTestState();
        InstallInstantSeams();
        const std::wstring partial = FreshWorkDir(c.key) + L"\\payload.zip.downloading";
        WriteFileBytes(partial, c.earlier);
        const std::wstring url =
            SetScenario(c.key, "{\"file\":\"" + SmallFileUnixPath() + "\",\"responses\":[" + c.steps + "]}");
        const ObservedDownload run = ObserveDownload(url, partial);
        if (c.fatal.empty()) {
            EXPECT_EQ(run.result, DownloadResult::Abandoned) << c.key;
            ASSERT_EQ(Seams().pauses.size(), 5u) << c.key;
            for (size_t i = 0; i < 5; ++i)
                EXPECT_EQ(Seams().pauses[i].detailText, Notice(static_cast<int>(i) + 1)) << c.key << i;
            EXPECT_EQ(Seams().boxesAfterPauses, (std::vector<size_t>{5})) << c.key;
        } else {
            EXPECT_EQ(run.result, DownloadResult::Failed) << c.key;
            EXPECT_EQ(run.errorText, c.fatal + url) << c.key;
            EXPECT_EQ(run.Count(WM_FATAL_ERROR), 1) << c.key;
            EXPECT_TRUE(Seams().pauses.empty() && Seams().boxesAfterPauses.empty()) << c.key;
        }
        EXPECT_EQ(FaultLog(c.key).size(), c.requests) << c.key;
        EXPECT_TRUE(ReadFileBytes(partial) == c.earlier) << c.key;
    }
}
