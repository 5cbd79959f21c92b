// Start-up of the setup: OS gate, common controls, command line, window class, the centred
// window and the message loop. wWinMain only calls RunSetup.
#pragma once

#include <windows.h>

constexpr int CLIENT_WIDTH = 660;
constexpr int CLIENT_HEIGHT = 530;
constexpr DWORD SETUP_WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD SETUP_WINDOW_EX_STYLE = WS_EX_APPWINDOW;

// Icons the class is registered with; the window gets them again through WM_SETICON. They live
// as long as the process (the class keeps using them).
struct ClassIcons {
    HICON large = nullptr;
    HICON small = nullptr;
};

struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Where a window whose outer rectangle is `adjusted` goes on a screen of the given size: centred,
// rounding toward zero, not clamped (a window larger than the screen starts off-screen).
WindowPlacement CentredPlacement(const RECT& adjusted, int screenWidth, int screenHeight);

// Registers "ZENKA_Bootstrapper_Window" with the setup window procedure (result not examined:
// a failed registration shows up as a failed window creation).
ClassIcons RegisterSetupWindowClass(HINSTANCE instance);

// Creates the setup window centred on the primary screen with a 660 x 530 client area; its
// WM_CREATE makes fonts, icon and buttons. Not shown yet. Null on failure.
HWND CreateSetupWindow(HINSTANCE instance);

// Pumps messages until WM_QUIT; returns the low 32 bits of its wParam.
int RunMessageLoop();

// The whole program; its result is the process exit code (app/exit_codes.h): the window's
// outcome once it is destroyed, EXIT_CANNOT_RUN when the system is too old or there is no window.
int RunSetup(HINSTANCE instance);
