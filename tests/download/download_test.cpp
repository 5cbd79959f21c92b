// Whole downloads against nginx and the fault server: resuming, restarting, sizes, reports and
// the fatal answers.
#include "download/download_run.h"
#include "download/test_servers.h"
#include "install/checksum.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

const wchar_t* const CONNECTED_LINE = L"[OK] Соединение установлено (HTTP Range-streaming активен)";
const wchar_t* const LOADING_LINE = L"[..] Загрузка компонентов дистрибутива ZENKA...";
const wchar_t* const DONE_LINE = L"[OK] Загрузка дистрибутива завершена успешно";

class Download : public ::testing::Test {
protected:
    void SetUp() override { ResetDownloadTestState(); }
    void TearDown() override { ResetDownloadTestState(); }
};

std::string FileScenario(const std::string& unixPath, const std::string& responses) {
    return "{\"file\":\"" + unixPath + "\",\"responses\":[" + responses + "]}";
}

} // namespace

TEST_F(Download, FetchesThePackageFromNginxWithTheRightDigest) {
    const std::wstring partial = FreshWorkDir("nginx-whole") + L"\\payload.zip.downloading";
    const ObservedDownload run = ObserveDownload(PackageUrl(), partial);
    ASSERT_EQ(run.result, DownloadResult::Completed) << std::string(run.errorText.begin(), run.errorText.end());
    EXPECT_EQ(ComputeFileSha256(partial), PackageDigest());
    EXPECT_EQ(run.final.logLines, (std::deque<std::wstring>{CONNECTED_LINE, LOADING_LINE, DONE_LINE}));
    EXPECT_EQ(run.Count(WM_FATAL_ERROR), 0);
    EXPECT_EQ(run.Count(WM_CLOSE_REQUEST), 0);
    // The first state is the connecting notice at 10 thousandths; reports never go backwards.
    ASSERT_FALSE(run.states.empty());
    int last = 0;
    for (const ProgressSnapshot& state : run.states) {
        if (state.statusText != L"Загрузка компонентов ZENKA...") continue;
        EXPECT_GE(state.progress, last);
        last = state.progress;
    }
}

TEST_F(Download, ResumesA40MiBPartialFileFromNginx) {
    const std::wstring partial = FreshWorkDir("nginx-resume") + L"\\payload.zip.downloading";
    const std::string package = ReadWholeFile(WindowsPath(PackageUnixPath()));
    WriteWholeFile(partial, package.substr(0, 40u << 20));
    InstallInstantSeams();

    const ObservedDownload run = ObserveDownload(PackageUrl(), partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_EQ(FileSizeOf(partial), package.size());
    EXPECT_EQ(ComputeFileSha256(partial), PackageDigest());
    EXPECT_TRUE(Seams().pauses.empty());

    bool sawRange = false;
    for (const LoggedRequest& request : NginxLog("/releases/stable/ZENKA-latest-full.zip")) {
        if (request.range == "bytes=41943040-") {
            sawRange = true;
            EXPECT_EQ(request.status, 206);
            EXPECT_EQ(request.agent, "ZENKA-Bootstrapper/1.0");
        }
    }
    EXPECT_TRUE(sawRange);
    // The bar starts where the partial file stood: no report below 40/48 of the package.
    for (const ProgressSnapshot& state : run.states) {
        if (state.statusText == L"Загрузка компонентов ZENKA...") {
            EXPECT_GE(state.progress, 833);
        }
    }
}

TEST_F(Download, ContinuesAtTheRequestedOffsetAndSizesAddUp) {
    const std::wstring partial = FreshWorkDir("fault-resume") + L"\\payload.zip.downloading";
    const std::string source = ReadWholeFile(WindowsPath(SmallFileUnixPath()));
    WriteWholeFile(partial, source.substr(0, 1000000));
    // Trickled, so that reports show the size: the 206's length plus the offset.
    const std::wstring url = SetScenario("resume", FileScenario(SmallFileUnixPath(), "{\"chunk\":262144,\"delay\":0.05}"));
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(ReadWholeFile(partial) == source);
    const std::vector<LoggedRequest> log = FaultLog("resume");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].range, "bytes=1000000-");
    bool sawTotal = false;
    for (const ProgressSnapshot& state : run.states)
        sawTotal = sawTotal || state.detailText.find(L" / 4.0 МБ)") != std::wstring::npos;
    EXPECT_TRUE(sawTotal);
}

