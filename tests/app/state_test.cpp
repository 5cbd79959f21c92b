// The Shared progress state and its posting operations, observed through the record and through
// a real (message-only) window that collects what is posted.
#include "app/state.h"
#include "support/message_window.h"
#include "support/state_reset.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(ProgressState, StartsWithTheInitialTexts) {
    // Runs first in its own process: nothing has posted yet.
    const ProgressSnapshot snapshot = TakeProgressSnapshot();
    EXPECT_EQ(snapshot.statusText, L"Инициализация установки...");
    EXPECT_EQ(snapshot.detailText, L"Подготовка компонентов...");
    EXPECT_EQ(snapshot.progress, 0);
    EXPECT_TRUE(snapshot.logLines.empty());
    EXPECT_TRUE(TakeErrorText().empty());
}

TEST(ProgressState, ClampsProgressAndReplacesBothTexts) {
    ResetProgressState();
    PostProgress(nullptr, L"a", L"b", -5);
    EXPECT_EQ(TakeProgressSnapshot().progress, 0);
    PostProgress(nullptr, L"c", L"d", 1001);
    EXPECT_EQ(TakeProgressSnapshot().progress, 1000);
    PostProgress(nullptr, L"", L"", 1000);
    const ProgressSnapshot snapshot = TakeProgressSnapshot();
    EXPECT_EQ(snapshot.progress, 1000);
    EXPECT_EQ(snapshot.statusText, L"");
    EXPECT_EQ(snapshot.detailText, L"");
}

TEST(ProgressState, KeepsTheNewestSixLogLinesInOrder) {
    ResetProgressState();
    for (int i = 1; i <= 7; ++i) PostLogLine(nullptr, L"L" + std::to_wstring(i));
    const ProgressSnapshot snapshot = TakeProgressSnapshot();
    ASSERT_EQ(snapshot.logLines.size(), 6u);
    EXPECT_EQ(snapshot.logLines.front(), L"L2");
    EXPECT_EQ(snapshot.logLines.back(), L"L7");
}

TEST(ProgressState, FatalErrorKeepsTheRestAndTheLaterTextWins) {
    ResetProgressState();
    PostProgress(nullptr, L"s", L"d", 42);
    PostFatalError(nullptr, L"first");
    PostFatalError(nullptr, L"second");
    EXPECT_EQ(TakeErrorText(), L"second");
    EXPECT_EQ(TakeProgressSnapshot().progress, 42);
}

TEST(ProgressState, PostsOneMessagePerOperationToTheWindow) {
    ResetProgressState();
    MessageWindow window;
    PostProgress(window.handle(), L"s", L"d", 1);
    PostLogLine(window.handle(), L"line");
    PostFatalError(window.handle(), L"boom");
    PostProgress(nullptr, L"s", L"d", 2); // a null window posts nothing
    const std::vector<UINT> messages = window.Drain();
    EXPECT_EQ(messages, (std::vector<UINT>{WM_STATE_CHANGED, WM_STATE_CHANGED, WM_FATAL_ERROR}));
}

TEST(ProgressState, SnapshotsNeverSeeATornOrOverfullState) {
    ResetProgressState();
    PostProgress(nullptr, L"", L"", 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            const std::wstring text(static_cast<size_t>(i % 50), static_cast<wchar_t>(L'a' + i % 26));
            PostProgress(nullptr, text, text, i % 1500 - 200);
            PostLogLine(nullptr, text);
        }
        done = true;
    });
    int snapshots = 0;
    int bad = 0;
    while (!done || snapshots == 0) {
        const ProgressSnapshot snapshot = TakeProgressSnapshot();
        bool ok = snapshot.progress >= 0 && snapshot.progress <= 1000 &&
                  snapshot.logLines.size() <= LOG_LINES_MAX &&
                  snapshot.statusText == snapshot.detailText; // written together, read together
        for (const std::wstring& line : snapshot.logLines) {
            ok = ok && (line.empty() || line.find_first_not_of(line[0]) == std::wstring::npos);
        }
        bad += ok ? 0 : 1;
        ++snapshots;
    }
    writer.join();
    EXPECT_EQ(bad, 0) << "of " << snapshots << " snapshots";
}

} // namespace
