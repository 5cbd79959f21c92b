// The extraction step against archives built byte by byte, observed through the progress record
// and the messages a real window receives.
#include "install/extract.h"
#include "base/held_folder.h"
#include "install/directories.h"
#include "support/message_window.h"
#include "support/state_reset.h"
#include "support/files.h"
#include "support/zip_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::wstring TestName() {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    return std::wstring(name.begin(), name.end());
}

struct ExtractRun {
    ExtractResult result;
    ProgressSnapshot state;
    std::wstring error;
    std::vector<UINT> messages;
};

class ExtractTest : public testing::Test {
protected:
    void SetUp() override {
        ResetProgressState();
        dir_ = FreshTempDir(L"extract-" + TestName());
        target_ = dir_ + L"\\target";
        package_ = dir_ + L"\\payload.zip";
    }

    ExtractRun Extract(const std::string& archiveBytes) {
        WriteFileBytes(package_, archiveBytes);
        return ExtractExisting();
    }

    ExtractRun ExtractExisting() {
        MessageWindow window;
        ExtractRun run;
        CreateDirectoryWithParents(target_);
        FileHandle held;
        OpenHeldFolder(target_, held);
        run.result = ExtractPackage(window.handle(), package_, held.Get(), target_);
        run.state = TakeProgressSnapshot();
        run.error = TakeErrorText();
        run.messages = window.Drain();
        return run;
    }

    std::wstring dir_, target_, package_;
};

size_t Count(const std::vector<UINT>& messages, UINT which) {
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), which));
}

TEST_F(ExtractTest, EmptyArchiveLogsTheCountAndDeletesThePackage) {
    const ExtractRun run = Extract(BuildZip({}));
    EXPECT_EQ(run.result, ExtractResult::Extracted);
    EXPECT_FALSE(PathExists(package_));
    ASSERT_EQ(run.state.logLines.size(), 1u);
    EXPECT_EQ(run.state.logLines.back(), L"[OK] Распаковано файлов: 0 в " + target_);
    EXPECT_EQ(run.state.detailText, L"Открытие архива компонентов...");
    EXPECT_EQ(run.state.progress, 1000);
    EXPECT_EQ(run.messages, (std::vector<UINT>{WM_STATE_CHANGED, WM_STATE_CHANGED}));
}

TEST_F(ExtractTest, HundredMixedEntriesReportEachAndLogEveryFortyFifth) {
    std::vector<ZipEntrySpec> entries;
    for (int i = 0; i < 100; ++i) {
        ZipEntrySpec entry;
        if (i == 44 || i % 10 == 3) {
            entry.name = "dir" + std::to_string(i) + "/";
            entry.directory = true;
        } else {
            entry.name = "files/f" + std::to_string(i) + ".txt";
            entry.data = CompressibleText(static_cast<size_t>(i) * 37, static_cast<uint32_t>(i));
            entry.deflate = i % 2 == 0;
        }
        entries.push_back(entry);
    }
    const ExtractRun run = Extract(BuildZip(entries));
    ASSERT_EQ(run.result, ExtractResult::Extracted) << std::string(run.error.begin(), run.error.end());

    // Opening report, one per entry, two console lines and the count line.
    EXPECT_EQ(Count(run.messages, WM_STATE_CHANGED), 1u + 100u + 2u + 1u);
    ASSERT_EQ(run.state.logLines.size(), 3u);
    EXPECT_EQ(run.state.logLines[0], L"[..] Извлечение:  (45/100)"); // a directory: empty display name
    EXPECT_EQ(run.state.logLines[1], L"[..] Извлечение: f89.txt (90/100)");
    EXPECT_EQ(run.state.logLines[2], L"[OK] Распаковано файлов: 100 в " + target_);
    EXPECT_EQ(run.state.detailText, L"Файл 100 из 100 (f99.txt)");

    for (int i = 0; i < 100; ++i) {
        if (i == 44 || i % 10 == 3) {
            EXPECT_TRUE(std::filesystem::is_directory(target_ + L"\\dir" + std::to_wstring(i)));
        } else {
            const std::wstring path = target_ + L"\\files\\f" + std::to_wstring(i) + L".txt";
            EXPECT_EQ(ReadFileBytes(path), entries[static_cast<size_t>(i)].data) << i;
        }
    }
    EXPECT_FALSE(PathExists(package_));
}

