#include "extender/whook.h"

#include <array>
#include <atomic>
#include <utility>

#include "extender/module.h"
#include "foundation/handles.h"

namespace omb::ea {

namespace {

enum class SlotState : unsigned char {
    Free,
    Bound,        // our procedure serves a live TWHook
    PassThrough,  // left in a window's chain; passes every message on
    Draining,     // released while a message was in flight; free when it returns
};

// The state and the count of messages in flight are atomic besides: a
// message leaving the slot takes the lock only when the slot may have to be
// released (see Dispatch).
struct Slot {
    std::atomic<SlotState> state{SlotState::Free};
    bool unicode = false;
    bool windowGone = false;  // WM_NCDESTROY went through the slot
    bool unhookAsked = false;  // a pass-through whose window's thread is asked to unhook it
    std::atomic<long> inFlight{0};
    HWND window = nullptr;
    WNDPROC saved = nullptr;
    TWindowMethod method;
};

// Guards the table; held only to read or write slot records, never across a
// call of a window procedure or of the owner.
SRWLOCK g_lock = SRWLOCK_INIT;
Slot g_slots[TWHook::kSlotCount];
int g_nextSlot = 0;

// Back to a free slot; the lock is held and no message is in flight.
void Reset(Slot& s) {
    s.state = SlotState::Free;
    s.unicode = false;
    s.windowGone = false;
    s.unhookAsked = false;
    s.inFlight = 0;
    s.window = nullptr;
    s.saved = nullptr;
    s.method = TWindowMethod();
}

bool Reclaimable(const Slot& s) {
    if (s.inFlight > 0) return false;
    if (s.state == SlotState::Free) return true;
    // A pass-through whose window is gone can no longer be called.
    return s.state == SlotState::PassThrough && (s.windowGone || !::IsWindow(s.window));
}

// True when the slot went back to free: its hold on the library is then
// given back by the caller, once it let go of the lock.
bool ReleaseIfIdle(Slot& s) {
    if (s.inFlight > 0) return false;
    if (s.state == SlotState::Draining || (s.state == SlotState::PassThrough && s.windowGone)) {
        Reset(s);
        return true;
    }
    return false;
}

// Sent to a window whose unhook was asked on another thread: its own thread
// takes the slot in wParam out of the chain. Registered at the first hook.
std::atomic<UINT> g_unhookMessage{0};

LONG_PTR GetProcedure(HWND window, bool unicode) {
    return unicode ? ::GetWindowLongPtrW(window, GWLP_WNDPROC) : ::GetWindowLongPtrA(window, GWLP_WNDPROC);
}

LONG_PTR SetProcedure(HWND window, bool unicode, LONG_PTR procedure) {
    return unicode ? ::SetWindowLongPtrW(window, GWLP_WNDPROC, procedure)
                   : ::SetWindowLongPtrA(window, GWLP_WNDPROC, procedure);
}

WNDPROC ProcedureOf(int index);

LRESULT CallProcedure(WNDPROC procedure, bool unicode, HWND window, UINT message, WPARAM wParam,
                      LPARAM lParam) {
    if (!procedure)
        return unicode ? ::DefWindowProcW(window, message, wParam, lParam)
                       : ::DefWindowProcA(window, message, wParam, lParam);
    return unicode ? ::CallWindowProcW(procedure, window, message, wParam, lParam)
                   : ::CallWindowProcA(procedure, window, message, wParam, lParam);
}

__attribute__((noinline)) LRESULT Dispatch(int index, HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) noexcept {
    TLibraryCall call;
    TWindowMethod method;
    WNDPROC saved = nullptr;
    bool unicode = false, ours = false, unhookHere = false;
    const UINT unhookMessage = g_unhookMessage.load();
    {
        // Readers share the lock: the threads of a process do not queue
        // behind each other on every message (the count is atomic).
        SrwShared lock(g_lock);
        Slot& s = g_slots[index];
        ours = s.state != SlotState::Free && s.window == window;
        if (ours) {
            saved = s.saved;
            unicode = s.unicode;
            if (message == unhookMessage && unhookMessage != 0) {
                // Ours to act on only in the slot it names; any other slot
                // passes it on past its owner.
                unhookHere = wParam == WPARAM(index) && s.state == SlotState::PassThrough && s.unhookAsked;
            } else if (s.state == SlotState::Bound) {
                method = s.method;
                if (method.retain) method.retain(method.object);  // the owner lives through this call
            }
            ++s.inFlight;
        }
    }
    if (!ours) {
        // A stale call for a slot that serves no longer this window: nobody
        // should hold the procedure, but if one does, answer harmlessly.
        return CallProcedure(nullptr, ::IsWindowUnicode(window) != FALSE, window, message, wParam, lParam);
    }

    LRESULT result = 0;
    if (unhookHere) {
        // On the window's own thread: no subclass of the window's program can
        // come between the read and the write. Ours on top goes out of the
        // chain; under another's it stays a pass-through.
        const LONG_PTR procedure = reinterpret_cast<LONG_PTR>(ProcedureOf(index));
        bool restored = false;
        if (GetProcedure(window, unicode) == procedure) {
            ::SetLastError(0);
            restored = SetProcedure(window, unicode, reinterpret_cast<LONG_PTR>(saved)) != 0 ||
                       ::GetLastError() == 0;
        }
        SrwExclusive lock(g_lock);
        Slot& s = g_slots[index];
        s.unhookAsked = false;
        if (restored && s.state == SlotState::PassThrough && s.window == window) s.state = SlotState::Draining;
    } else if (method) {
        TMessage m{message, wParam, lParam, 0};
        try {
            method.call(method.object, m);
        } catch (...) {
        }
        result = m.Result;
        if (method.release) {
            try {
                method.release(method.object);
            } catch (...) {
            }
        }
    } else {
        result = CallProcedure(saved, unicode, window, message, wParam, lParam);
    }

    // Leaving. A slot that still serves its window (the usual case) needs no
    // lock. The count falls before the state is read, and whoever releases
    // the slot sets the state before it reads the count: of two that meet,
    // at least one sees that the slot is idle and not bound any more, and
    // releasing twice does nothing more.
    Slot& s = g_slots[index];
    const long left = --s.inFlight;
    if (message == WM_NCDESTROY || (left == 0 && s.state.load() != SlotState::Bound)) {
        bool freed;
        {
            SrwExclusive lock(g_lock);
            if (message == WM_NCDESTROY && s.window == window && s.state.load() != SlotState::Free)
                s.windowGone = true;
            freed = ReleaseIfIdle(s);
        }
        if (freed) ReleaseLibraryHold();
    }
    return result;
}

template <int I>
LRESULT CALLBACK SlotProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return Dispatch(I, w, m, wp, lp);
}

template <int... I>
constexpr std::array<WNDPROC, sizeof...(I)> MakeProcedures(std::integer_sequence<int, I...>) {
    return {{&SlotProcedure<I>...}};
}

constexpr std::array<WNDPROC, TWHook::kSlotCount> kProcedures =
    MakeProcedures(std::make_integer_sequence<int, TWHook::kSlotCount>{});

WNDPROC ProcedureOf(int index) {
    return kProcedures[size_t(index)];
}

// A pass-through leaves with its window. Its window may be gone without
// WM_NCDESTROY passing through it: a subclasser above it may write back a
// procedure from beneath it (comctl32's RemoveWindowSubclass does under
// Wine) and cut it out of the chain. While pass-throughs exist, the
// library's watching thread (module.h) frees those whose window is gone.
bool SweepPassThroughs() noexcept {
    int freed = 0;
    bool left = false;
    {
        SrwExclusive lock(g_lock);
        for (Slot& s : g_slots) {
            if (s.state != SlotState::PassThrough) continue;
            if (s.inFlight == 0 && (s.windowGone || !::IsWindow(s.window))) {
                Reset(s);
                ++freed;
            } else {
                left = true;
            }
        }
    }
    for (int i = 0; i < freed; ++i) ReleaseLibraryHold();
    return left;
}

// Every slot that is not free holds the library (module.h): a slot taken
// takes a hold, one reclaimed from a pass-through keeps the hold it had.
int TakeSlot(HWND window, WNDPROC saved, bool unicode, TWindowMethod method) {
    HoldLibrary();
    int taken = -1;
    bool heldAlready = false;
    {
        SrwExclusive lock(g_lock);
        for (int n = 0; n < TWHook::kSlotCount; ++n) {
            const int i = (g_nextSlot + n) % TWHook::kSlotCount;
            if (!Reclaimable(g_slots[i])) continue;
            g_nextSlot = (i + 1) % TWHook::kSlotCount;
            Slot& s = g_slots[i];
            heldAlready = s.state != SlotState::Free;
            Reset(s);
            s.state = SlotState::Bound;
            s.window = window;
            s.saved = saved;
            s.unicode = unicode;
            s.method = method;
            taken = i;
            break;
        }
    }
    if (taken < 0 || heldAlready) ReleaseLibraryHold();
    return taken;
}

}  // namespace

