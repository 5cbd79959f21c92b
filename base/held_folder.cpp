#include "base/held_folder.h"

#include <winternl.h>

#include <cstring>
#include <utility>

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc, PVOID context,
                                               PIO_STATUS_BLOCK status, PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass, BOOLEAN singleEntry,
                                               PUNICODE_STRING fileName, BOOLEAN restartScan);
extern "C" NTSTATUS NTAPI NtQueryInformationFile(HANDLE file, PIO_STATUS_BLOCK status, PVOID buffer, ULONG length,
                                                 FILE_INFORMATION_CLASS informationClass);

namespace {

constexpr auto ID_BOTH_INFORMATION_CLASS = static_cast<FILE_INFORMATION_CLASS>(37);
constexpr auto NAMES_INFORMATION_CLASS = static_cast<FILE_INFORMATION_CLASS>(12);
constexpr auto NAME_INFORMATION_CLASS = static_cast<FILE_INFORMATION_CLASS>(9);
constexpr NTSTATUS NO_MORE_FILES = static_cast<NTSTATUS>(0x80000006L);

// What a held folder may be used for: listing, going through, reading its attributes, and waiting
// on synchronous I/O. Creating and deleting inside it needs no right on the folder's handle.
constexpr ACCESS_MASK FOLDER_ACCESS = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Others may read and write inside it, but nobody may rename or delete it while it is held.
constexpr ULONG FOLDER_SHARE = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// NtQueryDirectoryFile's layout of FileIdBothDirectoryInformation up to the id.
struct IdBothEntry {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER times[4];
    LARGE_INTEGER endOfFile;
    LARGE_INTEGER allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;
    ULONG eaSize;
    CCHAR shortNameLength;
    WCHAR shortName[12];
    LARGE_INTEGER fileId;
    WCHAR fileName[1];
};

struct NamesEntry {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    ULONG fileNameLength;
    WCHAR fileName[1];
};

DWORD ToWin32(NTSTATUS status) { return status == 0 ? ERROR_SUCCESS : RtlNtStatusToDosError(status); }

// `name` as a counted string; it must outlive the call that uses it.
UNICODE_STRING Counted(const std::wstring& name) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    return text;
}

NTSTATUS OpenRelative(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, FileHandle& handle) {
    // One name, or empty to open the root again; ".." or a separator would leave the folder.
    if (name.size() > 32767 || name.find_first_of(L"\\/") != std::wstring::npos || name == L"." || name == L"..") {
        return static_cast<NTSTATUS>(0xC0000033L); // STATUS_OBJECT_NAME_INVALID
    }
    UNICODE_STRING text = Counted(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const NTSTATUS status =
        NtCreateFile(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                     disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status == 0) handle.Reset(opened);
    return status;
}

bool SameName(const std::wstring& a, const wchar_t* b, size_t bLength) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, static_cast<int>(bLength), TRUE) ==
           CSTR_EQUAL;
}

// The listing's entry for `name` in `folder`: its attributes and file id. A fresh handle of the
// folder is listed, as a handle's first query fixes the pattern of all later ones.
DWORD ListedEntry(HANDLE folder, const std::wstring& name, DWORD& attributes, LONGLONG& id) {
    FileHandle listing;
    NTSTATUS status =
        OpenRelative(folder, std::wstring(), FILE_LIST_DIRECTORY, SHARE_ALL, FILE_OPEN, FILE_DIRECTORY_FILE, listing);
    if (status != 0) return ToWin32(status);
    alignas(8) unsigned char buffer[sizeof(IdBothEntry) + 520 * sizeof(wchar_t)];
    UNICODE_STRING pattern = Counted(name);
    IO_STATUS_BLOCK io{};
    status = NtQueryDirectoryFile(listing.Get(), nullptr, nullptr, nullptr, &io, buffer, sizeof(buffer),
                                  ID_BOTH_INFORMATION_CLASS, TRUE, &pattern, TRUE);
    if (status != 0) return ERROR_FILE_NOT_FOUND;
    const auto* entry = reinterpret_cast<const IdBothEntry*>(buffer);
    // The names are plain (no wildcards), but the listing's answer is checked all the same.
    if (!SameName(name, entry->fileName, entry->fileNameLength / sizeof(wchar_t))) return ERROR_FILE_NOT_FOUND;
    attributes = entry->fileAttributes;
    id = entry->fileId.QuadPart;
    return ERROR_SUCCESS;
}

