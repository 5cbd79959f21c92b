#include "install/partial_download.h"

#include "install/paths.h"
#include "install/resume_validator.h"

#include <windows.h>

namespace {

// The one owner of an open validator file.
struct ValidatorFile {
    HANDLE handle = INVALID_HANDLE_VALUE;

    ValidatorFile(const std::wstring& path, DWORD access, DWORD disposition)
        : handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                             nullptr)) {}
    ~ValidatorFile() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    ValidatorFile(const ValidatorFile&) = delete;
    ValidatorFile& operator=(const ValidatorFile&) = delete;
};

// Room for the longest validator and a line break; anything bigger is not one of ours.
constexpr LONGLONG VALIDATOR_FILE_BYTES_MAX = static_cast<LONGLONG>(RESUME_VALIDATOR_LENGTH_MAX) + 2;

} // namespace

std::wstring ReadResumeValidator(const std::wstring& partialPath) {
    ValidatorFile file(ValidatorPath(partialPath), GENERIC_READ, OPEN_EXISTING);
    if (file.handle == INVALID_HANDLE_VALUE) return std::wstring();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.handle, &size) || size.QuadPart < 0 || size.QuadPart > VALIDATOR_FILE_BYTES_MAX) {
        return std::wstring();
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.handle, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        return std::wstring();
    }
    return ParseValidatorFileText(bytes);
}

void WriteResumeValidator(const std::wstring& partialPath, const std::wstring& validator) {
    const std::wstring path = ValidatorPath(partialPath);
    bool written = false;
    if (IsUsableValidator(validator)) {
        ValidatorFile file(path, GENERIC_WRITE, CREATE_ALWAYS);
        const std::string text = FormatValidatorFileText(validator);
        DWORD count = 0;
        written = file.handle != INVALID_HANDLE_VALUE &&
                  WriteFile(file.handle, text.data(), static_cast<DWORD>(text.size()), &count, nullptr) &&
                  count == text.size() && FlushFileBuffers(file.handle);
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
