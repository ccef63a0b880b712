// Reference-counted interfaces in the manner of COM.
//
// On Windows this is the platform's IUnknown. The pure parts of the code base
// also build natively (sanitizers, fuzzers); there a minimal IUnknown of the
// same shape stands in, so no platform header is needed in the pure headers.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <unknwn.h>
#else
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;
using HRESULT = int32_t;
using ULONG = uint32_t;
#define STDMETHODCALLTYPE
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);

template <typename T> struct __mingw_uuidof_s;
template <typename T> constexpr const GUID& __mingw_uuidof();
#define __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                     \
    extern "C++" {                                                                          \
    template <> struct __mingw_uuidof_s<type> {                                             \
        static constexpr IID __uuid_inst = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};   \
    };                                                                                      \
    template <> constexpr const GUID& __mingw_uuidof<type>() {                              \
        return __mingw_uuidof_s<type>::__uuid_inst;                                         \
    }                                                                                       \
    template <> constexpr const GUID& __mingw_uuidof<type*>() {                             \
        return __mingw_uuidof_s<type>::__uuid_inst;                                         \
    }                                                                                       \
    }
#define __uuidof(type) __mingw_uuidof<__typeof__(type)>()

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};
__CRT_UUID_DECL(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
#endif

namespace omb {

inline bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" at compile time.
namespace guid_text {
constexpr uint32_t Hex(char c) {
    return (c >= '0' && c <= '9')   ? uint32_t(c - '0')
           : (c >= 'a' && c <= 'f') ? uint32_t(c - 'a' + 10)
           : (c >= 'A' && c <= 'F') ? uint32_t(c - 'A' + 10)
                                    : throw "bad hex digit in GUID text";
}
constexpr uint32_t Field(const char* s, int from, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) v = v * 16 + Hex(s[from + i]);
    return v;
}
// Offsets of the eight bytes of Data4 within the braced text.
constexpr int kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
constexpr uint8_t Byte(const char* s, int i) { return uint8_t(Field(s, kByteAt[i], 2)); }
}  // namespace guid_text

constexpr GUID ParseGuid(const char* s) {
    return GUID{guid_text::Field(s, 1, 8), uint16_t(guid_text::Field(s, 10, 4)),
                uint16_t(guid_text::Field(s, 15, 4)),
                {guid_text::Byte(s, 0), guid_text::Byte(s, 1), guid_text::Byte(s, 2),
                 guid_text::Byte(s, 3), guid_text::Byte(s, 4), guid_text::Byte(s, 5),
                 guid_text::Byte(s, 6), guid_text::Byte(s, 7)}};
}

}  // namespace omb

// Gives an interface type its identifier so that __uuidof(type) works.
// Use at global namespace scope with the fully qualified type name.
#define OMB_DECLARE_IID(type, text)                                                          \
    __CRT_UUID_DECL(type, ::omb::ParseGuid(text).Data1, ::omb::ParseGuid(text).Data2,        \
                    ::omb::ParseGuid(text).Data3, ::omb::guid_text::Byte(text, 0),           \
                    ::omb::guid_text::Byte(text, 1), ::omb::guid_text::Byte(text, 2),        \
                    ::omb::guid_text::Byte(text, 3), ::omb::guid_text::Byte(text, 4),        \
                    ::omb::guid_text::Byte(text, 5), ::omb::guid_text::Byte(text, 6),        \
                    ::omb::guid_text::Byte(text, 7))

