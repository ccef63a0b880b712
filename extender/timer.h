// The library's own small timer: a platform timer (identifier 1) on a hidden
// message-only window that the timer owns. Ticks arrive on the thread that
// created the timer, while that thread takes messages from its queue.
//
// The window's class has DefWindowProcA as its procedure; the timer puts its
// own procedure on its window only while it lives. So neither the class nor a
// window that outlives the timer (one destroyed later on its own thread)
// points into the library.
#pragma once

#include <windows.h>

#include <functional>

namespace omb::ea {

// The class of the timers' hidden windows (registered with LibraryInstance).
constexpr const char* kTimerWindowClass = "OmbrelExtenderTimer";

class TTimer {
public:
    // Runs on the timer's thread. Another thread may end the timer while
    // the handler runs: a handler keeps alive what it needs in its captures
    // and uses the sender only when no other thread can end it.
    using TNotifyEvent = std::function<void(TTimer& sender)>;

    // Disabled, 1000 ms, no handler; no platform timer runs yet.
    TTimer();
    // Stops the timer and releases its window: destroyed at once on the
    // window's own thread; from another thread the window is handed back to
    // the default procedure and closed by its own thread.
    virtual ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    // Each setter that changes something restarts the full interval; the
    // platform timer runs while enabled, with an interval and a handler.
    int Interval() const { return interval_; }
    void SetInterval(int milliseconds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    void SetOnTimer(TNotifyEvent handler);

    HWND Window() const { return wnd_; }

protected:
    // Runs at each tick: calls the handler with this timer as sender.
    virtual void Timer();

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void UpdateTimer();

    int interval_ = 1000;
    bool enabled_ = false;
    TNotifyEvent onTimer_;
    HWND wnd_ = nullptr;
};

// Unregisters the timers' window class when no timer uses it; the library
// calls it when it unloads.
void FreeTimerWindowClass();

}  // namespace omb::ea
