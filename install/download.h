// The download step: fetches the package into the partial file, resuming and reconnecting.
#pragma once

#include <windows.h>

#include <string>

enum class DownloadResult {
    Completed, // partialPath holds the whole body, is closed, and the success line is logged
    Failed,    // a fatal error has been posted
    Abandoned, // the user gave up in the network-error box; the window is being closed
};

// Runs on the install worker. Continues an existing partial file with a range request, retries a
// failed request or a broken transfer after a 2-second pause (five times in a row on its own, then
// the user decides in the network-error box), and reports progress to `window` at most every
// 120 ms. The partial file is kept on every failure and on Cancel, so a later run can resume it;
// beside it stays the validator of the answer that started it (ValidatorPath), and a range is only
// asked for under If-Range with that validator, so a new release at the same address is fetched
// whole instead of being joined to the old start. Whoever deletes or renames the partial file
// deletes the validator too. A ranged answer is written only at the byte its Content-Range names,
// when that is the offset asked for, of a file of the known size and validator; the file never grows
// past the known size; anything else starts the file again from byte 0. Only bytes that carry the
// file past the furthest byte the run has had set the reconnect count back, so answers that never
// give one, or give only bytes fetched again, reach the box. A redirect WinHTTP gives up on and a
// 200 that declares an empty body are fatal at once; the partial file stays.
// On Cancel it posts WM_CLOSE_REQUEST to `window` and returns Abandoned without a fatal error.
DownloadResult DownloadPackage(HWND window, const std::wstring& downloadUrl, const std::wstring& partialPath);

// What a test puts in place of the two things it cannot sit through or answer: the pause before
// a retry and the network-error box. Null members mean the real ones. Set before a download starts.
struct DownloadSeam {
    void (*pause)() = nullptr;
    bool (*askRetry)(HWND window) = nullptr; // true: Retry, false: Cancel
};
extern DownloadSeam g_downloadSeam;
