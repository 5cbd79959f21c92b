// The number of GDI objects this process holds.
#pragma once

#include <windows.h>

// GetGuiResources when the system counts (Windows); otherwise the live entries of the process's
// GDI handle table, reached through the PEB (Wine, whose GetGuiResources is a stub).
DWORD CountGdiObjects();