TEST_F(Download, ServerIgnoringTheRangeStartsTheFileAgain) {
    const std::wstring partial = FreshWorkDir("ignore-range") + L"\\payload.zip.downloading";
    WriteWholeFile(partial, std::string(3000000, 'x')); // not a prefix of the package
    InstallInstantSeams();
    const std::wstring url = SetScenario("ignore-range", FileScenario(SmallFileUnixPath(), "{\"ignore_range\":true}"));
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(SameContents(partial, WindowsPath(SmallFileUnixPath())));
    const std::vector<LoggedRequest> log = FaultLog("ignore-range");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].range, "bytes=3000000-");
}

TEST_F(Download, WholePartialFileGets416AndIsFetchedAgainAtOnce) {
    const std::wstring partial = FreshWorkDir("whole-416") + L"\\payload.zip.downloading";
    const std::string source = ReadWholeFile(WindowsPath(SmallFileUnixPath()));
    WriteWholeFile(partial, source);
    InstallInstantSeams();
    const std::wstring url = SetScenario("whole-416", FileScenario(SmallFileUnixPath(), ""));
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(ReadWholeFile(partial) == source);
    EXPECT_TRUE(Seams().pauses.empty());
    const std::vector<LoggedRequest> log = FaultLog("whole-416");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].range, "bytes=4194304-");
    EXPECT_EQ(log[1].range, "-");
}

TEST_F(Download, EndlessRestartsWithoutDataEndInAnHttpError) {
    InstallInstantSeams();
    {
        // A server that answers 416 to everything, even to a request for the whole file.
        const std::wstring partial = FreshWorkDir("always-416") + L"\\payload.zip.downloading";
        WriteWholeFile(partial, "abc");
        const std::wstring url = SetScenario("always-416", "{\"responses\":[{\"status\":416}]}");
        const ObservedDownload run = ObserveDownload(url, partial);
        EXPECT_EQ(run.result, DownloadResult::Failed);
        EXPECT_EQ(run.errorText, L"Сервер вернул код ошибки HTTP: 416");
        EXPECT_EQ(run.Count(WM_FATAL_ERROR), 1);
        EXPECT_EQ(FaultLog("always-416").size(), 4u); // the first answer and three restarts
    }
    {
        // A 206 whose partial file can never be opened (a directory stands in its place).
        const std::wstring dir = FreshWorkDir("blocked-206");
        const std::wstring partial = dir + L"\\payload.zip.downloading";
        CreateDirectoryW(partial.c_str(), nullptr);
        const std::wstring url = SetScenario("blocked-206", FileScenario(SmallFileUnixPath(), "{\"status\":206}"));
        const ObservedDownload run = ObserveDownload(url, partial);
        EXPECT_EQ(run.result, DownloadResult::Failed);
        EXPECT_EQ(run.errorText, L"Сервер вернул код ошибки HTTP: 206");
        EXPECT_EQ(FaultLog("blocked-206").size(), 4u);
    }
    EXPECT_TRUE(Seams().pauses.empty());
}

TEST_F(Download, RangeAnswerBeyondTheKnownSizeStartsAgainAtOnce) {
    const std::wstring partial = FreshWorkDir("beyond-206") + L"\\payload.zip.downloading";
    WriteWholeFile(partial, std::string(1000, 'x'));
    InstallInstantSeams();
    // A length that makes offset + length wrap below the offset: the file cannot be continued.
    const std::wstring url = SetScenario(
        "beyond-206", FileScenario(SmallFileUnixPath(), "{\"status\":206,\"length\":18446744073709551615,\"empty\":true},{}"));
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(SameContents(partial, WindowsPath(SmallFileUnixPath())));
    EXPECT_TRUE(Seams().pauses.empty());
    const std::vector<LoggedRequest> log = FaultLog("beyond-206");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].range, "bytes=1000-");
    EXPECT_EQ(log[1].range, "-");
}

TEST_F(Download, PartialFileThatCannotBeCreatedIsFatal) {
    const std::wstring partial = FreshWorkDir("cannot-create") + L"\\payload.zip.downloading";
    CreateDirectoryW(partial.c_str(), nullptr); // neither deletable as a file nor creatable
    const std::wstring url = SetScenario("cannot-create", FileScenario(SmallFileUnixPath(), ""));
    const ObservedDownload run = ObserveDownload(url, partial);
    EXPECT_EQ(run.result, DownloadResult::Failed);
    EXPECT_EQ(run.errorText, L"Не удалось создать файл для записи: " + partial);
    EXPECT_EQ(run.Count(WM_FATAL_ERROR), 1);
}

