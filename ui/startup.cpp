#include "ui/startup.h"

#include "app/command_line.h"
#include "app/os_gate.h"
#include "app/state.h"
#include "ui/window.h"

#include <commctrl.h>

namespace {
constexpr int ICON_RESOURCE = 1;
}

WindowPlacement CentredPlacement(const RECT& adjusted, int screenWidth, int screenHeight) {
    WindowPlacement placement;
    placement.width = adjusted.right - adjusted.left;
    placement.height = adjusted.bottom - adjusted.top;
    placement.x = (screenWidth - placement.width) / 2;
    placement.y = (screenHeight - placement.height) / 2;
    return placement;
}

ClassIcons RegisterSetupWindowClass(HINSTANCE instance) {
    ClassIcons icons;
    icons.large = LoadIconW(instance, MAKEINTRESOURCEW(ICON_RESOURCE));
    icons.small =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(ICON_RESOURCE), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = &SetupWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icons.large;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr; // the window paints every pixel itself
    windowClass.lpszClassName = SETUP_WINDOW_CLASS;
    windowClass.hIconSm = icons.small;
    RegisterClassExW(&windowClass);
    return icons;
}

HWND CreateSetupWindow(HINSTANCE instance) {
    RECT frame{0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRectEx(&frame, SETUP_WINDOW_STYLE, FALSE, SETUP_WINDOW_EX_STYLE);
    const WindowPlacement placement =
        CentredPlacement(frame, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return CreateWindowExW(SETUP_WINDOW_EX_STYLE, SETUP_WINDOW_CLASS, SETUP_WINDOW_TITLE, SETUP_WINDOW_STYLE,
                           placement.x, placement.y, placement.width, placement.height, nullptr, nullptr, instance,
                           nullptr);
}

int RunMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(static_cast<UINT>(message.wParam));
}

int RunSetup(HINSTANCE instance) {
    if (!PassesOsGate()) {
        ShowUnsupportedOsMessage();
        return EXIT_CANNOT_RUN;
    }

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    ReadProcessCommandLine(g_settings);

    const ClassIcons icons = RegisterSetupWindowClass(instance);
    g_settings.mainWindow = CreateSetupWindow(instance);
    if (g_settings.mainWindow == nullptr) return EXIT_CANNOT_RUN;

    SendMessageW(g_settings.mainWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.large));
    SendMessageW(g_settings.mainWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.small));
    ShowWindow(g_settings.mainWindow, SW_SHOWNORMAL);
    UpdateWindow(g_settings.mainWindow);
    return RunMessageLoop();
}
