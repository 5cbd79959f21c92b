// The pages as they are painted: the real paint routine composes into a 32-bit canvas and the
// pixels where colours (not glyph shapes, which depend on the substituted fonts) decide are read.
#include "app/state.h"
#include "ui/pages.h"
#include "ui/paint.h"
#include "ui/gdi_count.h"
#include "ui/ui_test_support.h"

#include "support/state_reset.h"

#include <gtest/gtest.h>

namespace {

#define EXPECT_COLOUR(canvas, x, y, colour)                                                        \
    EXPECT_EQ(ColourName((canvas).Pixel(x, y)), ColourName(colour)) << "at (" << (x) << "," << (y) << ")"

constexpr int BAR_ROW = 157; // the middle row of the progress track

class PagePaint : public testing::Test {
protected:
    void SetUp() override {
        ResetProgressState();
        window_ = MakeSetupWindow();
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window_);
        DrainMessages();
        g_settings.pageState = PAGE_WELCOME;
    }
    void Paint(int page) {
        g_settings.pageState = page;
        ComposeSetupPage(canvas_.dc(), 660, 530);
    }
    HWND window_ = nullptr;
    Canvas canvas_{660, 530};
};

TEST(PaintMath, FillWidthHasAMinimumAndAMaximum) {
    EXPECT_EQ(ProgressFillWidth(0), 0);
    EXPECT_EQ(ProgressFillWidth(-3), 0);
    for (int progress = 1; progress <= 7; ++progress) EXPECT_EQ(ProgressFillWidth(progress), 4) << progress;
    EXPECT_EQ(ProgressFillWidth(8), 4);
    EXPECT_EQ(ProgressFillWidth(9), 5);
    EXPECT_EQ(ProgressFillWidth(456), 255);
    EXPECT_EQ(ProgressFillWidth(999), 559);
    EXPECT_EQ(ProgressFillWidth(1000), 560);
    EXPECT_EQ(ProgressFillWidth(5000), 560);
}

TEST(PaintMath, PercentHasOneDecimalAndAPoint) {
    EXPECT_EQ(FormatPercent(0), L"0.0%");
    EXPECT_EQ(FormatPercent(5), L"0.5%");
    EXPECT_EQ(FormatPercent(456), L"45.6%");
    EXPECT_EQ(FormatPercent(1000), L"100.0%");
}

TEST(PaintMath, ConsolePrefixIsExactAndSkipsOneSpace) {
    struct Case {
        const wchar_t* line;
        ConsolePrefix prefix;
        size_t restStart;
    };
    const Case cases[] = {
        {L"[OK] done", ConsolePrefix::Done, 5},     {L"[OK]done", ConsolePrefix::Done, 4},
        {L"[OK]  two", ConsolePrefix::Done, 5},     {L"[OK]", ConsolePrefix::Done, 4},
        {L"[..] busy", ConsolePrefix::InProgress, 5}, {L"[..]", ConsolePrefix::InProgress, 4},
        {L"[ok] lower", ConsolePrefix::None, 0},    {L"OK done", ConsolePrefix::None, 0},
        {L"[OK", ConsolePrefix::None, 0},           {L"", ConsolePrefix::None, 0},
        {L" [OK] indented", ConsolePrefix::None, 0}, {L"[...] dots", ConsolePrefix::None, 0},
    };
    for (const Case& c : cases) {
        const ConsoleLineParts parts = SplitConsoleLine(c.line);
        EXPECT_EQ(parts.prefix, c.prefix) << testing::PrintToString(std::wstring(c.line));
        EXPECT_EQ(parts.restStart, c.restStart) << testing::PrintToString(std::wstring(c.line));
    }
}

TEST_F(PagePaint, WelcomePanelsOnTheWindowBackground) {
    Paint(PAGE_WELCOME);
    EXPECT_COLOUR(canvas_, 2, 2, WINDOW_BACKGROUND);
    EXPECT_COLOUR(canvas_, 300, 202, WINDOW_BACKGROUND); // the gap between the two panels
    EXPECT_COLOUR(canvas_, 300, 88, CARD_BORDER);        // about panel, top edge
    EXPECT_COLOUR(canvas_, 40, 190, CARD_FILL);
    EXPECT_COLOUR(canvas_, 631, 300, CARD_BORDER); // features panel, right edge
    EXPECT_COLOUR(canvas_, 620, 380, CARD_FILL);
    EXPECT_COLOUR(canvas_, 300, 400, FOOTER_BORDER);
    EXPECT_COLOUR(canvas_, 620, 447, FOOTER_FILL);
    EXPECT_COLOUR(canvas_, 28, 88, WINDOW_BACKGROUND); // outside the rounded corner
    EXPECT_COLOUR(canvas_, 300, 500, WINDOW_BACKGROUND); // the button band is not painted here
    EXPECT_TRUE(canvas_.Contains(44, 414, 68, 440, ACCENT_BLUE) ||
                canvas_.Contains(44, 414, 68, 440, RGB(0, 120, 212)));
    EXPECT_TRUE(canvas_.Contains(90, 24, 400, 52, TEXT_WHITE)); // the title
}

