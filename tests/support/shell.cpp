#include "support/shell.h"

#include "base/owners.h"

#include <objidl.h>
#include <shobjidl.h>

bool SaveLink(const std::wstring& linkPath, const std::wstring& target) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    link->SetPath(target.c_str());
    ComPtr<IPersistFile> file;
    return SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.PutVoid())) &&
           SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

bool ReadLink(const std::wstring& linkPath, LinkFields& fields) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
    if (FAILED(file->Load(linkPath.c_str(), STGM_READ))) return false;
    wchar_t buffer[MAX_PATH * 2] = {};
    const int size = static_cast<int>(sizeof buffer / sizeof buffer[0]);
    if (FAILED(link->GetPath(buffer, size, nullptr, SLGP_RAWPATH))) return false;
    fields.path = buffer;
    buffer[0] = L'\0';
    if (FAILED(link->GetWorkingDirectory(buffer, size))) return false;
    fields.workingDirectory = buffer;
    buffer[0] = L'\0';
    if (FAILED(link->GetDescription(buffer, size))) return false;
    fields.description = buffer;
    buffer[0] = L'\0';
    if (FAILED(link->GetIconLocation(buffer, size, &fields.iconIndex))) return false;
    fields.iconPath = buffer;
    return true;
}
