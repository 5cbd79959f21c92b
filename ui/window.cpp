#include "ui/window.h"

#include "app/state.h"
#include "install/paths.h"
#include "install/worker.h"
#include "system/desktop_launch.h"
#include "ui/buttons.h"
#include "ui/pages.h"

#include <commctrl.h>
#include <dwmapi.h>
#include <shellapi.h>

const wchar_t* const SETUP_WINDOW_CLASS = L"ZENKA_Bootstrapper_Window";
const wchar_t* const SETUP_WINDOW_TITLE = L"ZENKA Setup";
const wchar_t* const FATAL_ERROR_CAPTION = L"Ошибка установки ZENKA";
const wchar_t* const CLOSE_QUESTION_CAPTION = L"ZENKA Setup - Прерывание";

namespace {

constexpr DWORD DARK_MODE_ATTRIBUTE = 20;             // DWMWA_USE_IMMERSIVE_DARK_MODE
constexpr DWORD DARK_MODE_ATTRIBUTE_BEFORE_2004 = 19; // the same switch on older Windows 10 builds
constexpr int PAGE_ICON_SIZE = 48;
constexpr DWORD VISIBLE_BUTTON_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
constexpr DWORD HIDDEN_BUTTON_STYLE = WS_CHILD | WS_TABSTOP | BS_OWNERDRAW;

// While files are unpacked the worker reports up to a thousand times a second. Painting the whole
// page for each report kept the main thread (and the display server) as busy as the worker, on
// the same processors, and made the unpacking markedly slower. A report therefore invalidates the
// window at once only when the last repaint is REPAINT_INTERVAL_MS old; otherwise a timer
// invalidates it when that time is up, so the latest state is always shown, at most that much late.
constexpr UINT_PTR REPAINT_TIMER_ID = 1;
constexpr ULONGLONG REPAINT_INTERVAL_MS = 40;

struct RepaintPacing {
    ULONGLONG lastInvalidated = 0; // GetTickCount64 of the last invalidation a report caused
    bool timerPending = false;
};
RepaintPacing g_repaintPacing;

HFONT MakeFont(const wchar_t* face, int height, int weight, DWORD pitchAndFamily = 0) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, pitchAndFamily, face);
}

HWND MakeButton(HWND window, int id, const wchar_t* caption, int x, int width, bool visible) {
    constexpr int BUTTON_TOP = 468;
    constexpr int BUTTON_HEIGHT = 42;
    return CreateWindowExW(0, L"BUTTON", caption, visible ? VISIBLE_BUTTON_STYLE : HIDDEN_BUTTON_STYLE, x, BUTTON_TOP,
                           width, BUTTON_HEIGHT, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

void OnCreate(HWND window) {
    g_repaintPacing = RepaintPacing{}; // a timer of an earlier window died with it
    g_settings.exitCode = EXIT_CLOSED_BY_USER; // until the installation finishes or fails
    const BOOL enable = TRUE;
    DwmSetWindowAttribute(window, DARK_MODE_ATTRIBUTE, &enable, sizeof(enable));
    DwmSetWindowAttribute(window, DARK_MODE_ATTRIBUTE_BEFORE_2004, &enable, sizeof(enable));

    g_settings.appIcon.Reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                           PAGE_ICON_SIZE, PAGE_ICON_SIZE, LR_DEFAULTCOLOR)));

    g_settings.titleFont.Reset(MakeFont(L"Segoe UI", -22, FW_BOLD));
    g_settings.subtitleFont.Reset(MakeFont(L"Segoe UI", -13, FW_NORMAL));
    g_settings.bodyFont.Reset(MakeFont(L"Segoe UI", -13, FW_NORMAL));
    g_settings.headingFont.Reset(MakeFont(L"Segoe UI", -13, FW_SEMIBOLD));
    g_settings.buttonFont.Reset(MakeFont(L"Segoe UI", -14, FW_SEMIBOLD));
    g_settings.smallFont.Reset(MakeFont(L"Segoe UI", -12, FW_NORMAL));
    g_settings.consoleFont.Reset(MakeFont(L"Consolas", -12, FW_NORMAL, FIXED_PITCH | FF_MODERN));

    // The install and launch buttons share the right edge 508; cancel and close share one place.
    g_settings.installButton = MakeButton(window, ID_INSTALL, L"Установить ZENKA", 328, 180, true);
    g_settings.cancelButton = MakeButton(window, ID_CANCEL, L"Отмена", 522, 110, true);
    g_settings.launchButton = MakeButton(window, ID_LAUNCH, L"Запустить сейчас", 338, 170, false);
    g_settings.closeButton = MakeButton(window, ID_CLOSE, L"Закрыть", 522, 110, false);

    const HWND buttons[] = {g_settings.installButton, g_settings.cancelButton, g_settings.launchButton,
                            g_settings.closeButton};
    const int ids[] = {ID_INSTALL, ID_CANCEL, ID_LAUNCH, ID_CLOSE};
    for (int i = 0; i < 4; ++i) {
        SetWindowSubclass(buttons[i], &ButtonSubclassProc, static_cast<UINT_PTR>(ids[i]), 0);
    }
}

