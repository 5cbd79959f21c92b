// Starting the installed launcher as the person at the desktop. The setup always runs elevated,
// possibly under another account whose password answered the elevation prompt; a program it starts
// itself inherits that token. The desktop's shell runs unelevated as the logged-on user, and a
// program it starts runs as that user, with that user's profile.
#pragma once

#include <string>

// Asks the desktop's shell to start `program` with `directory` as its working directory, through
// the shell's own automation objects (the desktop window's folder view and its Shell application
// object). True when the shell accepted the request and reported the program started; false when
// any step fails (no desktop shell running, a policy, an error), and then the shell started nothing.
// The calling thread must be in a COM apartment.
bool LaunchThroughDesktopShell(const std::wstring& program, const std::wstring& directory);

// Starts `program` in `directory` through the desktop's shell, or, when that route fails or the
// program does not exist, with ShellExecuteExW from this process (the program then gets the setup's
// account and rights, which is better than not starting it). Shows nothing and reports nothing,
// whatever happens. Enters a single-threaded COM apartment for the call when the thread has none,
// and leaves it again.
void LaunchAsDesktopUser(const std::wstring& program, const std::wstring& directory);
