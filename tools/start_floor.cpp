// The floor of the start benchmark: the least a Win32 program does to show a window like the
// setup's (the same client size, styles and centred place) and paint it once. Nothing else: no
// C++ library, no common controls, no resources, so its start is what the platform costs.
#include <windows.h>

namespace {

// The setup's client size and window styles (ui/startup.h), repeated so that the floor links
// nothing of the setup.
constexpr int CLIENT_WIDTH = 660;
constexpr int CLIENT_HEIGHT = 530;
constexpr DWORD STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD EX_STYLE = WS_EX_APPWINDOW;

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window, &paint);
        FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &FloorWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"ZenkaStartFloor";
    RegisterClassExW(&windowClass);

    RECT frame{0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRectEx(&frame, STYLE, FALSE, EX_STYLE);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const HWND window = CreateWindowExW(EX_STYLE, L"ZenkaStartFloor", L"Start floor", STYLE,
                                        (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                        (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                                        nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
