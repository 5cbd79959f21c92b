#include "system/shortcut.h"

#include "base/owners.h"
#include "base/path_name.h"

#include <objidl.h>
#include <shobjidl.h>

bool CreateShortcut(REFKNOWNFOLDERID folder, const std::wstring& targetPath, const std::wstring& workingDirectory,
                    const std::wstring& linkFileName, const std::wstring& description) {
    CoTaskMemString folderPath;
    {
        PWSTR rawPath = nullptr;
        const HRESULT folderResult = SHGetKnownFolderPath(folder, 0, nullptr, &rawPath);
        folderPath.Reset(rawPath); // the shell may hand out memory even on failure
        if (FAILED(folderResult) || !folderPath) return false;
    }
    // Known folders come without a trailing backslash; AppendPathName still keeps it to one.
    const std::wstring linkPath = AppendPathName(folderPath.Get(), linkFileName);

    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())) ||
        !link) {
        return false;
    }
    // A link with a missing field is still worth having, so these results are not examined.
    link->SetPath(targetPath.c_str());
    link->SetWorkingDirectory(workingDirectory.c_str());
    link->SetDescription(description.c_str());
    link->SetIconLocation(targetPath.c_str(), 0);

    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid())) || !file) return false;
    if (FAILED(file->Save(linkPath.c_str(), TRUE))) return false;

    // Explorer shows the new icon at once instead of on its next refresh.
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, linkPath.c_str(), nullptr);
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, folderPath.Get(), nullptr);
    return true;
}
