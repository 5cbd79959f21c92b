// Scratch folders and small file helpers for tests and tools that work in real directories of the
// Wine prefix.
#pragma once

#include <string>

void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool PathExists(const std::wstring& path);
// Deletes `path` and everything below it; what cannot be deleted stays (clean-up only).
void RemoveTree(const std::wstring& path);

// A fresh, empty directory "%TEMP%\zenka-test-NAME" (removed first if it exists), kept afterwards.
std::wstring FreshTempDir(const std::wstring& name);

// FreshTempDir(LABEL-PROCESSID), removed with its contents at the end of the scope.
class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& label);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::wstring& Path() const { return path_; }

    // Writes `bytes` zero bytes to `relative` below the directory, creating parent directories;
    // returns the file's path.
    std::wstring AddFile(const std::wstring& relative, size_t bytes) const;

private:
    std::wstring path_;
};
