#include "extender/timer.h"

#include <utility>
#include <vector>

#include "extender/module.h"
#include "extender/trace.h"
#include "foundation/handles.h"

namespace omb::ea {

namespace {
constexpr const char* kTimerClassName = kTimerWindowClass;
constexpr UINT_PTR kTimerId = 1;
// Posted by Dispose: the window's thread frees the timer in lParam.
constexpr UINT kDisposeMessage = WM_APP + 0x3F1;

SRWLOCK g_classLock = SRWLOCK_INIT;
// Orders a tick's look-up of its timer against the timer's end on another
// thread: held only to read the window's timer, pin its keeper and copy its
// handler, never while a handler runs.
SRWLOCK g_tickLock = SRWLOCK_INIT;
int g_classUsers = 0;
bool g_classRegistered = false;

// Timers handed to their window's thread by Dispose and not freed yet, under
// the tick lock, with their window and its thread. A thread that ends before
// it takes its message loses its windows without a word to their
// procedures: such a timer (and its hold of the library) is freed by the
// library's watching thread (module.h), or by the next timer made or
// disposed on any thread, once its window is gone.
struct HandedTimer {
    TTimer* timer;
    HWND window;
    DWORD thread;
};

std::vector<HandedTimer>& HandedOver() {
    static auto* handed = new std::vector<HandedTimer>;  // never freed
    return *handed;
}

// Takes the timer out of the handed-over list; false when another thread
// took it (and frees it).
bool TakeHandedOver(TTimer* timer) {
    SrwExclusive lock(g_tickLock);
    auto& handed = HandedOver();
    for (auto it = handed.begin(); it != handed.end(); ++it)
        if (it->timer == timer) {
            handed.erase(it);
            return true;
        }
    return false;
}

// Frees the handed-over timers whose window is gone; answers whether any is
// left. A window that is gone takes no tick, and its timer's own thread
// frees it only through its window's procedure, after taking it out of the
// list under the tick lock: of the two, one frees it. The window's thread
// is compared as well: a handle of a window that ended may name another
// window by now.
bool FreeTimersOfGoneWindows() noexcept {
    std::vector<TTimer*> gone;
    bool left = false;
    try {
        {
            SrwExclusive lock(g_tickLock);
            auto& handed = HandedOver();
            gone.reserve(handed.size());
            for (auto it = handed.begin(); it != handed.end();) {
                if (::GetWindowThreadProcessId(it->window, nullptr) == it->thread) {
                    ++it;
                } else {
                    gone.push_back(it->timer);
                    it = handed.erase(it);
                }
            }
            left = !handed.empty();
        }
    } catch (...) {
        left = true;  // no room to list them: looked at again later
    }
    for (TTimer* timer : gone) delete timer;
    return left;
}

bool AcquireTimerClass() {
    SrwExclusive lock(g_classLock);
    if (!g_classRegistered) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &::DefWindowProcA;  // never a procedure of ours
        wc.hInstance = LibraryInstance();
        wc.lpszClassName = kTimerClassName;
        if (::RegisterClassExA(&wc) || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
            g_classRegistered = true;
    }
    if (g_classRegistered) ++g_classUsers;
    return g_classRegistered;
}

void ReleaseTimerClass() {
    SrwExclusive lock(g_classLock);
    if (g_classUsers > 0 && --g_classUsers == 0 && g_classRegistered) {
        // Fails while a closed window still waits for its thread; the class
        // then stays, harmless, with the default procedure.
        if (::UnregisterClassA(kTimerClassName, LibraryInstance())) g_classRegistered = false;
    }
}
}  // namespace

void FreeTimerWindowClass() {
    SrwExclusive lock(g_classLock);
    if (g_classUsers == 0 && g_classRegistered && ::UnregisterClassA(kTimerClassName, LibraryInstance()))
        g_classRegistered = false;
}

TTimer::TTimer() {
    FreeTimersOfGoneWindows();
    if (!AcquireTimerClass()) return;
    wnd_ = ::CreateWindowExA(0, kTimerClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, LibraryInstance(),
                             nullptr);
    if (!wnd_) {
        ReleaseTimerClass();
        return;
    }
    ::SetWindowLongPtrA(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    HoldLibrary();  // before the window can call the procedure below
    held_ = true;
    ::SetWindowLongPtrA(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TTimer::WndProc));
}

TTimer::~TTimer() {
    enabled_ = false;
    if (!wnd_) return;
    HWND window = wnd_;
    wnd_ = nullptr;
    // Touch the window only while it is still ours (a handle of a window that
    // ended with its thread may name another window by now).
    if (::IsWindow(window) &&
        ::GetWindowLongPtrA(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
        {
            SrwExclusive lock(g_tickLock);
            ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        }
        ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
        if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
            ::KillTimer(window, kTimerId);
            ::DestroyWindow(window);
        } else {
            ::PostMessageA(window, WM_CLOSE, 0, 0);  // the default procedure destroys it
        }
    }
    if (held_) ReleaseLibraryHold();
    ReleaseTimerClass();
}

void TTimer::Dispose(std::unique_ptr<TTimer> timer) {
    FreeTimersOfGoneWindows();
    if (!timer) return;
    const HWND window = timer->wnd_;
    const DWORD thread = window ? ::GetWindowThreadProcessId(window, nullptr) : 0;
    if (thread == 0 || thread == ::GetCurrentThreadId()) return;  // freed here, at once
    {
        SrwExclusive lock(g_tickLock);
        HandedOver().push_back(HandedTimer{timer.get(), window, thread});
        timer->disposed_ = true;
    }
    // Sent, not posted: a full queue of posted messages does not refuse it.
    const LPARAM lParam = reinterpret_cast<LPARAM>(timer.get());
    if (::SendNotifyMessageA(window, kDisposeMessage, 0, lParam) ||
        ::PostMessageA(window, kDisposeMessage, 0, lParam) || ::IsWindow(window)) {
        // Its thread frees it: at the message, or (neither could be sent)
        // at its next tick; until then no tick reaches the handler. Should
        // the thread end first, the watching thread frees it.
        timer.release();
        WatchLeftovers(&FreeTimersOfGoneWindows);
        return;
    }
    // The window went with its thread: no tick can run. Freed here, unless
    // the watching thread took it out of the list first (and frees it).
    if (!TakeHandedOver(timer.get())) timer.release();
}

void TTimer::SetInterval(int milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    UpdateTimer();
}

void TTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
    TNotifyEvent old;  // goes outside the lock
    {
        SrwExclusive lock(g_tickLock);
        old = std::exchange(onTimer_, std::move(handler));
    }
    UpdateTimer();
}

