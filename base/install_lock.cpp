#include "base/install_lock.h"

InstallLock TakeInstallLock() {
    KernelHandle mutex(CreateMutexW(nullptr, FALSE, INSTALL_LOCK_NAME));
    if (!mutex) return InstallLock();
    const DWORD wait = WaitForSingleObject(mutex.Get(), 0);
    // WAIT_ABANDONED: the last holder died mid-job; its work is for this one to finish.
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return InstallLock();
    return InstallLock(mutex.Release());
}
