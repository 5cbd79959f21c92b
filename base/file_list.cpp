#include "base/file_list.h"

#include <windows.h>

#include <cstdio>

#include "base/owners.h"
#include "base/utf8.h"
#include "base/directory_path.h"
#include "base/path_name.h"

namespace {

// Hundreds of thousands of names; a larger file is not a list and is not read on.
const size_t FILE_LIST_SIZE_MAX = 16 * 1024 * 1024;

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

} // namespace

bool ParseFileList(const std::string& text, std::vector<ListedPath>& entries, size_t pathLengthMax) {
    entries.clear();
    std::wstring wide;
    if (text.size() > FILE_LIST_SIZE_MAX || !DecodeUtf8(text.data(), text.size(), wide)) {
        return false;
    }
    // Editors on Windows may put a byte-order mark in front.
    size_t start = (!wide.empty() && wide[0] == L'\uFEFF') ? 1 : 0;
    while (start < wide.size()) {
        size_t end = wide.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = wide.size();
        }
        std::wstring line = wide.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        ListedPath entry;
        // Long lines are dropped before their names are looked at: the work stays linear in the text.
        if (!line.empty() && line[0] != L'#' && line.size() <= pathLengthMax && ToRelativePath(line, entry)) {
            entries.push_back(entry);
        }
    }
    return true;
}

bool ReadFileList(const std::wstring& installDirectory, std::vector<ListedPath>& entries) {
    entries.clear();
    const StdioFile file(_wfopen((installDirectory + L"\\" + FILE_LIST_NAME).c_str(), L"rb"));
    if (!file) {
        return false;
    }
    std::string text;
    char buffer[65536];
    size_t read = 0;
    while ((read = fread(buffer, 1, sizeof(buffer), file.Get())) > 0) {
        text.append(buffer, read);
        if (text.size() > FILE_LIST_SIZE_MAX) {
            return false;
        }
    }
    const bool longPaths = installDirectory.compare(0, 4, L"\\\\?\\") == 0;
    return ferror(file.Get()) == 0 && ParseFileList(text, entries, longPaths ? LISTED_PATH_LENGTH_MAX : MAX_PATH);
}
