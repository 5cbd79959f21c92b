#include "support/box_answerer.h"

#include <chrono>
#include <cwchar>

namespace {

struct BoxSearch {
    const wchar_t* caption;
    HWND found;
};

// Other test processes may show the same box at the same time; only our own is answered.
HWND FindOwnBox(const std::wstring& caption) {
    BoxSearch search{caption.c_str(), nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            BoxSearch& wanted = *reinterpret_cast<BoxSearch*>(parameter);
            DWORD processId = 0;
            GetWindowThreadProcessId(window, &processId);
            wchar_t className[16] = {};
            wchar_t text[256] = {};
            GetClassNameW(window, className, 16);
            GetWindowTextW(window, text, 256);
            if (processId != GetCurrentProcessId() || wcscmp(className, L"#32770") != 0 ||
                wcscmp(text, wanted.caption) != 0) {
                return TRUE;
            }
            wanted.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

BoxAnswerer::BoxAnswerer(const wchar_t* caption, std::vector<int> buttons)
    : caption_(caption), buttons_(std::move(buttons)), thread_([this] { Run(); }) {}

BoxAnswerer::~BoxAnswerer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void BoxAnswerer::Run() {
    while (!stop_ && answeredCount_ < buttons_.size()) {
        const HWND box = FindOwnBox(caption_);
        if (box == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        // Time for the box to finish its initialisation before it is read and answered.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        AnsweredBox answer;
        answer.found = true;
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024); // the static control that holds the message
        answer.text = text;
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info);
        if (info.hwndFocus != nullptr) answer.defaultButton = GetDlgCtrlID(info.hwndFocus);
        const int button = buttons_[answeredCount_];
        while (!stop_ && IsWindow(box)) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        answered_.push_back(answer);
        ++answeredCount_;
    }
}

std::vector<AnsweredBox> BoxAnswerer::Finish() {
    for (int i = 0; i < 100 && answeredCount_ < buttons_.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return answered_;
}

AnsweredBox BoxAnswerer::Result() {
    const std::vector<AnsweredBox> boxes = Finish();
    return boxes.empty() ? AnsweredBox{} : boxes.front();
}