TEST_F(PagePaint, ProgressFillForEveryRegimeOfTheBar) {
    struct Case {
        int progress;
        int lastFilledX; // -1: no fill
    };
    const Case cases[] = {{0, -1}, {1, 53}, {4, 53}, {7, 53}, {8, 53}, {9, 54}, {456, 304}, {1000, 608}};
    for (const Case& c : cases) {
        PostProgress(nullptr, L"status", L"detail", c.progress);
        Paint(PAGE_INSTALLING);
        SCOPED_TRACE(c.progress);
        EXPECT_COLOUR(canvas_, 50, BAR_ROW, TRACK_BORDER); // the outline is drawn again over the fill
        EXPECT_COLOUR(canvas_, 609, BAR_ROW, TRACK_BORDER);
        if (c.lastFilledX < 0) {
            EXPECT_COLOUR(canvas_, 51, BAR_ROW, TRACK_FILL);
            EXPECT_FALSE(canvas_.Contains(50, 150, 610, 164, ACCENT_BLUE));
            continue;
        }
        EXPECT_COLOUR(canvas_, 51, BAR_ROW, ACCENT_BLUE);
        EXPECT_COLOUR(canvas_, c.lastFilledX, BAR_ROW, ACCENT_BLUE);
        if (c.lastFilledX < 608) {
            EXPECT_COLOUR(canvas_, c.lastFilledX + 1, BAR_ROW, TRACK_FILL);
        }
        // The clip keeps the corners of the rounded track free of fill.
        EXPECT_NE(canvas_.Pixel(50, 150), ACCENT_BLUE);
        EXPECT_NE(canvas_.Pixel(609, 163), ACCENT_BLUE);
    }
}

TEST_F(PagePaint, InstallingPanelsAndConsoleBox) {
    Paint(PAGE_INSTALLING);
    EXPECT_COLOUR(canvas_, 300, 100, CARD_BORDER);
    EXPECT_COLOUR(canvas_, 35, 370, CARD_FILL);
    EXPECT_COLOUR(canvas_, 300, 204, CONSOLE_BORDER);
    EXPECT_COLOUR(canvas_, 600, 355, CONSOLE_FILL);
    EXPECT_COLOUR(canvas_, 300, 400, FOOTER_BORDER);
    EXPECT_TRUE(canvas_.Contains(58, 212, 300, 230, CAPTION_GREY)); // the console caption
    // Before the worker's first report: "0.0%" in accent blue at the right of the heading.
    EXPECT_TRUE(canvas_.Contains(520, 122, 590, 148, ACCENT_BLUE));
    // No lines yet: the line area holds nothing but the console fill.
    EXPECT_EQ(canvas_.FirstColumnNot(50, 232, 610, 352, CONSOLE_FILL), -1);
}

TEST_F(PagePaint, ConsolePrefixesAreColouredOnlyWhenExact) {
    PostLogLine(nullptr, L"[OK] Готово");
    PostLogLine(nullptr, L"[..] Загрузка");
    PostLogLine(nullptr, L"[ok] lower case");
    PostLogLine(nullptr, L"OK without brackets");
    PostLogLine(nullptr, L"[OK]");
    PostLogLine(nullptr, L"[..]");
    Paint(PAGE_INSTALLING);

    auto row = [](int index) { return 232 + 20 * index; };
    EXPECT_TRUE(canvas_.Contains(58, row(0), 100, row(0) + 18, SUCCESS_GREEN));
    EXPECT_FALSE(canvas_.Contains(58, row(0), 590, row(0) + 18, IN_PROGRESS_BLUE));
    EXPECT_TRUE(canvas_.Contains(100, row(0), 300, row(0) + 18, CONSOLE_TEXT));

    EXPECT_TRUE(canvas_.Contains(58, row(1), 100, row(1) + 18, IN_PROGRESS_BLUE));
    EXPECT_FALSE(canvas_.Contains(58, row(1), 590, row(1) + 18, SUCCESS_GREEN));

    for (int index : {2, 3}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(canvas_.Contains(58, row(index), 590, row(index) + 18, SUCCESS_GREEN));
        EXPECT_FALSE(canvas_.Contains(58, row(index), 590, row(index) + 18, CONSOLE_TEXT));
        EXPECT_TRUE(canvas_.Contains(58, row(index), 300, row(index) + 18, CONSOLE_PLAIN));
    }
    // A bare prefix draws the prefix alone.
    EXPECT_TRUE(canvas_.Contains(58, row(4), 100, row(4) + 18, SUCCESS_GREEN));
    EXPECT_TRUE(canvas_.Contains(58, row(5), 100, row(5) + 18, IN_PROGRESS_BLUE));
    const int prefixEnd = 100;
    EXPECT_EQ(canvas_.FirstColumnNot(prefixEnd, row(4), 610, row(5) + 18, CONSOLE_FILL), -1);
}

