#include "app/command_line.h"

#include "base/owners.h"

#include <shellapi.h>

namespace {

// The setting a value option writes, or null when `name` is not one of them.
std::wstring* ValueOptionTarget(const std::wstring& name, InstallerSettings& settings) {
    if (name == L"--url") return &settings.downloadUrl;
    if (name == L"--target") return &settings.targetDir;
    if (name == L"--sha256") return &settings.expectedSha256;
    return nullptr;
}

} // namespace

void ApplyCommandLine(const std::vector<std::wstring>& arguments, InstallerSettings& settings) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (std::wstring* target = ValueOptionTarget(argument, settings)) {
            if (i + 1 < arguments.size()) {
                *target = arguments[i + 1];
                ++i; // the value is never read as an option itself
            }
        } else if (argument == L"--skip-download") {
            settings.skipDownload = true;
        }
    }
}

void ReadProcessCommandLine(InstallerSettings& settings) {
    int count = 0;
    const ArgumentArray split(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!split) return;
    std::vector<std::wstring> arguments;
    for (int i = 0; i < count; ++i) arguments.emplace_back(split.Get()[i]);
    ApplyCommandLine(arguments, settings);
}
