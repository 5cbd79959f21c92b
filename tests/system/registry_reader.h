// Reading the uninstall entry back value by value, for the tests.
#pragma once

#include "base/owners.h"
#include "system/uninstall_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

struct StoredValue {
    bool present = false;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    std::wstring text;
    DWORD number = 0;
};

inline StoredValue Read(const wchar_t* name) {
    StoredValue stored;
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return stored;
    BYTE data[4096] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExW(key.Get(), name, nullptr, &stored.type, data, &size) != ERROR_SUCCESS) return stored;
    stored.present = true;
    stored.bytes = size;
    if (stored.type == REG_DWORD && size == sizeof(DWORD)) {
        memcpy(&stored.number, data, sizeof(DWORD));
    } else {
        stored.text.assign(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    }
    return stored;
}

inline void ExpectText(const wchar_t* name, const std::wstring& text) {
    SCOPED_TRACE(name);
    const StoredValue stored = Read(name);
    ASSERT_TRUE(stored.present);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    // Stored with its terminating null, and nothing after it.
    EXPECT_EQ(stored.bytes, (text.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(stored.text, text + L'\0');
}

inline void ExpectNumber(const wchar_t* name, DWORD number) {
    SCOPED_TRACE(name);
    const StoredValue stored = Read(name);
    ASSERT_TRUE(stored.present);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored.bytes, sizeof(DWORD));
    EXPECT_EQ(stored.number, number);
}

