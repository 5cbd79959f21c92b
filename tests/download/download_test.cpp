// Whole downloads against nginx and the fault server: resuming, restarting, sizes, reports and
// the fatal answers.
#include "download/download_run.h"
#include "download/test_servers.h"
#include "install/checksum.h"
#include "install/paths.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

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

const char* const SOME_DATE = "Tue, 04 Jun 2024 10:00:00 GMT";

struct ResumeSeen {
    std::string ifRange;       // of the request that continued the file ("-": none)
    std::string validatorFile; // beside the finished partial file ("": none)
};

// A download of the 4 MiB file whose first answer breaks off after 1 MiB, from a server that sends
// the scenario members `validators` with every answer. Checks that the second request continued the
// file with a 206 and the result is whole.
ResumeSeen ResumeAfterABreak(const std::string& key, const std::string& validators) {
    const std::wstring partial = FreshWorkDir(key) + L"\\payload.zip.downloading";
    InstallInstantSeams();
    const std::string more = validators.empty() ? "" : "," + validators;
    const std::wstring url = SetScenario(
        key, FileScenario(SmallFileUnixPath(), "{\"break_after\":1048576" + more + "},{" + validators + "}"));
    const ObservedDownload run = ObserveDownload(url, partial);
    EXPECT_EQ(run.result, DownloadResult::Completed) << key;
    EXPECT_TRUE(SameContents(partial, WindowsPath(SmallFileUnixPath()))) << key;
    const std::vector<LoggedRequest> log = FaultLog(key);
    if (log.size() != 2u) {
        ADD_FAILURE() << key << ": " << log.size() << " requests";
        return ResumeSeen{};
    }
    EXPECT_EQ(log[0].ifRange, "-") << key;
    EXPECT_EQ(log[1].range, "bytes=1048576-") << key;
    EXPECT_EQ(log[1].status, 206) << key;
    return ResumeSeen{log[1].ifRange, ValidatorFileText(partial)};
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
    const std::string package = ReadFileBytes(WindowsPath(PackageUnixPath()));
    WriteFileBytes(partial, package.substr(0, 40u << 20));
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
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    WriteFileBytes(partial, source.substr(0, 1000000));
    // Trickled, so that reports show the size: the 206's length plus the offset.
    const std::wstring url = SetScenario("resume", FileScenario(SmallFileUnixPath(), "{\"chunk\":262144,\"delay\":0.05}"));
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(ReadFileBytes(partial) == source);
    const std::vector<LoggedRequest> log = FaultLog("resume");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].range, "bytes=1000000-");
    bool sawTotal = false;
    for (const ProgressSnapshot& state : run.states)
        sawTotal = sawTotal || state.detailText.find(L" / 4.0 МБ)") != std::wstring::npos;
    EXPECT_TRUE(sawTotal);
}

TEST_F(Download, APartialFileLinkedToAnotherFileIsReplacedNeverWrittenThrough) {
    // An ordinary user may write in the installation folder and hard-link the partial file's name to
    // a file of the system; the elevated setup must not append to or truncate that file.
    const std::wstring dir = FreshWorkDir("hard-link");
    const std::wstring partial = dir + L"\\payload.zip.downloading";
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    WriteFileBytes(dir + L"\\system.dat", source.substr(0, 1000000));
    ASSERT_TRUE(CreateHardLinkW(partial.c_str(), (dir + L"\\system.dat").c_str(), nullptr));
    InstallInstantSeams();
    const std::wstring url = SetScenario("hard-link", FileScenario(SmallFileUnixPath(), "{}"));
    ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed);
    EXPECT_TRUE(ReadFileBytes(partial) == source);
    EXPECT_TRUE(ReadFileBytes(dir + L"\\system.dat") == source.substr(0, 1000000));
}

