// Runs DownloadPackage on a worker thread, as the installer does, while the test thread pumps a
// message window standing in for the setup window and records what reaches it.
#pragma once

#include "app/state.h"
#include "install/download.h"

#include <windows.h>

#include <string>
#include <vector>

struct PostedMessage {
    UINT message = 0;
    DWORD time = 0; // GetMessageTime: when it was posted, in milliseconds
};

struct ObservedDownload {
    DownloadResult result = DownloadResult::Failed;
    std::vector<PostedMessage> posted;
    std::vector<ProgressSnapshot> states; // distinct states seen while polling every few ms
    ProgressSnapshot final;
    std::wstring errorText;
    double seconds = 0;

    int Count(UINT message) const;
    bool SawDetail(const std::wstring& detail, int progress) const;
};

// The posts go to a message-only window of the test thread.
ObservedDownload ObserveDownload(const std::wstring& url, const std::wstring& partialPath);

// Seams: pauses that return at once and record the state each one began in, and scripted answers
// to the network-error box. Cleared by ResetDownloadTestState.
struct SeamRecord {
    std::vector<ProgressSnapshot> pauses;
    std::vector<size_t> boxesAfterPauses; // number of pauses before each box
    std::vector<bool> answers;            // consumed in order; Cancel when exhausted
};
SeamRecord& Seams();
void InstallInstantSeams();   // both the pause and the box
void InstallInstantPause();   // only the pause
void ResetDownloadTestState();
