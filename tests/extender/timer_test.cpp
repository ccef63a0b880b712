// The timer on its hidden message-only window.
#include "extender/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "extender/module.h"
#include "extender/trace.h"
#include "tests/common/faults.h"

using namespace omb::ea;

namespace {

// Takes messages from the thread's queue for about `ms` milliseconds.
void Pump(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(end - now), QS_ALLINPUT);
    }
}

// Pumps until the condition holds, at most `ms` milliseconds.
template <typename F>
bool PumpUntil(F condition, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!condition()) {
        if (GetTickCount64() >= end) return false;
        Pump(10);
    }
    return true;
}

bool TimerRuns(TTimer& timer) {  // asks the platform; stops it when it ran
    return KillTimer(timer.Window(), 1) != FALSE;
}

std::vector<std::string> g_traces;
void KeepTrace(const std::string& text) {
    g_traces.push_back(text);
}

// Puts `replacement` in place of this program's import of a user32
// function; answers the former one (nullptr when the import is not there).
void* ReplaceUser32Import(const char* name, void* replacement) {
    return omb::test::ReplaceImport(GetModuleHandleW(nullptr), "user32.dll", name, replacement);
}

// A posted (or sent) message refused as the system refuses one for a full queue.
BOOL WINAPI RefuseMessage(HWND, UINT, WPARAM, LPARAM) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
}

bool TimerClassRegistered() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    return GetClassInfoExA(LibraryInstance(), kTimerWindowClass, &wc) != FALSE;
}

}  // namespace

TEST(Timer, StartsIdleOnAMessageOnlyWindow) {
    TTimer timer;
    EXPECT_EQ(timer.Interval(), 1000);
    EXPECT_FALSE(timer.Enabled());
    ASSERT_TRUE(IsWindow(timer.Window()));
    EXPECT_EQ(FindWindowExA(HWND_MESSAGE, nullptr, kTimerWindowClass, nullptr) != nullptr, true);
    EXPECT_FALSE(IsWindowVisible(timer.Window()));
    EXPECT_FALSE(TimerRuns(timer));
}

TEST(Timer, RunsOnlyWithIntervalEnabledAndHandler) {
    TTimer timer;
    int ticks = 0;
    timer.SetInterval(20);
    timer.SetEnabled(true);
    EXPECT_FALSE(TimerRuns(timer));  // no handler yet
    timer.SetOnTimer([&](TTimer& sender) {
        EXPECT_EQ(&sender, &timer);
        ++ticks;
    });
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }, 3000));

    timer.SetInterval(0);  // stops the ticks
    Pump(30);
    const int stopped = ticks;
    Pump(120);
    EXPECT_EQ(ticks, stopped);
    timer.SetInterval(20);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= stopped + 2; }, 3000));

    timer.SetEnabled(false);
    Pump(30);
    const int disabled = ticks;
    Pump(120);
    EXPECT_EQ(ticks, disabled);
    EXPECT_FALSE(TimerRuns(timer));
}

TEST(Timer, EnablingAgainDoesNotRestartTheInterval) {
    TTimer timer;
    ULONGLONG firstTick = 0;
    timer.SetInterval(600);
    timer.SetOnTimer([&](TTimer& t) {
        if (!firstTick) firstTick = GetTickCount64();
        t.SetEnabled(false);  // one shot
    });
    const ULONGLONG start = GetTickCount64();
    timer.SetEnabled(true);
    Pump(300);
    timer.SetEnabled(true);  // changes nothing
    timer.SetInterval(600);  // the same value: changes nothing
    ASSERT_TRUE(PumpUntil([&] { return firstTick != 0; }, 3000));
    EXPECT_LT(firstTick - start, 850u);  // a restart would put it at 900 or later
}

// Each tick runs the overridable Timer, which calls the handler.
TEST(Timer, EachTickRunsTimer) {
    struct Counting : TTimer {
        int runs = 0;
        void Timer() override {
            ++runs;
            TTimer::Timer();
        }
    } timer;
    int handled = 0;
    timer.SetInterval(15);
    timer.SetOnTimer([&](TTimer&) { ++handled; });
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return handled >= 2; }, 3000));
    EXPECT_EQ(timer.runs, handled);
}

TEST(Timer, AFailingHandlerKeepsLaterTicks) {
    SetTraceHook(&KeepTrace);
    g_traces.clear();
    TTimer timer;
    int ticks = 0;
    timer.SetInterval(15);
    timer.SetOnTimer([&](TTimer&) {
        ++ticks;
        throw std::runtime_error("boom");
    });
    timer.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }, 3000));
    SetTraceHook(nullptr);
    ASSERT_FALSE(g_traces.empty());
    EXPECT_EQ(g_traces.front(), "TTimer.WndProc: Err = boom");
}

TEST(Timer, AHandlerMayFreeItsTimer) {
    TTimer* timer = new TTimer();
    HWND window = timer->Window();
    bool fired = false;
    timer->SetInterval(10);
    timer->SetOnTimer([&](TTimer& t) {
        fired = true;
        delete &t;
    });
    timer->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return fired; }, 3000));
    EXPECT_FALSE(IsWindow(window));
    Pump(50);  // stray ticks find no window
}

