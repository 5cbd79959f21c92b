// Deleting the installation directory together with the running updater. A program cannot delete
// its own file while it runs, so the updater hands the last step to a temporary copy of itself:
//
//   updater:  copies itself to the temporary folder, starts the copy with
//             --finish-removal "<installation directory>" --parent-pid <its own id>, and exits;
//   copy:     waits until the updater has exited, deletes the updater's file and then the
//             directory if nothing else is left in it, then arranges for its own file to be
//             deleted once it has exited too.
#pragma once

#include <string>

// Starts the temporary copy. `updaterPath` is the running updater, `installDirectory` the
// directory to delete. True when the copy is running; it then owns the rest of the removal.
bool StartRemovalHelper(const std::wstring& updaterPath, const std::wstring& installDirectory);

// The copy's work: waits (at most a minute) for process `parentProcessId` if it still runs the
// updater of `installDirectory`, checks the directory again, deletes the updater's file (retrying
// for a few seconds while it is still held) and then the directory only if it is empty. Returns 1
// when the updater's file is left behind, 0 when it is gone (other files may stay), or -1 when the
// directory is refused as unsafe (nothing deleted).
int FinishRemoval(const std::wstring& installDirectory, unsigned long parentProcessId);

// Arranges for the running copy's own file to disappear after it exits: a hidden command
// interpreter deletes it after a short pause, and as a fallback it is marked for deletion at the
// next restart. Does nothing for a program that does not run from the temporary folder.
void ScheduleOwnDeletion();
