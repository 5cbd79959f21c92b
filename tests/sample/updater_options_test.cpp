#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "sample/updater_options.h"

namespace {

bool Parse(std::vector<std::wstring> args, UpdaterOptions& options) {
    std::wstring error;
    return ParseUpdaterOptions(args, options, error);
}

}  // namespace

TEST(UpdaterOptions, RegisteredCommandLinesSelectTheirModes) {
    UpdaterOptions options;
    ASSERT_TRUE(Parse({}, options));
    EXPECT_EQ(options.mode, UpdaterMode::Info);
    EXPECT_FALSE(options.quiet);

    ASSERT_TRUE(Parse({L"--uninstall"}, options));
    EXPECT_EQ(options.mode, UpdaterMode::Uninstall);
    EXPECT_FALSE(options.quiet);

    ASSERT_TRUE(Parse({L"--uninstall", L"--quiet"}, options));
    EXPECT_EQ(options.mode, UpdaterMode::Uninstall);
    EXPECT_TRUE(options.quiet);

    // Order and ASCII case do not matter.
    ASSERT_TRUE(Parse({L"--QUIET", L"--Uninstall"}, options));
    EXPECT_EQ(options.mode, UpdaterMode::Uninstall);
    EXPECT_TRUE(options.quiet);
}

TEST(UpdaterOptions, FinishRemovalNeedsDirectoryAndParent) {
    UpdaterOptions options;
    ASSERT_TRUE(
        Parse({L"--finish-removal", L"C:\\Games\\ZENKA", L"--parent-pid", L"4242"}, options));
    EXPECT_EQ(options.mode, UpdaterMode::FinishRemoval);
    EXPECT_EQ(options.removalDirectory, L"C:\\Games\\ZENKA");
    EXPECT_EQ(options.parentProcessId, 4242u);

    ASSERT_TRUE(Parse({L"--parent-pid", L"4294967295", L"--finish-removal", L"D:\\Z"}, options));
    EXPECT_EQ(options.parentProcessId, 4294967295u);
}

TEST(UpdaterOptions, RejectsWhatItCannotCarryOut) {
    const std::vector<std::vector<std::wstring>> rejected = {
        {L"--install"},
        {L"uninstall"},
        {L"--uninstall", L"--uninstall"},
        {L"--finish-removal"},
        {L"--finish-removal", L""},
        {L"--finish-removal", L"C:\\Z"},                     // no parent
        {L"--parent-pid", L"12"},                            // no directory
        {L"--finish-removal", L"C:\\Z", L"--parent-pid"},
        {L"--finish-removal", L"C:\\Z", L"--parent-pid", L"0"},
        {L"--finish-removal", L"C:\\Z", L"--parent-pid", L"-5"},
        {L"--finish-removal", L"C:\\Z", L"--parent-pid", L"12x"},
        {L"--finish-removal", L"C:\\Z", L"--parent-pid", L"4294967296"},
        {L"--finish-removal", L"C:\\Z", L"--parent-pid", L"7", L"--uninstall"},
    };
    for (const auto& args : rejected) {
        UpdaterOptions options;
        std::wstring error;
        EXPECT_FALSE(ParseUpdaterOptions(args, options, error)) << args.front().c_str();
        EXPECT_FALSE(error.empty());
    }
    UpdaterOptions options;
    std::wstring error;
    ParseUpdaterOptions({L"--uninstall", L"--bogus"}, options, error);
    EXPECT_EQ(error, L"--bogus");
}

// The helper's command line is built with QuoteArgument and read back by CommandLineToArgvW: any
// directory name must survive the trip unchanged.
TEST(UpdaterOptions, QuotedArgumentsSurviveTheCommandLine) {
    const std::vector<std::wstring> samples = {
        L"C:\\Program Files\\ZENKA",
        L"C:\\Games\\ZENKA\\",
        L"C:\\Игры\\ZENKA 2",
        L"C:\\odd\"name\\x",
        L"C:\\trailing\\\\",
        L"plain",
        L"",
        L"a\\\\\"b",
    };
    for (const std::wstring& sample : samples) {
        std::wstring commandLine = L"prog.exe " + QuoteArgument(sample) + L" next";
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        ASSERT_EQ(count, 3) << commandLine;
        EXPECT_EQ(std::wstring(argv[1]), sample) << commandLine;
        EXPECT_EQ(std::wstring(argv[2]), L"next");
        LocalFree(argv);
    }
}
