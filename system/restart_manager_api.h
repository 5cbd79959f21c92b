// The Restart Manager calls that ReleaseLockedFiles makes, gathered in one table so that a test can
// watch their order and arguments: under Wine the real ones succeed without shutting anything down.
#pragma once

#include <windows.h>
#include <restartmanager.h>

#include <string>

struct RestartManagerApi {
    decltype(&RmStartSession) startSession;
    decltype(&RmRegisterResources) registerResources;
    decltype(&RmShutdown) shutdown;
    decltype(&RmEndSession) endSession;
};

// The table of the real rstrtmgr functions.
const RestartManagerApi& SystemRestartManagerApi();

// ReleaseLockedFiles through `api`: one session; the launcher and the updater below `targetDir`
// (appended as is, so a trailing backslash doubles) registered; a forced shutdown only when the
// registration succeeded; the session always ended. False only when no session could be started.
bool ReleaseLockedFilesWith(const RestartManagerApi& api, const std::wstring& targetDir);