TEST_F(Download, ServerIgnoringTheRangeStartsTheFileAgain) {
    const std::wstring partial = FreshWorkDir("ignore-range") + L"\\payload.zip.downloading";
    WriteFileBytes(partial, std::string(3000000, 'x')); // not a prefix of the package
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
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    WriteFileBytes(partial, source);
    InstallInstantSeams();
    const std::wstring url = SetScenario("whole-416", FileScenario(SmallFileUnixPath(), ""));
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(ReadFileBytes(partial) == source);
    EXPECT_TRUE(Seams().pauses.empty());
    const std::vector<LoggedRequest> log = FaultLog("whole-416");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].range, "bytes=4194304-");
    EXPECT_EQ(log[1].range, "-");

    // The same under the file's own validator; the validator goes with the file it spoke for (the
    // second answer carries none, so none may be left).
    WriteFileBytes(partial, source);
    WriteValidatorFile(partial, "\"v1\"");
    SetScenario("whole-416", FileScenario(SmallFileUnixPath(), "{\"etag\":\"\\\"v1\\\"\"},{}"));
    ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed);
    const std::vector<LoggedRequest> again = FaultLog("whole-416");
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].ifRange, "\"v1\"");
    EXPECT_EQ(again[0].status, 416);
    EXPECT_TRUE(ReadFileBytes(partial) == source);
    EXPECT_FALSE(PathExists(ValidatorPath(partial)));
}

TEST_F(Download, EndlessRestartsWithoutDataEndInAnHttpError) {
    InstallInstantSeams();
    {
        // A server that answers 416 to everything, even to a request for the whole file.
        const std::wstring partial = FreshWorkDir("always-416") + L"\\payload.zip.downloading";
        WriteFileBytes(partial, "abc");
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
    WriteFileBytes(partial, std::string(1000, 'x'));
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
        WriteFileBytes(partial, "earlier bytes");
        const std::wstring url = SetScenario(key, "{\"responses\":[{\"status\":" + std::to_string(status) + "}]}");
        const ObservedDownload run = ObserveDownload(url, partial);
        EXPECT_EQ(run.result, DownloadResult::Failed);
        EXPECT_EQ(run.errorText, L"Сервер вернул код ошибки HTTP: " + std::to_wstring(status));
        EXPECT_EQ(run.Count(WM_FATAL_ERROR), 1);
        EXPECT_EQ(ReadFileBytes(partial), "earlier bytes");
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
        WriteFileBytes(partial, ReadFileBytes(WindowsPath(SmallFileUnixPath())).substr(0, (4u << 20) - 2000));
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
    WriteFileBytes(partial, "kept");
    const ObservedDownload run = ObserveDownload(L"ftp://127.0.0.1/x.zip", partial);
    EXPECT_EQ(run.result, DownloadResult::Failed);
    EXPECT_EQ(run.errorText, L"Некорректный URL загрузки: ftp://127.0.0.1/x.zip");
    EXPECT_EQ(ReadFileBytes(partial), "kept");
}

TEST_F(Download, StrongEtagIsSentBackAsIfRangeAndAnotherFileComesWhole) {
    const ResumeSeen seen = ResumeAfterABreak("etag", "\"etag\":\"\\\"v1\\\"\",\"last_modified\":\"" +
                                                          std::string(SOME_DATE) + "\"");
    EXPECT_EQ(seen.ifRange, "\"v1\"");
    EXPECT_EQ(seen.validatorFile, "\"v1\"");

    // A partial file of an earlier release under its validator, and a new release at the address.
    const std::wstring partial = FreshWorkDir("etag-changed") + L"\\payload.zip.downloading";
    WriteFileBytes(partial, std::string(1000000, 'x'));
    WriteValidatorFile(partial, "\"v0\"");
    const std::wstring url = SetScenario("etag-changed", FileScenario(SmallFileUnixPath(), "{\"etag\":\"\\\"v1\\\"\"}"));
    ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed);
    const std::vector<LoggedRequest> log = FaultLog("etag-changed");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].range, "bytes=1000000-");
    EXPECT_EQ(log[0].ifRange, "\"v0\"");
    EXPECT_EQ(log[0].status, 200);
    EXPECT_TRUE(SameContents(partial, WindowsPath(SmallFileUnixPath())));
    EXPECT_EQ(ValidatorFileText(partial), "\"v1\"");
}

