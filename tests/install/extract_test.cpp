// The extraction step against archives built byte by byte, observed through the progress record
// and the messages a real window receives.
#include "install/extract.h"
#include "base/file_retry.h"
#include "base/held_folder.h"
#include "install/directories.h"
#include "support/message_window.h"
#include "support/state_reset.h"
#include "support/files.h"
#include "support/zip_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        g_holdRetryMs = 300;
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

    void TearDown() override { g_holdRetryMs = 10000; }

    std::wstring dir_, target_, package_;
};

// The two programs every package must hold at its root, after `entries`.
std::vector<ZipEntrySpec> WithPrograms(std::vector<ZipEntrySpec> entries) {
    entries.push_back({"ZENKA.exe", "launcher"});
    entries.push_back({"zenka-updater.exe", "updater"});
    return entries;
}

size_t Count(const std::vector<UINT>& messages, UINT which) {
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), which));
}

TEST_F(ExtractTest, ProgramsOnlyLogTheCountAndKeepThePackage) {
    const std::string archive = BuildZip(WithPrograms({}));
    const ExtractRun run = Extract(archive);
    EXPECT_EQ(run.result, ExtractResult::Extracted);
    EXPECT_EQ(ReadFileBytes(package_), archive); // the worker deletes it once everything succeeded
    ASSERT_EQ(run.state.logLines.size(), 1u);
    EXPECT_EQ(run.state.logLines.back(), L"[OK] Распаковано файлов: 2 в " + target_);
    EXPECT_EQ(ReadFileBytes(target_ + L"\\ZENKA.exe"), "launcher");
    EXPECT_EQ(run.state.detailText, L"Файл 2 из 2 (zenka-updater.exe)");
    EXPECT_EQ(run.messages,
              (std::vector<UINT>{WM_STATE_CHANGED, WM_STATE_CHANGED, WM_STATE_CHANGED, WM_STATE_CHANGED}));
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
    const ExtractRun run = Extract(BuildZip(WithPrograms(entries)));
    ASSERT_EQ(run.result, ExtractResult::Extracted) << run.error;

    // Opening report, one per entry, two console lines and the count line.
    EXPECT_EQ(Count(run.messages, WM_STATE_CHANGED), 1u + 102u + 2u + 1u);
    ASSERT_EQ(run.state.logLines.size(), 3u);
    EXPECT_EQ(run.state.logLines[0], L"[..] Извлечение:  (45/102)"); // a directory: empty display name
    EXPECT_EQ(run.state.logLines[1], L"[..] Извлечение: f89.txt (90/102)");
    EXPECT_EQ(run.state.logLines[2], L"[OK] Распаковано файлов: 102 в " + target_);

    for (int i = 0; i < 100; ++i) {
        if (i == 44 || i % 10 == 3) {
            EXPECT_TRUE(std::filesystem::is_directory(target_ + L"\\dir" + std::to_wstring(i)));
        } else {
            const std::wstring path = target_ + L"\\files\\f" + std::to_wstring(i) + L".txt";
            EXPECT_EQ(ReadFileBytes(path), entries[static_cast<size_t>(i)].data) << i;
        }
    }
}

