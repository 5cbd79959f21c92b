#include "ui/paint.h"

#include "app/state.h"
#include "base/number_text.h"
#include "base/owners.h"

#include <algorithm>

int ProgressFillWidth(int progress) {
    if (progress <= 0) return 0;
    const int width = static_cast<int>(static_cast<long long>(progress) * TRACK_WIDTH / PROGRESS_MAX);
    return std::clamp(width, TRACK_FILL_MIN, TRACK_WIDTH);
}

std::wstring FormatPercent(int progress) {
    // Integer arithmetic gives the one decimal without going through the C locale.
    const int magnitude = progress < 0 ? -progress : progress;
    std::wstring text = progress < 0 ? L"-" : L"";
    text += DecimalText(magnitude / 10) + L"." + DecimalText(magnitude % 10) + L"%";
    return text;
}

ConsoleLineParts SplitConsoleLine(const std::wstring& line) {
    ConsoleLineParts parts;
    if (line.size() < 4) return parts;
    if (line.compare(0, 4, L"[OK]") == 0) {
        parts.prefix = ConsolePrefix::Done;
    } else if (line.compare(0, 4, L"[..]") == 0) {
        parts.prefix = ConsolePrefix::InProgress;
    } else {
        return parts;
    }
    parts.restStart = (line.size() > 4 && line[4] == L' ') ? 5 : 4;
    return parts;
}

void DrawRoundedPanel(HDC dc, int x, int y, int width, int height, COLORREF fill, COLORREF border, int corner) {
    const GdiObject<HBRUSH> brush(CreateSolidBrush(fill));
    const GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, border));
    const GdiSelection brushSelection(dc, brush.Get());
    const GdiSelection penSelection(dc, pen.Get());
    RoundRect(dc, x, y, x + width, y + height, corner, corner);
}

void DrawTextAt(HDC dc, const std::wstring& text, int left, int top, int right, int bottom, HFONT font, COLORREF colour,
                UINT style) {
    SelectObject(dc, font);
    SetTextColor(dc, colour);
    RECT rect{left, top, right, bottom};
    DrawTextW(dc, text.c_str(), -1, &rect, style);
}
