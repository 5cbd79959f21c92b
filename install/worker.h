// The install worker: the one background thread that performs an installation from the first
// report to WM_INSTALL_FINISHED. It talks to the window only through the posting operations of
// app/state.h and never reads the Installer settings.
#pragma once

#include <windows.h>

#include <string>

struct WorkerValues {
    std::wstring downloadUrl;
    std::wstring targetDir;      // used as given, without normalisation
    std::wstring expectedSha256; // empty: compute the digest but compare nothing
    bool skipDownload = false;   // true: extract an archive already at targetDir\payload.zip
};

// Heap record handed to the new thread, which owns it from the moment it starts and frees it.
struct WorkerStartRecord {
    std::wstring downloadUrl;
    std::wstring targetDir;
    std::wstring expectedSha256;
    bool skipDownload = false;
    HWND window = nullptr;
    void (*entry)(HWND window, WorkerValues values) = nullptr;
};

// Runs the whole pipeline on the calling thread; every outcome is reported through the window.
void RunInstallWorker(HWND window, WorkerValues values);

// Thread entry for _beginthreadex: takes ownership of `startRecord` (a WorkerStartRecord*), runs
// its entry and frees the record. Always returns 0.
unsigned __stdcall InstallThreadEntry(void* startRecord);

// Starts the worker on a new detached thread. False when the thread could not be created (the
// record is then freed here).
bool StartInstallWorker(HWND window, const WorkerValues& values);

// An exception's narrow message widened byte by byte: each byte is taken as a signed char and
// sign-extended, so only ASCII comes through unchanged.
std::wstring WidenExceptionMessage(const char* message);
