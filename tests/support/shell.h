// Shell links for tests and test tools; they need a COM apartment on the calling thread. Known
// folders come from base/known_folders.h, as the programs get them.
#pragma once

#include "base/known_folders.h"

#include <string>

// Saves a link at `linkPath` whose program is `target`; nothing else is set.
bool SaveLink(const std::wstring& linkPath, const std::wstring& target);

struct LinkFields {
    std::wstring path;
    std::wstring workingDirectory;
    std::wstring description;
    std::wstring iconPath;
    int iconIndex = -1;
};

// Loads a saved link into a fresh link object, as Explorer would, and reads its fields.
bool ReadLink(const std::wstring& linkPath, LinkFields& fields);