TEST_F(Download, OnlyLastModifiedIsSentBackAsIfRange) {
    const ResumeSeen seen = ResumeAfterABreak("last-modified", "\"last_modified\":\"" + std::string(SOME_DATE) + "\"");
    EXPECT_EQ(seen.ifRange, SOME_DATE);
    EXPECT_EQ(seen.validatorFile, SOME_DATE);
}

TEST_F(Download, WeakEtagIsRememberedButNeitherItNorADateIsSentAsIfRange) {
    // HTTP takes no weak tag in If-Range, and no date there from a server that sends an ETag.
    const ResumeSeen withDate = ResumeAfterABreak(
        "weak-and-date", "\"etag\":\"W/\\\"v1\\\"\",\"last_modified\":\"" + std::string(SOME_DATE) + "\"");
    EXPECT_EQ(withDate.ifRange, "-");
    EXPECT_EQ(withDate.validatorFile, "W/\"v1\"");
    const ResumeSeen alone = ResumeAfterABreak("weak-alone", "\"etag\":\"W/\\\"v1\\\"\"");
    EXPECT_EQ(alone.ifRange, "-");
    EXPECT_EQ(alone.validatorFile, "W/\"v1\"");
}

TEST_F(Download, RangeOfAnotherValidatorStartsAgain) {
    // A new release of the same size at the address, answered with a piece of it: only the 206's
    // own validator tells it from the file the partial one was started from.
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    const std::string newer = FixtureDir() + "/work/same-size.bin";
    WriteFileBytes(WindowsPath(newer), source.substr(1u << 20) + source.substr(0, 1u << 20));
    const std::string later = "Wed, 05 Jun 2024 10:00:00 GMT";
    struct Case {
        const char* key;
        std::string remembered;
        std::string step; // the scenario's answer, from the newer file
    };
    const Case cases[] = {
        {"other-weak", "W/\"v0\"", "\"etag\":\"W/\\\"v1\\\"\""},
        {"other-strong", "\"v0\"", "\"etag\":\"\\\"v1\\\"\",\"ignore_if_range\":true"},
        {"other-date", SOME_DATE, "\"last_modified\":\"" + later + "\",\"ignore_if_range\":true"},
    };
    InstallInstantSeams();
    for (const Case& c : cases) {
        const std::wstring partial = FreshWorkDir(c.key) + L"\\payload.zip.downloading";
        WriteFileBytes(partial, source.substr(0, 1000000));
        WriteValidatorFile(partial, c.remembered);
        const std::wstring url = SetScenario(c.key, "{\"file\":\"" + newer + "\",\"responses\":[{" + c.step + "}]}");
        ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed) << c.key;
        EXPECT_TRUE(SameContents(partial, WindowsPath(newer))) << c.key;
        const std::vector<LoggedRequest> log = FaultLog(c.key);
        ASSERT_EQ(log.size(), 2u) << c.key;
        EXPECT_EQ(log[0].range, "bytes=1000000-") << c.key;
        EXPECT_EQ(log[0].status, 206) << c.key;
        EXPECT_EQ(log[1].range, "-") << c.key;
        EXPECT_EQ(log[1].status, 200) << c.key;
    }
    EXPECT_TRUE(Seams().pauses.empty());
}

TEST_F(Download, RangeFromAnotherByteIsNeverWritten) {
    // The first answer breaks off at 2 MiB; the reconnect gets a 206 that starts elsewhere: the
    // whole file, an earlier byte, a later one. The partial file starts again, whole and exact.
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    InstallInstantSeams();
    for (const int from : {0, 1048576, 3145728}) {
        const std::string key = "range-from-" + std::to_string(from);
        const std::wstring partial = FreshWorkDir(key) + L"\\payload.zip.downloading";
        const std::wstring url = SetScenario(
            key, FileScenario(SmallFileUnixPath(), "{\"break_after\":2097152},{\"range_from\":" + std::to_string(from) + "},{}"));
        ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed) << key;
        EXPECT_TRUE(ReadFileBytes(partial) == source) << key;
        const std::vector<LoggedRequest> log = FaultLog(key);
        ASSERT_EQ(log.size(), 3u) << key;
        EXPECT_EQ(log[1].range, "bytes=2097152-") << key;
        EXPECT_EQ(log[1].status, 206) << key;
        EXPECT_EQ(log[2].range, "-") << key;
    }
}

