#include "system/restart_manager.h"

#include "system/restart_manager_api.h"

#include "base/product.h"

const RestartManagerApi& SystemRestartManagerApi() {
    static const RestartManagerApi api{&RmStartSession, &RmRegisterResources, &RmShutdown, &RmEndSession};
    return api;
}

bool ReleaseLockedFilesWith(const RestartManagerApi& api, const std::wstring& targetDir) {
    DWORD session = 0;
    WCHAR sessionKey[CCH_RM_SESSION_KEY + 1] = {};
    if (api.startSession(&session, 0, sessionKey) != ERROR_SUCCESS) return false;

    // Appended without any separator handling: these are exactly the names the files were
    // installed under, and the Restart Manager compares full paths.
    const std::wstring launcherPath = targetDir + L"\\" + LAUNCHER_FILE_NAME;
    const std::wstring updaterPath = targetDir + L"\\" + UPDATER_FILE_NAME;
    LPCWSTR files[] = {launcherPath.c_str(), updaterPath.c_str()};

    if (api.registerResources(session, 2, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        // Forced: a launcher that ignores the request would otherwise keep its files locked and
        // fail the extraction. Whatever is left running shows up there as a write error.
        api.shutdown(session, RmForceShutdown, nullptr);
    }
    api.endSession(session);
    return true;
}

bool ReleaseLockedFiles(const std::wstring& targetDir) {
    return ReleaseLockedFilesWith(SystemRestartManagerApi(), targetDir);
}
