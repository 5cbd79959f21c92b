// Answers message boxes of this process the way a user would, from a thread of its own.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// What an answered box showed.
struct AnsweredBox {
    bool found = false;
    std::wstring text;
    int defaultButton = 0; // the control that had the focus when the box came up
};

// Waits for boxes titled `caption` and presses buttons[0] in the first, buttons[1] in the second and
// so on. A box may be found before its dialog is fully set up and a click then gets lost, so each
// is pressed again until it is gone.
class BoxAnswerer {
public:
    BoxAnswerer(const wchar_t* caption, std::vector<int> buttons);
    BoxAnswerer(const wchar_t* caption, int button) : BoxAnswerer(caption, std::vector<int>{button}) {}
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // Gives the boxes still expected two more seconds, then stops the thread; the boxes answered,
    // in order.
    std::vector<AnsweredBox> Finish();
    // The first box (found false when none came).
    AnsweredBox Result();

private:
    void Run();

    std::wstring caption_;
    std::vector<int> buttons_;
    std::vector<AnsweredBox> answered_;
    std::atomic<size_t> answeredCount_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
