// download_driver URL PARTIAL_PATH: one DownloadPackage run without a window; exit code 0 when
// Completed, 1 when Failed, 2 when Abandoned.
#include "install/download.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: download_driver URL PARTIAL_PATH\n", stderr);
        return 3;
    }
    switch (DownloadPackage(nullptr, argv[1], argv[2])) {
    case DownloadResult::Completed: return 0;
    case DownloadResult::Failed: return 1;
    case DownloadResult::Abandoned: return 2;
    }
    return 3;
}
