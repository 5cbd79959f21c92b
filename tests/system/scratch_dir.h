// A uniquely named directory below the Windows temp folder, removed with its contents at the end.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& label) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"zenka-" + label + L"-" + std::to_wstring(GetCurrentProcessId());
        std::error_code error;
        std::filesystem::remove_all(path_, error);
        std::filesystem::create_directories(path_, error);
    }
    ~ScratchDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::wstring& Path() const { return path_; }

    // Writes `bytes` zero bytes to `relative` below the directory, creating parent directories.
    std::wstring AddFile(const std::wstring& relative, size_t bytes) const {
        const std::filesystem::path file = std::filesystem::path(path_) / relative;
        std::error_code error;
        std::filesystem::create_directories(file.parent_path(), error);
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            const std::string zeros(bytes, '\0');
            DWORD written = 0;
            WriteFile(handle, zeros.data(), static_cast<DWORD>(zeros.size()), &written, nullptr);
            CloseHandle(handle);
        }
        return file.wstring();
    }

private:
    std::wstring path_;
};
