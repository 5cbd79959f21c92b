#include "install/checksum.h"

#include "app/state.h"
#include "base/owners.h"
#include "install/partial_download.h"

#include <bcrypt.h>

#include <cwchar>
#include <iomanip>
#include <memory>
#include <sstream>

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
    std::wostringstream stream;
    stream << std::hex << std::setfill(L'0');
    for (const unsigned char octet : digest) stream << std::setw(2) << static_cast<unsigned>(octet);
    return stream.str();
}

std::wstring ComputeFileSha256(const std::wstring& path) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::wstring();

    UniqueAny<AlgorithmTraits> algorithm;
    if (!Succeeded(BCryptOpenAlgorithmProvider(algorithm.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return std::wstring();
    }

    DWORD objectLength = 0;
    ULONG resultSize = 0;
    BCryptGetProperty(algorithm.Get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                      sizeof(objectLength), &resultSize, 0);
    const std::unique_ptr<UCHAR[]> hashObject = std::make_unique<UCHAR[]>(objectLength);

    UniqueAny<HashTraits> hash;
    if (!Succeeded(BCryptCreateHash(algorithm.Get(), hash.Put(), hashObject.get(), objectLength, nullptr, 0, 0))) {
        return std::wstring();
    }

    const std::unique_ptr<UCHAR[]> buffer = std::make_unique<UCHAR[]>(HASH_READ_BUFFER_SIZE);
    DWORD count = 0;
    while (ReadFile(file.Get(), buffer.get(), HASH_READ_BUFFER_SIZE, &count, nullptr) && count > 0) {
        BCryptHashData(hash.Get(), buffer.get(), count, 0);
    }

    unsigned char digest[SHA256_DIGEST_BYTES] = {};
    if (!Succeeded(BCryptFinishHash(hash.Get(), digest, SHA256_DIGEST_BYTES, 0))) return std::wstring();
    return FormatHexDigest(digest);
}

VerifyResult VerifyPackage(HWND window, const std::wstring& partialPath, const std::wstring& expectedSha256) {
    PostLogLine(window, L"[..] Проверка целостности пакета (SHA-256)...");
    PostProgress(window, L"Проверка контрольной суммы...", L"Вычисление SHA-256...", 1000);

    const std::wstring actual = ComputeFileSha256(partialPath);
    if (expectedSha256.empty()) return VerifyResult::Verified;
    if (_wcsicmp(expectedSha256.c_str(), actual.c_str()) == 0) return VerifyResult::Verified;

    DeletePartialDownload(partialPath);
    PostFatalError(window,
                   L"Контрольная сумма SHA-256 не совпадает!\nОжидалось: " + expectedSha256 + L"\nПолучено: " + actual);
    return VerifyResult::Failed;
}