namespace omb {

// A counted reference. Raw interface pointers are borrowed, never released.
template <typename T> class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    // Takes a new reference on p.
    Ref(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    Ref(const Ref& o) : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    template <typename U, typename = std::enable_if_t<std::is_convertible<U*, T*>::value>>
    Ref(const Ref<U>& o) : Ref(static_cast<T*>(o.get())) {}
    ~Ref() { reset(); }

    Ref& operator=(const Ref& o) {
        Ref(o).swap(*this);
        return *this;
    }
    Ref& operator=(Ref&& o) noexcept {
        Ref(std::move(o)).swap(*this);
        return *this;
    }
    Ref& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    // Adopts a reference that the caller already owns (no AddRef).
    static Ref Adopt(T* p) {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Gives up the reference without releasing it.
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

    void reset() {
        // Clear the field before releasing: a destructor that re-enters must
        // not find a pointer to an object that is going away.
        if (T* p = p_) {
            p_ = nullptr;
            p->Release();
        }
    }
    void swap(Ref& o) noexcept { std::swap(p_, o.p_); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters of QueryInterface-style calls.
    T** put() {
        reset();
        return &p_;
    }

    // Asks the object for another interface; empty when it has none.
    template <typename I> Ref<I> As() const {
        Ref<I> r;
        if (p_) p_->QueryInterface(__uuidof(I), reinterpret_cast<void**>(r.put()));
        return r;
    }

private:
    T* p_ = nullptr;
};

template <typename T, typename U> bool operator==(const Ref<T>& a, const Ref<U>& b) {
    return a.get() == b.get();
}
template <typename T, typename U> bool operator!=(const Ref<T>& a, const Ref<U>& b) {
    return a.get() != b.get();
}
template <typename T> bool operator==(const Ref<T>& a, std::nullptr_t) { return !a; }
template <typename T> bool operator!=(const Ref<T>& a, std::nullptr_t) { return bool(a); }

// Asks any interface pointer for another one.
template <typename I, typename T> Ref<I> QueryAs(T* p) {
    Ref<I> r;
    if (p) p->QueryInterface(__uuidof(I), reinterpret_cast<void**>(r.put()));
    return r;
}

// Two interface pointers name the same object when their IUnknown agrees.
template <typename A, typename B> bool SameObject(A* a, B* b) {
    if (!a || !b) return static_cast<void*>(a) == static_cast<void*>(b);
    Ref<IUnknown> ua = QueryAs<IUnknown>(a), ub = QueryAs<IUnknown>(b);
    return ua.get() == ub.get();
}

// The reference-counted base of every interfaced class. The count starts at 0;
// the release that brings it back to 0 destroys the object. The count is
// atomic: the command center and the hook library share objects across threads.
//
// A derived class that adds interfaces lists them in QueryImpl (asking its base
// last) and repeats OMB_IUNKNOWN so that one implementation serves every
// IUnknown it inherits.
class TDebugInterfacedObject : public IUnknown {
public:
    TDebugInterfacedObject();
    TDebugInterfacedObject(const TDebugInterfacedObject&) = delete;
    TDebugInterfacedObject& operator=(const TDebugInterfacedObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return QueryImpl(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    ULONG AddRefImpl() { return ULONG(++refs_); }
    ULONG ReleaseImpl() {
        long n = --refs_;
        if (n == 0) delete this;
        return ULONG(n);
    }
    long RefCount() const { return refs_.load(); }
    // Takes a reference unless the count already fell to 0 (the object is
    // being destroyed on another thread): for a look-up that may meet an
    // object while its last reference goes.
    bool TryAddRefImpl() {
        long n = refs_.load();
        while (n > 0)
            if (refs_.compare_exchange_weak(n, n + 1)) return true;
        return false;
    }

    // Objects alive in this process; tests use it to find leaks.
    static long LiveObjects();

protected:
    virtual ~TDebugInterfacedObject();

    // Answers iid with a counted pointer, or E_NOINTERFACE.
    virtual HRESULT QueryImpl(REFIID iid, void** object);

    // Hands out `this` as interface I when iid asks for it.
    template <typename I, typename Self> static bool Offer(Self* self, REFIID iid, void** object) {
        if (!SameGuid(iid, __uuidof(I))) return false;
        *object = static_cast<I*>(self);
        self->AddRefImpl();
        return true;
    }

private:
    std::atomic<long> refs_{0};
};

}  // namespace omb

// Repeats the IUnknown operations in a class that inherits IUnknown more than
// once (through several interfaces), so that all of them reach the one count.
#define OMB_IUNKNOWN                                                                           \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {            \
        return this->QueryImpl(iid, object);                                                   \
    }                                                                                          \
    ULONG STDMETHODCALLTYPE AddRef() override { return this->AddRefImpl(); }                   \
    ULONG STDMETHODCALLTYPE Release() override { return this->ReleaseImpl(); }
