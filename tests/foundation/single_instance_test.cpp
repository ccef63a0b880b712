// One instance per desktop, between real processes.
#include "foundation/single_instance.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/child_process.h"

using namespace omb;
using namespace omb::test;

namespace {

// instance NAME [window] [go]: registers NAME (after NAME+"Go" when asked),
// sets NAME+"Ready"+pid, and stays until NAME+"Quit". With "window" it first
// shows a minimised window on its main thread and keeps pumping messages.
// Exit code: 1 when another instance held the name, 0 when this one
// registered.
int InstanceRole(const std::vector<std::string>& args) {
    if (args.empty()) return 90;
    const std::string& name = args[0];
    bool window = false, go = false;
    for (size_t i = 1; i < args.size(); ++i) {
        window |= args[i] == "window";
        go |= args[i] == "go";
    }
    UniqueWindow w;
    if (window) {
        w.reset(::CreateWindowExA(0, "STATIC", "first instance", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                  nullptr, nullptr, nullptr, nullptr));
        if (!w) return 92;
        ::ShowWindow(w.get(), SW_SHOWMINIMIZED);
    }
    UniqueHandle quit = NamedEvent(name + "Quit");
    if (go && !WaitSignalled(NamedEvent(name + "Go").get(), 10000)) return 91;
    TSingleAppInstance instance(name);
    bool other = instance.CheckAndRegister();
    // Kept open until the end, so the parent finds it set however late it looks.
    UniqueHandle ready = NamedEvent(name + "Ready" + std::to_string(::GetCurrentProcessId()));
    ::SetEvent(ready.get());
    const ULONGLONG end = ::GetTickCount64() + 30000;
    HANDLE q = quit.get();
    while (::GetTickCount64() < end) {
        DWORD r = ::MsgWaitForMultipleObjects(1, &q, FALSE, 100, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) break;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    }
    return other ? 1 : 0;
}
OMB_CHILD_ROLE("instance", InstanceRole);

bool WaitReady(const std::string& name, const ChildProcess& child) {
    return WaitSignalled(NamedEvent(name + "Ready" + std::to_string(child.Id())).get(), 10000);
}

}  // namespace

TEST(SingleInstance, ARegisteredChildIsSeenUntilItEnds) {
    std::string name = UniqueName("instance");
    TSingleAppInstance probe(name);
    EXPECT_FALSE(probe.IsOtherInstanceRunning());

    UniqueHandle quit = NamedEvent(name + "Quit");
    ChildProcess child = ChildProcess::Start("instance", {name});
    ASSERT_TRUE(child && WaitReady(name, child));
    EXPECT_TRUE(probe.IsOtherInstanceRunning());
    EXPECT_EQ(probe.OtherProcessId(), child.Id());
    EXPECT_NE(probe.OtherThreadId(), 0u);
    EXPECT_TRUE(probe.CheckAndRegister());  // the child holds the name

    ::SetEvent(quit.get());
    DWORD exit = 9;
    ASSERT_TRUE(child.Wait(10000, &exit));
    EXPECT_EQ(exit, 0u);  // the child was the first
    EXPECT_FALSE(probe.IsOtherInstanceRunning());

    // Now this process registers, and its own registration is no other one.
    EXPECT_FALSE(probe.CheckAndRegister());
    EXPECT_FALSE(probe.IsOtherInstanceRunning());
    TSingleAppInstance again(name);
    EXPECT_FALSE(again.CheckAndRegister());
    EXPECT_EQ(again.OtherProcessId(), ::GetCurrentProcessId());

    ::ResetEvent(quit.get());
    ChildProcess second = ChildProcess::Start("instance", {name});
    ASSERT_TRUE(second && WaitReady(name, second));
    ::SetEvent(quit.get());
    ASSERT_TRUE(second.Wait(10000, &exit));
    EXPECT_EQ(exit, 1u);  // it found this process registered
}

TEST(SingleInstance, OfProcessesStartingTogetherExactlyOneRegisters) {
    std::string name = UniqueName("instance");
    UniqueHandle go = NamedEvent(name + "Go");
    UniqueHandle quit = NamedEvent(name + "Quit");
    std::vector<ChildProcess> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(ChildProcess::Start("instance", {name, "go"}));
        ASSERT_TRUE(children.back());
    }
    ::Sleep(200);  // let them all reach the start line
    ::SetEvent(go.get());
    for (auto& c : children) ASSERT_TRUE(WaitReady(name, c));
    ::SetEvent(quit.get());
    int registered = 0;
    for (auto& c : children) {
        DWORD exit = 9;
        ASSERT_TRUE(c.Wait(10000, &exit));
        ASSERT_LE(exit, 1u);
        registered += exit == 0;
    }
    EXPECT_EQ(registered, 1);
}

TEST(SingleInstance, ActivationRestoresTheFirstInstancesWindow) {
    std::string name = UniqueName("instance");
    UniqueHandle quit = NamedEvent(name + "Quit");
    ChildProcess child = ChildProcess::Start("instance", {name, "window"});
    ASSERT_TRUE(child && WaitReady(name, child));

    TSingleAppInstance second(name);
    ASSERT_TRUE(second.CheckAndRegister());
    std::pair<DWORD, HWND> search(second.OtherThreadId(), nullptr);
    ::EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<std::pair<DWORD, HWND>*>(p);
            if (::GetWindowThreadProcessId(w, nullptr) != s->first || !::IsWindowVisible(w)) return TRUE;
            s->second = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    HWND window = search.second;
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(::IsIconic(window));

    second.ActivateFirstInstance();
    ULONGLONG end = ::GetTickCount64() + 5000;
    while (::IsIconic(window) && ::GetTickCount64() < end) ::Sleep(20);
    EXPECT_FALSE(::IsIconic(window));

    child.Kill();  // a process with windows takes seconds to end by itself under Wine
}
