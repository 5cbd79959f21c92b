// UTF-8 text to the UTF-16 strings Windows takes, and back.
#pragma once

#include <cstddef>
#include <string>

// `size` bytes of UTF-8 at `text` into `wide`; false (and `wide` empty) when they are not valid
// UTF-8. No bytes give an empty string and true.
bool DecodeUtf8(const char* text, size_t size, std::wstring& wide);

// `wide` as UTF-8; a lone surrogate becomes U+FFFD.
std::string EncodeUtf8(const std::wstring& wide);
