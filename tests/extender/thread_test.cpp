// The thread class: suspended start, resume counting, waiting that keeps
// sent messages flowing, freeing on termination.
#include "extender/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

using namespace omb;

namespace {

class TTestThread : public TThread {
public:
    explicit TTestThread(std::function<void(TTestThread&)> body, HANDLE destroyed = nullptr)
        : body_(std::move(body)), destroyed_(destroyed) {}
    ~TTestThread() override {
        if (destroyed_) SetEvent(destroyed_);
    }
    using TThread::SetReturnValue;
    std::atomic<bool> ran{false};
    std::atomic<bool> ended{false};

protected:
    void Execute() override {
        ran = true;
        body_(*this);
        ended = true;
    }

private:
    std::function<void(TTestThread&)> body_;
    HANDLE destroyed_;
};

void UntilTerminated(TTestThread& t) {
    while (!t.Terminated()) Sleep(1);
}

}  // namespace

TEST(Thread, CreatedSuspendedRunsNothingUntilResumed) {
    auto* t = TThread::Create<TTestThread>(true, [](TTestThread& self) { self.SetReturnValue(7); });
    ASSERT_TRUE(t->Handle());
    EXPECT_NE(t->ThreadId(), 0u);
    EXPECT_TRUE(t->Suspended());
    Sleep(50);
    EXPECT_FALSE(t->ran);
    t->Resume();
    EXPECT_FALSE(t->Suspended());
    EXPECT_EQ(t->WaitFor(), 7u);
    EXPECT_TRUE(t->Finished());
    EXPECT_EQ(t->ReturnValue(), 7);
    TThread::Free(t);
}

TEST(Thread, CreatedRunningStartsAtOnce) {
    auto* t = TThread::Create<TTestThread>(false, UntilTerminated);
    EXPECT_FALSE(t->Suspended());
    for (int i = 0; i < 500 && !t->ran; ++i) Sleep(2);
    EXPECT_TRUE(t->ran);
    TThread::Free(t);  // asks it to end and waits
}

TEST(Thread, ResumeCountsSuspends) {
    std::atomic<long> counter{0};
    auto* t = TThread::Create<TTestThread>(false, [&](TTestThread& self) {
        while (!self.Terminated()) {
            ++counter;
            Sleep(1);
        }
    });
    for (int i = 0; i < 500 && counter == 0; ++i) Sleep(2);
    t->Suspend();
    t->Suspend();
    t->Resume();
    EXPECT_TRUE(t->Suspended());  // held by the second suspend
    const long held = counter;
    Sleep(60);
    EXPECT_EQ(counter, held);
    t->Resume();
    EXPECT_FALSE(t->Suspended());
    for (int i = 0; i < 500 && counter == held; ++i) Sleep(2);
    EXPECT_GT(counter, held);
    t->Terminate();
    t->WaitFor();
    TThread::Free(t);
}

TEST(Thread, FreeingASuspendedThreadNeitherWakesNorWaits) {
    DWORD handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    static std::atomic<bool> ran{false};
    auto* t = TThread::Create<TTestThread>(true, [](TTestThread&) {
        ran = true;
        Sleep(5000);
    });
    const ULONGLONG start = GetTickCount64();
    TThread::Free(t);
    EXPECT_LT(GetTickCount64() - start, 1000u);
    Sleep(30);
    EXPECT_FALSE(ran);
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore);  // the thread's handle was closed
}

TEST(Thread, FreeingARunningThreadWaitsForItsEnd) {
    static std::atomic<bool> bodyEnded{false};
    auto* t = TThread::Create<TTestThread>(false, [](TTestThread& self) {
        UntilTerminated(self);
        Sleep(30);
        bodyEnded = true;
    });
    for (int i = 0; i < 500 && !t->ran; ++i) Sleep(2);
    EXPECT_FALSE(bodyEnded);
    TThread::Free(t);  // terminates and waits before any destructor runs
    EXPECT_TRUE(bodyEnded);
}

TEST(Thread, AnExceptionInExecuteStillFinishesTheThread) {
    auto* t = TThread::Create<TTestThread>(true, [](TTestThread& self) {
        self.SetReturnValue(3);
        throw std::runtime_error("thread body failed");
    });
    t->Resume();
    EXPECT_EQ(t->WaitFor(), 3u);
    EXPECT_TRUE(t->Finished());
    TThread::Free(t);
}

TEST(Thread, FreeOnTerminateFreesItselfWhenDone) {
    HANDLE destroyed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto* t = TThread::Create<TTestThread>(
        true, [](TTestThread&) { Sleep(10); }, destroyed);
    t->SetFreeOnTerminate(true);
    t->Resume();  // from here nobody else may touch it
    EXPECT_EQ(WaitForSingleObject(destroyed, 5000), WAIT_OBJECT_0);
    CloseHandle(destroyed);

    // Even when it ends before Resume returns.
    for (int i = 0; i < 20; ++i) {
        HANDLE gone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        auto* quick = TThread::Create<TTestThread>(
            true, [](TTestThread&) {}, gone);
        quick->SetFreeOnTerminate(true);
        quick->Resume();
        EXPECT_EQ(WaitForSingleObject(gone, 5000), WAIT_OBJECT_0);
        CloseHandle(gone);
    }
}

namespace {
std::atomic<int> g_delivered{0};
LRESULT CALLBACK Receiver(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_APP + 5) {
        ++g_delivered;
        return 99;
    }
    return DefWindowProcA(w, m, wp, lp);
}
}  // namespace

TEST(Thread, WaitingOnTheMainThreadDeliversSentMessages) {
    ASSERT_EQ(GetCurrentThreadId(), TThread::MainThreadId());
    WNDCLASSA wc{};
    wc.lpfnWndProc = Receiver;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OmbrelThreadTestReceiver";
    RegisterClassA(&wc);
    HWND receiver =
        CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(receiver);
    g_delivered = 0;
    auto* t = TThread::Create<TTestThread>(true, [receiver](TTestThread& self) {
        DWORD_PTR answer = 0;
        // Bounded, so a wait that delivers nothing fails instead of hanging.
        if (SendMessageTimeoutA(receiver, WM_APP + 5, 0, 0, SMTO_NORMAL, 5000, &answer))
            self.SetReturnValue(int32_t(answer));
    });
    t->Resume();
    EXPECT_EQ(t->WaitFor(), 99u);
    EXPECT_EQ(g_delivered, 1);
    TThread::Free(t);
    DestroyWindow(receiver);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}
