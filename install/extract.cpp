#include "install/extract.h"

#include "app/state.h"
#include "base/owners.h"
#include "base/utf8.h"
#include "install/directories.h"
#include "install/paths.h"

#include <miniz.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr mz_uint CONSOLE_LINE_EVERY = 45;
// Large stdio buffers cut the number of reads and writes per entry; under Wine every one of them
// is a trip to the server, which is where most of the extraction time went.
constexpr size_t ARCHIVE_STREAM_BUFFER = 256 * 1024;
constexpr size_t OUTPUT_STREAM_BUFFER = 256 * 1024;

StdioFile OpenStream(const std::wstring& path, const wchar_t* mode, size_t bufferSize) {
    FILE* stream = nullptr;
    if (_wfopen_s(&stream, path.c_str(), mode) != 0 || stream == nullptr) return StdioFile();
    setvbuf(stream, nullptr, _IOFBF, bufferSize);
    return StdioFile(stream);
}

// Ends the reader before the stream it reads is closed.
struct ReaderCloser {
    void operator()(mz_zip_archive* reader) const { mz_zip_reader_end(reader); }
};

// An entry name that is not valid UTF-8 cannot be named on disk; it ends the installation
// through the worker's exception path, like any other conversion error.
std::wstring DecodeEntryName(const char* utf8) {
    std::wstring wide;
    if (!DecodeUtf8(utf8, strlen(utf8), wide)) throw std::range_error("invalid UTF-8 in archive entry name");
    return wide;
}

std::wstring DisplayName(const std::wstring& outputPath) {
    const size_t separator = outputPath.find_last_of(L"\\/");
    return separator == std::wstring::npos ? outputPath : outputPath.substr(separator + 1);
}

std::wstring ParentOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// Writes entry `index` to `outputPath`; returns the failure text, or empty on success.
std::wstring ExtractFileEntry(mz_zip_archive& reader, mz_uint index, const std::wstring& outputPath,
                              const std::wstring& displayName) {
    StdioFile output = OpenStream(outputPath, L"wb", OUTPUT_STREAM_BUFFER);
    if (!output) return L"Не удалось создать файл: " + displayName;
    if (!mz_zip_reader_extract_to_cfile(&reader, index, output.Get(), 0)) {
        mz_zip_error code = mz_zip_get_last_error(&reader);
        // The inflater reports damaged deflate data without recording a reason; that is a failed
        // decompression, not "no error".
        if (code == MZ_ZIP_NO_ERROR) code = MZ_ZIP_DECOMPRESSION_FAILED;
        return L"Ошибка извлечения файла: " + displayName + L" (код: " + std::to_wstring(static_cast<int>(code)) + L")";
    }
    // A write that failed only when the buffer was flushed is still a failed extraction.
    if (fclose(output.Release()) != 0) {
        return L"Ошибка извлечения файла: " + displayName + L" (код: " +
               std::to_wstring(static_cast<int>(MZ_ZIP_WRITE_CALLBACK_FAILED)) + L")";
    }
    return std::wstring();
}

// Runs the entry loop over an initialised reader of `count` entries. Returns the first failure
// text, or empty.
std::wstring ExtractEntries(HWND window, mz_zip_archive& reader, mz_uint count, const std::wstring& targetDir) {
    const std::wstring countText = std::to_wstring(count);
    std::wstring lastParentCreated;

    for (mz_uint i = 0; i < count; ++i) {
        mz_zip_archive_file_stat stat;
        if (!mz_zip_reader_file_stat(&reader, i, &stat)) continue; // unreadable record: skipped

        std::wstring name = DecodeEntryName(stat.m_filename);
        // Windows turns "/" into "\" only in paths it parses; below a "\\?\" target a "/" would
        // stay part of a name.
        std::replace(name.begin(), name.end(), L'/', L'\\');
        const std::wstring outputPath = AppendPathName(targetDir, name);
        const std::wstring displayName = DisplayName(outputPath);

        // Nothing may be created outside the target directory, whatever the archive says.
        if (!IsContainedEntryName(name)) return L"Не удалось создать файл: " + displayName;

        if (stat.m_is_directory) {
            CreateDirectoryWithParents(outputPath);
        } else {
            const std::wstring parent = ParentOf(outputPath);
            if (parent != lastParentCreated) {
                CreateDirectoryWithParents(parent);
                lastParentCreated = parent;
            }
            const std::wstring failure = ExtractFileEntry(reader, i, outputPath, displayName);
            if (!failure.empty()) return failure;
        }

        const std::wstring number = std::to_wstring(i + 1);
        PostProgress(window, L"Распаковка дистрибутива ZENKA...",
                     L"Файл " + number + L" из " + countText + L" (" + displayName + L")", 1000);
        if ((i + 1) % CONSOLE_LINE_EVERY == 0) {
            PostLogLine(window, L"[..] Извлечение: " + displayName + L" (" + number + L"/" + countText + L")");
        }
    }
    return std::wstring();
}

} // namespace

ExtractResult ExtractPackage(HWND window, const std::wstring& packagePath, HANDLE /*targetFolder*/,
                             const std::wstring& targetDir) {
    PostProgress(window, L"Распаковка дистрибутива ZENKA...", L"Открытие архива компонентов...", 1000);

    StdioFile archive = OpenStream(packagePath, L"rb", ARCHIVE_STREAM_BUFFER);
    if (!archive) {
        PostFatalError(window, L"Не удалось открыть файл архива для распаковки: " + packagePath);
        return ExtractResult::Failed;
    }

    mz_zip_archive reader{};
    if (!mz_zip_reader_init_cfile(&reader, archive.Get(), 0, 0)) {
        PostFatalError(window, L"Ошибка чтения ZIP-архива (архив поврежден или имеет некорректный формат).");
        return ExtractResult::Failed;
    }

    mz_uint count = 0;
    std::wstring failure;
    {
        // Declared after `archive`, so the reader ends first, also when an exception passes.
        std::unique_ptr<mz_zip_archive, ReaderCloser> readerOwner(&reader);
        count = mz_zip_reader_get_num_files(&reader);
        failure = ExtractEntries(window, reader, count, targetDir);
    }
    archive.Reset();
    DeleteFileW(packagePath.c_str());

    if (!failure.empty()) {
        PostFatalError(window, failure);
        return ExtractResult::Failed;
    }
    // Names the directory the files really went to (the default one unless --target was given).
    PostLogLine(window, L"[OK] Распаковано файлов: " + std::to_wstring(count) + L" в " + targetDir);
    return ExtractResult::Extracted;
}