// True when the folder opened as `handle` from the name `name` in `parent` is a link, or is not
// the folder that name now lists. The handle shows a link where the system opens the link itself;
// the listing shows it where opening follows it (as under Wine), and a different file id shows a
// name that was swapped for a link and back around the open.
bool IsLinkOrSwapped(HANDLE handle, HANDLE parent, const std::wstring& name) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag)) == 0 ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return true;
    }
    if (parent == nullptr) return false;
    DWORD listed = 0;
    LONGLONG listedId = 0;
    if (ListedEntry(parent, name, listed, listedId) != ERROR_SUCCESS) return true;
    if ((listed & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    FILE_INTERNAL_INFORMATION own{};
    IO_STATUS_BLOCK io{};
    if (NtQueryInformationFile(handle, &io, &own, sizeof(own), FileInternalInformation) != 0) return true;
    // A file system without stable ids lists 0; the attributes above are all it can tell then.
    return listedId != 0 && listedId != own.IndexNumber.QuadPart;
}

// The path the system resolved `handle` to when it was opened, below its volume ("\Games\ZENKA");
// empty when it cannot be told.
std::wstring OpenedName(HANDLE handle) {
    std::vector<unsigned char> buffer(sizeof(ULONG) + 32768 * sizeof(wchar_t));
    IO_STATUS_BLOCK io{};
    if (NtQueryInformationFile(handle, &io, buffer.data(), static_cast<ULONG>(buffer.size()), NAME_INFORMATION_CLASS) !=
        0) {
        return std::wstring();
    }
    ULONG bytes = 0;
    std::memcpy(&bytes, buffer.data(), sizeof(bytes));
    if (bytes > buffer.size() - sizeof(ULONG)) return std::wstring();
    std::wstring name(bytes / sizeof(wchar_t), L'\0');
    std::memcpy(&name[0], buffer.data() + sizeof(ULONG), name.size() * sizeof(wchar_t));
    return name;
}

// The path `name` inside `parent` should resolve to: the parent's path and the name; empty when
// the parent's path cannot be told.
std::wstring ExpectedName(HANDLE parent, const std::wstring& name) {
    std::wstring expected = OpenedName(parent);
    if (expected.empty()) return expected;
    if (expected.back() != L'\\') expected += L'\\';
    return expected + name;
}

// True when `child` was resolved to `expected` (of ExpectedName). A system that records the path it
// resolved (Wine does, and later deletes by it) shows another path when a folder on the way was
// swapped for a link as the child was opened.
bool NamedAs(HANDLE child, const std::wstring& expected) {
    const std::wstring actual = OpenedName(child);
    return !expected.empty() && !actual.empty() && SameName(expected, actual.c_str(), actual.size());
}

// The folder above `fullPath` and the last name of it; empty when `fullPath` is a root.
std::pair<std::wstring, std::wstring> SplitLast(const std::wstring& fullPath) {
    std::wstring path = fullPath;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash + 1 >= path.size()) return {};
    std::wstring parent = path.substr(0, slash);
    // "C:" alone is the drive's current folder; its root is meant.
    if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
    if (parent.size() == 6 && parent.compare(0, 4, L"\\\\?\\") == 0 && parent[5] == L':') parent += L'\\';
    return {parent, path.substr(slash + 1)};
}

} // namespace

