// The operating-system gate: the setup runs on Windows 10 build 19041 (version 2004) and later.
#pragma once

#include <windows.h>

constexpr DWORD MINIMUM_WINDOWS_BUILD = 19041;

// True for major version 10 with build >= 19041 and for any major version above 10. The minor
// version plays no part.
bool IsSupportedWindows(DWORD majorVersion, DWORD buildNumber);

// Asks ntdll for the real version (unaffected by compatibility shims). True when the system is
// supported, and also when the version cannot be read: an unknown system is given the benefit of
// the doubt rather than refused.
bool PassesOsGate();

// The refusal box, without an owner; returns when the user has dismissed it.
void ShowUnsupportedOsMessage();
