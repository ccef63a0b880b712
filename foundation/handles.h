// Owners of Win32 handles. Each closes its handle once, with the call that
// belongs to its kind.
#pragma once

#include <windows.h>

#include <utility>

namespace omb {

template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& o) noexcept : value_(o.release()) {}
    UniqueResource& operator=(UniqueResource&& o) noexcept {
        reset(o.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return Traits::Valid(value_); }
    T release() {
        T v = value_;
        value_ = Traits::Invalid();
        return v;
    }
    void reset(T value = Traits::Invalid()) {
        T old = value_;
        value_ = value;
        if (Traits::Valid(old)) Traits::Close(old);
    }
    T* put() {
        reset();
        return &value_;
    }

private:
    T value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // 0 means none
    static HANDLE Invalid() { return nullptr; }
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;

struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
using UniqueFindHandle = UniqueResource<HANDLE, FindHandleTraits>;

struct ViewTraits {
    static void* Invalid() { return nullptr; }
    static bool Valid(void* p) { return p != nullptr; }
    static void Close(void* p) { ::UnmapViewOfFile(p); }
};
using UniqueView = UniqueResource<void*, ViewTraits>;

struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static bool Valid(HKEY k) { return k != nullptr; }
    static void Close(HKEY k) { ::RegCloseKey(k); }
};
using UniqueRegKey = UniqueResource<HKEY, RegKeyTraits>;

struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static bool Valid(HMODULE m) { return m != nullptr; }
    static void Close(HMODULE m) { ::FreeLibrary(m); }
};
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;

struct GdiObjectTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static bool Valid(HGDIOBJ o) { return o != nullptr; }
    static void Close(HGDIOBJ o) { ::DeleteObject(o); }
};
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;

struct IconTraits {
    static HICON Invalid() { return nullptr; }
    static bool Valid(HICON i) { return i != nullptr; }
    static void Close(HICON i) { ::DestroyIcon(i); }
};
using UniqueIcon = UniqueResource<HICON, IconTraits>;

struct MenuTraits {
    static HMENU Invalid() { return nullptr; }
    static bool Valid(HMENU m) { return m != nullptr; }
    static void Close(HMENU m) { ::DestroyMenu(m); }
};
using UniqueMenu = UniqueResource<HMENU, MenuTraits>;

struct HookTraits {
    static HHOOK Invalid() { return nullptr; }
    static bool Valid(HHOOK h) { return h != nullptr; }
    static void Close(HHOOK h) { ::UnhookWindowsHookEx(h); }
};
using UniqueHook = UniqueResource<HHOOK, HookTraits>;

struct WindowTraits {
    static HWND Invalid() { return nullptr; }
    static bool Valid(HWND w) { return w != nullptr; }
    static void Close(HWND w) { ::DestroyWindow(w); }
};
using UniqueWindow = UniqueResource<HWND, WindowTraits>;

// A memory device context compatible with `reference` (the screen's when
// null), with `bitmap` selected (when given) until it goes: the context's
// first object is put back, then the context is deleted.
class MemoryDC {
public:
    explicit MemoryDC(HDC reference = nullptr, HGDIOBJ bitmap = nullptr) : dc_(::CreateCompatibleDC(reference)) {
        if (dc_ && bitmap) old_ = ::SelectObject(dc_, bitmap);
    }
    ~MemoryDC() {
        if (!dc_) return;
        if (old_) ::SelectObject(dc_, old_);
        ::DeleteDC(dc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

// Holds a mutex acquired by a wait; releases it once.
class MutexLock {
public:
    MutexLock() = default;
    explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    ~MutexLock() { Unlock(); }
    void Unlock() {
        if (mutex_) ::ReleaseMutex(std::exchange(mutex_, nullptr));
    }

private:
    HANDLE mutex_ = nullptr;
};

// An SRW lock held for a scope (exclusive).
class SrwExclusive {
public:
    explicit SrwExclusive(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~SrwExclusive() { ::ReleaseSRWLockExclusive(&lock_); }
    SrwExclusive(const SrwExclusive&) = delete;
    SrwExclusive& operator=(const SrwExclusive&) = delete;

private:
    SRWLOCK& lock_;
};

// An SRW lock held for a scope in shared mode (readers only).
class SrwShared {
public:
    explicit SrwShared(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockShared(&lock_); }
    ~SrwShared() { ::ReleaseSRWLockShared(&lock_); }
    SrwShared(const SrwShared&) = delete;
    SrwShared& operator=(const SrwShared&) = delete;

private:
    SRWLOCK& lock_;
};

// COM initialised for the calling thread; released once when it succeeded.
class ComInit {
public:
    explicit ComInit(DWORD model = COINIT_APARTMENTTHREADED) : hr_(::CoInitializeEx(nullptr, model)) {}
    ~ComInit() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    HRESULT result() const { return hr_; }
    bool ok() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

}  // namespace omb