TEST_F(ExtractTest, DirectoryEntryShowsEmptyDisplayName) {
    const ExtractRun run = Extract(BuildZip({{"a.txt", "a"}, {"b.txt", "b"}, {"sub/", "", false, true}}));
    ASSERT_EQ(run.result, ExtractResult::Extracted);
    EXPECT_EQ(run.state.detailText, L"Файл 3 из 3 ()");
}

TEST_F(ExtractTest, CreatesParentsEmptyFilesAndNonAsciiNames) {
    const ExtractRun run = Extract(BuildZip({
        {"deep/er/file.bin", RandomBytes(70000, 1), false},
        {"empty.txt", ""},
        {u8"Документы/сохранение №1.txt", "привет"},
        {"DirFlagOnly", "", false, true}, // a directory by attribute, no trailing slash
    }));
    ASSERT_EQ(run.result, ExtractResult::Extracted) << std::string(run.error.begin(), run.error.end());
    EXPECT_EQ(ReadFileBytes(target_ + L"\\deep\\er\\file.bin"), RandomBytes(70000, 1));
    EXPECT_TRUE(PathExists(target_ + L"\\empty.txt"));
    EXPECT_EQ(std::filesystem::file_size(target_ + L"\\empty.txt"), 0u);
    EXPECT_EQ(ReadFileBytes(target_ + L"\\Документы\\сохранение №1.txt"), "привет");
    EXPECT_TRUE(std::filesystem::is_directory(target_ + L"\\DirFlagOnly"));
    EXPECT_EQ(run.state.detailText, L"Файл 4 из 4 (DirFlagOnly)");
}

TEST_F(ExtractTest, TrailingBackslashTargetGetsNoDoubledSeparator) {
    target_ += L"\\";
    const ExtractRun run = Extract(BuildZip({{"x/y.txt", "y"}}));
    ASSERT_EQ(run.result, ExtractResult::Extracted);
    EXPECT_EQ(ReadFileBytes(target_ + L"x\\y.txt"), "y");
}

TEST_F(ExtractTest, DamagedDataStopsAtThatEntryAndDeletesThePackage) {
    std::vector<ZipEntrySpec> entries;
    for (int i = 1; i <= 12; ++i) {
        entries.push_back({"f" + std::to_string(i) + ".txt", CompressibleText(5000, static_cast<uint32_t>(i))});
    }
    std::string archive = BuildZip(entries);
    const size_t tenth = ZipDataOffset(archive, 9);
    for (size_t k = 0; k < 40; ++k) archive[tenth + 20 + k] = static_cast<char>(archive[tenth + 20 + k] ^ 0x5A);

    const ExtractRun run = Extract(archive);
    EXPECT_EQ(run.result, ExtractResult::Failed);
    EXPECT_TRUE(run.error == L"Ошибка извлечения файла: f10.txt (код: 11)" ||
                run.error == L"Ошибка извлечения файла: f10.txt (код: 13)")
        << std::string(run.error.begin(), run.error.end());
    for (int i = 1; i <= 9; ++i) {
        EXPECT_EQ(ReadFileBytes(target_ + L"\\f" + std::to_wstring(i) + L".txt"),
                  CompressibleText(5000, static_cast<uint32_t>(i)));
    }
    EXPECT_TRUE(PathExists(target_ + L"\\f10.txt")); // partly written, left as it is
    EXPECT_FALSE(PathExists(target_ + L"\\f11.txt"));
    EXPECT_FALSE(PathExists(package_));
    EXPECT_EQ(Count(run.messages, WM_FATAL_ERROR), 1u);
    EXPECT_EQ(run.state.detailText, L"Файл 9 из 12 (f9.txt)");
}

