// The command center's worker against real clients on the command channel.
#include <gtest/gtest.h>

#include <cstring>

#include "center/control_center_thread.h"
#include "center/reload_thread.h"
#include "center/taskbar.h"
#include "foundation/shared.h"

using namespace omb;

namespace {
// Answers a fixed text for one window, nothing for any other.
struct FakeRules : IRuleSource {
    HWND ruled = reinterpret_cast<HWND>(static_cast<INT_PTR>(-0x1234));
    std::string FindWindowCommand(HWND window) override {
        asked = window;
        return window == ruled ? "\\WINDOWRULENAME=x" : "";
    }
    HWND asked = nullptr;
};

struct Worker : ::testing::Test {
    void SetUp() override {
        worker = TThread::Create<TControlCenterThread>(false, &rules, nullptr);
        client.SetTimeout(1000);
    }
    void TearDown() override { TThread::Free(worker); }
    int Send(int32_t code, const std::string& data, int32_t& replyCode, std::string& reply) {
        return client.SendCommand(code, data, replyCode, reply);
    }
    static std::string Handle(INT_PTR value) {
        int32_t v = int32_t(value);
        return std::string(reinterpret_cast<const char*>(&v), 4);
    }
    FakeRules rules;
    TControlCenterThread* worker = nullptr;
    TProcessesCommunication client{kChannelName};
};
}  // namespace

TEST_F(Worker, WindowRuleRequests) {
    int32_t code = 0;
    std::string reply = "stale";
    ASSERT_EQ(Send(1, Handle(-0x1234), code, reply), 0);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(reply, "\\WINDOWRULENAME=x");  // no terminating zero
    // The handle is widened with its sign.
    EXPECT_EQ(rules.asked, reinterpret_cast<HWND>(static_cast<INT_PTR>(-0x1234)));
    ASSERT_EQ(Send(1, Handle(0x5678), code, reply), 0);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(reply, "");
    ASSERT_EQ(Send(1, std::string(8, '\0'), code, reply), 0);
    EXPECT_EQ(code, -1);
    ASSERT_EQ(Send(1, std::string(), code, reply), 0);
    EXPECT_EQ(code, -1);
}

TEST_F(Worker, OtherCommands) {
    int32_t code = 0;
    std::string reply;
    for (int32_t command : {2, 3, 4}) {
        ASSERT_EQ(Send(command, std::string(), code, reply), 0) << command;
        EXPECT_EQ(code, 1);
        EXPECT_EQ(reply, "");
    }
    client.SetTimeout(300);
    const DWORD start = GetTickCount();
    EXPECT_EQ(Send(7, std::string(), code, reply), 1);  // no answer at all
    EXPECT_GE(GetTickCount() - start, 250u);
    client.SetTimeout(1000);
    ASSERT_EQ(Send(1, Handle(-0x1234), code, reply), 0);  // still serving
    EXPECT_EQ(code, 1);
}

TEST_F(Worker, StopsWithinOneWait) {
    const DWORD start = GetTickCount();
    TThread::Free(worker);
    worker = TThread::Create<TControlCenterThread>(true, &rules, nullptr);  // never resumed: freed at once
    EXPECT_LT(GetTickCount() - start, 1500u);
}

// Without the event that wakes it, the reload thread waits all the same:
// it takes next to no processor time, and it stops when told.
TEST(ReloadThread, WithoutItsEventItNeitherSpinsNorHangs) {
    auto cpuMs = [](HANDLE thread) {
        FILETIME created, ended, kernel, user;
        if (!GetThreadTimes(thread, &created, &ended, &kernel, &user)) return ~0ull;
        auto ms = [](const FILETIME& t) { return ((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000; };
        return ms(kernel) + ms(user);
    };
    TReloadThread* reloader = TThread::Create<TReloadThread>(false, nullptr, UniqueHandle());
    ASSERT_TRUE(reloader->Handle());
    Sleep(600);
    EXPECT_LT(cpuMs(reloader->Handle()), 150ull);
    const DWORD start = GetTickCount();
    reloader->Stop();
    TThread::Free(reloader);
    EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST(TrayIcon, TheTipIsCutBeforeACharacterNeverInsideOne) {
    EXPECT_EQ(TrayTip("Ombrel"), "Ombrel");
    EXPECT_EQ(TrayTip(std::string(70, 'a')), std::string(63, 'a'));
    // 31 Cyrillic letters take 62 bytes; the 32nd would end at byte 64.
    std::string cyrillic;
    for (int i = 0; i < 40; ++i) cyrillic += u8"\u0416";
    EXPECT_EQ(TrayTip(cyrillic), cyrillic.substr(0, 62));
    const std::string emoji = std::string(61, 'a') + u8"\U0001F642";
    EXPECT_EQ(TrayTip(emoji), std::string(61, 'a'));
}
