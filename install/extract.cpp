#include "install/extract.h"

#include "app/state.h"
#include "base/file_retry.h"
#include "base/held_folder.h"
#include "base/number_text.h"
#include "base/owners.h"
#include "base/path_name.h"
#include "install/package_check.h"

#include <miniz.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr mz_uint CONSOLE_LINE_EVERY = 45;
// Both buffers live for the whole step: a block allocated per file would be committed and released
// by the heap at every file, and every write would meet fresh zero pages. Sizes by measurement
// (docs/benchmark.md): the archive is read ahead in large pieces, so that the many small reads of
// the reader (a local header, a piece of data) cost a copy, not a trip to the file system; output
// is gathered so that a large file is written in few calls.
constexpr size_t READ_AHEAD_BYTES = 1 << 20;
constexpr size_t OUTPUT_BUFFER_BYTES = 1 << 20;
// The name a file is written under beside an installed one, before it is moved over it. One per
// folder at a time; a copy left by a killed run is overwritten by the next.
const wchar_t* const TEMPORARY_NAME = L"~zenka-setup.tmp";
constexpr size_t CENTRAL_HEADER_BYTES = 46;

// The package, read through one handle by positioned reads with a read-ahead buffer.
struct PackageReader {
    FileHandle file;
    uint64_t size = 0;
    std::vector<unsigned char> ahead = std::vector<unsigned char>(READ_AHEAD_BYTES);
    uint64_t aheadStart = 0;
    size_t aheadLength = 0;
};

size_t ReadAt(HANDLE file, uint64_t offset, void* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD read = 0;
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
        if (!ReadFile(file, static_cast<char*>(out) + done, piece, &read, &at) || read == 0) break;
        done += read;
    }
    return done;
}

size_t ReadPackage(void* opaque, mz_uint64 offset, void* out, size_t count) {
    PackageReader& reader = *static_cast<PackageReader*>(opaque);
    // The reader's search for the end record can step below the start (an unsigned wrap): such a
    // read must fail, as it would on a file.
    if (offset > reader.size || count > reader.size - offset) return 0;
    if (offset >= reader.aheadStart && offset + count <= reader.aheadStart + reader.aheadLength) {
        std::memcpy(out, reader.ahead.data() + (offset - reader.aheadStart), count);
        return count;
    }
    if (count >= reader.ahead.size()) return ReadAt(reader.file.Get(), offset, out, count);
    reader.aheadStart = offset;
    reader.aheadLength = ReadAt(reader.file.Get(), offset, reader.ahead.data(), reader.ahead.size());
    const size_t copied = std::min(count, reader.aheadLength);
    std::memcpy(out, reader.ahead.data(), copied);
    return copied;
}

// Ends the reader when the step leaves, also through an exception.
struct ReaderCloser {
    void operator()(mz_zip_archive* zip) const { mz_zip_reader_end(zip); }
};

// The central directory's records, with each whole name and the extra field the reader keeps to
// itself. False when a record cannot be read.
bool ReadEntries(mz_zip_archive& zip, PackageReader& reader, std::vector<ArchiveEntry>& entries) {
    const mz_uint count = mz_zip_reader_get_num_files(&zip);
    entries.resize(count);
    for (mz_uint i = 0; i < count; ++i) {
        mz_zip_archive_file_stat stat;
        if (!mz_zip_reader_file_stat(&zip, i, &stat)) return false;
        ArchiveEntry& entry = entries[i];
        entry.flags = stat.m_bit_flag;
        entry.method = stat.m_method;
        entry.externalAttributes = stat.m_external_attr;
        entry.name.resize(mz_zip_reader_get_filename(&zip, i, nullptr, 0));
        if (entry.name.empty()) return false;
        mz_zip_reader_get_filename(&zip, i, &entry.name[0], static_cast<mz_uint>(entry.name.size()));
        entry.name.pop_back(); // the terminating NUL

        unsigned char header[CENTRAL_HEADER_BYTES];
        const uint64_t at = zip.m_central_directory_file_ofs + stat.m_central_dir_ofs;
        if (ReadPackage(&reader, at, header, sizeof(header)) != sizeof(header)) return false;
        const size_t nameLength = header[28] | header[29] << 8;
        entry.extra.resize(header[30] | header[31] << 8);
        if (!entry.extra.empty() && ReadPackage(&reader, at + sizeof(header) + nameLength, &entry.extra[0],
                                                entry.extra.size()) != entry.extra.size()) {
            return false;
        }
    }
    return true;
}

// One output file being written through the step's buffer.
struct Output {
    HANDLE file;
    std::vector<char>& buffer;
    size_t used = 0;
    bool failed = false;
};

