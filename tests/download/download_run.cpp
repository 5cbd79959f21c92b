#include "download/download_run.h"

#include "support/message_window.h"
#include "support/state_reset.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace {
std::mutex g_seamMutex;

bool SameState(const ProgressSnapshot& a, const ProgressSnapshot& b) {
    return a.statusText == b.statusText && a.detailText == b.detailText && a.progress == b.progress &&
           a.logLines == b.logLines;
}

void InstantPause() {
    std::lock_guard<std::mutex> lock(g_seamMutex);
    Seams().pauses.push_back(TakeProgressSnapshot());
}

bool ScriptedAnswer(HWND) {
    std::lock_guard<std::mutex> lock(g_seamMutex);
    SeamRecord& seams = Seams();
    seams.boxesAfterPauses.push_back(seams.pauses.size());
    const size_t index = seams.boxesAfterPauses.size() - 1;
    return index < seams.answers.size() && seams.answers[index];
}
} // namespace

int ObservedDownload::Count(UINT message) const {
    int count = 0;
    for (const PostedMessage& item : posted) count += item.message == message ? 1 : 0;
    return count;
}

bool ObservedDownload::SawDetail(const std::wstring& detail, int progress) const {
    for (const ProgressSnapshot& state : states)
        if (state.detailText == detail && state.progress == progress) return true;
    return false;
}

SeamRecord& Seams() {
    static SeamRecord record;
    return record;
}

void InstallInstantSeams() {
    g_downloadSeam.pause = InstantPause;
    g_downloadSeam.askRetry = ScriptedAnswer;
}

void InstallInstantPause() { g_downloadSeam.pause = InstantPause; }

void ResetDownloadTestState() {
    g_downloadSeam = DownloadSeam{};
    Seams() = SeamRecord{};
    ResetProgressState();
}

ObservedDownload ObserveDownload(const std::wstring& url, const std::wstring& partialPath) {
    MessageWindow window;
    ObservedDownload observed;
    const HWND handle = window.handle();
    DownloadResult result = DownloadResult::Failed;
    const auto start = std::chrono::steady_clock::now();
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        result = DownloadPackage(handle, url, partialPath);
        SetEvent(done);
    });
    auto pump = [&] {
        MSG message;
        while (PeekMessageW(&message, handle, 0, 0, PM_REMOVE)) {
            if (message.message >= WM_APP && message.message <= 0xBFFF) {
                observed.posted.push_back({message.message, message.time});
            } else {
                DispatchMessageW(&message);
            }
        }
        const ProgressSnapshot state = TakeProgressSnapshot();
        if (observed.states.empty() || !SameState(observed.states.back(), state)) observed.states.push_back(state);
    };
    while (MsgWaitForMultipleObjects(1, &done, FALSE, 5, QS_ALLINPUT) != WAIT_OBJECT_0) pump();
    worker.join();
    CloseHandle(done);
    pump();
    observed.result = result;
    observed.final = TakeProgressSnapshot();
    observed.errorText = TakeErrorText();
    observed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return observed;
}