TWHook::TWHook(HWND window, TWindowMethod method) : window_(window), method_(method) {
    Hook();
}

TWHook::~TWHook() {
    Unhook();
}

void TWHook::Hook() {
    if (hooked_) return;
    hooked_ = true;
    installed_ = false;
    unicode_ = ::IsWindowUnicode(window_) != FALSE;
    saved_ = reinterpret_cast<WNDPROC>(GetProcedure(window_, unicode_));
    if (!method_ || !::IsWindow(window_)) return;
    if (g_unhookMessage.load() == 0) g_unhookMessage.store(::RegisterWindowMessageW(L"OmbrelSlotUnhook"));

    const int slot = TakeSlot(window_, saved_, unicode_, method_);
    if (slot < 0) return;
    const LONG_PTR ours = reinterpret_cast<LONG_PTR>(kProcedures[size_t(slot)]);
    ::SetLastError(0);
    const LONG_PTR previous = SetProcedure(window_, unicode_, ours);
    if (previous == 0 && GetProcedure(window_, unicode_) != ours) {
        // Not replaced (a window of another process, say): give the slot back.
        {
            SrwExclusive lock(g_lock);
            Reset(g_slots[slot]);
        }
        ReleaseLibraryHold();
        return;
    }
    slot_ = slot;
    installed_ = true;
    if (previous != 0 && previous != reinterpret_cast<LONG_PTR>(saved_)) {
        // Someone replaced the procedure between our read and our write.
        SetSavedProcedure(reinterpret_cast<WNDPROC>(previous));
    }
}

