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
