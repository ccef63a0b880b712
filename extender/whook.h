// Subclassing of one window: TWHook puts a procedure of its own in front of
// the window's procedure, hands every message to its owner's window method as
// a TMessage, and lets the owner pass it on to the procedure it replaced.
//
// How the procedure finds its object: the library holds a fixed table of
// kSlotCount slots, each with a window procedure of its own compiled into the
// library (no generated code, no window property, no global atom). A hooked
// window gets the procedure of the slot that holds its record. That keeps
// working in processes that forbid executable memory, tells apart two of our
// subclasses in one window's chain, and leaves nothing in the window that its
// own program could see.
//
// Safety rules:
// - Unhook writes the saved procedure back only when this object really put
//   its procedure in place and the window's procedure is still that one.
//   Otherwise (another program subclassed the window after us, the window is
//   gone, the handle now names another window) the slot stays in the chain as
//   a pass-through to the saved procedure until the window is destroyed.
// - Only the window's own thread writes the window's procedure back. Unhook
//   on another thread leaves the slot passing through and asks the window's
//   thread, by a message, to take it out of the chain.
// - A pass-through whose window is gone is freed, also when the window's
//   last messages no longer passed through it (a thread looks for those).
// - Every slot that is not free (bound, passing through, or draining a
//   message still in flight) holds the library (module.h): the module is
//   never unloaded while a window may still call into one of its slots.
// - The slot procedure never touches the TWHook object after it called the
//   window method: the owner may unhook and free the TWHook (and itself) while
//   it handles a message; the message still returns through the slot.
// - A slot is not reused while a message is in flight through it, and slots
//   are handed out in turn, so a freed slot is reused as late as possible.
#pragma once

#include <windows.h>

#include "extender/message.h"

namespace omb::ea {

// The owner's method that receives each message of the window. A plain
// object pointer and a function: it is copied into the slot, so the call
// stays valid while the TWHook goes away.
//
// A counted owner (one with AddRef and Release) is bound with Counted: each
// dispatch then takes a reference on it while the slot still serves it and
// drops it after the call returns, so the owner lives until the outermost
// dispatch of its window's messages is over, whichever thread lets it go.
struct TWindowMethod {
    void* object = nullptr;
    void (*call)(void* object, TMessage& message) = nullptr;
    void (*retain)(void* object) = nullptr;
    void (*release)(void* object) = nullptr;

    template <typename T, void (T::*Method)(TMessage&)>
    static TWindowMethod Of(T* target) {
        return TWindowMethod{target, [](void* o, TMessage& m) { (static_cast<T*>(o)->*Method)(m); }};
    }
    template <typename T, void (T::*Method)(TMessage&)>
    static TWindowMethod Counted(T* target) {
        TWindowMethod method = Of<T, Method>(target);
        method.retain = [](void* o) { static_cast<T*>(o)->AddRef(); };
        method.release = [](void* o) { static_cast<T*>(o)->Release(); };
        return method;
    }
    explicit operator bool() const { return call != nullptr; }
};

class TWHook {
public:
    static constexpr int kSlotCount = 512;

    // Stores both and hooks at once.
    TWHook(HWND window, TWindowMethod method);
    // Stores both; Hook installs the subclass later (the owner can then make
    // the object known to its window method first).
    struct Deferred {};
    TWHook(HWND window, TWindowMethod method, Deferred) : window_(window), method_(method) {}
    // Unhooks.
    ~TWHook();
    TWHook(const TWHook&) = delete;
    TWHook& operator=(const TWHook&) = delete;

    // Installs the subclass; a second call while hooked does nothing. A window
    // whose procedure cannot be replaced (another process's window, no free
    // slot) still counts as hooked.
    void Hook();
    // Removes it (see the rules above); a second call does nothing.
    void Unhook();

    // Calls the saved procedure (the wide or the ANSI call, as the window was
    // when hooked) and stores its answer in the message.
    void CallDefault(TMessage& message) const;

    HWND Window() const { return window_; }
    bool IsHooked() const { return hooked_; }
    bool IsUnicode() const { return unicode_; }
    // Whether Hook really put this object's procedure in place.
    bool IsInstalled() const { return installed_; }
    // The procedure that was in place before the subclass; the owner may
    // replace it when another subclasser announces that it replaced it.
    WNDPROC SavedProcedure() const { return saved_; }
    void SetSavedProcedure(WNDPROC procedure);
    // The procedure of this object's slot; nullptr when it holds none.
    WNDPROC InstanceProcedure() const;

    // Slots that cannot be handed out now: hooked windows, messages in
    // flight, pass-throughs of windows that still exist.
    static int SlotsInUse();

private:
    HWND window_;
    TWindowMethod method_;
    WNDPROC saved_ = nullptr;
    int slot_ = -1;
    bool hooked_ = false;
    bool unicode_ = false;
    bool installed_ = false;
};

// True when every given bit is set in the window's style.
bool HasWindowStyle(HWND window, DWORD bits);

}  // namespace omb::ea
