// Deleting the installation directory together with the running updater. A program cannot delete
// its own file while it runs, so the updater hands the last step to a temporary copy of itself:
//
//   updater:  marks its file and the directory for deletion at the next restart, copies itself into
//             a new private folder in the temporary folder, starts the copy with --finish-removal
//             "<installation directory>" --parent-pid <its own id>, and exits;
//   copy:     waits until the updater has exited, deletes the updater's file and then the
//             directory if nothing else is left in it, then arranges for its own file and private
//             folder to be deleted once it has exited too.
//
// The updater runs elevated, and any program of the user can write to the temporary folder. So the
// copy never lies where such a program could put a file beside it or replace it: its folder has an
// unpredictable name and grants access to Administrators and SYSTEM only.
#pragma once

#include <string>

// The private folder's security: owner Administrators; a protected DACL (nothing inherited from
// the temporary folder) granting full access to SYSTEM and Administrators, passed on to what is
// put inside.
inline const wchar_t* const PRIVATE_FOLDER_SECURITY = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Creates a new folder in `parent` (ending with a backslash) named "zenka-uninstall-" and a random
// GUID, with PRIVATE_FOLDER_SECURITY; never one that exists already. Returns its path without a trailing
// backslash, or empty on failure (nothing created).
std::wstring CreatePrivateFolder(const std::wstring& parent);

// Starts the temporary copy. `updaterPath` is the running updater, `installDirectory` the
// directory to delete. True when the copy is running; it then owns the rest of the removal.
bool StartRemovalHelper(const std::wstring& updaterPath, const std::wstring& installDirectory);

// The copy's work: waits for process `parentProcessId` if it still runs the updater of
// `installDirectory`, checks the directory again, takes the installation lock, deletes the
// updater's file by handle (waiting out a hold) and then the directory only if it is empty, and
// drops the updater's restart marks of what is gone (base/listed_removal.h: ForgetRestartMarks):
// the mark of a file still there stays, and the directory's while a marked file is in it.
// Returns 1 when the updater's file is left behind (a setup holds the lock, or the file stays
// held; the updater has marked it for the restart), 0 when it is gone (other files may stay), or -1 when the directory
// is refused as unsafe (nothing deleted).
int FinishRemoval(const std::wstring& installDirectory, unsigned long parentProcessId);

// Arranges for the running copy's own file and its private folder to disappear after it exits: the
// system's command interpreter, working in the system folder, deletes them after a short pause,
// and as a fallback both are marked for deletion at the next restart. Does nothing for a program
// that does not run from a folder in the temporary folder.
void ScheduleOwnDeletion();
