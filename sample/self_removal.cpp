#include "sample/self_removal.h"

#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include "base/file_list.h"
#include "base/file_retry.h"
#include "base/held_folder.h"
#include "base/install_lock.h"
#include "base/listed_removal.h"
#include "base/owners.h"
#include "base/product.h"
#include "sample/install_location.h"
#include "sample/removal.h"
#include "sample/system_folders.h"
#include "sample/updater_options.h"

namespace {

const wchar_t* const PRIVATE_FOLDER_PREFIX = L"zenka-uninstall-";

// Starts `commandLine` with no window, working in `directory`, without waiting for it.
bool StartDetached(const std::wstring* application, std::wstring commandLine, const std::wstring& directory) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(application != nullptr ? application->c_str() : nullptr, &commandLine[0], nullptr, nullptr,
                       FALSE, CREATE_NO_WINDOW, nullptr, directory.empty() ? nullptr : directory.c_str(), &startup,
                       &process) == 0) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Waits for the updater unless the process id now belongs to some other program.
void WaitForParent(unsigned long parentProcessId, const std::wstring& installDirectory) {
    const KernelHandle parent(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentProcessId));
    if (!parent) {
        return; // already gone
    }
    wchar_t image[32768] = {};
    DWORD length = 32768;
    if (QueryFullProcessImageNameW(parent.Get(), 0, image, &length) != 0 &&
        !IsInsideDirectory(image, installDirectory)) {
        return;
    }
    // As long as it takes: the updater keeps its result box open until the user closes it.
    WaitForSingleObject(parent.Get(), INFINITE);
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsMissing(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::wstring SystemFolder() {
    wchar_t system[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(system, length);
}

} // namespace

std::wstring CreatePrivateFolder(const std::wstring& parent) {
    GUID guid = {};
    wchar_t text[40] = {};
    if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, 40) == 0) {
        return std::wstring();
    }
    // {XXXXXXXX-...}: the braces go, the 122 random bits stay.
    std::wstring path = parent + PRIVATE_FOLDER_PREFIX + std::wstring(text + 1, 36);
    UniqueAny<LocalMemTraits<PSECURITY_DESCRIPTOR>> descriptor;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(PRIVATE_FOLDER_SECURITY, SDDL_REVISION_1, descriptor.Put(),
                                                             nullptr) == 0) {
        return std::wstring();
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
    // Fails when the name exists: a folder someone made in advance is never used.
    BOOL created = CreateDirectoryW(path.c_str(), &attributes);
    return created != 0 ? path : std::wstring();
}

bool StartRemovalHelper(const std::wstring& updaterPath, const std::wstring& installDirectory) {
    std::wstring temp = TemporaryFolder();
    std::wstring folder = temp.empty() ? std::wstring() : CreatePrivateFolder(temp);
    if (folder.empty()) {
        return false;
    }
    std::wstring copy = folder + L"\\" + UPDATER_FILE_NAME;
    if (CopyFileW(updaterPath.c_str(), copy.c_str(), TRUE) == 0) {
        RemoveDirectoryW(folder.c_str());
        return false;
    }
    std::wstring commandLine = QuoteArgument(copy) + L" " + OPTION_FINISH_REMOVAL + L" " +
                               QuoteArgument(installDirectory) + L" " + OPTION_PARENT_PID + L" " +
                               std::to_wstring(GetCurrentProcessId());
    bool started = false;
    {
        // Held without write or delete sharing until the copy runs: neither the file nor its
        // folder can be replaced or renamed in between.
        const FileHandle held(CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        // The copy works in its own folder so that it does not hold the directory it deletes.
        started = held.IsValid() && StartDetached(&copy, commandLine, folder);
    }
    if (!started) {
        DeleteFileW(copy.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    return started;
}

int FinishRemoval(const std::wstring& installDirectory, unsigned long parentProcessId) {
    std::wstring directory = NormalizeDirectoryPath(installDirectory);
    WaitForParent(parentProcessId, directory);
    // The command line could have been written by anyone: the same checks as the updater's.
    bool hasUpdater = FileExists(directory + L"\\" + UPDATER_FILE_NAME);
    if (CheckRemovalDirectory(directory, ProtectedFolders(), hasUpdater) != LocationVerdict::Safe) {
        return -1;
    }
    // A setup that started since the updater ended owns the folder now; what is left here is
    // marked for the restart already.
    const InstallLock lock = TakeInstallLock();
    if (!lock) {
        return 1;
    }
    // The updater has removed the rest of the package; only its own file is left to go. Its file
    // can stay locked for a moment after its process has ended.
    FileHandle folder;
    if (OpenHeldFolder(directory, folder) != ERROR_SUCCESS) {
        return 1;
    }
    const DWORD error = RetryWhileHeld([&] { return DeleteIn(folder.Get(), UPDATER_FILE_NAME); });
    const std::wstring updater = directory + L"\\" + UPDATER_FILE_NAME;
    folder.Reset();
    // Gone only when empty: whatever the package did not install stays, and its folder with it.
    RemoveDirectoryW(directory.c_str());
    // The updater marked these for the restart in case this copy never got here. What is gone
    // needs no mark, and a mark left would delete a file installed again under its name; what is
    // still there keeps its mark, and so does the directory while a marked file is still in it.
    const std::wstring list = directory + L"\\" + FILE_LIST_NAME;
    std::vector<std::wstring> gone;
    for (const std::wstring& path : {updater, list}) {
        if (IsMissing(path)) gone.push_back(path);
    }
    ForgetRestartMarks(gone);
    if (IsMissing(directory) || !HasRestartMarksInside(directory)) ForgetRestartMarks({directory});
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

void ScheduleOwnDeletion() {
    std::wstring self = CurrentProgramPath();
    std::wstring folder = ParentDirectory(self);
    std::wstring temp = TemporaryFolder();
    std::wstring system = SystemFolder();
    if (self.empty() || temp.empty() || system.empty() || !IsInsideDirectory(folder, temp) || SamePath(folder, temp)) {
        return;
    }
    // Needs administrator rights, which the updater has; harmless when it fails. A folder is
    // deleted at the restart only once it is empty, hence the order.
    MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    std::wstring interpreter = system + L"\\cmd.exe";
    // The ping to the loopback address is the interpreter's portable two-second pause; by then this
    // process has long exited. Named with its full path and run in the system folder, so that the
    // interpreter finds no ping.exe of anyone else's. The whole command is quoted once more for /s /c.
    std::wstring commandLine = QuoteArgument(interpreter) + L" /d /s /c \"" + QuoteArgument(system + L"\\ping.exe") +
                               L" -n 3 127.0.0.1 >nul & " + L"del /f /q " + QuoteArgument(self) + L" & rmdir " +
                               QuoteArgument(folder) + L"\"";
    StartDetached(&interpreter, commandLine, system);
}
