#include "ui/paint.h"

#include "app/state.h"
#include "ui/pages.h"

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
    text += std::to_wstring(magnitude / 10) + L"." + std::to_wstring(magnitude % 10) + L"%";
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

void DrawRoundedPanel(HDC dc, int x, int y, int width, int height, COLORREF fill, COLORREF border,
                      int corner) {
    HBRUSH brush = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, 1, border);
    HGDIOBJ previousBrush = SelectObject(dc, brush);
    HGDIOBJ previousPen = SelectObject(dc, pen);
    RoundRect(dc, x, y, x + width, y + height, corner, corner);
    SelectObject(dc, previousBrush);
    SelectObject(dc, previousPen);
    DeleteObject(brush);
    DeleteObject(pen);
}

void DrawTextAt(HDC dc, const std::wstring& text, int left, int top, int right, int bottom, HFONT font,
                COLORREF colour, UINT style) {
    SelectObject(dc, font);
    SetTextColor(dc, colour);
    RECT rect{left, top, right, bottom};
    DrawTextW(dc, text.c_str(), -1, &rect, style);
}

void ComposeSetupPage(HDC target, int width, int height) {
    HDC memory = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, width, height);
    HGDIOBJ previousBitmap = SelectObject(memory, bitmap);

    const RECT client{0, 0, width, height};
    HBRUSH background = CreateSolidBrush(WINDOW_BACKGROUND);
    FillRect(memory, &client, background);
    DeleteObject(background);
    SetBkMode(memory, TRANSPARENT);

    if (g_settings.appIcon != nullptr) {
        DrawIconEx(memory, 28, 24, g_settings.appIcon, 48, 48, 0, nullptr, DI_NORMAL);
    }

    // pageState is written only on this thread, so it is read without the lock.
    switch (g_settings.pageState) {
    case PAGE_WELCOME: PaintWelcomePage(memory); break;
    case PAGE_INSTALLING: PaintInstallingPage(memory); break;
    case PAGE_FINISHED: PaintFinishedPage(memory); break;
    default: break;
    }

    BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    // The fonts stay selected; they belong to the window and outlive this DC.
    SelectObject(memory, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

void PaintSetupWindow(HWND window) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    ComposeSetupPage(dc, client.right - client.left, client.bottom - client.top);
    EndPaint(window, &paint);
}
