// The updater's command line, as a plain record. Free of Win32 calls so it can be tested alone.
#pragma once

#include <string>
#include <vector>

enum class UpdaterMode {
    Info,          // no action requested: tell the user there is nothing to do
    Uninstall,     // "--uninstall": remove the installation, asking first unless "--quiet"
    FinishRemoval, // internal: the temporary copy finishing a removal after the updater exited
};

struct UpdaterOptions {
    UpdaterMode mode = UpdaterMode::Info;
    bool quiet = false;                // "--quiet": no confirmation and no message boxes
    std::wstring removalDirectory;     // FinishRemoval: the installation directory to delete
    unsigned long parentProcessId = 0; // FinishRemoval: the updater process to wait for
};

// Option names, also used to build the temporary copy's command line.
inline const wchar_t* const OPTION_UNINSTALL = L"--uninstall";
inline const wchar_t* const OPTION_QUIET = L"--quiet";
inline const wchar_t* const OPTION_FINISH_REMOVAL = L"--finish-removal";
inline const wchar_t* const OPTION_PARENT_PID = L"--parent-pid";

// Reads `args` (without the program name). Option names are matched without regard to ASCII case,
// in any order. False, with `error` naming the offending argument, for an unknown option, a
// missing or malformed value, a repeated option, or "--finish-removal" without "--parent-pid" (or
// mixed with "--uninstall"); `options` is then unspecified.
bool ParseUpdaterOptions(const std::vector<std::wstring>& args, UpdaterOptions& options, std::wstring& error);

// Quotes one argument so that CommandLineToArgvW (and the C runtime) give it back unchanged,
// whatever quotes, spaces and trailing backslashes it holds.
std::wstring QuoteArgument(const std::wstring& argument);
