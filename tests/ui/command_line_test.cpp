// The command-line rules, applied to argument vectors as CommandLineToArgvW would give them.
#include "app/command_line.h"
#include "ui/startup.h"

#include <gtest/gtest.h>

namespace {

InstallerSettings Apply(std::vector<std::wstring> arguments) {
    arguments.insert(arguments.begin(), L"C:\\setup\\zenka_setup.exe");
    InstallerSettings settings;
    ApplyCommandLine(arguments, settings);
    return settings;
}

TEST(CommandLine, NoArgumentsKeepTheDefaults) {
    const InstallerSettings settings = Apply({});
    EXPECT_EQ(settings.downloadUrl, DEFAULT_DOWNLOAD_URL);
    EXPECT_EQ(settings.targetDir, L"C:\\Program Files\\ZENKA");
    EXPECT_EQ(settings.expectedSha256, L"");
    EXPECT_FALSE(settings.skipDownload);
}

TEST(CommandLine, AllFourOptionsInAnyOrder) {
    const InstallerSettings settings = Apply({L"--sha256", L"AB12", L"--skip-download", L"--target",
                                              L"D:\\Games\\ZENKA", L"--url", L"http://127.0.0.1:8080/p.zip"});
    EXPECT_EQ(settings.downloadUrl, L"http://127.0.0.1:8080/p.zip");
    EXPECT_EQ(settings.targetDir, L"D:\\Games\\ZENKA");
    EXPECT_EQ(settings.expectedSha256, L"AB12");
    EXPECT_TRUE(settings.skipDownload);
}

TEST(CommandLine, OnlyExactNamesMatch) {
    const InstallerSettings settings =
        Apply({L"--URL", L"http://a/", L"--url=http://b/", L"/url", L"http://c/", L"-url", L"http://d/",
               L"--Skip-Download", L"--skip", L"--target:", L"X:\\", L"--sha", L"00", L"--skip-download "});
    EXPECT_EQ(settings.downloadUrl, DEFAULT_DOWNLOAD_URL);
    EXPECT_EQ(settings.targetDir, L"C:\\Program Files\\ZENKA");
    EXPECT_EQ(settings.expectedSha256, L"");
    EXPECT_FALSE(settings.skipDownload);
}

TEST(CommandLine, ValueOptionAsLastArgumentIsIgnored) {
    EXPECT_EQ(Apply({L"--url"}).downloadUrl, DEFAULT_DOWNLOAD_URL);
    EXPECT_EQ(Apply({L"--target", L"E:\\Z", L"--target"}).targetDir, L"E:\\Z");
    EXPECT_EQ(Apply({L"--sha256"}).expectedSha256, L"");
}

TEST(CommandLine, ValueIsTakenVerbatimEvenWhenItLooksLikeAnOption) {
    InstallerSettings settings = Apply({L"--url", L"--skip-download"});
    EXPECT_EQ(settings.downloadUrl, L"--skip-download");
    EXPECT_FALSE(settings.skipDownload);

    settings = Apply({L"--target", L"--sha256", L"abc"});
    EXPECT_EQ(settings.targetDir, L"--sha256");
    EXPECT_EQ(settings.expectedSha256, L""); // "abc" is a stray argument, not a digest

    settings = Apply({L"--skip-download", L"--target", L"C:\\Games Dir\\ZENKA\\"});
    EXPECT_TRUE(settings.skipDownload);
    EXPECT_EQ(settings.targetDir, L"C:\\Games Dir\\ZENKA\\");
}

TEST(CommandLine, EmptyValueIsAValue) {
    InstallerSettings defaults;
    defaults.expectedSha256 = L"previous";
    ApplyCommandLine({L"setup.exe", L"--sha256", L""}, defaults);
    EXPECT_EQ(defaults.expectedSha256, L"");
    EXPECT_EQ(Apply({L"--target", L""}).targetDir, L"");
}

TEST(CommandLine, RepeatedOptionsTakeTheLaterValue) {
    const InstallerSettings settings =
        Apply({L"--target", L"A:\\one", L"--url", L"u1", L"--target", L"B:\\two", L"--url", L"u2",
               L"--skip-download", L"--skip-download"});
    EXPECT_EQ(settings.targetDir, L"B:\\two");
    EXPECT_EQ(settings.downloadUrl, L"u2");
    EXPECT_TRUE(settings.skipDownload);
}

TEST(CommandLine, ArgumentZeroIsNeverAnOption) {
    InstallerSettings settings;
    ApplyCommandLine({L"--skip-download"}, settings);
    EXPECT_FALSE(settings.skipDownload);
    ApplyCommandLine({L"--url", L"http://x/"}, settings);
    EXPECT_EQ(settings.downloadUrl, DEFAULT_DOWNLOAD_URL);
}

TEST(WindowPlacementMath, CentresAndRoundsTowardZeroWithoutClamping) {
    const RECT frame{-8, -31, 668, 538}; // 676 x 569 outer
    WindowPlacement placement = CentredPlacement(frame, 1280, 1024);
    EXPECT_EQ(placement.width, 676);
    EXPECT_EQ(placement.height, 569);
    EXPECT_EQ(placement.x, 302);
    EXPECT_EQ(placement.y, 227); // 455 / 2 rounds down

    placement = CentredPlacement(frame, 640, 480); // a screen smaller than the window
    EXPECT_EQ(placement.x, -18);
    EXPECT_EQ(placement.y, -44); // -89 / 2 rounds toward zero
}

} // namespace
