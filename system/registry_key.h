// The single owner of an open registry key.
#pragma once

#include <windows.h>

class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY key) : key_(key) {}
    ~RegKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY Get() const { return key_; }
    // For out-parameters of RegCreateKeyExW and RegOpenKeyExW; closes what was held before.
    HKEY* Put() {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = nullptr;
        return &key_;
    }

private:
    HKEY key_ = nullptr;
};
