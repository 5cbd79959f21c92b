#include "support/message_window.h"

namespace {
const wchar_t* const CLASS_NAME = L"ZenkaTestMessageWindow";

ATOM RegisterOnce() {
    static const ATOM atom = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = CLASS_NAME;
        return RegisterClassExW(&windowClass);
    }();
    return atom;
}
} // namespace

MessageWindow::MessageWindow() {
    RegisterOnce();
    window_ = CreateWindowExW(0, CLASS_NAME, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
}

MessageWindow::~MessageWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
}

std::vector<UINT> MessageWindow::Drain() {
    std::vector<UINT> messages;
    MSG message;
    while (PeekMessageW(&message, window_, WM_APP, 0xBFFF, PM_REMOVE)) messages.push_back(message.message);
    return messages;
}

UINT MessageWindow::WaitFor(const std::vector<UINT>& wanted, std::chrono::milliseconds timeout,
                            std::vector<UINT>* seen) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
            if (message.message >= WM_APP && message.message <= 0xBFFF) {
                if (seen != nullptr) seen->push_back(message.message);
                for (UINT one : wanted) {
                    if (message.message == one) return one;
                }
            } else {
                DispatchMessageW(&message);
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return 0;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left < 50 ? left : 50), QS_ALLINPUT);
    }
}