void OnDestroy() {
    g_settings.titleFont.Reset();
    g_settings.subtitleFont.Reset();
    g_settings.bodyFont.Reset();
    g_settings.headingFont.Reset();
    g_settings.buttonFont.Reset();
    g_settings.smallFont.Reset();
    g_settings.consoleFont.Reset();
    g_settings.appIcon.Reset();
    PostQuitMessage(g_settings.exitCode);
}

void OnClose(HWND window) {
    if (g_settings.pageState == PAGE_INSTALLING) {
        // Closing does not stop the worker: it simply ends with the process.
        const int answer = MessageBoxW(window,
                                       L"Установка ZENKA еще выполняется.\n"
                                       L"Вы действительно хотите прервать процесс установки?",
                                       CLOSE_QUESTION_CAPTION, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer != IDYES) return;
    }
    DestroyWindow(window);
}

void StartInstallation(HWND window) {
    g_settings.pageState = PAGE_INSTALLING;
    // Hiding the button is what guarantees a single worker per process.
    ShowWindow(g_settings.installButton, SW_HIDE);
    ShowWindow(g_settings.cancelButton, SW_HIDE);
    InvalidateRect(window, nullptr, FALSE);

    // The worker installs into the canonical form; the finished page and the launch name it so too.
    g_settings.targetDir = CanonicalTargetDir(g_settings.targetDir);
    WorkerValues values;
    values.downloadUrl = g_settings.downloadUrl;
    values.targetDir = g_settings.targetDir;
    values.expectedSha256 = g_settings.expectedSha256;
    values.skipDownload = g_settings.skipDownload;
    StartInstallWorker(window, values);
}

void LaunchInstalledLauncher(HWND window) {
    LaunchAsDesktopUser(LauncherPath(g_settings.targetDir), g_settings.targetDir);
    DestroyWindow(window);
}

void OnCommand(HWND window, int id) {
    switch (id) {
    case ID_INSTALL: StartInstallation(window); break;
    case ID_CANCEL:
    case ID_CLOSE: DestroyWindow(window); break;
    case ID_LAUNCH: LaunchInstalledLauncher(window); break;
    default: break;
    }
}

void OnInstallFinished(HWND window) {
    g_settings.pageState = PAGE_FINISHED;
    g_settings.exitCode = EXIT_INSTALLED;
    ShowWindow(g_settings.installButton, SW_HIDE);
    ShowWindow(g_settings.cancelButton, SW_HIDE);
    ShowWindow(g_settings.closeButton, SW_SHOW);
    ShowWindow(g_settings.launchButton, SW_SHOW);
    InvalidateRect(window, nullptr, FALSE);
}

void InvalidateForReport(HWND window) {
    g_repaintPacing.lastInvalidated = GetTickCount64();
    InvalidateRect(window, nullptr, FALSE);
}

void OnStateChanged(HWND window) {
    if (g_repaintPacing.timerPending) return; // the timer's repaint will show this state too
    const ULONGLONG since = GetTickCount64() - g_repaintPacing.lastInvalidated;
    if (since >= REPAINT_INTERVAL_MS) {
        InvalidateForReport(window);
        return;
    }
    g_repaintPacing.timerPending =
        SetTimer(window, REPAINT_TIMER_ID, static_cast<UINT>(REPAINT_INTERVAL_MS - since), nullptr) != 0;
    if (!g_repaintPacing.timerPending) InvalidateForReport(window); // no timer: never lose a state
}

void OnRepaintTimer(HWND window) {
    KillTimer(window, REPAINT_TIMER_ID);
    g_repaintPacing.timerPending = false;
    InvalidateForReport(window);
}

void OnFatalError(HWND window) {
    const std::wstring text = TakeErrorText(); // copied under the lock, shown without it
    g_settings.exitCode = TakeErrorExitCode();
    MessageBoxW(window, text.c_str(), FATAL_ERROR_CAPTION, MB_OK | MB_ICONERROR);
    DestroyWindow(window);
}

} // namespace

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: OnCreate(window); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_PAINT: PaintSetupWindow(window); return 0;
    case WM_CLOSE: OnClose(window); return 0;
    case WM_ERASEBKGND: return 1; // the paint covers every pixel; erasing would only flicker
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item == nullptr || item->CtlType != ODT_BUTTON) return 0;
        DrawSetupButton(*item);
        return 1;
    }
    case WM_COMMAND: OnCommand(window, LOWORD(wParam)); return 0;
    case WM_STATE_CHANGED: OnStateChanged(window); return 0;
    case WM_TIMER:
        if (wParam == REPAINT_TIMER_ID) OnRepaintTimer(window);
        return 0;
    case WM_INSTALL_FINISHED: OnInstallFinished(window); return 0;
    case WM_FATAL_ERROR: OnFatalError(window); return 0;
    case WM_CLOSE_REQUEST: // only ever the user's Cancel in the network-error box
        g_settings.exitCode = EXIT_NETWORK_CANCELLED;
        DestroyWindow(window);
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
