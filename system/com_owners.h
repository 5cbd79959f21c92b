// Single owners for COM interfaces and for strings the shell allocates with the COM task allocator.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <memory>

// Holds one reference to a COM interface and releases it once. Not copyable.
template <typename Interface>
class ComOwner {
public:
    ComOwner() = default;
    ~ComOwner() { Reset(); }
    ComOwner(const ComOwner&) = delete;
    ComOwner& operator=(const ComOwner&) = delete;

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // For out-parameters of CoCreateInstance and QueryInterface; drops what was held before.
    void** PutVoid() {
        Reset();
        return reinterpret_cast<void**>(&pointer_);
    }

    // For out-parameters typed as the interface itself; drops what was held before.
    Interface** Put() {
        Reset();
        return &pointer_;
    }

    void Reset() {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};

struct CoTaskMemDeleter {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
};

// A wide string returned by the shell (SHGetKnownFolderPath and the like).
using CoTaskMemString = std::unique_ptr<wchar_t, CoTaskMemDeleter>;
