// SHA-256 through BCrypt on real files, and the verification step's decisions and messages.
#include "install/checksum.h"

#include "app/state.h"
#include "support/files.h"
#include "support/message_window.h"

#include <gtest/gtest.h>

namespace {

const wchar_t* const EMPTY_DIGEST = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const wchar_t* const ABC_DIGEST = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class Checksum : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> lock(g_progress.stateMutex);
        g_progress.errorText.clear();
        g_progress.logLines.clear();
    }
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = dir_.Path() + L"\\" + name;
        WriteFileBytes(path, bytes);
        return path;
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
    EXPECT_EQ(VerifyPackage(window.handle(), file, L""), VerifyResult::Verified);
    EXPECT_EQ(VerifyPackage(window.handle(), file, ABC_DIGEST), VerifyResult::Verified);
    EXPECT_EQ(VerifyPackage(window.handle(), file, Upper(ABC_DIGEST)), VerifyResult::Verified);
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
    EXPECT_EQ(VerifyPackage(window.handle(), file, expected), VerifyResult::Failed);
    EXPECT_FALSE(PathExists(file));
    EXPECT_FALSE(PathExists(validator)); // it would vouch for the next partial file
    EXPECT_EQ(TakeErrorText(), L"Контрольная сумма SHA-256 не совпадает!\nОжидалось: " + expected +
                                   L"\nПолучено: " + ABC_DIGEST);
    const std::vector<UINT> messages = window.Drain();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), WM_FATAL_ERROR);
}

TEST_F(Checksum, UnreadablePackageIsAMismatchWithNothingReceived) {
    MessageWindow window;
    const std::wstring missing = dir_.Path() + L"\\payload.zip.downloading";
    EXPECT_EQ(VerifyPackage(window.handle(), missing, ABC_DIGEST), VerifyResult::Failed);
    EXPECT_EQ(TakeErrorText(),
              L"Контрольная сумма SHA-256 не совпадает!\nОжидалось: " + std::wstring(ABC_DIGEST) + L"\nПолучено: ");
    // Nothing expected: the step goes on even though no digest could be computed.
    EXPECT_EQ(VerifyPackage(window.handle(), missing, L""), VerifyResult::Verified);
}
