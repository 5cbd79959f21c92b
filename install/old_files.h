// An update removes what the version before it installed and the new one does not: the list of the
// old version (base/file_list.h), read before the extraction, against the list the new one brought.
// What the user added is in neither list and stays.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/file_list.h"

// The entries of `oldList` whose path `newList` does not name (letter case ignored), in order.
std::vector<ListedPath> ListedOnlyInOld(const std::vector<ListedPath>& oldList, const std::vector<ListedPath>& newList);

// Removes from the installation folder `folderPath` the files that only `oldList` names, then the
// folders they leave empty, by the uninstaller's rules; and drops the marks for deletion at the
// next restart that an interrupted uninstall left on the files the new list names. Nothing is
// removed when the new list cannot be read, as nothing then tells what the new version needs; the
// new list itself stays. Returns the number of old files that exist but could not be removed.
unsigned RemoveOldVersionFiles(const std::wstring& folderPath, const std::vector<ListedPath>& oldList);

// For an extraction that stopped part-way. The new version's list may already have replaced the
// old one while the files only the old version had are still here; nothing would then name them,
// and neither the next update nor the uninstaller would remove them. Appends the entries of
// `oldList` that the list on disk lacks to that list (FILE_LIST_NAME in the held folder `folder`,
// whose path is `folderPath`). Nothing is written when the list on disk is still the old one or
// cannot be read. Best effort: the run has failed already and its box says so.
void KeepOldEntriesListed(HANDLE folder, const std::wstring& folderPath, const std::vector<ListedPath>& oldList);
