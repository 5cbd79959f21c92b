#include "install/checksum.h"

#include "app/state.h"
#include "install/partial_download.h"

#include <bcrypt.h>

#include <cwchar>
#include <iomanip>
#include <memory>
#include <sstream>

namespace {

constexpr DWORD HASH_READ_BUFFER_SIZE = 65536;
constexpr ULONG SHA256_DIGEST_BYTES = 32;

struct FileCloser {
    void operator()(HANDLE file) const { CloseHandle(file); }
};
using FileOwner = std::unique_ptr<void, FileCloser>;

struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
using AlgorithmOwner = std::unique_ptr<void, AlgorithmCloser>;

struct HashDestroyer {
    void operator()(BCRYPT_HASH_HANDLE hash) const { BCryptDestroyHash(hash); }
};
using HashOwner = std::unique_ptr<void, HashDestroyer>;

bool Succeeded(NTSTATUS status) { return status >= 0; }

} // namespace

std::wstring FormatHexDigest(const unsigned char (&digest)[32]) {
    std::wostringstream stream;
    stream << std::hex << std::setfill(L'0');
    for (const unsigned char byte : digest) stream << std::setw(2) << static_cast<unsigned>(byte);
    return stream.str();
}

std::wstring ComputeFileSha256(const std::wstring& path) {
    const HANDLE rawFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (rawFile == INVALID_HANDLE_VALUE) return std::wstring();
    const FileOwner file(rawFile);

    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return std::wstring();
    }
    const AlgorithmOwner algorithm(rawAlgorithm);

    DWORD objectLength = 0;
    ULONG resultSize = 0;
    BCryptGetProperty(rawAlgorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                      sizeof(objectLength), &resultSize, 0);
    const std::unique_ptr<UCHAR[]> hashObject = std::make_unique<UCHAR[]>(objectLength);

    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (!Succeeded(BCryptCreateHash(rawAlgorithm, &rawHash, hashObject.get(), objectLength, nullptr, 0, 0))) {
        return std::wstring();
    }
    const HashOwner hash(rawHash);

    const std::unique_ptr<UCHAR[]> buffer = std::make_unique<UCHAR[]>(HASH_READ_BUFFER_SIZE);
    DWORD count = 0;
    while (ReadFile(rawFile, buffer.get(), HASH_READ_BUFFER_SIZE, &count, nullptr) && count > 0) {
        BCryptHashData(rawHash, buffer.get(), count, 0);
    }

    unsigned char digest[SHA256_DIGEST_BYTES] = {};
    if (!Succeeded(BCryptFinishHash(rawHash, digest, SHA256_DIGEST_BYTES, 0))) return std::wstring();
    return FormatHexDigest(digest);
}

VerifyResult VerifyPackage(HWND window, const std::wstring& partialPath, const std::wstring& expectedSha256) {
    PostLogLine(window, L"[..] Проверка целостности пакета (SHA-256)...");
    PostProgress(window, L"Проверка контрольной суммы...", L"Вычисление SHA-256...", 1000);

    const std::wstring actual = ComputeFileSha256(partialPath);
    if (expectedSha256.empty()) return VerifyResult::Verified;
    if (_wcsicmp(expectedSha256.c_str(), actual.c_str()) == 0) return VerifyResult::Verified;

    DeletePartialDownload(partialPath);
    PostFatalError(window, L"Контрольная сумма SHA-256 не совпадает!\nОжидалось: " + expectedSha256 +
                               L"\nПолучено: " + actual);
    return VerifyResult::Failed;
}