TEST_F(Download, RangeWithoutContentLengthResumesWithTheSizeOfItsContentRange) {
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    InstallInstantSeams();
    for (const std::string framing : {"chunked", "no_length"}) {
        const std::string key = "unsized-206-" + framing;
        const std::wstring partial = FreshWorkDir(key) + L"\\payload.zip.downloading";
        WriteFileBytes(partial, source.substr(0, 3145728)); // left by an earlier run
        // Trickled, so that reports show the size the range named.
        const std::wstring url = SetScenario(
            key, FileScenario(SmallFileUnixPath(), "{\"" + framing + "\":true,\"chunk\":131072,\"delay\":0.05}"));
        const ObservedDownload run = ObserveDownload(url, partial);
        ASSERT_EQ(run.result, DownloadResult::Completed) << key;
        EXPECT_TRUE(ReadFileBytes(partial) == source) << key;
        const std::vector<LoggedRequest> log = FaultLog(key);
        ASSERT_EQ(log.size(), 1u) << key;
        EXPECT_EQ(log[0].range, "bytes=3145728-") << key;
        EXPECT_EQ(log[0].status, 206) << key;
        bool sawTotal = false;
        for (const ProgressSnapshot& state : run.states)
            sawTotal = sawTotal || state.detailText.find(L" / 4.0 МБ)") != std::wstring::npos;
        EXPECT_TRUE(sawTotal) << key;
    }
}

TEST_F(Download, BodyPastTheKnownSizeIsNeverComplete) {
    // A chunked 206 that names the right range but carries bytes past the end of the file.
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    const std::wstring partial = FreshWorkDir("overrun") + L"\\payload.zip.downloading";
    WriteFileBytes(partial, source.substr(0, 3145728));
    InstallInstantSeams();
    const std::wstring url =
        SetScenario("overrun", FileScenario(SmallFileUnixPath(), "{\"chunked\":true,\"extra\":4096},{}"));
    ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed);
    EXPECT_TRUE(ReadFileBytes(partial) == source);
    const std::vector<LoggedRequest> log = FaultLog("overrun");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].range, "bytes=3145728-");
    EXPECT_EQ(log[0].status, 206);
    EXPECT_EQ(log[1].range, "-");
    EXPECT_EQ(log[1].status, 200);
}

TEST_F(Download, WithoutAValidatorTheResumeIsAsBefore) {
    const ResumeSeen none = ResumeAfterABreak("no-validator", "");
    EXPECT_EQ(none.ifRange, "-");
    EXPECT_EQ(none.validatorFile, "");

    // A validator file that is not one (a header smuggled in, far too long, binary) counts as none:
    // the partial file is continued as one left by an older setup.
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    const std::vector<std::string> damaged = {"\"v1\"\r\nX-Injected: 1", std::string(100000, 'a'),
                                              std::string("\"v\0\xff\"", 5)};
    for (size_t i = 0; i < damaged.size(); ++i) {
        const std::string key = "bad-validator-" + std::to_string(i);
        const std::wstring partial = FreshWorkDir(key) + L"\\payload.zip.downloading";
        WriteFileBytes(partial, source.substr(0, 1000000));
        WriteValidatorFile(partial, damaged[i]);
        const std::wstring url = SetScenario(key, FileScenario(SmallFileUnixPath(), "{\"etag\":\"\\\"v1\\\"\"}"));
        ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed) << i;
        const std::vector<LoggedRequest> log = FaultLog(key);
        ASSERT_EQ(log.size(), 1u) << i;
        EXPECT_EQ(log[0].range, "bytes=1000000-") << i;
        EXPECT_EQ(log[0].ifRange, "-") << i;
        EXPECT_EQ(log[0].status, 206) << i;
        EXPECT_TRUE(ReadFileBytes(partial) == source) << i;
    }
}

