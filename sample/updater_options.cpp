#include "sample/updater_options.h"

#include <cwchar>

namespace {

bool SameOption(const std::wstring& argument, const wchar_t* name) {
    size_t length = std::wcslen(name);
    if (argument.size() != length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        wchar_t a = argument[i];
        if (a >= L'A' && a <= L'Z') {
            a = static_cast<wchar_t>(a - L'A' + L'a');
        }
        if (a != name[i]) {
            return false;
        }
    }
    return true;
}

// A process id in plain decimal: digits only, not zero, fits in 32 bits.
bool ParseProcessId(const std::wstring& text, unsigned long& value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    unsigned long long parsed = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        parsed = parsed * 10 + static_cast<unsigned long long>(c - L'0');
    }
    if (parsed == 0 || parsed > 0xFFFFFFFFull) {
        return false;
    }
    value = static_cast<unsigned long>(parsed);
    return true;
}

} // namespace

bool ParseUpdaterOptions(const std::vector<std::wstring>& args, UpdaterOptions& options, std::wstring& error) {
    options = UpdaterOptions{};
    bool sawUninstall = false;
    bool sawFinish = false;
    bool sawPid = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        bool repeated = false;
        if (SameOption(arg, OPTION_UNINSTALL)) {
            repeated = sawUninstall;
            sawUninstall = true;
        } else if (SameOption(arg, OPTION_QUIET)) {
            repeated = options.quiet;
            options.quiet = true;
        } else if (SameOption(arg, OPTION_FINISH_REMOVAL)) {
            if (sawFinish || i + 1 >= args.size() || args[i + 1].empty()) {
                error = arg;
                return false;
            }
            sawFinish = true;
            options.removalDirectory = args[++i];
        } else if (SameOption(arg, OPTION_PARENT_PID)) {
            if (sawPid || i + 1 >= args.size() || !ParseProcessId(args[i + 1], options.parentProcessId)) {
                error = arg;
                return false;
            }
            sawPid = true;
            ++i;
        } else {
            error = arg;
            return false;
        }
        if (repeated) {
            error = arg;
            return false;
        }
    }
    if (sawFinish != sawPid || (sawFinish && sawUninstall)) {
        error = sawFinish ? std::wstring(OPTION_FINISH_REMOVAL) : std::wstring(OPTION_PARENT_PID);
        return false;
    }
    if (sawFinish) {
        options.mode = UpdaterMode::FinishRemoval;
    } else if (sawUninstall) {
        options.mode = UpdaterMode::Uninstall;
    }
    return true;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only in front of a quote: there they must be doubled, and the quote
        // itself escaped.
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // The closing quote follows, so trailing backslashes are doubled too.
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}
