#include "install/partial_download.h"

#include "base/owners.h"
#include "install/paths.h"
#include "install/resume_validator.h"

#include <windows.h>

namespace {

FileHandle OpenValidatorFile(const std::wstring& path, DWORD access, DWORD disposition) {
    return FileHandle(
        CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Room for the longest validator and a line break; anything bigger is not one of ours.
constexpr LONGLONG VALIDATOR_FILE_BYTES_MAX = static_cast<LONGLONG>(RESUME_VALIDATOR_LENGTH_MAX) + 2;

} // namespace

std::wstring ReadResumeValidator(const std::wstring& partialPath) {
    const FileHandle file = OpenValidatorFile(ValidatorPath(partialPath), GENERIC_READ, OPEN_EXISTING);
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
        const FileHandle file = OpenValidatorFile(path, GENERIC_WRITE, CREATE_ALWAYS);
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