TEST_F(ExtractTest, InstallsEveryNameTheCheckAccepts) {
    // A short target, so that a 600-byte name (200 characters) still fits a full path.
    target_ = L"C:\\zenka-x";
    RemoveTree(target_);
    std::string longName = "数据/";
    for (int i = 0; i < 196; ++i) longName += "说";
    longName += "a.txt";
    const std::string cp866 = "\x8f\xe0\xa8\xa2\xa5\xe2.txt"; // "Привет.txt" in the OEM code page
    ZipEntrySpec oem{cp866, "oem"};
    oem.flags = 0;
    oem.extra = UnicodePathExtra(cp866, u8"Привет.txt");
    ZipEntrySpec unflagged{u8"Без флага.txt", "utf8"};
    unflagged.flags = 0;
    const ExtractRun run = Extract(BuildZip(WithPrograms({
        {"deep/er/file.bin", RandomBytes(70000, 1), false},
        {"empty.txt", ""},
        {u8"Документы/сохранение №1.txt", "привет"},
        {"DirFlagOnly", "", false, true}, // a folder by attribute, no trailing slash
        {"data\\", ""},                   // a folder by its trailing backslash, no attribute
        {"./a/./b//c.txt", "c"},
        {longName, "long"},
        oem,
        unflagged,
    })));
    ASSERT_EQ(run.result, ExtractResult::Extracted) << run.error;
    EXPECT_EQ(longName.size(), 600u);
    EXPECT_EQ(ReadFileBytes(target_ + L"\\deep\\er\\file.bin"), RandomBytes(70000, 1));
    EXPECT_EQ(std::filesystem::file_size(target_ + L"\\empty.txt"), 0u);
    EXPECT_EQ(ReadFileBytes(target_ + L"\\Документы\\сохранение №1.txt"), "привет");
    EXPECT_TRUE(std::filesystem::is_directory(target_ + L"\\DirFlagOnly"));
    EXPECT_TRUE(std::filesystem::is_directory(target_ + L"\\data"));
    EXPECT_EQ(ReadFileBytes(target_ + L"\\a\\b\\c.txt"), "c");
    EXPECT_EQ(ReadFileBytes(target_ + L"\\数据\\" + std::wstring(196, L'说') + L"a.txt"), "long");
    EXPECT_EQ(ReadFileBytes(target_ + L"\\Привет.txt"), "oem");
    EXPECT_EQ(ReadFileBytes(target_ + L"\\Без флага.txt"), "utf8");
    RemoveTree(target_);
}

TEST_F(ExtractTest, TrailingBackslashTargetGetsNoDoubledSeparator) {
    target_ += L"\\";
    const ExtractRun run = Extract(BuildZip(WithPrograms({{"x/y.txt", "y"}})));
    ASSERT_EQ(run.result, ExtractResult::Extracted);
    EXPECT_EQ(ReadFileBytes(target_ + L"x\\y.txt"), "y");
}

