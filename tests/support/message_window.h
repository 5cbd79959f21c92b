// A message-only window on the calling thread that records every message posted to it, so tests
// can observe what the install worker posts exactly as the setup window would receive it.
#pragma once

#include <windows.h>

#include <chrono>
#include <vector>

class MessageWindow {
public:
    MessageWindow();
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND handle() const { return window_; }

    // Messages in the WM_APP range waiting in this thread's queue, oldest first, without waiting.
    std::vector<UINT> Drain();

    // Pumps the queue until one of `wanted` arrives or `timeout` passes; returns the message that
    // arrived, or 0. Every WM_APP-range message seen on the way is appended to `seen` (when given).
    UINT WaitFor(const std::vector<UINT>& wanted, std::chrono::milliseconds timeout,
                 std::vector<UINT>* seen = nullptr);

private:
    HWND window_ = nullptr;
};
