#include "install/checksum.h"

#include "app/state.h"
#include "base/file_retry.h"
#include "base/held_folder.h"
#include "base/number_text.h"
#include "base/owners.h"
#include "install/partial_download.h"
#include "install/paths.h"

#include <bcrypt.h>
#include <winternl.h>

#include <cwchar>
#include <memory>

namespace {

constexpr DWORD HASH_READ_BUFFER_SIZE = 65536;
constexpr ULONG SHA256_DIGEST_BYTES = 32;

struct AlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type algorithm) { BCryptCloseAlgorithmProvider(algorithm, 0); }
};

struct HashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type hash) { BCryptDestroyHash(hash); }
};

bool Succeeded(NTSTATUS status) { return status >= 0; }

} // namespace

std::wstring FormatHexDigest(const unsigned char (&digest)[32]) {
    static const wchar_t HEX_DIGITS[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(2 * sizeof digest);
    for (const unsigned char octet : digest) {
        text += HEX_DIGITS[octet >> 4];
        text += HEX_DIGITS[octet & 0xF];
    }
    return text;
}

DWORD HashFile(HANDLE file, std::wstring& digest) {
    digest.clear();
    UniqueAny<AlgorithmTraits> algorithm;
    NTSTATUS status = BCryptOpenAlgorithmProvider(algorithm.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!Succeeded(status)) return RtlNtStatusToDosError(status);

    DWORD objectLength = 0;
    ULONG resultSize = 0;
    BCryptGetProperty(algorithm.Get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                      sizeof(objectLength), &resultSize, 0);
    const std::unique_ptr<UCHAR[]> hashObject = std::make_unique<UCHAR[]>(objectLength);

    UniqueAny<HashTraits> hash;
    status = BCryptCreateHash(algorithm.Get(), hash.Put(), hashObject.get(), objectLength, nullptr, 0, 0);
    if (!Succeeded(status)) return RtlNtStatusToDosError(status);

    const std::unique_ptr<UCHAR[]> buffer = std::make_unique<UCHAR[]>(HASH_READ_BUFFER_SIZE);
    for (;;) {
        DWORD count = 0;
        // A digest of part of the file would only ever be a false mismatch.
        if (!ReadFile(file, buffer.get(), HASH_READ_BUFFER_SIZE, &count, nullptr)) return GetLastError();
        if (count == 0) break;
        BCryptHashData(hash.Get(), buffer.get(), count, 0);
    }

    unsigned char bytes[SHA256_DIGEST_BYTES] = {};
    status = BCryptFinishHash(hash.Get(), bytes, SHA256_DIGEST_BYTES, 0);
    if (!Succeeded(status)) return RtlNtStatusToDosError(status);
    digest = FormatHexDigest(bytes);
    return ERROR_SUCCESS;
}

std::wstring ComputeFileSha256(const std::wstring& path) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    std::wstring digest;
    if (file) HashFile(file.Get(), digest);
    return digest;
}

VerifyResult VerifyPackage(HWND window, HANDLE folder, const std::wstring& folderPath,
                           const std::wstring& expectedSha256) {
    PostLogLine(window, L"[..] Проверка целостности пакета (SHA-256)...");
    PostProgress(window, L"Проверка контрольной суммы...", L"Вычисление SHA-256...", 1000);

    // Reads only: a scanner or an indexer that reads it too is no hold.
    FileHandle file;
    DWORD error = RetryWhileHeld([&] {
        return OpenFileIn(folder, PARTIAL_FILE_NAME, GENERIC_READ, FILE_SHARE_READ, FileDisposition::OpenExisting,
                          file);
    });
    std::wstring actual;
    if (error == ERROR_SUCCESS) error = HashFile(file.Get(), actual);
    file.Reset();
    if (error != ERROR_SUCCESS) {
        // The download may be perfectly good: it stays for the next run.
        PostFatalError(window, L"Не удалось прочитать файл: " + AppendPathName(folderPath, PARTIAL_FILE_NAME) + L"\n" +
                                   DecimalText(static_cast<long>(error)));
        return VerifyResult::Failed;
    }
    if (expectedSha256.empty()) return VerifyResult::Verified;
    if (_wcsicmp(expectedSha256.c_str(), actual.c_str()) == 0) return VerifyResult::Verified;

    DeletePartialDownload(folder, PARTIAL_FILE_NAME);
    PostFatalError(window,
                   L"Контрольная сумма SHA-256 не совпадает!\nОжидалось: " + expectedSha256 + L"\nПолучено: " + actual);
    return VerifyResult::Failed;
}
