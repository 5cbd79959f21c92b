// The download step: fetches the package into the partial file, resuming and reconnecting.
#pragma once

#include <windows.h>

#include <string>

enum class DownloadResult {
    Completed, // partialPath holds the whole body, is closed, and the success line is logged
    Failed,    // a fatal error has been posted
    Abandoned, // the user gave up in the network-error box; the window is being closed
};

DownloadResult DownloadPackage(HWND window, const std::wstring& downloadUrl,
                               const std::wstring& partialPath);
