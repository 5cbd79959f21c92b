#include "install/partial_download.h"

#include "base/file_retry.h"
#include "base/held_folder.h"
#include "install/paths.h"
#include "install/resume_validator.h"

namespace {

// Room for the longest validator and a line break; anything bigger is not one of ours.
constexpr LONGLONG VALIDATOR_FILE_BYTES_MAX = static_cast<LONGLONG>(RESUME_VALIDATOR_LENGTH_MAX) + 2;

// Deletes the file `name`; a folder of that name is not ours and stays.
void DeleteOwnFile(HANDLE folder, const std::wstring& name) {
    DWORD attributes = 0;
    if (ListedAttributesIn(folder, name, attributes) == ERROR_SUCCESS && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        RetryWhileHeld([&] { return DeleteIn(folder, name); });
    }
}

} // namespace

FileHandle OpenOwnFile(HANDLE folder, const std::wstring& name, DWORD access, DWORD disposition) {
    // Opened without truncating and checked by the handle before anything is written through it,
    // so that no name swapped in between the check and the write is ever written to.
    for (int attempt = 0; attempt < 3; ++attempt) {
        FileHandle file;
        if (OpenFileIn(folder, name, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                       disposition == CREATE_ALWAYS ? FileDisposition::OpenAlways : FileDisposition::OpenExisting,
                       file) != ERROR_SUCCESS) {
            return FileHandle();
        }
        BY_HANDLE_FILE_INFORMATION information{};
        if (GetFileInformationByHandle(file.Get(), &information) != 0 && information.nNumberOfLinks <= 1 &&
            (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            if (disposition == CREATE_ALWAYS && SetEndOfFile(file.Get()) == 0) return FileHandle();
            return file;
        }
        file.Reset();
        DeleteOwnFile(folder, name);
        if (disposition != CREATE_ALWAYS) return FileHandle();
    }
    return FileHandle();
}

uint64_t OwnFileSize(HANDLE folder, const std::wstring& name) {
    FileHandle file;
    LARGE_INTEGER size{};
    if (OpenFileIn(folder, name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   FileDisposition::OpenExisting, file) != ERROR_SUCCESS ||
        GetFileSizeEx(file.Get(), &size) == 0 || size.QuadPart < 0) {
        return 0;
    }
    return static_cast<uint64_t>(size.QuadPart);
}

std::wstring ReadResumeValidator(HANDLE folder, const std::wstring& partialName) {
    const FileHandle file = OpenOwnFile(folder, ValidatorPath(partialName), GENERIC_READ, OPEN_EXISTING);
    if (!file) return std::wstring();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || size.QuadPart > VALIDATOR_FILE_BYTES_MAX) {
        return std::wstring();
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())) {
        return std::wstring();
    }
    return ParseValidatorFileText(bytes);
}

void WriteResumeValidator(HANDLE folder, const std::wstring& partialName, const std::wstring& validator) {
    const std::wstring name = ValidatorPath(partialName);
    bool written = false;
    if (IsUsableValidator(validator)) {
        const FileHandle file = OpenOwnFile(folder, name, GENERIC_WRITE, CREATE_ALWAYS);
        const std::string text = FormatValidatorFileText(validator);
        DWORD count = 0;
        written = file.IsValid() &&
                  WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr) &&
                  count == text.size() && FlushFileBuffers(file.Get());
    }
    // A cut-off validator would at worst make the server send the whole file again, but none at all
    // says plainly that nothing is known.
    if (!written) DeleteOwnFile(folder, name);
}

void DeleteResumeValidator(HANDLE folder, const std::wstring& partialName) {
    DeleteOwnFile(folder, ValidatorPath(partialName));
}

void DeletePartialDownload(HANDLE folder, const std::wstring& partialName) {
    DeleteOwnFile(folder, partialName);
    DeleteResumeValidator(folder, partialName);
}
