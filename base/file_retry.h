// Waiting out short holds on files. An on-access virus scanner opens every new file without
// sharing for a moment, an indexer or a backup tool may do the same, and a program that is just
// closing still holds its files: an open, create, rename or delete that meets such a hold succeeds
// a moment later.
#pragma once

#include <windows.h>

#include <functional>

// The errors a hold gives: a sharing violation, a lock violation, or access denied (which Windows
// also reports for a file whose deletion is pending).
bool IsHoldError(DWORD error);

// How long RetryWhileHeld keeps trying, in milliseconds; about ten seconds unless a test sets less.
extern DWORD g_holdRetryMs;

// Calls `attempt` (which returns ERROR_SUCCESS or a Windows error code) until it succeeds or fails
// with an error that is not a hold, or until g_holdRetryMs have passed, pausing between attempts
// for 10 ms at first and growing up to 500 ms. Returns the last attempt's result.
DWORD RetryWhileHeld(const std::function<DWORD()>& attempt);