bool WriteAll(HANDLE file, const char* data, size_t count) {
    while (count > 0) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
        if (!WriteFile(file, data, piece, &written, nullptr) || written == 0) return false;
        data += written;
        count -= written;
    }
    return true;
}

bool Flush(Output& output) {
    if (output.used > 0 && !WriteAll(output.file, output.buffer.data(), output.used)) output.failed = true;
    output.used = 0;
    return !output.failed;
}

size_t WriteOutput(void* opaque, mz_uint64 /*offset*/, const void* data, size_t count) {
    Output& output = *static_cast<Output*>(opaque);
    if (output.used + count > output.buffer.size() && !Flush(output)) return 0;
    if (count >= output.buffer.size()) return WriteAll(output.file, static_cast<const char*>(data), count) ? count : 0;
    std::memcpy(output.buffer.data() + output.used, data, count);
    output.used += count;
    return count;
}

struct Extraction {
    mz_zip_archive& zip;
    HeldPath held;
    std::vector<char> outputBuffer = std::vector<char>(OUTPUT_BUFFER_BYTES);
};

std::wstring ExtractionFailureText(const std::wstring& display, mz_zip_error code) {
    return L"Ошибка извлечения файла: " + display + L" (код: " + DecimalText(static_cast<int>(code)) + L")";
}

// Writes entry `index` as `entry.fileName` in the held folder `folder`. Returns the failure text,
// or empty.
std::wstring WriteFileEntry(Extraction& extraction, mz_uint index, HANDLE folder, const PlannedEntry& entry) {
    const std::wstring cannotCreate = L"Не удалось создать файл: " + entry.display;
    FileHandle file;
    // A new file can be written under its own name: a failure deletes it and damages nothing.
    DWORD error = RetryWhileHeld([&] {
        return OpenFileIn(folder, entry.fileName, GENERIC_WRITE | DELETE, 0, FileDisposition::CreateNew, file);
    });
    const bool replacing = error == ERROR_FILE_EXISTS;
    if (replacing) {
        // A folder of that name cannot be replaced; without this the move would be retried as if
        // it were held.
        FileHandle existing;
        if (OpenFileIn(folder, entry.fileName, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FileDisposition::OpenExisting,
                       existing) == ERROR_DIRECTORY) {
            return cannotCreate;
        }
        // Windows refuses to move a file over a read-only one; the installed copy is ours to
        // replace. One whose data another name shares is left as it is: the move replaces only
        // the name.
        BY_HANDLE_FILE_INFORMATION installed{};
        if (existing && GetFileInformationByHandle(existing.Get(), &installed) != 0 && installed.nNumberOfLinks == 1) {
            ClearReadOnly(existing.Get());
        }
        existing.Reset();
        // Made anew, never opened over: a name someone put there (a hard link to another file)
        // would otherwise be written through.
        error = RetryWhileHeld([&] {
            DWORD created =
                OpenFileIn(folder, TEMPORARY_NAME, GENERIC_WRITE | DELETE, 0, FileDisposition::CreateNew, file);
            if (created != ERROR_FILE_EXISTS) return created;
            const DWORD stale = DeleteIn(folder, TEMPORARY_NAME);
            if (stale != ERROR_SUCCESS && stale != ERROR_FILE_NOT_FOUND) return stale;
            return OpenFileIn(folder, TEMPORARY_NAME, GENERIC_WRITE | DELETE, 0, FileDisposition::CreateNew, file);
        });
    }
    if (error != ERROR_SUCCESS) return cannotCreate;

    Output output{file.Get(), extraction.outputBuffer};
    if (!mz_zip_reader_extract_to_callback(&extraction.zip, index, WriteOutput, &output, 0) || !Flush(output)) {
        mz_zip_error code = output.failed ? MZ_ZIP_WRITE_CALLBACK_FAILED : mz_zip_get_last_error(&extraction.zip);
        // The inflater reports damaged deflate data without recording a reason; that is a failed
        // decompression, not "no error".
        if (code == MZ_ZIP_NO_ERROR) code = MZ_ZIP_DECOMPRESSION_FAILED;
        FILE_DISPOSITION_INFO remove{TRUE};
        SetFileInformationByHandle(file.Get(), FileDispositionInfo, &remove, sizeof(remove));
        return ExtractionFailureText(entry.display, code);
    }
    file.Reset();
    if (!replacing) return std::wstring();
    if (RetryWhileHeld([&] { return RenameIn(folder, TEMPORARY_NAME, entry.fileName, true); }) != ERROR_SUCCESS) {
        RetryWhileHeld([&] { return DeleteIn(folder, TEMPORARY_NAME); });
        return cannotCreate;
    }
    return std::wstring();
}

