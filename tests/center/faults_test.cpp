// The real command center against what a hostile or broken program does:
// stray writes into the command channel's blocks, a client killed in the
// middle of its request, windows whose thread hangs during a reload, and a
// rule whose text does not fit into the channel's block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "foundation/channel.h"
#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "model/window_rules.h"
#include "tests/common/center_harness.h"
#include "tests/common/child_process.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {
using S = ChannelRequestState;

DWORD Since(ULONGLONG start) {
    return DWORD(::GetTickCount64() - start);
}

// The system channel's blocks opened by name, as any program may.
struct RawBlocks {
    RawBlocks() {
        const std::string name = kChannelName;
        commandLock.reset(::CreateMutexA(nullptr, FALSE, (name + "CommandLockMutex").c_str()));
        writeLock.reset(::CreateMutexA(nullptr, FALSE, (name + "WriteLockMutex").c_str()));
        newCommand.reset(::CreateEventA(nullptr, FALSE, FALSE, (name + "NewCommandEvent").c_str()));
        complete.reset(::CreateEventA(nullptr, FALSE, TRUE, (name + "CommandCompleteEvent").c_str()));
        blockMapping.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16384,
                                                (name + "SharedMemory").c_str()));
        stateMapping.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                sizeof(ChannelRequestState), (name + "RequestState").c_str()));
        block.reset(::MapViewOfFile(blockMapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 16384));
        state.reset(::MapViewOfFile(stateMapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    }
    bool Ready() const { return block && state; }
    ChannelRequestState* State() const { return static_cast<ChannelRequestState*>(state.get()); }
    uint8_t* Block() const { return static_cast<uint8_t*>(block.get()); }
    static bool Lock(HANDLE mutex) {
        const DWORD w = ::WaitForSingleObject(mutex, 3000);
        return w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
    }
    // A request of a client that knows only the documented protocol; the
    // reply code, or INT32_MIN when none came in time.
    int32_t PlainRequest(int32_t code, const std::string& data, std::string& reply) {
        if (!Lock(commandLock.get())) return INT32_MIN;
        int32_t answer = INT32_MIN;
        if (Lock(writeLock.get())) {
            const int32_t length = int32_t(data.size());
            std::memcpy(Block(), &code, 4);
            std::memcpy(Block() + 4, &length, 4);
            std::memcpy(Block() + 8, data.data(), data.size());
            ::ReleaseMutex(writeLock.get());
            ::ResetEvent(complete.get());
            ::SetEvent(newCommand.get());
            if (::WaitForSingleObject(complete.get(), 3000) == WAIT_OBJECT_0 && Lock(writeLock.get())) {
                int32_t replyLength = 0;
                std::memcpy(&answer, Block(), 4);
                std::memcpy(&replyLength, Block() + 4, 4);
                if (replyLength >= 0 && replyLength <= 16376)
                    reply.assign(reinterpret_cast<const char*>(Block() + 8), size_t(replyLength));
                ::ReleaseMutex(writeLock.get());
            }
        }
        ::ReleaseMutex(commandLock.get());
        return answer;
    }
    UniqueHandle commandLock, writeLock, newCommand, complete, blockMapping, stateMapping;
    UniqueView block, state;
};

std::string HandleData(HWND window) {
    const int32_t handle = int32_t(reinterpret_cast<INT_PTR>(window));
    return std::string(reinterpret_cast<const char*>(&handle), 4);
}

// Command 1 as the hook library sends it, with the channel's own time-out.
int Ask(HWND window, std::string& reply, DWORD timeout = TProcessesCommunication::kDefaultTimeout) {
    TProcessesCommunication channel(kChannelName);
    channel.SetTimeout(timeout);
    int32_t code = 0;
    return channel.SendCommand(1, HandleData(window), code, reply);
}

// ---- child roles ------------------------------------------------------------

// claimer EVENT: claims the channel's block as a tagging client does (the
// command lock, then its id and the claim), sets EVENT and stays until killed.
int ClaimerRole(const std::vector<std::string>& args) {
    if (args.empty()) return 90;
    RawBlocks raw;
    if (!raw.Ready() || !RawBlocks::Lock(raw.commandLock.get())) return 91;
    raw.State()->client = ::GetCurrentProcessId();
    raw.State()->word = S::Word(S::ClientBusy, 0xFFFFF000u);
    ::SetEvent(NamedEvent(args[0]).get());
    ::Sleep(60000);
    return 0;
}
OMB_CHILD_ROLE("claimer", ClaimerRole);

