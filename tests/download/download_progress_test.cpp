// The download's arithmetic and texts, and its decisions on status codes.
#include "install/download_progress.h"

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
