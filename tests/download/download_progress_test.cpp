// The download's arithmetic and texts, its decisions on status codes, and whether a partial file
// may be continued.
#include "install/download_progress.h"
#include "install/resume_validator.h"

#include <gtest/gtest.h>

TEST(DownloadProgress, FormatsByteSizesUpToGigabytes) {
    EXPECT_EQ(FormatByteSize(0), L"0.0 Б");
    EXPECT_EQ(FormatByteSize(1023), L"1023.0 Б");
    EXPECT_EQ(FormatByteSize(1024), L"1.0 КБ");
    EXPECT_EQ(FormatByteSize(1536), L"1.5 КБ");
    EXPECT_EQ(FormatByteSize(52428800), L"50.0 МБ");
    EXPECT_EQ(FormatByteSize(5ull << 40), L"5120.0 ГБ");
    EXPECT_EQ(FormatByteSize(UINT64_MAX), L"17179869184.0 ГБ");
}

TEST(DownloadProgress, ThousandthsTruncateAndStopAtTheWholePackage) {
    EXPECT_EQ(DownloadThousandths(52428800, 127926272), 409);
    EXPECT_EQ(DownloadThousandths(3, 4), 750);
    EXPECT_EQ(DownloadThousandths(999999, 1000000), 999); // not rounded up to "done"
    EXPECT_EQ(DownloadThousandths(5, 4), 1000);
    EXPECT_EQ(DownloadThousandths(UINT64_MAX, 1), 1000);
    EXPECT_EQ(DownloadThousandths(12345, 0), 0); // size unknown
}

TEST(DownloadProgress, DetailLineWithAndWithoutKnownSize) {
    const double speed = TransferSpeedMbPerSecond(393216, 125);
    EXPECT_DOUBLE_EQ(speed, 3.0);
    EXPECT_EQ(FormatDownloadDetail(52428800, 127926272, speed), L"40.9% (50.0 МБ / 122.0 МБ) \u2014 3.00 МБ/с");
    EXPECT_EQ(FormatDownloadDetail(52428800, 0, speed), L"50.0 МБ \u2014 3.00 МБ/с");
    EXPECT_EQ(FormatDownloadDetail(1024, 1024, 0.004), L"100.0% (1.0 КБ / 1.0 КБ) \u2014 0.00 МБ/с");
}

TEST(DownloadProgress, DetailLineOfAPackageOver4GiB) {
    // The large-package soak's figures: resumed 64 MiB past 2^32 of 4.5 GiB. A size cut to 32 bits
    // anywhere on the way would show 64.0 МБ here.
    const uint64_t offset = (4ull << 30) + (64ull << 20);
    const uint64_t size = (9ull << 30) / 2;
    EXPECT_EQ(DownloadThousandths(offset, size), 902);
    EXPECT_EQ(FormatDownloadDetail(offset, size, 250.0), L"90.2% (4.1 ГБ / 4.5 ГБ) \u2014 250.00 МБ/с");
    EXPECT_EQ(FormatDownloadDetail(size, size, 0.0), L"100.0% (4.5 ГБ / 4.5 ГБ) \u2014 0.00 МБ/с");
    EXPECT_EQ(FormatDownloadDetail(offset, 0, 1.5), L"4.1 ГБ \u2014 1.50 МБ/с");
}

TEST(DownloadProgress, ReconnectNoticeCountsOutOfFive) {
    EXPECT_EQ(FormatReconnectDetail(1), L"Восстановление подключения (попытка 1 из 5)...");
    EXPECT_EQ(FormatReconnectDetail(5), L"Восстановление подключения (попытка 5 из 5)...");
}

TEST(DownloadProgress, StatusDecisionsAndCompleteness) {
    EXPECT_EQ(ClassifyStatus(206), StatusAction::ContinueRange);
    EXPECT_EQ(ClassifyStatus(200), StatusAction::RestartWhole);
    EXPECT_EQ(ClassifyStatus(416), StatusAction::RestartEmpty);
    for (uint32_t status : {201u, 204u, 301u, 304u, 404u, 500u, 0u}) {
        EXPECT_EQ(ClassifyStatus(status), StatusAction::Fatal) << status;
    }
    EXPECT_TRUE(IsDownloadComplete(100, 100));
    EXPECT_FALSE(IsDownloadComplete(99, 100));
    EXPECT_TRUE(IsDownloadComplete(1, 0));  // no size announced: any byte makes a body
    EXPECT_FALSE(IsDownloadComplete(0, 0)); // an empty body is a lost connection
}

