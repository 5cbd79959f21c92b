// One installation job at a time on the machine: the setup's worker and the uninstaller both take
// this lock before they touch an installation folder, so an uninstall cannot run while the setup
// extracts, nor two setups or two uninstalls side by side.
#pragma once

#include "base/owners.h"

// The lock's name, in the Global\ namespace so that it holds across sessions.
inline constexpr const wchar_t* INSTALL_LOCK_NAME = L"Global\\ZENKA-Installation";

// A held lock: a mutex owned by the thread that took it, released and closed when the owner goes
// (on that same thread).
struct HeldMutexTraits : NullIsInvalid<HANDLE> {
    static void Close(Type mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
};
using InstallLock = UniqueAny<HeldMutexTraits>;

// Takes the lock without waiting; empty when another job holds it. A lock left by a process that
// died is taken over.
InstallLock TakeInstallLock();