void TTimer::SetKeeper(TKeeper keeper) {
    SrwExclusive lock(g_tickLock);
    keeper_ = keeper;
}

void TTimer::UpdateTimer() {
    if (!wnd_) return;
    ::KillTimer(wnd_, kTimerId);
    if (interval_ != 0 && enabled_ && onTimer_)
        ::SetTimer(wnd_, kTimerId, static_cast<UINT>(interval_), nullptr);
}

void TTimer::Timer() {
    TNotifyEvent handler;  // the handler may replace itself or free the timer
    {
        SrwShared lock(g_tickLock);
        handler = onTimer_;
    }
    if (handler) handler(*this);
}

LRESULT CALLBACK TTimer::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    TLibraryCall call;
    if (message == WM_TIMER) {
        TTimer* timer = nullptr;
        TKeeper keeper;
        bool disposed = false;
        {
            SrwShared lock(g_tickLock);
            timer = reinterpret_cast<TTimer*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
            disposed = timer && timer->disposed_;
            if (timer && !disposed) {
                keeper = timer->keeper_;
                // An owner already going takes no more ticks.
                if (keeper.retain && !keeper.retain(keeper.object)) return 0;
            }
        }
        if (disposed) {
            // Handed to this thread by Dispose, whose message did not come.
            if (TakeHandedOver(timer)) delete timer;
            return 0;
        }
        if (timer) {
            // The timer is freed on this thread only (or by Dispose, through
            // this procedure): it lives until Timer returns, unless Timer
            // frees it itself. The tick holds the library for its whole run:
            // a handler may sit in a modal loop (a message box) while its
            // timer and every other hold of the library go.
            HoldLibrary();
            try {
                timer->Timer();
            } catch (...) {
                TraceCurrentError("TTimer.WndProc");
            }
            if (keeper.release) {
                try {
                    keeper.release(keeper.object);
                } catch (...) {
                }
            }
            ReleaseLibraryHold();
            return 0;
        }
    }
    if (message == kDisposeMessage && lParam != 0 &&
        ::GetWindowLongPtrA(window, GWLP_USERDATA) == lParam) {
        if (TakeHandedOver(reinterpret_cast<TTimer*>(lParam))) delete reinterpret_cast<TTimer*>(lParam);
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace omb::ea
