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
#include <memory>

namespace omb::ea {

// The class of the timers' hidden windows (registered with LibraryInstance).
constexpr const char* kTimerWindowClass = "OmbrelExtenderTimer";

class TTimer {
public:
    // Runs on the timer's thread, from Timer.
    using TNotifyEvent = std::function<void(TTimer& sender)>;

    // An object that each tick keeps alive while it runs (the timer's owner,
    // whose method the handler calls): `retain` takes a reference unless the
    // object is already going (the tick is then dropped), `release` gives it
    // back.
    struct TKeeper {
        void* object = nullptr;
        bool (*retain)(void* object) = nullptr;
        void (*release)(void* object) = nullptr;
    };

    // Disabled, 1000 ms, no handler; no platform timer runs yet. While its
    // window has the timer's procedure, the timer holds the library (module.h).
    TTimer();
    // Stops the timer and releases its window: destroyed at once on the
    // window's own thread; from another thread the window is handed back to
    // the default procedure and closed by its own thread. A timer is freed on
    // its own thread, or from another one only while no tick can run (its
    // thread waits or is gone); otherwise Dispose hands it to its thread.
    virtual ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    // Frees the timer on its own thread: at once when that is this thread
    // (or the thread is gone); otherwise no further tick reaches its handler
    // and the window's thread frees it when it next takes its messages (a
    // sent notice; should none be taken, at its next tick). Should that
    // thread end before, its window goes with it, and the library's watching
    // thread (module.h) frees the timer. A timer whose window is still there
    // is never freed on another thread.
    static void Dispose(std::unique_ptr<TTimer> timer);

    // Each setter that changes something restarts the full interval; the
    // platform timer runs while enabled, with an interval and a handler.
    int Interval() const { return interval_; }
    void SetInterval(int milliseconds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    void SetOnTimer(TNotifyEvent handler);
    void SetKeeper(TKeeper keeper);

    HWND Window() const { return wnd_; }

protected:
    // Runs at each tick: calls the handler with this timer as sender.
    virtual void Timer();

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void UpdateTimer();

    int interval_ = 1000;
    bool enabled_ = false;
    bool held_ = false;      // holds the library
    bool disposed_ = false;  // handed to its thread by Dispose (under the tick lock)
    TNotifyEvent onTimer_;   // written and copied under the tick lock
    TKeeper keeper_;         // the same
    HWND wnd_ = nullptr;
};

// Unregisters the timers' window class when no timer uses it; the library
// calls it when it unloads.
void FreeTimerWindowClass();

}  // namespace omb::ea
