// What the updater needs to know about the launcher's window.
#pragma once

#include <string>

// The window class of ZENKA.exe's main window.
inline const wchar_t* const LAUNCHER_WINDOW_CLASS = L"ZenkaLauncherWindow";

// Asks every launcher window whose program runs from inside `installDirectory` to close, and
// waits up to five seconds for those programs to end. Launchers of other installations are left
// alone. Returns the number of launcher processes still running afterwards.
unsigned CloseRunningLaunchers(const std::wstring& installDirectory);