// hung-windows CLASS MADE HANG: five windows of CLASS; sets MADE, serves its
// messages until HANG is set, then its thread stops answering for 20 s.
int HungWindowsRole(const std::vector<std::string>& args) {
    if (args.size() < 3) return 90;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = args[0].c_str();
    RegisterClassA(&wc);
    for (int i = 0; i < 5; ++i)
        if (!CreateWindowExA(0, args[0].c_str(), ("hung " + std::to_string(i)).c_str(), WS_OVERLAPPEDWINDOW, 10,
                             10, 200, 100, nullptr, nullptr, wc.hInstance, nullptr))
            return 91;
    ::SetEvent(NamedEvent(args[1]).get());
    UniqueHandle hang = NamedEvent(args[2]);
    HANDLE hangHandle = hang.get();
    while (MsgWaitForMultipleObjects(1, &hangHandle, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    ::Sleep(20000);
    return 0;
}
OMB_CHILD_ROLE("hung-windows", HungWindowsRole);

// busy-windows CLASS ARMED NOTICED: five windows of CLASS, each on a thread
// of its own. Once ARMED is set, each takes 3 s over the configuration
// notice (busy, not hung: it answers, late); NOTICED is set when all five
// have been told.
LONG g_notices = 0;
HANDLE g_armed = nullptr, g_noticed = nullptr;

LRESULT CALLBACK BusyWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_CONFIG_CHANGED && WaitForSingleObject(g_armed, 0) == WAIT_OBJECT_0) {
        if (InterlockedIncrement(&g_notices) == 5) SetEvent(g_noticed);
        Sleep(3000);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

int BusyWindowsRole(const std::vector<std::string>& args) {
    if (args.size() < 3) return 90;
    RegisterSharedMessages();
    UniqueHandle armed = NamedEvent(args[1]), noticed = NamedEvent(args[2]);
    g_armed = armed.get();
    g_noticed = noticed.get();
    WNDCLASSA wc{};
    wc.lpfnWndProc = BusyWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = args[0].c_str();
    RegisterClassA(&wc);
    std::vector<HANDLE> threads;
    for (int i = 0; i < 5; ++i)
        threads.push_back(CreateThread(
            nullptr, 0,
            [](void* param) -> DWORD {
                const auto* className = static_cast<const char*>(param);
                if (!CreateWindowExA(0, className, "busy", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr))
                    return 1;
                MSG m;
                while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
                return 0;
            },
            const_cast<char*>(args[0].c_str()), 0, nullptr));
    WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, 60000);
    return 0;
}
OMB_CHILD_ROLE("busy-windows", BusyWindowsRole);

// asker FILE MS: asks command 1 back to back for MS milliseconds; writes the
// number of requests, of those not answered, and the longest wait in ms.
int AskerRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    TProcessesCommunication channel(kChannelName);
    const ULONGLONG end = ::GetTickCount64() + std::stoul(args[1]);
    int requests = 0, unanswered = 0;
    double worst = 0;
    LARGE_INTEGER frequency, a, b;
    QueryPerformanceFrequency(&frequency);
    while (::GetTickCount64() < end) {
        int32_t code = 0;
        std::string reply;
        QueryPerformanceCounter(&a);
        const int result = channel.SendCommand(1, HandleData(nullptr), code, reply);
        QueryPerformanceCounter(&b);
        worst = std::max(worst, double(b.QuadPart - a.QuadPart) * 1000.0 / double(frequency.QuadPart));
        ++requests;
        if (result != TProcessesCommunication::Done || code != 1) ++unanswered;
        ::Sleep(1);
    }
    std::ofstream(args[0]) << requests << " " << unanswered << " " << worst << "\n";
    return 0;
}
OMB_CHILD_ROLE("asker", AskerRole);

struct CenterFaults : ::testing::Test {
    void SetUp() override {
        RegisterModelClasses();
        CreateMultiLanguages();
        SelectLanguage("");
    }
    void TearDown() override { FreeMultiLanguages(); }
    ComInit com;
};
}  // namespace