TEST(DownloadProgress, StrongEtagElseLastModifiedIsTheResumeValidator) {
    const std::wstring date = L"Tue, 04 Jun 2024 10:00:00 GMT";
    EXPECT_EQ(ChooseResumeValidator(L"\"665ee6a0-3000000\"", date), L"\"665ee6a0-3000000\"");
    EXPECT_EQ(ChooseResumeValidator(L"", date), date);
    EXPECT_EQ(ChooseResumeValidator(L"W/\"665ee6a0\"", date), date); // a weak tag may stay while bytes change
    EXPECT_EQ(ChooseResumeValidator(L"W/\"665ee6a0\"", L""), L"");
    EXPECT_EQ(ChooseResumeValidator(L"", L""), L"");
    // Not strong as HTTP writes it: unquoted, half-quoted, a quote inside, a control character.
    for (const std::wstring etag : {L"665ee6a0", L"\"665ee6a0", L"\"a\"b\"", L"\"a\tb\"", L"\""}) {
        EXPECT_FALSE(IsStrongEtag(etag)) << etag;
        EXPECT_EQ(ChooseResumeValidator(etag, date), date);
    }
    EXPECT_TRUE(IsStrongEtag(L"\"\""));
    // Nothing that could end the header line or run on without bound is ever kept.
    EXPECT_EQ(ChooseResumeValidator(L"", L"Tue\r\nX-Injected: 1"), L"");
    EXPECT_EQ(ChooseResumeValidator(L"\"" + std::wstring(300, L'a') + L"\"", L""), L"");
}

TEST(DownloadProgress, IfRangeHeaderAndTheValidatorFileText) {
    EXPECT_EQ(BuildIfRangeHeader(L"\"abc\""), L"If-Range: \"abc\"\r\n");
    EXPECT_EQ(BuildIfRangeHeader(L"Tue, 04 Jun 2024 10:00:00 GMT"), L"If-Range: Tue, 04 Jun 2024 10:00:00 GMT\r\n");
    EXPECT_EQ(BuildIfRangeHeader(L""), L""); // no validator: a plain ranged request
    EXPECT_EQ(BuildIfRangeHeader(L"a\r\nb"), L"");

    EXPECT_EQ(ParseValidatorFileText(FormatValidatorFileText(L"\"abc\"")), L"\"abc\"");
    EXPECT_EQ(ParseValidatorFileText("\"abc\"\r\n"), L"\"abc\"");
    // Anything else on disk counts as no validator at all.
    EXPECT_EQ(ParseValidatorFileText(""), L"");
    EXPECT_EQ(ParseValidatorFileText("\"abc\"\r\nX-Injected: 1"), L"");
    EXPECT_EQ(ParseValidatorFileText(std::string("\"a\0b\"", 5)), L"");
    EXPECT_EQ(ParseValidatorFileText("\"\xD0\x96\""), L"");
    EXPECT_EQ(ParseValidatorFileText(std::string(257, 'a')), L"");
    EXPECT_EQ(ParseValidatorFileText(std::string(256, 'a')), std::wstring(256, L'a'));
}

TEST(DownloadProgress, RangeTotalMustBeTheSizeThePartialFileWasStartedWith) {
    uint64_t total = 0;
    ASSERT_TRUE(ParseContentRangeTotal(L"bytes 1000-4194303/4194304", total));
    EXPECT_EQ(total, 4194304u);
    ASSERT_TRUE(ParseContentRangeTotal(L"bytes 0-0/18446744073709551615", total));
    EXPECT_EQ(total, UINT64_MAX);
    for (const wchar_t* value : {L"", L"bytes 0-9/*", L"bytes */100", L"items 0-9/10", L"bytes 0-9/",
                                 L"bytes 9-0/10", L"bytes 0-10/10", L"bytes 0-9/18446744073709551616",
                                 L"bytes -9/10", L"bytes 0-9/10x"}) {
        EXPECT_FALSE(ParseContentRangeTotal(value, total)) << value;
    }
    EXPECT_FALSE(RangeTotalDisagrees(L"bytes 1000-4194303/4194304", 4194304));
    EXPECT_TRUE(RangeTotalDisagrees(L"bytes 1000-5242879/5242880", 4194304));
    EXPECT_FALSE(RangeTotalDisagrees(L"bytes 1000-5242879/5242880", 0)); // no size known yet
    EXPECT_FALSE(RangeTotalDisagrees(L"bytes 1000-5242879/*", 4194304)); // no total named
    EXPECT_FALSE(RangeTotalDisagrees(L"", 4194304));
}
