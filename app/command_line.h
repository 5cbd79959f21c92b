// The setup's command line: four options, matched exactly, that fill the Installer settings.
#pragma once

#include "app/state.h"

#include <string>
#include <vector>

// Applies `--url V`, `--target V`, `--sha256 V` and `--skip-download` from `arguments` to
// `settings`. arguments[0] is the program path and is never looked at. Names match only whole
// and case-sensitively (no `=` or `/` forms). A value option takes the next argument verbatim,
// whatever it holds, and is ignored when it is the last argument. Anything else is ignored; a
// repeated option takes the later value.
void ApplyCommandLine(const std::vector<std::wstring>& arguments, InstallerSettings& settings);

// Splits this process's command line and applies it; when it cannot be split the settings keep
// their values.
void ReadProcessCommandLine(InstallerSettings& settings);