DWORD OpenHeldFolder(const std::wstring& fullPath, FileHandle& folder) {
    FileHandle opened(CreateFileW(fullPath.c_str(), FOLDER_ACCESS, FOLDER_SHARE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened) return GetLastError();
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(opened.Get(), &information) == 0) return GetLastError();
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
    const auto [parentPath, name] = SplitLast(fullPath);
    FileHandle parent;
    if (!parentPath.empty()) {
        parent.Reset(CreateFileW(parentPath.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE, SHARE_ALL, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    }
    if (IsLinkOrSwapped(opened.Get(), parent.Get(), name)) return ERROR_FOLDER_IS_LINK;
    folder = std::move(opened);
    return ERROR_SUCCESS;
}

DWORD OpenHeldSubfolder(HANDLE parent, const std::wstring& name, bool create, FileHandle& folder) {
    if (name.empty()) return ERROR_INVALID_NAME;
    FileHandle opened;
    NTSTATUS status = OpenRelative(parent, name, FOLDER_ACCESS, FOLDER_SHARE, create ? FILE_OPEN_IF : FILE_OPEN,
                                   FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, opened);
    if (status == static_cast<NTSTATUS>(0xC0000103L)) return ERROR_DIRECTORY; // STATUS_NOT_A_DIRECTORY
    if (status != 0) return ToWin32(status);
    if (IsLinkOrSwapped(opened.Get(), parent, name) || !NamedAs(opened.Get(), ExpectedName(parent, name))) {
        return ERROR_FOLDER_IS_LINK;
    }
    folder = std::move(opened);
    return ERROR_SUCCESS;
}

DWORD HoldFolders(HeldPath& held, const std::wstring& relative, bool create, std::wstring& failed) {
    std::vector<std::wstring> wanted;
    for (size_t start = 0; start < relative.size();) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos) end = relative.size();
        if (end > start) wanted.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    size_t kept = 0;
    while (kept < held.names.size() && kept < wanted.size() &&
           SameName(held.names[kept], wanted[kept].c_str(), wanted[kept].size())) {
        ++kept;
    }
    // Innermost first, so no folder is closed while one inside it is still held.
    while (held.folders.size() > kept) {
        held.folders.pop_back();
        held.names.pop_back();
    }
    for (size_t i = kept; i < wanted.size(); ++i) {
        FileHandle next;
        const DWORD error = OpenHeldSubfolder(InnermostFolder(held), wanted[i], create, next);
        if (error != ERROR_SUCCESS) {
            failed.clear();
            for (size_t j = 0; j <= i; ++j) failed += (j == 0 ? L"" : L"\\") + wanted[j];
            return error;
        }
        held.folders.push_back(std::move(next));
        held.names.push_back(wanted[i]);
    }
    return ERROR_SUCCESS;
}

HANDLE InnermostFolder(const HeldPath& held) {
    return held.folders.empty() ? held.root.Get() : held.folders.back().Get();
}

DWORD OpenFileIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share, FileDisposition disposition,
                 FileHandle& file) {
    if (name.empty()) return ERROR_INVALID_NAME;
    const NTSTATUS status = OpenRelative(folder, name, access, share, static_cast<ULONG>(disposition),
                                         FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, file);
    if (status == static_cast<NTSTATUS>(0xC00000BAL)) return ERROR_DIRECTORY;   // STATUS_FILE_IS_A_DIRECTORY
    if (status == static_cast<NTSTATUS>(0xC0000035L)) return ERROR_FILE_EXISTS; // STATUS_OBJECT_NAME_COLLISION
    return ToWin32(status);
}

DWORD RenameIn(HANDLE folder, const std::wstring& from, const std::wstring& to, bool replace) {
    if (from.empty() || to.empty() || to.find_first_of(L"\\/") != std::wstring::npos) return ERROR_INVALID_NAME;
    FileHandle source;
    NTSTATUS status = OpenRelative(folder, from, DELETE, SHARE_ALL, FILE_OPEN, FILE_OPEN_REPARSE_POINT, source);
    if (status != 0) return ToWin32(status);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFORMATION) + to.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<ULONG>(to.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, to.c_str(), to.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io{};
    status = NtSetInformationFile(source.Get(), &io, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation);
    if (status == static_cast<NTSTATUS>(0xC0000035L)) return ERROR_ALREADY_EXISTS;
    return ToWin32(status);
}