TEST_F(PagePaint, TextAfterAPrefixStartsOneSpaceWidthAfterIt) {
    // Lines that differ only in the spaces after "[OK]"; the first letter's column tells where
    // the rest was placed.
    PostLogLine(nullptr, L"[OK]");
    PostLogLine(nullptr, L"[OK] Mdone");
    PostLogLine(nullptr, L"[OK]Mdone");
    PostLogLine(nullptr, L"[OK]  Mdone");
    Paint(PAGE_INSTALLING);
    auto top = [](int index) { return 232 + 20 * index; };
    int prefixRight = 58;
    for (int x = 58; x < 200; ++x)
        for (int y = top(0); y < top(0) + 18; ++y)
            if (canvas_.Pixel(x, y) != CONSOLE_FILL) prefixRight = x;
    const int oneSpace = canvas_.FirstColumnNot(prefixRight + 1, top(1), 610, top(1) + 18, CONSOLE_FILL);
    const int noSpace = canvas_.FirstColumnNot(prefixRight + 1, top(2), 610, top(2) + 18, CONSOLE_FILL);
    const int twoSpaces = canvas_.FirstColumnNot(prefixRight + 1, top(3), 610, top(3) + 18, CONSOLE_FILL);
    ASSERT_GT(oneSpace, prefixRight);
    EXPECT_EQ(noSpace, oneSpace);
    EXPECT_GT(twoSpaces, oneSpace + 3); // only one space is skipped: the second one is drawn
}

TEST_F(PagePaint, LongTextsAreClippedToTheirRectangles) {
    const std::wstring wide(200, L'W');
    PostProgress(nullptr, wide, wide, 500);
    PostLogLine(nullptr, L"[OK] " + wide);
    Paint(PAGE_INSTALLING);
    // The panel heading stops at 450, the subtitle copy of the same text runs on to 632.
    EXPECT_EQ(canvas_.FirstColumnNot(450, 122, 459, 146, CARD_FILL), -1);
    EXPECT_NE(canvas_.FirstColumnNot(460, 52, 632, 76, WINDOW_BACKGROUND), -1);
    // Console and detail lines stop at 590.
    EXPECT_EQ(canvas_.FirstColumnNot(590, 232, 613, 250, CONSOLE_FILL), -1);
    EXPECT_EQ(canvas_.FirstColumnNot(590, 172, 631, 194, CARD_FILL), -1);
}

TEST_F(PagePaint, FinishedPage) {
    Paint(PAGE_FINISHED);
    EXPECT_TRUE(canvas_.Contains(90, 24, 632, 52, SUCCESS_GREEN)); // the title
    EXPECT_FALSE(canvas_.Contains(90, 24, 632, 52, TEXT_WHITE));
    EXPECT_COLOUR(canvas_, 300, 95, CARD_BORDER);
    EXPECT_COLOUR(canvas_, 300, 238, CARD_BORDER); // the divider
    EXPECT_COLOUR(canvas_, 300, 237, CARD_FILL);
    EXPECT_COLOUR(canvas_, 620, 440, CARD_FILL);
    EXPECT_COLOUR(canvas_, 300, 460, WINDOW_BACKGROUND);
    EXPECT_TRUE(canvas_.Contains(48, 148, 614, 228, LIGHT_BODY));

    // The folder line names the folder of this installation, however short or long.
    const std::wstring given = g_settings.targetDir;
    g_settings.targetDir = L"D:\\Z";
    Paint(PAGE_FINISHED);
    EXPECT_EQ(canvas_.FirstColumnNot(330, 254, 614, 278, CARD_FILL), -1);
    g_settings.targetDir = L"D:\\" + std::wstring(200, L'x') + L"\\ZENKA";
    Paint(PAGE_FINISHED);
    EXPECT_NE(canvas_.FirstColumnNot(560, 254, 614, 278, CARD_FILL), -1);
    g_settings.targetDir = given;
}

TEST_F(PagePaint, UnknownPageStateLeavesOnlyTheBackground) {
    Paint(7);
    EXPECT_EQ(canvas_.FirstColumnNot(80, 0, 660, 530, WINDOW_BACKGROUND), -1);
}

TEST_F(PagePaint, RepaintingLeaksNoGdiObjects) {
    for (int i = 0; i < 6; ++i) PostLogLine(nullptr, L"[..] Строка журнала номер " + std::to_wstring(i));
    PostProgress(nullptr, L"Загрузка дистрибутива ZENKA...", L"10.0 МБ из 122.0 МБ", 456);
    g_settings.pageState = PAGE_INSTALLING;
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    const DWORD before = CountGdiObjects();
    for (int i = 0; i < 1000; ++i) {
        InvalidateRect(window_, nullptr, FALSE);
        UpdateWindow(window_); // a real WM_PAINT through the window procedure
        ComposeSetupPage(canvas_.dc(), 660, 530);
    }
    const DWORD after = CountGdiObjects();
    ASSERT_GT(before, 0u) << "no way to count GDI objects here";
    printf("GDI objects before %lu after %lu\n", static_cast<unsigned long>(before), static_cast<unsigned long>(after));
    EXPECT_EQ(after, before);
}

} // namespace
