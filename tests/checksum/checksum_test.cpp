// SHA-256 through BCrypt on real files, and the verification step's decisions and messages.
#include "install/checksum.h"

#include "app/state.h"
#include "base/file_retry.h"
#include "base/held_folder.h"
#include "support/files.h"
#include "support/holder.h"
#include "support/message_window.h"

#include <gtest/gtest.h>

namespace {

const wchar_t* const EMPTY_DIGEST = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const wchar_t* const ABC_DIGEST = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class Checksum : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard lock(g_progress.stateMutex);
        g_progress.errorText.clear();
        g_progress.logLines.clear();
    }
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = dir_.Path() + L"\\" + name;
        WriteFileBytes(path, bytes);
        return path;
    }
    // The step on the partial download of the scratch folder, held as the worker holds it.
    VerifyResult Verify(const MessageWindow& window, const std::wstring& expected) {
        FileHandle folder;
        EXPECT_EQ(OpenHeldFolder(dir_.Path(), folder), 0u);
        return VerifyPackage(window.handle(), folder.Get(), dir_.Path(), expected);
    }
    ScratchDir dir_{L"checksum"};
};

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'f') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

} // namespace

TEST_F(Checksum, DigestsOfKnownContents) {
    EXPECT_EQ(ComputeFileSha256(Write(L"empty", "")), EMPTY_DIGEST);
    EXPECT_EQ(ComputeFileSha256(Write(L"abc", "abc")), ABC_DIGEST);
    // Sixteen reads of the 64 KiB buffer, the last one partial.
    EXPECT_EQ(ComputeFileSha256(Write(L"million", std::string(1000000, 'a'))),
              L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    const unsigned char digest[32] = {0x00, 0x01, 0x0f, 0x10, 0xab, 0xff};
    EXPECT_EQ(FormatHexDigest(digest), L"00010f10abff" + std::wstring(52, L'0'));
}

TEST_F(Checksum, FileThatCannotBeOpenedHasNoDigest) {
    EXPECT_EQ(ComputeFileSha256(dir_.Path() + L"\\missing"), L"");
    // Held open for writing by someone else: reading it with write sharing refused must fail.
    const std::wstring busy = Write(L"busy", "abc");
    const HANDLE writer = CreateFileW(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ComputeFileSha256(busy), L"");
    CloseHandle(writer);
    EXPECT_EQ(ComputeFileSha256(busy), ABC_DIGEST);
}

TEST_F(Checksum, VerifiesWithoutExpectationAndIgnoringLetterCase) {
    MessageWindow window;
    const std::wstring file = Write(L"payload.zip.downloading", "abc");
    EXPECT_EQ(Verify(window, L""), VerifyResult::Verified);
    EXPECT_EQ(Verify(window, ABC_DIGEST), VerifyResult::Verified);
    EXPECT_EQ(Verify(window, Upper(ABC_DIGEST)), VerifyResult::Verified);
    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(TakeErrorText().empty());
    const ProgressSnapshot state = TakeProgressSnapshot();
    EXPECT_EQ(state.statusText, L"Проверка контрольной суммы...");
    EXPECT_EQ(state.detailText, L"Вычисление SHA-256...");
    EXPECT_EQ(state.progress, 1000);
    EXPECT_EQ(state.logLines.back(), L"[..] Проверка целостности пакета (SHA-256)...");
    for (const UINT message : window.Drain()) EXPECT_NE(message, WM_FATAL_ERROR);
}

TEST_F(Checksum, MismatchDeletesThePartialFileAndShowsBothDigests) {
    MessageWindow window;
    const std::wstring file = Write(L"payload.zip.downloading", "abc");
    const std::wstring validator = Write(L"payload.zip.downloading.validator", "\"v1\"");
    const std::wstring expected = std::wstring(ABC_DIGEST) + L" "; // a trailing blank is not forgiven
    EXPECT_EQ(Verify(window, expected), VerifyResult::Failed);
    EXPECT_FALSE(PathExists(file));
    EXPECT_FALSE(PathExists(validator)); // it would vouch for the next partial file
    EXPECT_EQ(TakeErrorText(), L"Контрольная сумма SHA-256 не совпадает!\nОжидалось: " + expected +
                                   L"\nПолучено: " + ABC_DIGEST);
    const std::vector<UINT> messages = window.Drain();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), WM_FATAL_ERROR);
}

// A scanner holding the finished download is waited out; a file that stays unreadable is its own
// error, naming the file, and is kept: it may be perfectly good.
TEST_F(Checksum, HeldOrMissingDownloadIsUnreadableNeverAMismatch) {
    const std::wstring path = dir_.Path() + L"\\payload.zip.downloading";
    const struct {
        long holdMs; // 0: no holder; -1: held for good
        bool present;
        VerifyResult result;
        DWORD error;
    } cases[] = {
        {1000, true, VerifyResult::Verified, 0},
        {-1, true, VerifyResult::Failed, ERROR_SHARING_VIOLATION},
        {0, false, VerifyResult::Failed, ERROR_FILE_NOT_FOUND},
    };
    g_holdRetryMs = 3000;
    for (const auto& row : cases) {
        SCOPED_TRACE(row.holdMs);
        SetUp();
        DeleteFileW(path.c_str());
        if (row.present) Write(L"payload.zip.downloading", "abc");
        KernelHandle holder = row.holdMs != 0 ? HoldFile(path, row.holdMs) : KernelHandle();
        ASSERT_EQ(holder.IsValid(), row.holdMs != 0);
        MessageWindow window;
        EXPECT_EQ(Verify(window, ABC_DIGEST), row.result);
        EndHold(holder);
        EXPECT_EQ(TakeErrorText(),
                  row.error == 0 ? L"" : L"Не удалось прочитать файл: " + path + L"\n" + std::to_wstring(row.error));
        EXPECT_EQ(PathExists(path), row.present);
    }
    g_holdRetryMs = 10000;
}
