#include "sample/removal.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "base/owners.h"
#include "sample/install_location.h"

namespace {

bool DeleteOneFile(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    return DeleteFileW(path.c_str()) != 0;
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
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &bytes) != ERROR_SUCCESS) {
        return std::wstring();
    }
    present = true;
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') {
        value.pop_back();
    }
    return value;
}

} // namespace

RemovalOutcome RemoveOwnedShortcut(const std::wstring& linkPath, const std::wstring& installDirectory) {
    if (GetFileAttributesW(linkPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return RemovalOutcome::Absent;
    }
    std::wstring target;
    ComPtr<IShellLinkW> link;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid()))) {
        ComPtr<IPersistFile> file;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.PutVoid())) &&
            SUCCEEDED(file->Load(linkPath.c_str(), STGM_READ))) {
            wchar_t buffer[32768] = {};
            if (link->GetPath(buffer, 32768, nullptr, SLGP_RAWPATH) == S_OK) {
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

RemovalOutcome RemoveOwnedUninstallKey(HKEY root, const std::wstring& subkey, const std::wstring& installDirectory) {
    {
        RegistryKey key;
        LSTATUS status = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Put());
        if (status == ERROR_FILE_NOT_FOUND) {
            return RemovalOutcome::Absent;
        }
        if (status != ERROR_SUCCESS) {
            return RemovalOutcome::Failed;
        }
        bool present = false;
        std::wstring location = ReadStringValue(key.Get(), L"InstallLocation", present);
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
