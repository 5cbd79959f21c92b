#include "bare_loops.h"

#include "base/held_folder.h"
#include "install/transfer.h"

#include <bcrypt.h>
#include <winhttp.h>

#include <memory>

namespace {
constexpr DWORD CHUNK_SIZE = 65536;
}

uint64_t BareWinHttpLoop(const std::wstring& url, HANDLE file) {
    TransferTarget target;
    if (!SplitTransferUrl(url, target)) return 0;
    TransferHandles handles;
    DWORD status = 0;
    uint64_t length = 0;
    if (!SendTransferRequest(handles, target, 0, status, length) || status != 200) return 0;
    const std::unique_ptr<BYTE[]> buffer = std::make_unique<BYTE[]>(CHUNK_SIZE);
    uint64_t total = 0;
    DWORD available = 0;
    while (WinHttpQueryDataAvailable(handles.request.Get(), &available) && available > 0) {
        DWORD received = 0;
        if (!WinHttpReadData(handles.request.Get(), buffer.get(), available < CHUNK_SIZE ? available : CHUNK_SIZE,
                             &received) ||
            received == 0) {
            break;
        }
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            if (!WriteFile(file, buffer.get(), received, &written, nullptr) || written != received) return 0;
        }
        total += received;
    }
    if (file != INVALID_HANDLE_VALUE) FlushFileBuffers(file);
    return total;
}

uint64_t BareBCryptLoop(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    const std::unique_ptr<BYTE[]> buffer = std::make_unique<BYTE[]>(CHUNK_SIZE);
    uint64_t total = 0;
    DWORD count = 0;
    while (ReadFile(file, buffer.get(), CHUNK_SIZE, &count, nullptr) && count > 0) {
        BCryptHashData(hash, buffer.get(), count, 0);
        total += count;
    }
    UCHAR digest[32];
    BCryptFinishHash(hash, digest, 32, 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    CloseHandle(file);
    return total;
}

size_t BareCreateWriteLoop(HANDLE root, const std::vector<BareFile>& files) {
    HeldPath held;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), root, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return 0;
    }
    held.root.Reset(copy);
    size_t written = 0;
    std::wstring failed;
    for (const BareFile& file : files) {
        if (HoldFolders(held, file.folder, true, failed) != ERROR_SUCCESS) break;
        FileHandle output;
        if (OpenFileIn(InnermostFolder(held), file.name, GENERIC_WRITE | DELETE, 0, FileDisposition::CreateNew,
                       output) != ERROR_SUCCESS) {
            break;
        }
        DWORD done = 0;
        if (!file.data.empty() &&
            (!WriteFile(output.Get(), file.data.data(), static_cast<DWORD>(file.data.size()), &done, nullptr) ||
             done != file.data.size())) {
            break;
        }
        ++written;
    }
    return written;
}
