// The setup window procedure driven in-process: the real class and window of the program, with
// a second thread answering the message boxes the way a user would.
#include "ui/startup.h"
#include "app/state.h"
#include "ui/window.h"
#include "ui/ui_test_support.h"

#include "support/state_reset.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <chrono>
#include <filesystem>

namespace {

RECT ChildRect(HWND parent, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ExpectRect(const RECT& rect, int left, int top, int right, int bottom) {
    EXPECT_EQ(rect.left, left);
    EXPECT_EQ(rect.top, top);
    EXPECT_EQ(rect.right, right);
    EXPECT_EQ(rect.bottom, bottom);
}

// The exit code of the WM_QUIT that ends the message loop, or -1 when none is waiting.
int QuitCode() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
        DispatchMessageW(&message);
    }
    return -1;
}

class SetupWindow : public testing::Test {
protected:
    void SetUp() override {
        ResetProgressState();
        g_settings.pageState = PAGE_WELCOME;
        window_ = MakeSetupWindow();
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (IsWindow(window_)) DestroyWindow(window_);
        DrainMessages();
    }
    HWND window_ = nullptr;
};

TEST_F(SetupWindow, CreationMakesFontsAndTheFourButtons) {
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 660);
    EXPECT_EQ(client.bottom, 530);
    EXPECT_EQ(GetWindowLongW(window_, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

    for (HFONT font : {g_settings.titleFont.Get(), g_settings.subtitleFont.Get(), g_settings.bodyFont.Get(),
                       g_settings.headingFont.Get(), g_settings.buttonFont.Get(), g_settings.smallFont.Get(),
                       g_settings.consoleFont.Get()}) {
        EXPECT_NE(font, nullptr);
    }
    EXPECT_NE(g_settings.subtitleFont.Get(), g_settings.bodyFont.Get());
    LOGFONTW console{};
    GetObjectW(g_settings.consoleFont.Get(), sizeof(console), &console);
    EXPECT_STREQ(console.lfFaceName, L"Consolas");
    EXPECT_EQ(console.lfHeight, -12);
    EXPECT_EQ(console.lfPitchAndFamily, FIXED_PITCH | FF_MODERN);

    EXPECT_EQ(GetDlgItem(window_, ID_INSTALL), g_settings.installButton);
    EXPECT_EQ(GetDlgItem(window_, ID_CLOSE), g_settings.closeButton);
    ExpectRect(ChildRect(window_, g_settings.installButton), 328, 468, 508, 510);
    ExpectRect(ChildRect(window_, g_settings.cancelButton), 522, 468, 632, 510);
    EXPECT_EQ(GetWindowLongW(g_settings.installButton, GWL_STYLE) & 0xFFFF000F, 0x5001000B);
    EXPECT_EQ(GetWindowLongW(g_settings.launchButton, GWL_STYLE) & 0xFFFF000F, 0x4001000B);
    wchar_t caption[64] = {};
    GetWindowTextW(g_settings.launchButton, caption, 64);
    EXPECT_STREQ(caption, L"Запустить сейчас");
}

TEST_F(SetupWindow, EraseBackgroundErasesNothing) {
    EXPECT_EQ(SendMessageW(window_, WM_ERASEBKGND, 0, 0), 1);
    EXPECT_EQ(SendMessageW(window_, WM_COMMAND, 4242, 0), 0);
    DRAWITEMSTRUCT notAButton{};
    notAButton.CtlType = ODT_LISTBOX;
    EXPECT_EQ(SendMessageW(window_, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&notAButton)), 0);
    EXPECT_TRUE(IsWindow(window_));
}