TEST_F(Download, WithoutContentLengthAnyBodyCompletesAndAnEmptyOneIsLost) {
    const std::wstring partial = FreshWorkDir("no-length") + L"\\payload.zip.downloading";
    InstallInstantSeams();
    const std::wstring url = SetScenario(
        "no-length", FileScenario(SmallFileUnixPath(), "{\"no_length\":true,\"empty\":true},"
                                                       "{\"no_length\":true,\"chunk\":262144,\"delay\":0.05}"));
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(SameContents(partial, WindowsPath(SmallFileUnixPath())));

    ASSERT_EQ(Seams().pauses.size(), 1u); // the empty body
    EXPECT_EQ(Seams().pauses[0].detailText, L"Восстановление подключения (попытка 1 из 5)...");
    int reports = 0;
    for (const ProgressSnapshot& state : run.states) {
        if (state.statusText != L"Загрузка компонентов ZENKA...") continue;
        ++reports;
        EXPECT_EQ(state.progress, 0);
        EXPECT_EQ(state.detailText.find(L'%'), std::wstring::npos) << std::string(state.detailText.begin(), state.detailText.end());
        EXPECT_EQ(state.detailText.find(L" / "), std::wstring::npos);
        EXPECT_NE(state.detailText.find(L"Б \u2014 "), std::wstring::npos);
        EXPECT_EQ(state.detailText.substr(state.detailText.size() - 5), L" МБ/с");
    }
    EXPECT_GT(reports, 0);
}

TEST_F(Download, HttpErrorsAreFatalAndKeepTheEarlierPartialFile) {
    for (const int status : {404, 500}) {
        const std::string key = "error-" + std::to_string(status);
        const std::wstring partial = FreshWorkDir(key) + L"\\payload.zip.downloading";
        WriteWholeFile(partial, "earlier bytes");
        const std::wstring url = SetScenario(key, "{\"responses\":[{\"status\":" + std::to_string(status) + "}]}");
        const ObservedDownload run = ObserveDownload(url, partial);
        EXPECT_EQ(run.result, DownloadResult::Failed);
        EXPECT_EQ(run.errorText, L"Сервер вернул код ошибки HTTP: " + std::to_wstring(status));
        EXPECT_EQ(run.Count(WM_FATAL_ERROR), 1);
        EXPECT_EQ(ReadWholeFile(partial), "earlier bytes");
        EXPECT_EQ(FaultLog(key).size(), 1u);
    }
}

TEST_F(Download, ReportsAreAtLeast120MsApartAndAShortBodyGivesNone) {
    {
        const std::wstring partial = FreshWorkDir("reports") + L"\\payload.zip.downloading";
        // About 1.3 seconds of body in chunks far smaller and more frequent than the interval.
        const std::wstring url = SetScenario("reports", FileScenario(SmallFileUnixPath(), "{\"chunk\":65536,\"delay\":0.02}"));
        const ObservedDownload run = ObserveDownload(url, partial);
        ASSERT_EQ(run.result, DownloadResult::Completed);
        // Posted in order: connecting, two console lines, the reports, the success line.
        ASSERT_GE(run.posted.size(), 7u);
        const size_t firstReport = 3;
        const size_t lastReport = run.posted.size() - 2;
        for (size_t i = firstReport + 1; i <= lastReport; ++i) {
            EXPECT_GE(run.posted[i].time - run.posted[i - 1].time, 118u) << "report " << i;
        }
    }
    {
        const std::wstring partial = FreshWorkDir("no-reports") + L"\\payload.zip.downloading";
        WriteWholeFile(partial, ReadWholeFile(WindowsPath(SmallFileUnixPath())).substr(0, (4u << 20) - 2000));
        const std::wstring url = SetScenario("no-reports", FileScenario(SmallFileUnixPath(), ""));
        const ObservedDownload run = ObserveDownload(url, partial);
        ASSERT_EQ(run.result, DownloadResult::Completed);
        EXPECT_EQ(run.posted.size(), 4u);
        EXPECT_EQ(run.final.detailText, L"Инициализация WinHTTP соединения...");
        EXPECT_EQ(run.final.progress, 10);
    }
}

TEST_F(Download, BadUrlIsFatalAndLeavesThePartialFile) {
    const std::wstring partial = FreshWorkDir("bad-url") + L"\\payload.zip.downloading";
    WriteWholeFile(partial, "kept");
    const ObservedDownload run = ObserveDownload(L"ftp://127.0.0.1/x.zip", partial);
    EXPECT_EQ(run.result, DownloadResult::Failed);
    EXPECT_EQ(run.errorText, L"Некорректный URL загрузки: ftp://127.0.0.1/x.zip");
    EXPECT_EQ(ReadWholeFile(partial), "kept");
}
