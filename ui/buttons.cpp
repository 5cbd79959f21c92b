#include "ui/buttons.h"

#include "app/state.h"
#include "base/owners.h"
#include "ui/control_ids.h"

#include <commctrl.h>

const wchar_t* const HOVER_PROPERTY = L"ZENKA_HOVER";

ButtonColours PickButtonColours(int controlId, bool hovered, bool pressed) {
    const bool primary = controlId == ID_INSTALL || controlId == ID_LAUNCH;
    if (primary) {
        const COLORREF fill = pressed ? RGB(0, 108, 190) : hovered ? RGB(16, 132, 217) : RGB(0, 120, 212);
        return {fill, fill, RGB(255, 255, 255)};
    }
    const COLORREF fill = pressed ? RGB(32, 32, 32) : hovered ? RGB(56, 56, 56) : RGB(42, 42, 42);
    return {fill, RGB(63, 63, 70), RGB(224, 224, 224)};
}

void DrawSetupButton(const DRAWITEMSTRUCT& item) {
    const int width = item.rcItem.right - item.rcItem.left;
    const int height = item.rcItem.bottom - item.rcItem.top;
    const bool hovered = GetPropW(item.hwndItem, HOVER_PROPERTY) != nullptr;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const ButtonColours colours = PickButtonColours(static_cast<int>(item.CtlID), hovered, pressed);

    const MemoryDc memoryDc(CreateCompatibleDC(item.hDC));
    const HDC memory = memoryDc.Get();
    const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(item.hDC, width, height));
    const GdiSelection bitmapSelection(memory, bitmap.Get());

    // The corners outside the rounded shape keep the page's colour.
    const RECT whole{0, 0, width, height};
    FillRect(memory, &whole, GdiObject<HBRUSH>(CreateSolidBrush(BUTTON_BACKDROP)).Get());
    {
        const GdiObject<HBRUSH> fill(CreateSolidBrush(colours.fill));
        const GdiObject<HPEN> border(CreatePen(PS_SOLID, 1, colours.border));
        const GdiSelection fillSelection(memory, fill.Get());
        const GdiSelection borderSelection(memory, border.Get());
        RoundRect(memory, 0, 0, width, height, 6, 6);
    }

    wchar_t caption[BUTTON_CAPTION_MAX + 1] = {};
    GetWindowTextW(item.hwndItem, caption, BUTTON_CAPTION_MAX + 1);

    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, colours.text);
    {
        const GdiSelection fontSelection(memory, g_settings.buttonFont.Get());
        RECT textRect = whole;
        DrawTextW(memory, caption, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }

    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, memory, 0, 0, SRCCOPY);
}

LRESULT CALLBACK ButtonSubclassProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclassId,
                                    DWORD_PTR) {
    switch (message) {
    case WM_SETCURSOR: SetCursor(LoadCursorW(nullptr, IDC_HAND)); return TRUE;
    case WM_MOUSEMOVE:
        // Only the entry matters: later moves inside the button would repaint for nothing.
        if (GetPropW(button, HOVER_PROPERTY) == nullptr) {
            SetPropW(button, HOVER_PROPERTY, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)));
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof(track);
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = button;
            track.dwHoverTime = 0;
            TrackMouseEvent(&track);
            InvalidateRect(button, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        RemovePropW(button, HOVER_PROPERTY);
        InvalidateRect(button, nullptr, FALSE);
        break;
    case WM_NCDESTROY:
        RemovePropW(button, HOVER_PROPERTY);
        RemoveWindowSubclass(button, &ButtonSubclassProc, subclassId);
        break;
    default: break;
    }
    return DefSubclassProc(button, message, wParam, lParam);
}
