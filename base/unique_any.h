// The one owner of a handle-like value, whatever its kind: a file or process handle, a registry
// key, a COM interface, a block of memory, a GDI object. Each kind is a traits struct:
//
//   struct Traits {
//       using Type = ...;                  // the value owned
//       static Type Invalid();             // the value that owns nothing
//       static void Close(Type value);     // frees a valid value, once
//   };
//
// The owner frees what it holds when it goes out of scope or gets another value. Movable, not
// copyable.
#pragma once

template <typename Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() = default;
    explicit UniqueAny(Type value) : value_(value) {}
    ~UniqueAny() { Reset(); }
    UniqueAny(UniqueAny&& other) noexcept : value_(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    Type Get() const { return value_; }
    Type operator->() const { return value_; }
    bool IsValid() const { return value_ != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // For out-parameters (RegOpenKeyExW, CoCreateInstance, ...); frees what was held before.
    Type* Put() {
        Reset();
        return &value_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    void Reset(Type value = Traits::Invalid()) {
        if (IsValid()) Traits::Close(value_);
        value_ = value;
    }
    // Gives up ownership without freeing.
    Type Release() {
        const Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }

private:
    Type value_ = Traits::Invalid();
};