// A failed entry leaves no file of its own: a new one is deleted, an installed one stays whole,
// and no temporary file is left beside it.
TEST_F(ExtractTest, FailedEntriesDamageNothingInstalled) {
    std::filesystem::create_directories(target_);
    WriteFileBytes(target_ + L"\\locked.dll", "old");
    WriteFileBytes(target_ + L"\\f10.txt", "old");
    std::vector<ZipEntrySpec> entries;
    for (int i = 1; i <= 12; ++i) {
        entries.push_back({"f" + std::to_string(i) + ".txt", CompressibleText(5000, static_cast<uint32_t>(i))});
    }
    std::string damaged = BuildZip(WithPrograms(entries));
    const size_t tenth = ZipDataOffset(damaged, 9);
    for (size_t k = 0; k < 40; ++k) damaged[tenth + 20 + k] = static_cast<char>(damaged[tenth + 20 + k] ^ 0x5A);

    ExtractRun run = Extract(damaged);
    EXPECT_EQ(run.result, ExtractResult::Failed);
    EXPECT_TRUE(run.error == L"Ошибка извлечения файла: f10.txt (код: 11)" ||
                run.error == L"Ошибка извлечения файла: f10.txt (код: 13)")
        << run.error;
    EXPECT_EQ(ReadFileBytes(target_ + L"\\f9.txt"), CompressibleText(5000, 9));
    EXPECT_EQ(ReadFileBytes(target_ + L"\\f10.txt"), "old");
    EXPECT_FALSE(PathExists(target_ + L"\\f11.txt"));
    EXPECT_EQ(ReadFileBytes(package_), damaged);
    EXPECT_EQ(Count(run.messages, WM_FATAL_ERROR), 1u);
    EXPECT_EQ(run.state.detailText, L"Файл 9 из 14 (f9.txt)");

    std::filesystem::remove(target_ + L"\\f10.txt");
    run = Extract(damaged);
    EXPECT_FALSE(PathExists(target_ + L"\\f10.txt")); // the new file that failed is gone

    // Held without sharing for longer than holds are waited out.
    HANDLE holder = CreateFileW((target_ + L"\\locked.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ResetProgressState();
    run = Extract(BuildZip(WithPrograms({{"first.txt", "1"}, {"locked.dll", "new"}, {"after.txt", "3"}})));
    CloseHandle(holder);
    EXPECT_EQ(run.error, L"Не удалось создать файл: locked.dll");
    EXPECT_EQ(ReadFileBytes(target_ + L"\\locked.dll"), "old");
    EXPECT_FALSE(PathExists(target_ + L"\\after.txt"));
    EXPECT_FALSE(PathExists(target_ + L"\\~zenka-setup.tmp"));
}

TEST_F(ExtractTest, UnreadableArchivesKeepThePackage) {
    for (const std::string& bytes : {std::string("PK\x05\x06 too short"), std::string(), std::string(5000, 'x'),
                                     BuildZip({ZipEntrySpec{"a", "b"}}).substr(0, 40)}) {
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

// Every refused package is refused before anything is written, with a box that names the entry.
TEST_F(ExtractTest, RefusedPackagesWriteNothing) {
    const std::wstring badName = L"» в архиве нельзя записать в папку установки: переименуйте его (без «..», буквы "
                                 L"диска, косой черты в начале, знаков <>:\"|?*, точки или пробела в конце имени и "
                                 L"имён устройств вроде NUL).";
    const std::wstring tooLong = L"» в папке установки длиннее 259 знаков: сократите имена папок и файлов в архиве.";
    ZipEntrySpec deflate64{"ZENKA.exe", "not really deflate64"};
    deflate64.method = 9;
    ZipEntrySpec encrypted{"data/config.ini", "secret"};
    encrypted.flags = 0x0801;
    ZipEntrySpec oem{"\x8f\xe0\xa8\xa2\xa5\xe2.txt", "oem"};
    oem.flags = 0;
    oem.extra = UnicodePathExtra("another name", u8"Привет.txt"); // the field of another name: ignored
    struct Case {
        std::vector<ZipEntrySpec> entries;
        std::wstring error;
    };
    const std::vector<Case> cases = {
        {{deflate64, {"zenka-updater.exe", "u"}},
         L"Файл «ZENKA.exe» в архиве сжат методом Deflate64, который установщик не поддерживает: упакуйте архив "
         L"методом Deflate (обычный ZIP)."},
        {WithPrograms({encrypted}),
         L"Файл «data\\config.ini» в архиве зашифрован, а установщик не знает пароля: упакуйте архив без пароля."},
        {WithPrograms({oem}), L"Имя файла в архиве записано не в UTF-8: «\uFFFD\u0A22\uFFFD\uFFFD.txt». "
                              L"Упакуйте архив программой, которая записывает имена файлов в UTF-8."},
        {WithPrograms({{"../outside/evil.txt", "evil"}}), L"Имя «..\\outside\\evil.txt" + badName},
        {WithPrograms({{"sub\\..//..\\outside/", ""}}), L"Имя «sub\\..\\\\..\\outside\\" + badName},
        {WithPrograms({{"C:\\outside\\evil.txt", "evil"}}), L"Имя «C:\\outside\\evil.txt" + badName},
        {WithPrograms({{"//127.0.0.1/share/evil.txt", "evil"}}), L"Имя «\\\\127.0.0.1\\share\\evil.txt" + badName},
        {WithPrograms({{"data./x.txt", "x"}}), L"Имя «data.\\x.txt" + badName},
        {WithPrograms({{"a/" + std::string(250, 'n'), "x"}}), L"Путь файла «a\\" + std::wstring(250, L'n') + tooLong},
        {{{"ZENKA/ZENKA.exe", "l"}, {"ZENKA/zenka-updater.exe", "u"}},
         L"В корне архива нет «ZENKA.exe» и «zenka-updater.exe»: файлы программы лежат в папке «ZENKA». Упакуйте "
         L"содержимое папки, а не саму папку: файлы программы должны быть в корне архива."},
        {{{"ZENKA.exe", "l"}, {"zenka-updater.exe/", ""}},
         L"В архиве нет «zenka-updater.exe»: пакет должен содержать ZENKA.exe и zenka-updater.exe в корне архива."},
    };
    for (const Case& c : cases) {
        RemoveTree(target_);
        ResetProgressState();
        const std::string archive = BuildZip(c.entries);
        const ExtractRun run = Extract(archive);
        EXPECT_EQ(run.result, ExtractResult::Failed);
        EXPECT_EQ(run.error, c.error);
        EXPECT_TRUE(std::filesystem::is_empty(target_)) << run.error;
        EXPECT_FALSE(PathExists(dir_ + L"\\outside")) << run.error;
        EXPECT_EQ(ReadFileBytes(package_), archive);
    }
}

} // namespace