TEST_F(CenterFaults, StrayWritesAndAKilledClientCostAtMostTheRequestInFlight) {
    Installation install;
    Config config;
    config.Action(config.Rule("target", "OmbFaultTarget"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start()) << "exit code " << install.Ended(0);
    ChildProcess child = ChildProcess::Start("window", {"OmbFaultTarget", "target"});
    HWND target = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (target = WindowOf("OmbFaultTarget")) != nullptr; }));
    const std::string expected = config.TextFor(target);
    ASSERT_FALSE(expected.empty());
    RawBlocks raw;
    ASSERT_TRUE(raw.Ready());
    std::string reply;
    auto answeredWithin = [&](DWORD ms, const char* what) {
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(Ask(target, reply), 0) << what;
        EXPECT_EQ(reply, expected) << what;
        EXPECT_LE(Since(start), ms) << what;
    };
    auto everyLaterOne = [&](const char* what) {
        for (int i = 0; i < 5; ++i) answeredWithin(TProcessesCommunication::kDefaultTimeout, what);
    };

    // "Server busy" under the command center's own name while it waits.
    const DWORD center = ::GetProcessId(install.Process());
    for (int i = 0; i < 3; ++i) {
        raw.State()->server = center;
        raw.State()->word = S::Word(S::ServerBusy, 0xFFFFE000u + i);
        answeredWithin(TProcessesCommunication::kDefaultTimeout, "server busy, the center's name");
    }
    everyLaterOne("after server busy");

    // "Server busy" under another live program's name: the request in
    // flight may be lost, none after it.
    raw.State()->server = ::GetCurrentProcessId();
    raw.State()->word = S::Word(S::ServerBusy, 0xFFFFE100u);
    Ask(target, reply);
    everyLaterOne("after server busy, another name");

    // A claim by a live program: a tagging client takes it over; a plain
    // client is served once the claim is older than the time-out.
    raw.State()->client = ::GetCurrentProcessId();
    raw.State()->word = S::Word(S::ClientBusy, 0xFFFFE200u);
    answeredWithin(TProcessesCommunication::kDefaultTimeout, "claim of a live program");
    raw.State()->client = ::GetCurrentProcessId();
    raw.State()->word = S::Word(S::ClientBusy, 0xFFFFE300u);
    ::Sleep(TProcessesCommunication::kDefaultTimeout + 200);
    EXPECT_EQ(raw.PlainRequest(1, HandleData(target), reply), 1);
    EXPECT_EQ(reply, expected);
    everyLaterOne("after a live program's claim");

    // A client killed while it holds its claim and the command lock.
    {
        const std::string held = UniqueName("claimed");
        UniqueHandle event = NamedEvent(held);
        ChildProcess claimer = ChildProcess::Start("claimer", {held});
        ASSERT_TRUE(WaitSignalled(event.get(), 10000));
        claimer.Kill();
    }
    answeredWithin(TProcessesCommunication::kDefaultTimeout, "after the claimer was killed");
    everyLaterOne("after the claimer was killed");

    // Through all of it the center stayed one that stops when told.
    EXPECT_EQ(Installation::Command(3), 0);
    EXPECT_EQ(install.Ended(8000), 0);
}

TEST_F(CenterFaults, AReloadWithHungWindowsHoldsUpNoRequest) {
    Installation install;
    Config config;
    config.Action(config.Rule("hung", "OmbFaultHung"), "StayOnTop");
    for (int i = 0; i < 300; ++i)
        config.Action(config.Rule("filler " + std::to_string(i), "OmbNone" + std::to_string(i)), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start()) << "exit code " << install.Ended(0);

    const std::string made = UniqueName("made"), hang = UniqueName("hang");
    UniqueHandle madeEvent = NamedEvent(made), hangEvent = NamedEvent(hang);
    ChildProcess hung = ChildProcess::Start("hung-windows", {"OmbFaultHung", made, hang});
    ASSERT_TRUE(WaitSignalled(madeEvent.get(), 10000));
    HWND first = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (first = WindowOf("OmbFaultHung")) != nullptr && TopMost(first); }));
    ::SetEvent(hangEvent.get());
    ::Sleep(200);  // the windows' thread has stopped answering

    const std::string results = install.Path("asker.txt");
    ChildProcess asker = ChildProcess::Start("asker", {results, "3000"});
    ASSERT_TRUE(asker);
    ::Sleep(300);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Installation::Command(2), 0);  // each reload notifies the hung windows too
        ::Sleep(1000);
    }
    ASSERT_TRUE(asker.Wait(15000));
    int requests = 0, unanswered = -1;
    double worst = -1;
    std::ifstream(results) >> requests >> unanswered >> worst;
    std::printf("%d requests during the reloads, the longest waited %.1f ms\n", requests, worst);
    EXPECT_GT(requests, 100);
    EXPECT_EQ(unanswered, 0);
    EXPECT_LE(worst, 100.0) << "the longest wait of " << requests << " requests, in ms";

    // The reloaded configuration answers.
    std::string reply;
    EXPECT_EQ(Ask(first, reply), 0);
    EXPECT_EQ(reply, config.TextFor(first));
}

