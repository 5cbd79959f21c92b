// The check of a whole package before anything of it is written: every entry's name, method and
// encryption, the length of its path below the target, and the two programs the package must
// deliver. Pure logic over the central directory's records: no file system access.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One entry as the central directory records it.
struct ArchiveEntry {
    std::string name;                // the stored name, whole (not the reader's cut copy)
    std::string extra;               // the central directory's extra field
    uint16_t flags = 0;              // general purpose bit flags
    uint16_t method = 0;             // compression method
    uint32_t externalAttributes = 0; // the low 16 bits are the DOS attributes
};

// What the extraction does with one entry.
struct PlannedEntry {
    std::wstring folder;   // the folder it goes into, relative to the target: names joined by "\", "" at the top
    std::wstring fileName; // the file's one name; empty for a folder entry, which makes `folder` itself
    std::wstring display;  // the name shown on the installing page: the last name of its path as stored
};

// The longest full path the installed files may have (MAX_PATH less the terminating NUL), so that
// every program can open them by name.
inline constexpr size_t FULL_PATH_MAX = 259;

// Checks `entries` (in central-directory order) for installation into `targetDir` and fills
// `planned` with one record per entry in the same order. Returns the text of the box that refuses
// the package (naming the entry and saying what to change), or empty when every entry can be
// installed and both programs are at the package's root.
std::wstring CheckPackageEntries(const std::vector<ArchiveEntry>& entries, const std::wstring& targetDir,
                                 std::vector<PlannedEntry>& planned);
