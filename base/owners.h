// The kinds of things the programs own, each an instance of UniqueAny, and the scoped helpers
// built on them (a GDI selection, a COM apartment).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>

#include "base/unique_any.h"

// For the kinds whose failure value is null.
template <typename Value>
struct NullIsInvalid {
    using Type = Value;
    static Type Invalid() { return nullptr; }
};

// For the handles whose failure value is INVALID_HANDLE_VALUE.
struct InvalidHandleValueIsInvalid {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
};

// A kernel handle of CreateFileW and its kin.
struct FileHandleTraits : InvalidHandleValueIsInvalid {
    static void Close(Type handle) { CloseHandle(handle); }
};
using FileHandle = UniqueAny<FileHandleTraits>;

// A kernel handle whose failure value is null: processes, threads, events.
struct KernelHandleTraits : NullIsInvalid<HANDLE> {
    static void Close(Type handle) { CloseHandle(handle); }
};
using KernelHandle = UniqueAny<KernelHandleTraits>;

// A directory search of FindFirstFileW.
struct FindHandleTraits : InvalidHandleValueIsInvalid {
    static void Close(Type handle) { FindClose(handle); }
};
using FindHandle = UniqueAny<FindHandleTraits>;

struct RegistryKeyTraits : NullIsInvalid<HKEY> {
    static void Close(Type key) { RegCloseKey(key); }
};
using RegistryKey = UniqueAny<RegistryKeyTraits>;

// One reference to a COM interface.
template <typename Interface>
struct ComTraits : NullIsInvalid<Interface*> {
    static void Close(Interface* pointer) { pointer->Release(); }
};
template <typename Interface>
using ComPtr = UniqueAny<ComTraits<Interface>>;

// Memory of the COM task allocator: strings the shell returns (SHGetKnownFolderPath and the like).
template <typename Pointer>
struct CoTaskMemTraits : NullIsInvalid<Pointer> {
    static void Close(Pointer memory) { CoTaskMemFree(memory); }
};
using CoTaskMemString = UniqueAny<CoTaskMemTraits<wchar_t*>>;

// Memory of LocalAlloc: the argument array of CommandLineToArgvW.
template <typename Pointer>
struct LocalMemTraits : NullIsInvalid<Pointer> {
    static void Close(Pointer memory) { LocalFree(memory); }
};
using ArgumentArray = UniqueAny<LocalMemTraits<LPWSTR*>>;

// Memory of GlobalAlloc: the strings WinHTTP's proxy settings come in.
struct GlobalStringTraits : NullIsInvalid<LPWSTR> {
    static void Close(Type text) { GlobalFree(text); }
};
using GlobalString = UniqueAny<GlobalStringTraits>;

// A string of SysAllocString.
struct BstrTraits : NullIsInvalid<BSTR> {
    static void Close(Type text) { SysFreeString(text); }
};
using BstrString = UniqueAny<BstrTraits>;

struct StdioFileTraits : NullIsInvalid<FILE*> {
    static void Close(Type stream) { fclose(stream); }
};
using StdioFile = UniqueAny<StdioFileTraits>;

// A pen, brush, font, bitmap or region; it must not be selected into a DC when it goes.
template <typename Object>
struct GdiObjectTraits : NullIsInvalid<Object> {
    static void Close(Object object) { DeleteObject(object); }
};
template <typename Object>
using GdiObject = UniqueAny<GdiObjectTraits<Object>>;

// An icon of LoadImageW or CreateIconIndirect (not a shared one).
struct IconTraits : NullIsInvalid<HICON> {
    static void Close(Type icon) { DestroyIcon(icon); }
};
using Icon = UniqueAny<IconTraits>;

// A memory DC of CreateCompatibleDC.
struct MemoryDcTraits : NullIsInvalid<HDC> {
    static void Close(Type dc) { DeleteDC(dc); }
};
using MemoryDc = UniqueAny<MemoryDcTraits>;

// Selects `object` into `dc` for the scope and puts back what was selected before. Declare it
// after the owner of the object, so that the object is deselected before it is deleted.
class GdiSelection {
public:
    GdiSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~GdiSelection() { SelectObject(dc_, previous_); }
    GdiSelection(const GdiSelection&) = delete;
    GdiSelection& operator=(const GdiSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Membership of the calling thread in a COM apartment: true while there is one to leave.
struct ComApartmentTraits {
    using Type = bool;
    static Type Invalid() { return false; }
    static void Close(Type) { CoUninitialize(); }
};
using ComApartment = UniqueAny<ComApartmentTraits>;

// Joins a single-threaded apartment and leaves it at the end of the scope only if joining worked:
// a thread that already belongs to a multithreaded apartment stays there untouched.
inline ComApartment JoinApartmentIfFree() {
    return ComApartment(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
}

// For a thread of our own that is in no apartment yet: joins a single-threaded one and always
// leaves it at the end of the scope.
inline ComApartment JoinOwnThreadApartment() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return ComApartment(true);
}
