// The list of what a package installs. tools/make_package.py puts it into every package as
// FILE_LIST_NAME, so it lands in the installation folder with the rest; the uninstaller removes
// exactly what it names. Format: UTF-8 text, one path per line (LF or CRLF), relative to the
// installation folder with forward slashes (backslashes are read too), directories ending in "/";
// empty lines and lines starting with "#" are comments.
#pragma once

#include <string>
#include <vector>

inline const wchar_t* const FILE_LIST_NAME = L"zenka-files.txt";
// The longest path Windows can name, in characters.
inline constexpr size_t LISTED_PATH_LENGTH_MAX = 32767;

struct ListedPath {
    std::wstring path; // relative to the installation folder, backslashes, at least one name
    bool isDirectory = false;
};

// Parses the list's text. Lines that name nothing in the folder are dropped: comments, lines that
// are not UTF-8, and any line that could name anything outside the folder (absolute, drive or
// network paths, "." or ".." parts, empty parts, names of dots and blanks, characters a name
// cannot hold, device names such as "NUL" or "com1.txt"), so a damaged or hostile list can never
// lead a deletion elsewhere; so is a line longer than `pathLengthMax` characters, which no
// installed path can be. The rest of the list is kept whatever such lines it holds.
void ParseFileList(const std::string& text, std::vector<ListedPath>& entries,
                   size_t pathLengthMax = LISTED_PATH_LENGTH_MAX);

enum class ListRead {
    Read,       // entries hold what the list names
    Missing,    // there is no list
    Unreadable, // the list (or its folder) could not be opened or read, even after waiting out holds
};

// Reads and parses `installDirectory`\FILE_LIST_NAME as ParseFileList does, in pieces (memory
// bounded by the entries, whatever the file's size), inside the folder held open
// (base/held_folder.h), each step retried while another program holds the file
// (base/file_retry.h). Lines are bounded as a path below that folder is: MAX_PATH characters, or
// LISTED_PATH_LENGTH_MAX for a "\\?\" folder. Entries are empty unless Read.
ListRead ReadFileListFrom(const std::wstring& installDirectory, std::vector<ListedPath>& entries);

// ReadFileListFrom, true when Read.
bool ReadFileList(const std::wstring& installDirectory, std::vector<ListedPath>& entries);
