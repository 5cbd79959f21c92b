#include "sample/removal.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "sample/install_location.h"

namespace {

struct FindHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    FindHandle() = default;
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (handle != INVALID_HANDLE_VALUE) {
            FindClose(handle);
        }
    }
};

struct RegistryKey {
    HKEY handle = nullptr;
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (handle != nullptr) {
            RegCloseKey(handle);
        }
    }
};

template <typename T>
struct ComPointer {
    T* pointer = nullptr;
    ComPointer() = default;
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ~ComPointer() {
        if (pointer != nullptr) {
            pointer->Release();
        }
    }
};

bool DeleteOneFile(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    return DeleteFileW(path.c_str()) != 0;
}

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == L'\0') ||
           (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

// Empties `directory` and removes it; *kept* tells whether `keepPath` was met below it.
unsigned RemoveTreeBelow(const std::wstring& directory, const std::wstring& keepPath, bool& kept) {
    unsigned failures = 0;
    {
        WIN32_FIND_DATAW data;
        FindHandle find;
        find.handle = FindFirstFileExW((directory + L"\\*").c_str(), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, 0);
        if (find.handle == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? 0 : 1;
        }
        do {
            if (IsDotEntry(data.cFileName)) {
                continue;
            }
            std::wstring path = directory + L"\\" + data.cFileName;
            bool isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (!keepPath.empty() && SamePath(path, keepPath)) {
                kept = true;
            } else if (isDirectory && isLink) {
                // Removing the link itself; its target belongs to someone else.
                if (RemoveDirectoryW(path.c_str()) == 0) {
                    ++failures;
                }
            } else if (isDirectory) {
                bool keptBelow = false;
                failures += RemoveTreeBelow(path, keepPath, keptBelow);
                kept = kept || keptBelow;
            } else if (!DeleteOneFile(path, data.dwFileAttributes)) {
                ++failures;
            }
        } while (FindNextFileW(find.handle, &data) != 0);
    }
    if (!kept && failures == 0) {
        DWORD attributes = GetFileAttributesW(directory.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            SetFileAttributesW(directory.c_str(),
                               attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
        if (RemoveDirectoryW(directory.c_str()) == 0) {
            ++failures;
        }
    }
    return failures;
}

std::wstring ReadStringValue(HKEY key, const wchar_t* name, bool& present) {
    present = false;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::wstring();
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &bytes) !=
        ERROR_SUCCESS) {
        return std::wstring();
    }
    present = true;
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') {
        value.pop_back();
    }
    return value;
}

}  // namespace

unsigned RemoveDirectoryTree(const std::wstring& directory, const std::wstring& keepPath) {
    std::wstring root = NormalizeDirectoryPath(directory);
    DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? 0 : 1;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return 1;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // The installation directory itself is a link: drop the link, keep its target.
        return RemoveDirectoryW(root.c_str()) != 0 ? 0 : 1;
    }
    bool kept = false;
    return RemoveTreeBelow(root, keepPath, kept);
}

RemovalOutcome RemoveOwnedShortcut(const std::wstring& linkPath,
                                   const std::wstring& installDirectory) {
    if (GetFileAttributesW(linkPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return RemovalOutcome::Absent;
    }
    std::wstring target;
    ComPointer<IShellLinkW> link;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link.pointer)))) {
        ComPointer<IPersistFile> file;
        if (SUCCEEDED(link.pointer->QueryInterface(IID_IPersistFile,
                                                   reinterpret_cast<void**>(&file.pointer))) &&
            SUCCEEDED(file.pointer->Load(linkPath.c_str(), STGM_READ))) {
            wchar_t buffer[32768] = {};
            if (link.pointer->GetPath(buffer, 32768, nullptr, SLGP_RAWPATH) == S_OK) {
                target = buffer;
            }
        }
    }
    if (!target.empty() && !IsInsideDirectory(target, installDirectory)) {
        return RemovalOutcome::Foreign;
    }
    if (!DeleteOneFile(linkPath, GetFileAttributesW(linkPath.c_str()))) {
        return RemovalOutcome::Failed;
    }
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, linkPath.c_str(), nullptr);
    return RemovalOutcome::Removed;
}

RemovalOutcome RemoveOwnedUninstallKey(HKEY root, const std::wstring& subkey,
                                       const std::wstring& installDirectory) {
    {
        RegistryKey key;
        LSTATUS status = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key.handle);
        if (status == ERROR_FILE_NOT_FOUND) {
            return RemovalOutcome::Absent;
        }
        if (status != ERROR_SUCCESS) {
            return RemovalOutcome::Failed;
        }
        bool present = false;
        std::wstring location = ReadStringValue(key.handle, L"InstallLocation", present);
        if (present && !location.empty() && !SamePath(location, installDirectory)) {
            return RemovalOutcome::Foreign;
        }
    }
    LSTATUS status = RegDeleteTreeW(root, subkey.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        return RemovalOutcome::Failed;
    }
    return RemovalOutcome::Removed;
}
