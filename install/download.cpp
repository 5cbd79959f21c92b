#include "install/download.h"

#include "app/state.h"

// Placeholder until the resumable download lands.
DownloadResult DownloadPackage(HWND window, const std::wstring& downloadUrl, const std::wstring&) {
    PostFatalError(window, L"Некорректный URL загрузки: " + downloadUrl);
    return DownloadResult::Failed;
}
