#include "system/desktop_launch.h"

#include "base/owners.h"

#include <windows.h>
// shellapi.h first: it defines ShellExecute as a macro, which then renames the automation method
// of the same name consistently where shldisp.h declares it and where it is called below.
#include <shellapi.h>
#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

namespace {

// Puts into `shell` the Shell application object of the process that shows the desktop, reached
// from the desktop window's folder view; false when a step fails (for instance when no desktop
// shell runs).
bool FindDesktopShellDispatch(ComPtr<IShellDispatch2>& shell) {
    ComPtr<IShellWindows> shellWindows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows, shellWindows.PutVoid())) ||
        !shellWindows) {
        return false;
    }
    VARIANT desktopLocation{};
    desktopLocation.vt = VT_I4;
    desktopLocation.lVal = CSIDL_DESKTOP;
    VARIANT noRoot{};
    long desktopWindow = 0;
    ComPtr<IDispatch> desktop;
    // S_FALSE: no desktop window is registered (the shell is not running), and no object comes back.
    if (shellWindows->FindWindowSW(&desktopLocation, &noRoot, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                                   desktop.Put()) != S_OK ||
        !desktop) {
        return false;
    }
    ComPtr<IServiceProvider> services;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.PutVoid())) || !services) return false;
    ComPtr<IShellBrowser> browser;
    if (FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.PutVoid())) || !browser) {
        return false;
    }
    ComPtr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(view.Put())) || !view) return false;
    ComPtr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.PutVoid())) || !background) {
        return false;
    }
    ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.PutVoid())) || !folderView) {
        return false;
    }
    ComPtr<IDispatch> application;
    if (FAILED(folderView->get_Application(application.Put())) || !application) return false;
    return SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, shell.PutVoid())) && shell;
}

VARIANT TextVariant(BSTR text) {
    VARIANT value{};
    value.vt = VT_BSTR;
    value.bstrVal = text; // still owned by the caller's BstrString
    return value;
}

// ShellExecuteExW from this process, as the setup always did: the program gets the setup's token.
void StartFromThisProcess(const std::wstring& program, const std::wstring& directory) {
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_DOENVSUBST | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"open";
    execute.lpFile = program.c_str();
    execute.lpDirectory = directory.c_str();
    execute.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&execute); // a launcher that will not start is not worth a message here
}

} // namespace

bool LaunchThroughDesktopShell(const std::wstring& program, const std::wstring& directory) {
    ComPtr<IShellDispatch2> shell;
    if (!FindDesktopShellDispatch(shell)) return false;
    const BstrString file(SysAllocString(program.c_str()));
    const BstrString folder(SysAllocString(directory.c_str()));
    const BstrString verb(SysAllocString(L"open"));
    if (!file || !folder || !verb) return false;
    VARIANT noArguments{};
    VARIANT show{};
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    // The shell starts the program in its own process and answers S_OK only when it started;
    // S_FALSE means it could not, and then this process tries itself.
    return shell->ShellExecute(file.Get(), noArguments, TextVariant(folder.Get()), TextVariant(verb.Get()), show) ==
           S_OK;
}

void LaunchAsDesktopUser(const std::wstring& program, const std::wstring& directory) {
    // The main thread has no COM apartment of its own. S_FALSE (one already there) is balanced as
    // well; RPC_E_CHANGED_MODE (a multithreaded one) is not ours to leave, and COM still works in it.
    const ComApartment apartment = JoinApartmentIfFree();
    // The shell may answer a program it cannot find with an error box of its own; a missing
    // launcher is left to ShellExecuteExW here, which fails without one.
    const bool present = GetFileAttributesW(program.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!present || !LaunchThroughDesktopShell(program, directory)) StartFromThisProcess(program, directory);
}