TEST_F(ExtractTest, UnreadableArchivesKeepThePackage) {
    for (const std::string& bytes : {std::string("PK\x05\x06 too short"), std::string(),
                                     std::string(5000, 'x'), BuildZip({{"a", "b"}}).substr(0, 40)}) {
        ResetProgressState();
        const ExtractRun run = Extract(bytes);
        EXPECT_EQ(run.result, ExtractResult::Failed);
        EXPECT_EQ(run.error, L"Ошибка чтения ZIP-архива (архив поврежден или имеет некорректный формат).");
        EXPECT_EQ(ReadFileBytes(package_), bytes);
        EXPECT_FALSE(PathExists(target_ + L"\\a")); // nothing written
    }
}

TEST_F(ExtractTest, MissingPackageNamesTheFullPath) {
    const ExtractRun run = ExtractExisting();
    EXPECT_EQ(run.result, ExtractResult::Failed);
    EXPECT_EQ(run.error, L"Не удалось открыть файл архива для распаковки: " + package_);
}

TEST_F(ExtractTest, OutputHeldOpenStopsTheLoop) {
    std::filesystem::create_directories(target_);
    WriteFileBytes(target_ + L"\\locked.dll", "old");
    HANDLE holder = CreateFileW((target_ + L"\\locked.dll").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const ExtractRun run = Extract(BuildZip({{"first.txt", "1"}, {"locked.dll", "new"}, {"after.txt", "3"}}));
    CloseHandle(holder);
    EXPECT_EQ(run.result, ExtractResult::Failed);
    EXPECT_EQ(run.error, L"Не удалось создать файл: locked.dll");
    EXPECT_EQ(ReadFileBytes(target_ + L"\\first.txt"), "1");
    EXPECT_EQ(ReadFileBytes(target_ + L"\\locked.dll"), "old");
    EXPECT_FALSE(PathExists(target_ + L"\\after.txt"));
    EXPECT_FALSE(PathExists(package_));
}

TEST_F(ExtractTest, HostileNamesAreRefusedBeforeAnythingIsWritten) {
    const std::wstring outside = dir_ + L"\\outside";
    struct Case {
        std::string name;
        std::wstring display;
    };
    const std::vector<Case> cases = {
        {"../outside/evil.txt", L"evil.txt"},
        {"..\\outside\\evil.txt", L"evil.txt"},
        {"sub/../../outside/evil.txt", L"evil.txt"},
        {"sub\\..//..\\outside/evil.txt", L"evil.txt"},
        {"/outside/evil.txt", L"evil.txt"},
        {"\\outside\\evil.txt", L"evil.txt"},
        {"C:\\outside\\evil.txt", L"evil.txt"},
        {"C:evil.txt", L"C:evil.txt"},
        {"\\\\127.0.0.1\\share\\evil.txt", L"evil.txt"},
        {"//127.0.0.1/share/evil.txt", L"evil.txt"},
        {"sub/../../outside/", L""},
    };
    for (const Case& c : cases) {
        ResetProgressState();
        const ExtractRun run = Extract(BuildZip({{"good.txt", "ok"}, {c.name, "evil"}, {"later.txt", "x"}}));
        EXPECT_EQ(run.result, ExtractResult::Failed) << c.name;
        EXPECT_EQ(run.error, L"Не удалось создать файл: " + c.display) << c.name;
        EXPECT_EQ(ReadFileBytes(target_ + L"\\good.txt"), "ok");
        EXPECT_FALSE(PathExists(target_ + L"\\later.txt"));
        EXPECT_FALSE(PathExists(outside)) << c.name;
        EXPECT_FALSE(PathExists(L"C:\\outside")) << c.name;
        EXPECT_FALSE(PathExists(L"C:\\evil.txt")) << c.name;
    }
}

} // namespace