void ClearReadOnly(HANDLE file) {
    IO_STATUS_BLOCK io{};
    FILE_BASIC_INFORMATION basic{};
    if (NtQueryInformationFile(file, &io, &basic, sizeof(basic), FileBasicInformation) != 0 ||
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return;
    }
    FILE_BASIC_INFORMATION writable{}; // zero times: left as they are
    writable.FileAttributes = basic.FileAttributes & ~static_cast<ULONG>(FILE_ATTRIBUTE_READONLY);
    if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    NtSetInformationFile(file, &io, &writable, sizeof(writable), FileBasicInformation);
}

DWORD DeleteIn(HANDLE folder, const std::wstring& name) {
    if (name.empty()) return ERROR_INVALID_NAME;
    FileHandle target;
    NTSTATUS status = OpenRelative(folder, name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, SHARE_ALL,
                                   FILE_OPEN, FILE_OPEN_REPARSE_POINT, target);
    if (status != 0) return ToWin32(status);
    // Where the system deletes by the path it resolved at the open (Wine: it stats that path and
    // unlinks it as the last handle closes), a folder on the way swapped for a link at that
    // moment takes someone else's file of the same name. No check closes that gap, so the
    // deletion goes ahead only when the path resolved right at the open and at a few fresh opens
    // just before: a folder being swapped shows itself in one of them and stops the removal.
    const std::wstring expected = ExpectedName(folder, name); // the held folder's path stays put
    for (int look = 0; look < 4; ++look) {
        FileHandle probe;
        if (look > 0 && OpenRelative(folder, name, FILE_READ_ATTRIBUTES, SHARE_ALL, FILE_OPEN, FILE_OPEN_REPARSE_POINT,
                                     probe) != 0) {
            break; // a hold or the like: the deletion below tells
        }
        if (!NamedAs(look > 0 ? probe.Get() : target.Get(), expected)) return ERROR_FOLDER_IS_LINK;
    }
    FILE_INTERNAL_INFORMATION own{};
    IO_STATUS_BLOCK io{};
    if (NtQueryInformationFile(target.Get(), &io, &own, sizeof(own), FileInternalInformation) != 0) {
        own.IndexNumber.QuadPart = 0;
    }
    ClearReadOnly(target.Get());
    FILE_DISPOSITION_INFORMATION disposition{};
    disposition.DoDeleteFile = TRUE;
    status = NtSetInformationFile(target.Get(), &io, &disposition, sizeof(disposition), FileDispositionInformation);
    if (status != 0) return ToWin32(status);
    target.Reset();
    // Deleted only once the held folder no longer lists it: the name stays while another program
    // keeps the file open, and a deletion that went by a swapped path left it where it was.
    DWORD attributes = 0;
    LONGLONG listedId = 0;
    const DWORD listed = ListedEntry(folder, name, attributes, listedId);
    if (listed == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (listed != ERROR_SUCCESS) return listed;
    // Another file put there since is someone else's; ours is gone.
    const bool same = own.IndexNumber.QuadPart == 0 || listedId == 0 || listedId == own.IndexNumber.QuadPart;
    return same ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

DWORD ListedAttributesIn(HANDLE folder, const std::wstring& name, DWORD& attributes) {
    LONGLONG id = 0;
    return ListedEntry(folder, name, attributes, id);
}

bool ListFolder(HANDLE folder, std::vector<std::wstring>& names) {
    names.clear();
    FileHandle listing;
    if (OpenRelative(folder, std::wstring(), FILE_LIST_DIRECTORY, SHARE_ALL, FILE_OPEN, FILE_DIRECTORY_FILE, listing) !=
        0) {
        return false;
    }
    alignas(8) unsigned char buffer[64 * 1024];
    for (bool first = true;; first = false) {
        IO_STATUS_BLOCK io{};
        const NTSTATUS status = NtQueryDirectoryFile(listing.Get(), nullptr, nullptr, nullptr, &io, buffer,
                                                     sizeof(buffer), NAMES_INFORMATION_CLASS, FALSE, nullptr, first);
        if (status == NO_MORE_FILES) return true;
        if (status != 0) return false;
        for (size_t offset = 0;;) {
            const auto* entry = reinterpret_cast<const NamesEntry*>(buffer + offset);
            std::wstring name(entry->fileName, entry->fileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(std::move(name));
            if (entry->nextEntryOffset == 0) break;
            offset += entry->nextEntryOffset;
        }
    }
}