TEST_F(SetupWindow, FinishedSwapsTheButtonPair) {
    g_settings.pageState = PAGE_INSTALLING;
    ShowWindow(g_settings.installButton, SW_HIDE);
    ShowWindow(g_settings.cancelButton, SW_HIDE);
    SendMessageW(window_, WM_INSTALL_FINISHED, 0, 0);
    EXPECT_EQ(g_settings.pageState, PAGE_FINISHED);
    EXPECT_FALSE(GetWindowLongW(g_settings.installButton, GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(GetWindowLongW(g_settings.cancelButton, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongW(g_settings.launchButton, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongW(g_settings.closeButton, GWL_STYLE) & WS_VISIBLE);
    // Launch sits where install was, 10 px narrower on the left; close where cancel was.
    ExpectRect(ChildRect(window_, g_settings.launchButton), 338, 468, 508, 510);
    ExpectRect(ChildRect(window_, g_settings.closeButton), 522, 468, 632, 510);
}

TEST_F(SetupWindow, ClosingOnWelcomeOrFinishedAsksNothing) {
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(QuitCode(), EXIT_CLOSED_BY_USER);
    EXPECT_EQ(g_settings.titleFont.Get(), nullptr); // released on WM_DESTROY

    window_ = MakeSetupWindow();
    g_settings.pageState = PAGE_INSTALLING;
    SendMessageW(window_, WM_INSTALL_FINISHED, 0, 0);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(QuitCode(), EXIT_INSTALLED);
}

TEST_F(SetupWindow, CancelAndCloseButtonsDestroyAtOnce) {
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(ID_CANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(QuitCode(), EXIT_CLOSED_BY_USER);
    window_ = MakeSetupWindow();
    g_settings.pageState = PAGE_INSTALLING; // the close button never asks, whatever the page
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(ID_CLOSE, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(SetupWindow, ClosingDuringInstallationAsksAndNoKeepsTheWindow) {
    g_settings.pageState = PAGE_INSTALLING;
    {
        BoxAnswerer answerer(CLOSE_QUESTION_CAPTION, IDNO);
        SendMessageW(window_, WM_CLOSE, 0, 0);
        const AnsweredBox box = answerer.Result();
        ASSERT_TRUE(box.found);
        EXPECT_EQ(box.text, L"Установка ZENKA еще выполняется.\n"
                            L"Вы действительно хотите прервать процесс установки?");
        EXPECT_EQ(box.defaultButton, IDNO);
    }
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(g_settings.pageState, PAGE_INSTALLING);

    BoxAnswerer answerer(CLOSE_QUESTION_CAPTION, IDYES);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(answerer.Result().found);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(QuitCode(), EXIT_CLOSED_BY_USER);
}

TEST_F(SetupWindow, WorkerCloseRequestDestroysWithoutAsking) {
    g_settings.pageState = PAGE_INSTALLING;
    PostMessageW(window_, WM_CLOSE_REQUEST, 0, 0);
    EXPECT_EQ(QuitCode(), EXIT_NETWORK_CANCELLED);
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(SetupWindow, FatalErrorShowsTheTextThenClosesWithItsExitCode) {
    PostFatalError(nullptr, L"Не удалось открыть архив: X:\\nowhere\\payload.zip");
    BoxAnswerer answerer(FATAL_ERROR_CAPTION, IDOK);
    SendMessageW(window_, WM_FATAL_ERROR, 0, 0);
    const AnsweredBox box = answerer.Result();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, L"Не удалось открыть архив: X:\\nowhere\\payload.zip");
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(QuitCode(), EXIT_INSTALL_FAILED);

    window_ = MakeSetupWindow();
    PostFatalError(nullptr, L"Нельзя установить ZENKA в папку: C:\\", EXIT_FOLDER_REFUSED);
    BoxAnswerer second(FATAL_ERROR_CAPTION, IDOK);
    SendMessageW(window_, WM_FATAL_ERROR, 0, 0);
    EXPECT_TRUE(second.Result().found);
    EXPECT_EQ(QuitCode(), EXIT_FOLDER_REFUSED);
}

TEST_F(SetupWindow, FatalErrorWithoutTextStillCloses) {
    BoxAnswerer answerer(FATAL_ERROR_CAPTION, IDOK);
    SendMessageW(window_, WM_FATAL_ERROR, 0, 0);
    const AnsweredBox box = answerer.Result();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, L"");
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(SetupWindow, InstallButtonStartsTheWorkerWithTheSettings) {
    // A target without payload.zip: the worker started with these settings fails to open it,
    // and its error comes back through the window.
    const std::filesystem::path target =
        std::filesystem::temp_directory_path() / ("zenka-ui-install-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::remove_all(target);
    g_settings.targetDir = target.wstring();
    g_settings.skipDownload = true;

    BoxAnswerer answerer(FATAL_ERROR_CAPTION, IDOK);
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(ID_INSTALL, BN_CLICKED), 0);
    EXPECT_EQ(g_settings.pageState, PAGE_INSTALLING);
    EXPECT_FALSE(GetWindowLongW(g_settings.installButton, GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(GetWindowLongW(g_settings.cancelButton, GWL_STYLE) & WS_VISIBLE);

    MSG message;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (IsWindow(window_) && std::chrono::steady_clock::now() < deadline) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    const AnsweredBox box = answerer.Result();
    ASSERT_TRUE(box.found);
    EXPECT_NE(box.text.find(target.wstring()), std::wstring::npos) << testing::PrintToString(box.text);
    EXPECT_FALSE(IsWindow(window_));
    std::filesystem::remove_all(target);
}

// Counts the window's paints and remembers which report each one could show.
struct PaintLog {
    int reportsHandled = 0;
    int paints = 0;
    int reportsShownByLastPaint = -1;
};

LRESULT CALLBACK PaintLogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* log = reinterpret_cast<PaintLog*>(data);
    if (message == WM_STATE_CHANGED) ++log->reportsHandled;
    if (message == WM_PAINT) {
        ++log->paints;
        log->reportsShownByLastPaint = log->reportsHandled;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void PumpWaiting() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

TEST_F(SetupWindow, AStreamOfReportsIsPaintedAtAPaceAndItsLastStateIsShown) {
    using Clock = std::chrono::steady_clock;
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    PumpWaiting();
    PaintLog log;
    ASSERT_TRUE(SetWindowSubclass(window_, &PaintLogProc, 1, reinterpret_cast<DWORD_PTR>(&log)));

    // A report every 2 ms for 300 ms, as the unpacking sends them, each handled before the next.
    const Clock::time_point start = Clock::now();
    int reports = 0;
    while (Clock::now() - start < std::chrono::milliseconds(300)) {
        PostMessageW(window_, WM_STATE_CHANGED, 0, 0);
        ++reports;
        PumpWaiting();
        Sleep(2);
    }
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    // The state after the last report is painted too, a little later.
    const Clock::time_point waitEnd = Clock::now() + std::chrono::seconds(5);
    while (log.reportsShownByLastPaint != reports && Clock::now() < waitEnd) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpWaiting();
    }
    RemoveWindowSubclass(window_, &PaintLogProc, 1);

    EXPECT_EQ(log.reportsHandled, reports);
    EXPECT_EQ(log.reportsShownByLastPaint, reports);
    // One paint per 40 ms at most, plus the first and the closing one; a slow machine only lowers
    // the number.
    EXPECT_LE(log.paints, elapsedMs / 40 + 3) << reports << " reports in " << elapsedMs << " ms";
}

} // namespace
