// The setup window's flat, rounded push buttons: a painter for WM_DRAWITEM and a subclass
// procedure that tracks hovering in the window property "ZENKA_HOVER".
#pragma once

#include <windows.h>

extern const wchar_t* const HOVER_PROPERTY;

constexpr COLORREF BUTTON_BACKDROP = RGB(24, 24, 24); // the window background behind the corners
constexpr int BUTTON_CAPTION_MAX = 127;               // longer captions are cut

struct ButtonColours {
    COLORREF fill;
    COLORREF border;
    COLORREF text;
};

// Install (1001) and launch (1003) are primary buttons, every other id is secondary. Pressed
// wins over hovered.
ButtonColours PickButtonColours(int controlId, bool hovered, bool pressed);

// Paints one button off-screen and copies it to item.hDC at item.rcItem; creates and frees all
// its GDI objects within the call.
void DrawSetupButton(const DRAWITEMSTRUCT& item);

// Installed with SetWindowSubclass (subclass id = control id): hand cursor, hover flag with leave
// tracking (one repaint per entry and per exit), clean-up on WM_NCDESTROY.
LRESULT CALLBACK ButtonSubclassProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclassId,
                                    DWORD_PTR referenceData);
