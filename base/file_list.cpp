#include "base/file_list.h"

#include <windows.h>

#include <cstring>

#include "base/file_retry.h"
#include "base/held_folder.h"
#include "base/owners.h"
#include "base/utf8.h"
#include "base/directory_path.h"
#include "base/path_name.h"

namespace {

// The list of a long-paths folder may name paths up to the longest Windows can name.
bool IsLongPathForm(const std::wstring& path) { return path.compare(0, 4, L"\\\\?\\") == 0; }

// The line as a relative path with backslashes, or false when any of its names is not plain.
bool ToRelativePath(std::wstring line, ListedPath& entry) {
    for (wchar_t& c : line) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    entry.isDirectory = !line.empty() && line.back() == L'\\';
    if (entry.isDirectory) {
        line.pop_back();
    }
    size_t start = 0;
    for (;;) {
        size_t end = line.find(L'\\', start);
        const std::wstring name = line.substr(start, end - start);
        if (!IsPlainName(name) || IsDeviceName(name)) {
            return false;
        }
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    entry.path = line;
    return true;
}

// Splits text given in pieces into lines and keeps those that name a path. A line is held only
// up to the longest that can name one, so memory stays bounded whatever the list holds.
struct LineSplitter {
    size_t pathLengthMax;
    std::vector<ListedPath>& entries;
    std::string line;
    bool overlong = false;
    bool first = true;
};

void EndLine(LineSplitter& lines) {
    std::string& line = lines.line;
    size_t start = 0;
    // Editors on Windows may put a byte-order mark in front.
    if (lines.first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
    size_t end = line.size();
    if (end > start && line[end - 1] == '\r') --end;
    std::wstring wide;
    ListedPath entry;
    // A line that is not UTF-8 names nothing we can find, like any other line that is not a path.
    if (!lines.overlong && end > start && line[start] != '#' && DecodeUtf8(line.data() + start, end - start, wide) &&
        wide.size() <= lines.pathLengthMax && ToRelativePath(wide, entry)) {
        lines.entries.push_back(std::move(entry));
    }
    line.clear();
    lines.overlong = false;
    lines.first = false;
}

void AddText(LineSplitter& lines, const char* text, size_t size) {
    // A path of n characters takes at most 3n bytes (plus a CR): longer lines are dropped unread,
    // so the work stays linear in the text.
    const size_t byteMax = 3 * lines.pathLengthMax + 4;
    while (size > 0) {
        const char* newline = static_cast<const char*>(std::memchr(text, '\n', size));
        const size_t piece = newline != nullptr ? static_cast<size_t>(newline - text) : size;
        if (!lines.overlong && lines.line.size() + piece <= byteMax) {
            lines.line.append(text, piece);
        } else {
            lines.overlong = true;
            lines.line.clear();
        }
        if (newline == nullptr) return;
        EndLine(lines);
        text += piece + 1;
        size -= piece + 1;
    }
}

void EndText(LineSplitter& lines) {
    if (!lines.line.empty() || lines.overlong) EndLine(lines);
}

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

} // namespace

void ParseFileList(const std::string& text, std::vector<ListedPath>& entries, size_t pathLengthMax) {
    entries.clear();
    LineSplitter lines{pathLengthMax, entries, std::string(), false, true};
    AddText(lines, text.data(), text.size());
    EndText(lines);
}

ListRead ReadFileListFrom(const std::wstring& installDirectory, std::vector<ListedPath>& entries) {
    entries.clear();
    // Read inside the held folder with the waits of every other file: a scanner or a backup tool
    // holding the list for a moment must not make it look missing.
    FileHandle folder;
    DWORD error = RetryWhileHeld([&] { return OpenHeldFolder(installDirectory, folder); });
    FileHandle file;
    if (error == ERROR_SUCCESS) {
        error = RetryWhileHeld([&] {
            return OpenFileIn(folder.Get(), FILE_LIST_NAME, GENERIC_READ, FILE_SHARE_READ,
                              FileDisposition::OpenExisting, file);
        });
    }
    if (IsMissing(error)) return ListRead::Missing;
    if (error != ERROR_SUCCESS) return ListRead::Unreadable;
    LineSplitter lines{IsLongPathForm(installDirectory) ? LISTED_PATH_LENGTH_MAX : MAX_PATH, entries, std::string(),
                       false, true};
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD read = 0;
        error = RetryWhileHeld([&] {
            return ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) != 0
                       ? ERROR_SUCCESS
                       : GetLastError();
        });
        if (error != ERROR_SUCCESS) {
            entries.clear();
            return ListRead::Unreadable;
        }
        if (read == 0) break;
        AddText(lines, buffer.data(), read);
    }
    EndText(lines);
    return ListRead::Read;
}

bool ReadFileList(const std::wstring& installDirectory, std::vector<ListedPath>& entries) {
    return ReadFileListFrom(installDirectory, entries) == ListRead::Read;
}
