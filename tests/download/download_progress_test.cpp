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

TEST(DownloadProgress, OnlyBytesPastTheFurthestAreProgressWhileTheRefetchAllowanceLasts) {
    // The run began with a partial file of 1000 bytes.
    FetchTally tally{1000, 0};
    EXPECT_FALSE(TallyWrittenBytes(tally, 0, 1000, 4000)); // the same bytes again
    EXPECT_TRUE(TallyWrittenBytes(tally, 900, 300, 4000)); // 100 again, 200 new
    EXPECT_EQ(tally.furthest, 1200u);
    EXPECT_EQ(tally.refetched, 1100u);
    // A server that ignores Range and breaks every body 1000 bytes further on: progress until twice
    // the package has been fetched again.
    FetchTally ignoring;
    int progressing = 0;
    while (TallyWrittenBytes(ignoring, 0, ignoring.furthest + 1000, 10000)) ++progressing;
    EXPECT_EQ(progressing, 6);
    EXPECT_TRUE(DeclaresEmptyBody(L"0"));
    EXPECT_TRUE(DeclaresEmptyBody(L"00"));
    for (const std::wstring length : {L"", L"10", L"x"}) EXPECT_FALSE(DeclaresEmptyBody(length)) << length;
}

TEST(DownloadProgress, TheEtagElseLastModifiedIsTheResumeValidator) {
    const std::wstring date = L"Tue, 04 Jun 2024 10:00:00 GMT";
    EXPECT_EQ(ChooseResumeValidator(L"\"665ee6a0-3000000\"", date), L"\"665ee6a0-3000000\"");
    EXPECT_EQ(ChooseResumeValidator(L"", date), date);
    // A weak tag is kept to check the answer against; the date is never used beside an ETag.
    EXPECT_EQ(ChooseResumeValidator(L"W/\"665ee6a0\"", date), L"W/\"665ee6a0\"");
    EXPECT_EQ(ChooseResumeValidator(L"", L""), L"");
    // Not an entity tag as HTTP writes it: unquoted, half-quoted, a quote inside, a control character.
    for (const std::wstring etag : {L"665ee6a0", L"\"665ee6a0", L"\"a\"b\"", L"\"a\tb\"", L"\"", L"W/665ee6a0"}) {
        EXPECT_FALSE(IsStrongEtag(etag)) << etag;
        EXPECT_FALSE(IsWeakEtag(etag)) << etag;
        EXPECT_EQ(ChooseResumeValidator(etag, date), L"") << etag;
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
    EXPECT_EQ(BuildIfRangeHeader(L"W/\"abc\""), L""); // never matches in If-Range
    EXPECT_EQ(BuildIfRangeHeader(L"\"abc"), L"");

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

TEST(DownloadProgress, ContentRangeParsing) {
    ContentRange range;
    ASSERT_TRUE(ParseContentRange(L"bytes 1000-4194303/4194304", range));
    EXPECT_EQ(range.first, 1000u);
    EXPECT_EQ(range.last, 4194303u);
    EXPECT_EQ(range.total, 4194304u);
    ASSERT_TRUE(ParseContentRange(L"bytes 0-0/18446744073709551615", range));
    EXPECT_EQ(range.total, UINT64_MAX);
    for (const wchar_t* value : {L"", L"bytes 0-9/*", L"bytes */100", L"items 0-9/10", L"bytes 0-9/",
                                 L"bytes 9-0/10", L"bytes 0-10/10", L"bytes 0-9/18446744073709551616",
                                 L"bytes -9/10", L"bytes 0-9/10x"}) {
        EXPECT_FALSE(ParseContentRange(value, range)) << value;
    }
}

TEST(DownloadProgress, RangeAnswerFitsOnlyFromTheOffsetToTheEndOfTheKnownSize) {
    struct Case {
        const wchar_t* contentRange;
        uint64_t contentLength; // 0: not announced
        uint64_t knownSize;     // 0: not known yet
        bool fits;
    };
    // Asked for the bytes from 4194304 on, of a file of 10486552 bytes.
    const Case cases[] = {
        {L"bytes 4194304-10486551/10486552", 6292248, 10486552, true},
        {L"bytes 4194304-10486551/10486552", 0, 10486552, true}, // chunked: the size comes from the range
        {L"bytes 4194304-10486551/10486552", 6292248, 0, true},
        {L"bytes 0-10486551/10486552", 10486552, 10486552, false},       // the whole file
        {L"bytes 3145728-10486551/10486552", 7340824, 10486552, false},  // from an earlier byte
        {L"bytes 5242880-10486551/10486552", 5243672, 10486552, false},  // from a later byte
        {L"bytes 4194304-5242879/10486552", 1048576, 10486552, false},   // not to the end
        {L"bytes 4194304-11534327/11534328", 7340024, 10486552, false},  // a file of another size
        {L"bytes 4194304-10486551/10486552", 1000, 10486552, false},     // a length that disagrees
        {L"bytes 4194304-10486551/*", 6292248, 10486552, false},
        {L"", 6292248, 10486552, false},
    };
    for (const Case& c : cases) {
        uint64_t size = 0;
        EXPECT_EQ(RangeAnswerFits(c.contentRange, 4194304, c.contentLength, c.knownSize, size), c.fits)
            << c.contentRange << " " << c.contentLength;
        if (c.fits) {
            EXPECT_EQ(size, 10486552u);
        }
    }
}

TEST(DownloadProgress, RangeValidatorsAgreeWithTheRememberedOne) {
    const std::wstring date = L"Tue, 04 Jun 2024 10:00:00 GMT";
    const std::wstring later = L"Wed, 05 Jun 2024 10:00:00 GMT";
    struct Case {
        std::wstring validator, etag, lastModified;
        bool agree;
    };
    const Case cases[] = {
        {L"\"v1\"", L"\"v1\"", date, true},
        {L"\"v1\"", L"\"v2\"", date, false},
        {L"\"v1\"", L"W/\"v1\"", L"", false}, // strong comparison
        {L"\"v1\"", L"", later, true},           // only like is compared with like
        {L"W/\"v1\"", L"W/\"v1\"", L"", true},
        {L"W/\"v1\"", L"\"v1\"", L"", true},    // weak comparison
        {L"W/\"v1\"", L"W/\"v2\"", L"", false},
        {date, L"", date, true},
        {date, L"", later, false},
        {date, L"\"v1\"", L"", true},
        {L"", L"\"v2\"", later, true}, // nothing remembered, nothing to compare
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RangeValidatorsAgree(c.validator, c.etag, c.lastModified), c.agree)
            << std::string(c.validator.begin(), c.validator.end()) << " / "
            << std::string(c.etag.begin(), c.etag.end()) << " / " << std::string(c.lastModified.begin(), c.lastModified.end());
    }
}
