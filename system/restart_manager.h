// Shutting down running copies of the launcher and its updater before their files are replaced.
#pragma once

#include <string>

// Best effort through the Restart Manager. False only when no session could be started.
bool ReleaseLockedFiles(const std::wstring& targetDir);