TEST_F(Download, RangeOfAFileOfAnotherSizeStartsAgainAtOnce) {
    const std::wstring partial = FreshWorkDir("other-size") + L"\\payload.zip.downloading";
    const std::string source = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    const std::string newer = FixtureDir() + "/work/other-size.bin";
    WriteFileBytes(WindowsPath(newer), source.substr(1u << 20) + source); // 7 MiB, other bytes
    InstallInstantSeams();
    // The file is replaced while the first answer breaks off, and the server ignores If-Range.
    const std::wstring url = SetScenario(
        "other-size", FileScenario(SmallFileUnixPath(), "{\"break_after\":1048576,\"etag\":\"\\\"v1\\\"\"},"
                                                         "{\"file\":\"" + newer + "\",\"etag\":\"\\\"v2\\\"\",\"ignore_if_range\":true}"));
    const ObservedDownload run = ObserveDownload(url, partial);
    ASSERT_EQ(run.result, DownloadResult::Completed);
    EXPECT_TRUE(SameContents(partial, WindowsPath(newer)));
    EXPECT_EQ(ValidatorFileText(partial), "\"v2\"");
    EXPECT_EQ(Seams().pauses.size(), 1u); // the break; the restart itself is immediate
    const std::vector<LoggedRequest> log = FaultLog("other-size");
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].range, "bytes=1048576-");
    EXPECT_EQ(log[1].status, 206);
    EXPECT_EQ(log[2].range, "-");
    EXPECT_EQ(log[2].status, 200);
}

TEST_F(Download, NginxSendsTheRestOfTheSameReleaseAndTheWholeOfANewOne) {
    const std::string uri = "/releases/if-range/ZENKA-latest-full.zip";
    const std::wstring served = WindowsPath(FixtureDir() + "/www" + uri);
    const std::string older = ReadFileBytes(WindowsPath(SmallFileUnixPath()));
    const std::string newer = older.substr(1u << 20) + older.substr(0, (1u << 20) + 4096);
    std::filesystem::create_directories(std::filesystem::path(served).parent_path());
    auto publish = [&](const std::string& bytes) { // replaced at once, as a publisher's upload ends
        WriteFileBytes(served + L".tmp", bytes);
        ASSERT_TRUE(MoveFileExW((served + L".tmp").c_str(), served.c_str(), MOVEFILE_REPLACE_EXISTING));
    };
    // The log line of a request is written when nginx has sent the answer, a moment after the
    // client has it all.
    auto lastRequest = [&](size_t count) {
        std::vector<LoggedRequest> log = NginxLog(uri);
        for (int i = 0; i < 100 && log.size() < count; ++i) {
            Sleep(20);
            log = NginxLog(uri);
        }
        return log.size() >= count ? log.back() : LoggedRequest{};
    };
    const size_t before = NginxLog(uri).size();
    publish(older);
    const std::wstring partial = FreshWorkDir("nginx-if-range") + L"\\payload.zip.downloading";
    const std::wstring url = NginxUrl(uri.substr(1));
    ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed);
    const std::string validator = ValidatorFileText(partial);
    ASSERT_EQ(validator.substr(0, 1), "\""); // nginx's strong ETag
    EXPECT_EQ(lastRequest(before + 1).ifRange, "-");

    // What a download killed at 1.5 MiB leaves: the start of the file and its validator.
    const uint64_t kept = 3u << 19;
    std::filesystem::resize_file(std::filesystem::path(partial), kept);
    ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed);
    LoggedRequest request = lastRequest(before + 2);
    EXPECT_EQ(request.range, "bytes=" + std::to_string(kept) + "-");
    EXPECT_EQ(request.ifRange, validator);
    EXPECT_EQ(request.status, 206);
    EXPECT_TRUE(ReadFileBytes(partial) == older);

    std::filesystem::resize_file(std::filesystem::path(partial), kept);
    publish(newer);
    ASSERT_EQ(ObserveDownload(url, partial).result, DownloadResult::Completed);
    request = lastRequest(before + 3);
    EXPECT_EQ(request.range, "bytes=" + std::to_string(kept) + "-");
    EXPECT_EQ(request.ifRange, validator);
    EXPECT_EQ(request.status, 200);
    EXPECT_TRUE(ReadFileBytes(partial) == newer);
    EXPECT_NE(ValidatorFileText(partial), validator);
    EXPECT_FALSE(ValidatorFileText(partial).empty());
}
