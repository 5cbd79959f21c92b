#include "install/partial_download.h"

#include "base/owners.h"
#include "install/paths.h"
#include "install/resume_validator.h"

#include <windows.h>

namespace {

// Room for the longest validator and a line break; anything bigger is not one of ours.
constexpr LONGLONG VALIDATOR_FILE_BYTES_MAX = static_cast<LONGLONG>(RESUME_VALIDATOR_LENGTH_MAX) + 2;

} // namespace

FileHandle OpenOwnFile(const std::wstring& path, DWORD access, DWORD disposition) {
    // Opened without truncating and checked by the handle before anything is written through it,
    // so that no name swapped in between the check and the write is ever written to.
    for (int attempt = 0; attempt < 3; ++attempt) {
        FileHandle file(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    disposition == CREATE_ALWAYS ? OPEN_ALWAYS : disposition,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) return file;
        BY_HANDLE_FILE_INFORMATION information{};
        if (GetFileInformationByHandle(file.Get(), &information) != 0 && information.nNumberOfLinks <= 1 &&
            (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            if (disposition == CREATE_ALWAYS && SetEndOfFile(file.Get()) == 0) return FileHandle();
            return file;
        }
        file.Reset();
        DeleteFileW(path.c_str());
        if (disposition != CREATE_ALWAYS) return FileHandle();
    }
    return FileHandle();
}

std::wstring ReadResumeValidator(const std::wstring& partialPath) {
    const FileHandle file = OpenOwnFile(ValidatorPath(partialPath), GENERIC_READ, OPEN_EXISTING);
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

void WriteResumeValidator(const std::wstring& partialPath, const std::wstring& validator) {
    const std::wstring path = ValidatorPath(partialPath);
    bool written = false;
    if (IsUsableValidator(validator)) {
        const FileHandle file = OpenOwnFile(path, GENERIC_WRITE, CREATE_ALWAYS);
        const std::string text = FormatValidatorFileText(validator);
        DWORD count = 0;
        written = file.IsValid() &&
                  WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr) &&
                  count == text.size() && FlushFileBuffers(file.Get());
    }
    // A cut-off validator would at worst make the server send the whole file again, but none at all
    // says plainly that nothing is known.
    if (!written) DeleteFileW(path.c_str());
}

void DeleteResumeValidator(const std::wstring& partialPath) { DeleteFileW(ValidatorPath(partialPath).c_str()); }

void DeletePartialDownload(const std::wstring& partialPath) {
    DeleteFileW(partialPath.c_str());
    DeleteResumeValidator(partialPath);
}
