// The palette and the drawing helpers the setup window's pages share. The pages and the frame that
// composes them are in ui/pages.h.
#pragma once

#include <windows.h>

#include <string>

// The palette.
constexpr COLORREF WINDOW_BACKGROUND = RGB(24, 24, 24);
constexpr COLORREF TEXT_WHITE = RGB(255, 255, 255);
constexpr COLORREF TEXT_GREY = RGB(160, 160, 160);
constexpr COLORREF PARAGRAPH_GREY = RGB(208, 208, 208);
constexpr COLORREF LIGHT_BODY = RGB(212, 212, 212);
constexpr COLORREF CAPTION_GREY = RGB(128, 128, 128);
constexpr COLORREF ACCENT_BLUE = RGB(0, 120, 212);
constexpr COLORREF SUCCESS_GREEN = RGB(92, 216, 90);
constexpr COLORREF IN_PROGRESS_BLUE = RGB(0, 160, 255);
constexpr COLORREF CONSOLE_TEXT = RGB(210, 210, 210);
constexpr COLORREF CONSOLE_PLAIN = RGB(190, 190, 190);
constexpr COLORREF CARD_FILL = RGB(34, 34, 34);
constexpr COLORREF CARD_BORDER = RGB(51, 51, 51);
constexpr COLORREF FOOTER_FILL = RGB(29, 29, 29);
constexpr COLORREF FOOTER_BORDER = RGB(46, 46, 46);
constexpr COLORREF TRACK_FILL = RGB(45, 45, 45);
constexpr COLORREF TRACK_BORDER = RGB(56, 56, 56);
constexpr COLORREF CONSOLE_FILL = RGB(20, 20, 20);
constexpr COLORREF CONSOLE_BORDER = RGB(38, 38, 38);

// DrawTextW styles used by every page text.
constexpr UINT TEXT_SINGLE = DT_SINGLELINE | DT_NOPREFIX;
constexpr UINT TEXT_WRAPPED = DT_WORDBREAK | DT_NOPREFIX;
constexpr UINT TEXT_RIGHT = DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX;

// The progress track, in client pixels.
constexpr int TRACK_LEFT = 50;
constexpr int TRACK_TOP = 150;
constexpr int TRACK_WIDTH = 560;
constexpr int TRACK_HEIGHT = 14;
constexpr int TRACK_FILL_MIN = 4; // any progress at all stays visible

// Width in pixels of the bar's fill for a progress in thousandths: 0 for no progress, otherwise
// progress * 560 / 1000 truncated and kept within 4..560.
int ProgressFillWidth(int progress);

// "45.6%" for 456: one decimal, decimal point, whatever the user's locale.
std::wstring FormatPercent(int progress);

enum class ConsolePrefix { None, Done, InProgress };

// How a console line is drawn: a recognised prefix ("[OK]" or "[..]", exact and case-sensitive,
// the line at least 4 characters long) and where the rest begins (after the prefix and at most
// one space). For an unrecognised line restStart is 0.
struct ConsoleLineParts {
    ConsolePrefix prefix = ConsolePrefix::None;
    size_t restStart = 0;
};
ConsoleLineParts SplitConsoleLine(const std::wstring& line);

// A rounded rectangle (x, y, x + width, y + height) filled and outlined with 1 px; the brush and
// pen are made, used and deleted here.
void DrawRoundedPanel(HDC dc, int x, int y, int width, int height, COLORREF fill, COLORREF border, int corner);

// DrawTextW of `text` in (left, top, right, bottom) with the font, colour and style given.
void DrawTextAt(HDC dc, const std::wstring& text, int left, int top, int right, int bottom, HFONT font, COLORREF colour,
                UINT style);