// The box for a folder of the installation that is a link (a junction or a symbolic link).
std::wstring FolderLinkText(const std::wstring& path) {
    return L"Папка «" + path +
           L"» — это ссылка на другое место (точка соединения или символическая ссылка). Установщик ничего в неё "
           L"не записал.";
}

// Runs the entry loop. Returns the first failure text, or empty.
std::wstring ExtractEntries(HWND window, Extraction& extraction, const std::vector<PlannedEntry>& planned,
                            const std::wstring& targetDir) {
    const std::wstring countText = DecimalText(planned.size());
    std::wstring heldFolder;
    for (mz_uint i = 0; i < planned.size(); ++i) {
        const PlannedEntry& entry = planned[i];
        if (i == 0 || entry.folder != heldFolder) {
            std::wstring failed;
            const DWORD error =
                RetryWhileHeld([&] { return HoldFolders(extraction.held, entry.folder, true, failed); });
            if (error == ERROR_FOLDER_IS_LINK) return FolderLinkText(AppendPathName(targetDir, failed));
            if (error != ERROR_SUCCESS) return L"Не удалось создать папку: " + AppendPathName(targetDir, failed);
            heldFolder = entry.folder;
        }
        if (!entry.fileName.empty()) {
            const std::wstring failure = WriteFileEntry(extraction, i, InnermostFolder(extraction.held), entry);
            if (!failure.empty()) return failure;
        }

        const std::wstring number = DecimalText(i + 1);
        PostProgress(window, L"Распаковка дистрибутива ZENKA...",
                     L"Файл " + number + L" из " + countText + L" (" + entry.display + L")", 1000);
        if ((i + 1) % CONSOLE_LINE_EVERY == 0) {
            PostLogLine(window, L"[..] Извлечение: " + entry.display + L" (" + number + L"/" + countText + L")");
        }
    }
    return std::wstring();
}

} // namespace

ExtractResult ExtractPackage(HWND window, const std::wstring& packagePath, HANDLE targetFolder,
                             const std::wstring& targetDir) {
    PostProgress(window, L"Распаковка дистрибутива ZENKA...", L"Открытие архива компонентов...", 1000);

    PackageReader reader;
    LARGE_INTEGER size{};
    const DWORD openError = RetryWhileHeld([&] {
        reader.file.Reset(CreateFileW(packagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return reader.file ? ERROR_SUCCESS : GetLastError();
    });
    if (openError != ERROR_SUCCESS || !GetFileSizeEx(reader.file.Get(), &size)) {
        PostFatalError(window, L"Не удалось открыть файл архива для распаковки: " + packagePath);
        return ExtractResult::Failed;
    }

    reader.size = static_cast<uint64_t>(size.QuadPart);
    mz_zip_archive zip{};
    zip.m_pRead = ReadPackage;
    zip.m_pIO_opaque = &reader;
    const std::wstring unreadable = L"Ошибка чтения ZIP-архива (архив поврежден или имеет некорректный формат).";
    if (!mz_zip_reader_init(&zip, reader.size, 0)) {
        PostFatalError(window, unreadable);
        return ExtractResult::Failed;
    }
    const std::unique_ptr<mz_zip_archive, ReaderCloser> zipOwner(&zip);

    std::vector<ArchiveEntry> entries;
    if (!ReadEntries(zip, reader, entries)) {
        PostFatalError(window, unreadable);
        return ExtractResult::Failed;
    }
    std::vector<PlannedEntry> planned;
    const std::wstring refusal = CheckPackageEntries(entries, targetDir, planned);
    if (!refusal.empty()) {
        PostFatalError(window, refusal);
        return ExtractResult::Failed;
    }

    Extraction extraction{zip, HeldPath(), std::vector<char>(OUTPUT_BUFFER_BYTES)};
    HANDLE root = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), targetFolder, GetCurrentProcess(), &root, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        PostFatalError(window, L"Не удалось открыть директорию установки: " + targetDir);
        return ExtractResult::Failed;
    }
    extraction.held.root.Reset(root);
    const std::wstring failure = ExtractEntries(window, extraction, planned, targetDir);
    if (!failure.empty()) {
        PostFatalError(window, failure);
        return ExtractResult::Failed;
    }
    // Names the directory the files really went to (the default one unless --target was given).
    PostLogLine(window, L"[OK] Распаковано файлов: " + DecimalText(planned.size()) + L" в " + targetDir);
    return ExtractResult::Extracted;
}