// The window belongs to the thread that created the timer; freed from another
// thread, the timer leaves the window to be closed by its own thread.
TEST(Timer, FreedFromAnotherThreadTheWindowGoesOnItsOwnThread) {
    struct Shared {
        TTimer* timer = nullptr;
        std::atomic<int> ticks{0};
        HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE freed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> windowGone{false};
    } shared;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* s = static_cast<Shared*>(p);
            s->timer = new TTimer();
            HWND window = s->timer->Window();
            s->timer->SetInterval(10);
            s->timer->SetOnTimer([s](TTimer&) { ++s->ticks; });
            s->timer->SetEnabled(true);
            SetEvent(s->created);
            while (WaitForSingleObject(s->freed, 0) != WAIT_OBJECT_0) Pump(5);
            s->windowGone = PumpUntil([&] { return !IsWindow(window); }, 2000);
            return 0;
        },
        &shared, 0, nullptr);
    ASSERT_TRUE(thread);
    WaitForSingleObject(shared.created, INFINITE);
    const HWND window = shared.timer->Window();
    while (shared.ticks < 2) Sleep(5);
    delete shared.timer;  // not the window's thread
    // The window's own thread may already have destroyed it.
    const LONG_PTR procedure = GetWindowLongPtrA(window, GWLP_WNDPROC);
    EXPECT_TRUE(procedure == reinterpret_cast<LONG_PTR>(&DefWindowProcA) || !IsWindow(window)) << procedure;
    const int ticks = shared.ticks;
    SetEvent(shared.freed);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_TRUE(shared.windowGone);
    EXPECT_LE(shared.ticks - ticks, 1);
    CloseHandle(shared.created);
    CloseHandle(shared.freed);

    // With no timer left, the class can go.
    FreeTimerWindowClass();
    EXPECT_FALSE(TimerClassRegistered());
}

// A timer handed to its thread while that thread's queue is full is still
// freed on that thread, never on the one that let it go; one whose thread
// ends before it takes it is freed once its window is gone, with its hold of
// the library, though no other timer is made or disposed afterwards.
TEST(Timer, DisposedWhileItsThreadsQueueIsFullItIsFreedOnItsThread) {
    struct FreedOn : TTimer {
        std::atomic<DWORD>* thread;
        explicit FreedOn(std::atomic<DWORD>* t) : thread(t) {}
        ~FreedOn() override { *thread = GetCurrentThreadId(); }
    };
    struct Shared {
        TTimer* timer = nullptr;
        DWORD threadId = 0;
        bool pump = true;
        std::atomic<DWORD> freedOn{0};
        HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE disposed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    };
    enum Case { kPostRefused, kPostAndNoticeRefused, kThreadEnds };
    omb::test::FaultCounter faults;
    const long holds = LibraryHolds();
    for (Case c : {kPostRefused, kPostAndNoticeRefused, kThreadEnds}) {
        Shared shared;
        shared.pump = c != kThreadEnds;
        HANDLE thread = CreateThread(
            nullptr, 0,
            [](void* p) -> DWORD {
                auto* s = static_cast<Shared*>(p);
                s->timer = new FreedOn(&s->freedOn);
                s->timer->SetInterval(10);
                s->timer->SetOnTimer([](TTimer&) {});
                s->timer->SetEnabled(true);
                s->threadId = GetCurrentThreadId();
                SetEvent(s->created);
                if (s->pump)
                    PumpUntil([&] { return s->freedOn != 0; }, 3000);
                else
                    WaitForSingleObject(s->disposed, 3000);  // ends with the message unread
                return 0;
            },
            &shared, 0, nullptr);
        ASSERT_TRUE(thread);
        WaitForSingleObject(shared.created, INFINITE);
        void* post = c != kThreadEnds
                         ? ReplaceUser32Import("PostMessageA", reinterpret_cast<void*>(&RefuseMessage))
                         : nullptr;
        void* notice = c == kPostAndNoticeRefused
                           ? ReplaceUser32Import("SendNotifyMessageA", reinterpret_cast<void*>(&RefuseMessage))
                           : nullptr;
        TTimer::Dispose(std::unique_ptr<TTimer>(shared.timer));
        if (post) ReplaceUser32Import("PostMessageA", post);
        if (notice) ReplaceUser32Import("SendNotifyMessageA", notice);
        if (c == kThreadEnds) {
            Sleep(700);  // the library's watch passes while the window is there
            EXPECT_EQ(shared.freedOn.load(), 0u) << "freed while its window was there";
        }
        SetEvent(shared.disposed);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        CloseHandle(shared.created);
        CloseHandle(shared.disposed);
        if (c == kThreadEnds) {
            // Nothing is made or disposed here any more.
            EXPECT_TRUE(PumpUntil([&] { return shared.freedOn != 0; }, 3000)) << "thread ended: never freed";
        } else {
            EXPECT_EQ(shared.freedOn.load(), shared.threadId)
                << (c == kPostAndNoticeRefused ? "post and notice refused" : "post refused");
        }
        EXPECT_TRUE(PumpUntil([&] { return LibraryHolds() == holds; }, 1000)) << int(c);
    }
    EXPECT_EQ(faults.Count(), 0);
}

TEST(Timer, TheClassGoesWithTheLastTimer) {
    {
        TTimer a, b;
        EXPECT_TRUE(TimerClassRegistered());
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        GetClassInfoExA(LibraryInstance(), kTimerWindowClass, &wc);
        EXPECT_EQ(wc.lpfnWndProc, &DefWindowProcA);  // the class never points into the library
    }
    EXPECT_FALSE(TimerClassRegistered());
}