void TWHook::Unhook() {
    if (!hooked_) return;
    hooked_ = false;
    if (slot_ < 0) return;  // nothing of ours was put in place
    const int slot = std::exchange(slot_, -1);
    const LONG_PTR ours = reinterpret_cast<LONG_PTR>(kProcedures[size_t(slot)]);

    bool gone;
    {
        SrwExclusive lock(g_lock);
        gone = g_slots[slot].windowGone;
    }
    gone = gone || !::IsWindow(window_);
    // Only the window's own thread writes its procedure: on another thread a
    // subclass that the window's program installs at the same moment could
    // come between our read and our write and be cut out of the chain. From
    // another thread the slot passes messages through until the window's
    // thread, told by a message, takes it out.
    const bool ownThread = !gone && ::GetWindowThreadProcessId(window_, nullptr) == ::GetCurrentThreadId();
    const bool ask = !gone && !ownThread;
    bool restored = false;
    if (ownThread && GetProcedure(window_, unicode_) == ours) {
        ::SetLastError(0);
        const LONG_PTR previous = SetProcedure(window_, unicode_, reinterpret_cast<LONG_PTR>(saved_));
        restored = previous != 0 || ::GetLastError() == 0;
    }

    // A pass-through keeps its hold on the library until its window is gone
    // or its thread took it out of the chain.
    bool freed, passing;
    {
        SrwExclusive lock(g_lock);
        Slot& s = g_slots[slot];
        s.method = TWindowMethod();
        if (restored || gone || s.windowGone) {
            s.state = SlotState::Draining;
        } else {
            s.state = SlotState::PassThrough;
            s.saved = saved_;
            s.unhookAsked = ask;
        }
        freed = ReleaseIfIdle(s);
        passing = s.state == SlotState::PassThrough;
    }
    if (freed) ReleaseLibraryHold();
    if (!passing) return;
    if (ask) ::SendNotifyMessageW(window_, g_unhookMessage.load(), WPARAM(slot), 0);
    WatchLeftovers(&SweepPassThroughs);
}

void TWHook::CallDefault(TMessage& message) const {
    message.Result = CallProcedure(saved_, unicode_, window_, message.Msg, message.WParam, message.LParam);
}

void TWHook::SetSavedProcedure(WNDPROC procedure) {
    saved_ = procedure;
    if (slot_ < 0) return;
    SrwExclusive lock(g_lock);
    g_slots[slot_].saved = procedure;
}

WNDPROC TWHook::InstanceProcedure() const {
    return slot_ < 0 ? nullptr : kProcedures[size_t(slot_)];
}

int TWHook::SlotsInUse() {
    SrwExclusive lock(g_lock);
    int n = 0;
    for (const Slot& s : g_slots)
        if (!Reclaimable(s)) ++n;
    return n;
}

bool HasWindowStyle(HWND window, DWORD bits) {
    const DWORD style = static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE));
    return (style & bits) == bits;
}

}  // namespace omb::ea
