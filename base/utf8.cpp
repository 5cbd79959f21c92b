#include "base/utf8.h"

#include <windows.h>

bool DecodeUtf8(const char* text, size_t size, std::wstring& wide) {
    wide.clear();
    if (size == 0) return true;
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return false;
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(size), &wide[0], length);
    return true;
}

std::string EncodeUtf8(const std::wstring& wide) {
    // No characters make the call fail with 0, which is the empty result too.
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}
