// ZENKA.exe: the launcher that the sample package delivers. A small dark window that shows which
// program runs and from which folder, so an installation can be checked at a glance. Exits with 0
// when its window is closed, 1 when the window cannot be made.
#include <windows.h>

#include <string>

#include "base/dll_search.h"
#include "base/owners.h"
#include "sample/launcher_window.h"
#include "sample/system_folders.h"

namespace {

const int CLIENT_WIDTH = 640;
const int CLIENT_HEIGHT = 250;
const COLORREF BACKGROUND = RGB(18, 18, 24);
const COLORREF TITLE_COLOUR = RGB(255, 255, 255);
const COLORREF LABEL_COLOUR = RGB(160, 160, 160);
const COLORREF VALUE_COLOUR = RGB(212, 212, 212);
const COLORREF ACCENT = RGB(0, 120, 212);
const int ICON_RESOURCE = 1;

struct LauncherView {
    std::wstring programPath;
    std::wstring currentDirectory;
    GdiObject<HFONT> titleFont;
    GdiObject<HFONT> labelFont;
    GdiObject<HFONT> valueFont;
};

LauncherView g_view;

std::wstring CurrentDirectory() {
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) {
        return std::wstring();
    }
    std::wstring buffer(needed, L'\0');
    DWORD length = GetCurrentDirectoryW(needed, &buffer[0]);
    buffer.resize(length < needed ? length : 0);
    return buffer;
}

HFONT MakeFont(int height, int weight) {
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Segoe UI");
}

// Draws `text` wrapped into `area` (long paths break between characters) and returns the bottom.
int DrawWrapped(HDC dc, const std::wstring& text, HFONT font, COLORREF colour, RECT area) {
    SelectObject(dc, font);
    SetTextColor(dc, colour);
    RECT measured = area;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured,
              DT_LEFT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_CALCRECT);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_LEFT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    return measured.bottom;
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    // Drawn off screen and copied in one go, so resizing does not flicker.
    {
        const MemoryDc memory(CreateCompatibleDC(screen));
        const HDC dc = memory.Get();
        const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen, client.right, client.bottom));
        const GdiSelection bitmapSelection(dc, bitmap.Get());
        const GdiSelection fontSelection(dc, g_view.titleFont.Get());

        FillRect(dc, &client, GdiObject<HBRUSH>(CreateSolidBrush(BACKGROUND)).Get());
        RECT stripe = {0, 0, client.right, 4};
        FillRect(dc, &stripe, GdiObject<HBRUSH>(CreateSolidBrush(ACCENT)).Get());

        SetBkMode(dc, TRANSPARENT);
        const int margin = 28;
        RECT area = {margin, 24, client.right - margin, client.bottom - margin};
        area.top = DrawWrapped(dc, L"ZENKA", g_view.titleFont.Get(), TITLE_COLOUR, area) + 18;
        area.top = DrawWrapped(dc, L"Программа запущена из:", g_view.labelFont.Get(), LABEL_COLOUR, area) + 4;
        area.top = DrawWrapped(dc, g_view.programPath, g_view.valueFont.Get(), VALUE_COLOUR, area) + 16;
        area.top = DrawWrapped(dc, L"Текущая папка:", g_view.labelFont.Get(), LABEL_COLOUR, area) + 4;
        DrawWrapped(dc, g_view.currentDirectory, g_view.valueFont.Get(), VALUE_COLOUR, area);

        BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    }
    EndPaint(window, &paint);
}

LRESULT CALLBACK LauncherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        g_view.titleFont.Reset(MakeFont(30, FW_BOLD));
        g_view.labelFont.Reset(MakeFont(15, FW_NORMAL));
        g_view.valueFont.Reset(MakeFont(17, FW_SEMIBOLD));
        return 0;
    case WM_ERASEBKGND: return 1; // everything is painted in WM_PAINT
    case WM_SIZE: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_PAINT: Paint(window); return 0;
    case WM_DESTROY:
        g_view.titleFont.Reset();
        g_view.labelFont.Reset();
        g_view.valueFont.Reset();
        PostQuitMessage(0);
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    RestrictDllSearchToSystem();
    g_view.programPath = CurrentProgramPath();
    g_view.currentDirectory = CurrentDirectory();

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = LauncherProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(ICON_RESOURCE));
    windowClass.hIconSm =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(ICON_RESOURCE), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = LAUNCHER_WINDOW_CLASS;
    if (RegisterClassExW(&windowClass) == 0) {
        return 1;
    }

    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    HWND window =
        CreateWindowExW(0, LAUNCHER_WINDOW_CLASS, L"ZENKA", style, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