// The last notice before the hook goes waits for busy windows together,
// within one bound, not for each in turn.
TEST_F(CenterFaults, BusyWindowsHoldUpTheStopForOneBoundInAll) {
    Installation install;
    Config config;
    config.Rule("any", "OmbFaultNothing");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start()) << "exit code " << install.Ended(0);
    const std::string armed = UniqueName("armed"), noticed = UniqueName("noticed");
    UniqueHandle armedEvent = NamedEvent(armed), noticedEvent = NamedEvent(noticed);
    ChildProcess busy = ChildProcess::Start("busy-windows", {"OmbFaultBusy", armed, noticed});
    ASSERT_TRUE(WaitFor([] {
        int count = 0;
        for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "OmbFaultBusy", nullptr)) != nullptr;) ++count;
        return count == 5;
    }));
    ::Sleep(1500);  // the start-up notice has come and gone
    ::SetEvent(armedEvent.get());
    ASSERT_EQ(Installation::Command(3), 0);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(install.Ended(10000), 0);
    const DWORD took = Since(start);
    std::printf("the center ended %lu ms after command 3\n", took);
    EXPECT_LT(took, 4000u) << "five windows busy for 3 s each";
    EXPECT_TRUE(WaitSignalled(noticedEvent.get(), 0)) << "every busy window was told";
    EXPECT_TRUE(busy.Running());
}

TEST_F(CenterFaults, AReplyTooLongForTheBlockIsRefusedAtOnce) {
    Installation install;
    Config config;
    // The rule's name alone is longer than the block's data.
    config.Action(config.Rule(std::string(TProcessesCommunication::kMaxDataLength + 1, 'L'), "OmbFaultLong"),
                  "StayOnTop");
    config.Action(config.Rule("short", "OmbFaultShort"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start()) << "exit code " << install.Ended(0);
    ChildProcess longOne = ChildProcess::Start("window", {"OmbFaultLong", "long"});
    ChildProcess shortOne = ChildProcess::Start("window", {"OmbFaultShort", "short"});
    HWND longWindow = nullptr, shortWindow = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (longWindow = WindowOf("OmbFaultLong")) != nullptr; }));
    ASSERT_TRUE(WaitFor([&] { return (shortWindow = WindowOf("OmbFaultShort")) != nullptr; }));
    std::string reply;
    for (int i = 0; i < 3; ++i) {
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(Ask(longWindow, reply, 3000), TProcessesCommunication::Failed);
        EXPECT_LT(Since(start), 1000u);
        EXPECT_EQ(Ask(shortWindow, reply), 0);
        EXPECT_EQ(reply, config.TextFor(shortWindow));
    }
    // The window of the rule that cannot be sent went on without it.
    EXPECT_FALSE(TopMost(longWindow));
    EXPECT_TRUE(WaitFor([&] { return TopMost(shortWindow); }));

    // A configuration that no longer loads leaves the rules in force.
    WriteBytes(install.Path("Ombrel.ini"), "this is not XML");
    ASSERT_EQ(Installation::Command(2), 0);
    EXPECT_FALSE(WaitFor([&] { return Ask(shortWindow, reply) != 0 || reply.empty(); }, 2000));
    EXPECT_EQ(reply, config.TextFor(shortWindow));
}

// A command center started while the last one is still stopping waits for it
// and takes over, rather than ending as a second instance.
TEST_F(CenterFaults, ACenterStartedWhileTheLastOneStopsTakesOver) {
    Installation first, second;
    Config config;
    config.Action(config.Rule("top", "OmbFaultTakenOver"), "StayOnTop");
    ASSERT_TRUE(config.Save(first.Path("Ombrel.ini")));
    ASSERT_TRUE(config.Save(second.Path("Ombrel.ini")));
    ASSERT_TRUE(first.Start()) << "exit code " << first.Ended(0);
    // Windows that no longer answer hold the stop up for its bound.
    const std::string made = UniqueName("made"), hang = UniqueName("hang");
    UniqueHandle madeEvent = NamedEvent(made), hangEvent = NamedEvent(hang);
    ChildProcess hung = ChildProcess::Start("hung-windows", {"OmbFaultStopHung", made, hang});
    ASSERT_TRUE(WaitSignalled(madeEvent.get(), 10000));
    ::SetEvent(hangEvent.get());

    ASSERT_EQ(Installation::Command(3), 0);
    ASSERT_TRUE(WaitFor([] { return WindowOf("OMB_CommandCenterHandlerWindow") == nullptr; }));
    ASSERT_LT(first.Ended(0), 0) << "the first is still stopping";
    second.Start(false);
    EXPECT_EQ(first.Ended(10000), 0);
    EXPECT_TRUE(WaitFor([&] { return BlockExists(kHookHandleBlockName); }));
    EXPECT_LT(second.Ended(0), 0) << "the second runs, exit code " << second.Ended(0);
    ChildProcess child = ChildProcess::Start("window", {"OmbFaultTakenOver", "taken over"});
    EXPECT_TRUE(WaitFor([] {
        HWND window = WindowOf("OmbFaultTakenOver");
        return window && TopMost(window);
    })) << "the second rules";
}
