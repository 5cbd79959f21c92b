// A hold on a file by another process, through the file_holder program built beside this library.
#pragma once

#include "base/owners.h"

#include <string>

// Starts file_holder on `path` for `milliseconds` (-1: until the returned process is killed) and
// returns once the file is held (an open that shares everything then fails). The process handle;
// empty when the hold could not be set up.
KernelHandle HoldFile(const std::wstring& path, long milliseconds);

// Ends a holder early (when it holds for good) and waits for it to go.
void EndHold(KernelHandle& holder);
