// The command channel between real processes: this binary relaunches itself
// as an echo server, as further clients, or as a peer that misbehaves.
#include "foundation/channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/child_process.h"

using namespace omb;
using namespace omb::test;

namespace {

constexpr int32_t kEcho = 1;        // reply 101 with the request's data
constexpr int32_t kStall = 2;       // sleep the milliseconds in the data, reply 102 "late"
constexpr int32_t kEmptyReply = 3;  // reply 103 with no data
constexpr int32_t kNoReply = 4;     // no reply at all
constexpr int32_t kBigReply = 5;    // reply 105 with the largest data
constexpr int32_t kCount = 6;       // reply 106 with the number of requests taken so far
constexpr int32_t kTooLong = 7;     // reply 107 with one byte more than the block holds

std::string Pattern(size_t length, unsigned seed) {
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i) s[i] = char((i * 131 + seed * 7 + 3) & 0xFF);
    return s;
}

DWORD Elapsed(ULONGLONG start) {
    return DWORD(::GetTickCount64() - start);
}

// ---- child roles ----

// echo-server CHANNEL [DELAY]: serves until CHANNEL+"Quit" is set (at most
// 30 s); with DELAY, sets CHANNEL+"Ready" at once but creates its channel
// only after DELAY milliseconds.
int EchoServerRole(const std::vector<std::string>& args) {
    if (args.empty()) return 90;
    const std::string& name = args[0];
    UniqueHandle ready = NamedEvent(name + "Ready");
    if (args.size() > 1) {
        ::SetEvent(ready.get());
        ::Sleep(DWORD(std::stoul(args[1])));
    }
    TProcessesCommunication channel(name);
    channel.SetTimeout(50);
    UniqueHandle quit = NamedEvent(name + "Quit");
    UniqueHandle failed = NamedEvent(name + "Failed");
    ::SetEvent(ready.get());
    const ULONGLONG end = ::GetTickCount64() + 30000;
    int taken = 0;
    while (!WaitSignalled(quit.get(), 0) && ::GetTickCount64() < end) {
        int32_t code;
        std::string data;
        int r = channel.WaitForCommand(code, data);
        if (r == TProcessesCommunication::Failed) ::SetEvent(failed.get());
        if (r != TProcessesCommunication::Done) continue;
        ++taken;
        switch (code) {
            case kCount:
                channel.SendReply(106, std::to_string(taken));
                break;
            case kEcho:
                channel.SendReply(101, data);
                break;
            case kStall:
                ::Sleep(DWORD(std::stoul(data)));
                channel.SendReply(102, "late");
                break;
            case kEmptyReply:
                channel.SendReply(103, nullptr, 0);
                break;
            case kBigReply:
                channel.SendReply(105, Pattern(TProcessesCommunication::kMaxDataLength, 5));
                break;
            case kTooLong:
                channel.SendReply(107, Pattern(TProcessesCommunication::kMaxDataLength + 1, 7));
                break;
            default:
                break;
        }
    }
    return 0;
}
OMB_CHILD_ROLE("echo-server", EchoServerRole);

// client CHANNEL ID COUNT: after CHANNEL+"Go", sends COUNT echo requests;
// the exit code counts the wrong answers.
int ClientRole(const std::vector<std::string>& args) {
    if (args.size() < 3) return 90;
    TProcessesCommunication channel(args[0]);
    channel.SetTimeout(3000);
    int count = std::stoi(args[2]);
    if (!WaitSignalled(NamedEvent(args[0] + "Go").get(), 10000)) return 91;
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        std::string data = "client " + args[1] + " request " + std::to_string(i) + Pattern(size_t(i % 97), i);
        int32_t code;
        std::string reply;
        if (channel.SendCommand(kEcho, data, code, reply) != 0 || code != 101 || reply != data) ++wrong;
    }
    return wrong;
}
OMB_CHILD_ROLE("client", ClientRole);

// hold-lock CHANNEL SUFFIX exit|stay: takes the channel's mutex SUFFIX,
// sets CHANNEL+"Held", then ends holding it or keeps it until killed.
int HoldLockRole(const std::vector<std::string>& args) {
    if (args.size() < 3) return 90;
    UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, (args[0] + args[1]).c_str()));
    DWORD w = ::WaitForSingleObject(mutex.get(), 5000);
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) return 91;
    UniqueHandle held = NamedEvent(args[0] + "Held");
    ::SetEvent(held.get());
    if (args[2] == "stay") ::Sleep(30000);
    return 0;  // the mutex is abandoned
}
OMB_CHILD_ROLE("hold-lock", HoldLockRole);

// The channel's objects opened by name, to act as a peer that knows only the
// basic protocol, or as one that writes nonsense into the block.
struct RawChannel {
    explicit RawChannel(const std::string& name) {
        writeLock.reset(::CreateMutexA(nullptr, FALSE, (name + "WriteLockMutex").c_str()));
        commandLock.reset(::CreateMutexA(nullptr, FALSE, (name + "CommandLockMutex").c_str()));
        newCommand.reset(::CreateEventA(nullptr, FALSE, FALSE, (name + "NewCommandEvent").c_str()));
        complete.reset(::CreateEventA(nullptr, FALSE, TRUE, (name + "CommandCompleteEvent").c_str()));
        blockMapping.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16384,
                                                (name + "SharedMemory").c_str()));
        stateMapping.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                sizeof(ChannelRequestState),
                                                (name + "RequestState").c_str()));
        block.reset(::MapViewOfFile(blockMapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 16384));
        stateView.reset(::MapViewOfFile(stateMapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    }
    uint8_t* Block() { return static_cast<uint8_t*>(block.get()); }
    ChannelRequestState* State() { return static_cast<ChannelRequestState*>(stateView.get()); }
    void Write(int32_t code, int32_t length, const std::string& data) {
        std::memcpy(Block(), &code, 4);
        std::memcpy(Block() + 4, &length, 4);
        std::memcpy(Block() + 8, data.data(), data.size());
    }
    int32_t Field(size_t offset) {
        int32_t v;
        std::memcpy(&v, Block() + offset, 4);
        return v;
    }
    bool Lock(HANDLE mutex) {
        DWORD w = ::WaitForSingleObject(mutex, 5000);
        return w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
    }

    UniqueHandle writeLock, commandLock, newCommand, complete, blockMapping, stateMapping;
    UniqueView block, stateView;
};

// bad-reply-server CHANNEL: answers the next tagged request with a length
// beyond the block.
int BadReplyServerRole(const std::vector<std::string>& args) {
    if (args.empty()) return 90;
    RawChannel raw(args[0]);
    if (!raw.Block() || !raw.State()) return 91;
    UniqueHandle ready = NamedEvent(args[0] + "Ready");
    using S = ChannelRequestState;
    raw.State()->serverWaiting = S::Blocked;  // a server that waits on the event
    ::SetEvent(ready.get());
    if (::WaitForSingleObject(raw.newCommand.get(), 10000) != WAIT_OBJECT_0) return 92;
    const LONG64 word = raw.State()->word;
    if (S::StateOf(word) != S::Pending) return 93;
    raw.Write(101, int32_t(TProcessesCommunication::kMaxDataLength + 1), "");
    raw.State()->word = S::Word(S::Replied, S::TagOf(word));
    ::SetEvent(raw.complete.get());
    return 0;
}
OMB_CHILD_ROLE("bad-reply-server", BadReplyServerRole);

// ---- parent side ----

// An echo server child for one test.
class EchoServer {
public:
    explicit EchoServer(const std::string& channel, const std::vector<std::string>& more = {})
        : quit_(NamedEvent(channel + "Quit")), failed_(NamedEvent(channel + "Failed")) {
        UniqueHandle ready = NamedEvent(channel + "Ready");
        std::vector<std::string> args{channel};
        args.insert(args.end(), more.begin(), more.end());
        process_ = ChildProcess::Start("echo-server", args);
        const DWORD w = process_ && ready ? ::WaitForSingleObject(ready.get(), 10000) : WAIT_FAILED;
        started_ = w == WAIT_OBJECT_0;
        if (!started_)
            std::fprintf(stderr, "echo server not ready: process %s, ready event %s, wait %lu, error %lu\n",
                         process_ ? "started" : "missing", ready ? "open" : "missing", w, ::GetLastError());
    }
    ~EchoServer() { Stop(); }
    bool Started() const { return started_; }
    DWORD Id() const { return process_.Id(); }
    bool SawFailure(DWORD milliseconds = 2000) { return WaitSignalled(failed_.get(), milliseconds); }
    void Stop() {
        ::SetEvent(quit_.get());
        process_.Wait(2000);
    }

private:
    UniqueHandle quit_, failed_;
    ChildProcess process_;
    bool started_ = false;
};

// A client child ends within 20 s and without a wrong answer.
void ExpectClean(ChildProcess& child) {
    DWORD exitCode = 1;
    ASSERT_TRUE(child.Wait(20000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

int Send(TProcessesCommunication& channel, int32_t code, const std::string& data, int32_t& replyCode,
         std::string& reply) {
    return channel.SendCommand(code, data, replyCode, reply);
}

}  // namespace

TEST(CommandChannel, WithoutServerRequestsTimeOutAndOversizedDataFailsAtOnce) {
    TProcessesCommunication channel(UniqueName("channel"));
    ASSERT_TRUE(channel.IsReady());
    int32_t code = 7;
    std::string reply = "stale";
    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(Send(channel, kEcho, "hello", code, reply), TProcessesCommunication::TimedOut);
    DWORD ms = Elapsed(start);
    EXPECT_GE(ms, 450u);
    EXPECT_LT(ms, 1500u);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(reply, "");

    channel.SetTimeout(100);
    start = ::GetTickCount64();
    EXPECT_EQ(Send(channel, kEcho, "hello", code, reply), TProcessesCommunication::TimedOut);
    ms = Elapsed(start);
    EXPECT_GE(ms, 90u);
    EXPECT_LT(ms, 450u);

    start = ::GetTickCount64();
    EXPECT_EQ(Send(channel, kEcho, Pattern(TProcessesCommunication::kMaxDataLength + 1, 1), code, reply),
              TProcessesCommunication::Failed);
    EXPECT_LT(Elapsed(start), 50u);
}

// Completion signals of earlier replies, arriving while a request waits in
// vain, up to its last moment: the request still times out, and says so.
TEST(CommandChannel, AStaleCompletionInTheLastWaitIsStillATimeOut) {
    const std::string name = UniqueName("channel");
    TProcessesCommunication channel(name);
    ASSERT_TRUE(channel.IsReady());
    UniqueHandle complete(::OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + "CommandCompleteEvent").c_str()));
    ASSERT_TRUE(complete);
    std::atomic<bool> stop{false};
    std::thread signaller([&] {
        while (!stop) {
            ::SetEvent(complete.get());
            ::Sleep(1);
        }
    });
    channel.SetTimeout(150);
    int32_t code = 0;
    std::string reply;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Send(channel, kEcho, "hello", code, reply), TProcessesCommunication::TimedOut) << i;
    stop = true;
    signaller.join();
}

TEST(CommandChannel, ServerStartingAfterTheRequestStillAnswersIt) {
    std::string name = UniqueName("channel");
    TProcessesCommunication channel(name);  // the client creates every object
    channel.SetTimeout(5000);
    EchoServer server(name, {"300"});
    ASSERT_TRUE(server.Started());
    int32_t code;
    std::string reply;
    ULONGLONG start = ::GetTickCount64();
    ASSERT_EQ(Send(channel, kEcho, "early", code, reply), TProcessesCommunication::Done);
    EXPECT_EQ(reply, "early");
    EXPECT_GE(Elapsed(start), 150u);
}

TEST(CommandChannel, EchoesEveryLengthFromZeroToTheLargest) {
    std::string name = UniqueName("channel");
    EchoServer server(name);
    ASSERT_TRUE(server.Started());
    TProcessesCommunication channel(name);
    channel.SetTimeout(3000);
    int32_t code;
    std::string reply;

    for (size_t length : {size_t(0), size_t(1), size_t(4), size_t(1000), size_t(16376)}) {
        std::string data = Pattern(length, unsigned(length));
        ASSERT_EQ(Send(channel, kEcho, data, code, reply), TProcessesCommunication::Done) << length;
        EXPECT_EQ(code, 101);
        EXPECT_EQ(reply, data) << length;
    }

    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(Send(channel, kEcho, Pattern(16377, 0), code, reply), TProcessesCommunication::Failed);
    EXPECT_LT(Elapsed(start), 50u);

    EXPECT_EQ(Send(channel, kEmptyReply, "", code, reply), TProcessesCommunication::Done);
    EXPECT_EQ(code, 103);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(Send(channel, kBigReply, "", code, reply), TProcessesCommunication::Done);
    EXPECT_EQ(code, 105);
    EXPECT_EQ(reply, Pattern(TProcessesCommunication::kMaxDataLength, 5));
}

TEST(CommandChannel, ClientsInSeveralProcessesEachGetTheirOwnAnswers) {
    std::string name = UniqueName("channel");
    EchoServer server(name);
    ASSERT_TRUE(server.Started());
    UniqueHandle go = NamedEvent(name + "Go");
    ChildProcess a = ChildProcess::Start("client", {name, "A", "150"});
    ChildProcess b = ChildProcess::Start("client", {name, "B", "150"});
    ASSERT_TRUE(a && b);
    ::SetEvent(go.get());

    // This process is a third client meanwhile.
    TProcessesCommunication channel(name);
    channel.SetTimeout(3000);
    int wrong = 0;
    for (int i = 0; i < 100; ++i) {
        std::string data = "parent " + std::to_string(i);
        int32_t code;
        std::string reply;
        if (Send(channel, kEcho, data, code, reply) != 0 || code != 101 || reply != data) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    ExpectClean(a);
    ExpectClean(b);
}

TEST(CommandChannel, TwoServersAnswerEachRequestOnceAndRight) {
    std::string name = UniqueName("channel");
    EchoServer first(name), second(name);
    ASSERT_TRUE(first.Started() && second.Started());
    UniqueHandle go = NamedEvent(name + "Go");
    ChildProcess a = ChildProcess::Start("client", {name, "A", "150"});
    ChildProcess b = ChildProcess::Start("client", {name, "B", "150"});
    ASSERT_TRUE(a && b);
    ::SetEvent(go.get());
    ExpectClean(a);
    ExpectClean(b);
}

TEST(CommandChannel, LateReplyNeverReachesTheNextRequest) {
    std::string name = UniqueName("channel");
    EchoServer server(name);
    ASSERT_TRUE(server.Started());
    TProcessesCommunication channel(name);
    int32_t code;
    std::string reply;

    // The server sleeps 300 ms over a request whose client waits 100 ms.
    channel.SetTimeout(100);
    EXPECT_EQ(Send(channel, kStall, "300", code, reply), TProcessesCommunication::TimedOut);
    // The next request is written while the server still sleeps: the late
    // reply must neither overwrite it nor be taken as its answer.
    channel.SetTimeout(3000);
    ASSERT_EQ(Send(channel, kEcho, "fresh", code, reply), TProcessesCommunication::Done);
    EXPECT_EQ(code, 101);
    EXPECT_EQ(reply, "fresh");

    // The same when the late reply comes after the next request was answered.
    channel.SetTimeout(100);
    EXPECT_EQ(Send(channel, kStall, "150", code, reply), TProcessesCommunication::TimedOut);
    channel.SetTimeout(3000);
    ::Sleep(200);
    ASSERT_EQ(Send(channel, kEcho, "after", code, reply), TProcessesCommunication::Done);
    EXPECT_EQ(reply, "after");

    // A request given up before any server took it is never carried out.
    ASSERT_EQ(Send(channel, kCount, "", code, reply), TProcessesCommunication::Done);
    const int before = std::stoi(reply);
    channel.SetTimeout(100);
    EXPECT_EQ(Send(channel, kStall, "300", code, reply), TProcessesCommunication::TimedOut);
    EXPECT_EQ(Send(channel, kEcho, "given up", code, reply), TProcessesCommunication::TimedOut);
    ::Sleep(300);  // the server is back to waiting
    channel.SetTimeout(3000);
    ASSERT_EQ(Send(channel, kCount, "", code, reply), TProcessesCommunication::Done);
    EXPECT_EQ(std::stoi(reply), before + 2);  // the stall and this request

    // A request the server leaves unanswered times out and leaves no trace.
    channel.SetTimeout(100);
    EXPECT_EQ(Send(channel, kNoReply, "", code, reply), TProcessesCommunication::TimedOut);
    channel.SetTimeout(3000);
    ASSERT_EQ(Send(channel, kEcho, "again", code, reply), TProcessesCommunication::Done);
    EXPECT_EQ(reply, "again");
}

TEST(CommandChannel, PlainClientWithoutTagsIsServed) {
    std::string name = UniqueName("channel");
    EchoServer server(name);
    ASSERT_TRUE(server.Started());
    {  // tagged exchanges first, one answered and one given up
        TProcessesCommunication channel(name);
        int32_t code;
        std::string reply;
        ASSERT_EQ(Send(channel, kEcho, "tagged", code, reply), TProcessesCommunication::Done);
        channel.SetTimeout(100);
        ASSERT_EQ(Send(channel, kNoReply, "", code, reply), TProcessesCommunication::TimedOut);
    }
    RawChannel raw(name);
    ASSERT_TRUE(raw.Block() && raw.State());
    for (int i = 0; i < 3; ++i) {
        std::string data = "plain client " + std::to_string(i);
        ASSERT_TRUE(raw.Lock(raw.commandLock.get()));
        ASSERT_TRUE(raw.Lock(raw.writeLock.get()));
        raw.Write(kEcho, int32_t(data.size()), data);
        ::ReleaseMutex(raw.writeLock.get());
        ::ResetEvent(raw.complete.get());
        ::SetEvent(raw.newCommand.get());
        ASSERT_EQ(::WaitForSingleObject(raw.complete.get(), 3000), WAIT_OBJECT_0);
        ASSERT_TRUE(raw.Lock(raw.writeLock.get()));
        EXPECT_EQ(raw.Field(0), 101);
        ASSERT_EQ(raw.Field(4), int32_t(data.size()));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(raw.Block() + 8), data.size()), data);
        ::ReleaseMutex(raw.writeLock.get());
        ::ReleaseMutex(raw.commandLock.get());
    }
}

TEST(CommandChannel, StaleSignalIsNoRequest) {
    std::string name = UniqueName("channel");
    EchoServer server(name);
    ASSERT_TRUE(server.Started());
    TProcessesCommunication channel(name);
    channel.SetTimeout(3000);
    int32_t code;
    std::string reply;
    RawChannel raw(name);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Send(channel, kEcho, "first", code, reply), TProcessesCommunication::Done);
        // A signal with no request behind it: the block left by the finished
        // exchange is not taken for a request (it would fail to parse).
        ::SetEvent(raw.newCommand.get());
        EXPECT_FALSE(server.SawFailure(200));
        ASSERT_EQ(Send(channel, kEcho, "second", code, reply), TProcessesCommunication::Done);
        EXPECT_EQ(reply, "second");
    }
}

TEST(CommandChannel, AStaleSignalNeverTakesABlockAClientIsWriting) {
    // The block has just been claimed by a tagging client that has not yet
    // published its request; the last exchange was a plain one (no client id)
    // and left its reply in the block. A stale signal must not make the
    // server take that as a request.
    std::string name = UniqueName("channel");
    TProcessesCommunication server(name);
    server.SetTimeout(100);
    RawChannel raw(name);
    ASSERT_TRUE(raw.Block() && raw.State());
    using S = ChannelRequestState;
    raw.Write(101, 3, "old");
    raw.State()->client = 0;
    raw.State()->word = S::Word(S::ClientBusy, 77);
    ::SetEvent(raw.newCommand.get());
    int32_t code = 0;
    std::string data;
    EXPECT_EQ(server.WaitForCommand(code, data), TProcessesCommunication::TimedOut);
    EXPECT_EQ(raw.State()->word, S::Word(S::ClientBusy, 77)) << "the writing client keeps the block";

    // A client that died while writing leaves the block to a plain request.
    ChildProcess gone = ChildProcess::Start("hold-lock", {name, "Unused", "exit"});
    DWORD goneId = gone.Id();
    ASSERT_TRUE(gone.Wait(10000));
    raw.State()->client = goneId;
    raw.Write(kEcho, 5, "plain");
    ::SetEvent(raw.newCommand.get());
    ASSERT_EQ(server.WaitForCommand(code, data), TProcessesCommunication::Done);
    EXPECT_EQ(data, "plain");
}

TEST(CommandChannel, CorruptLengthsAreRefused) {
    std::string name = UniqueName("channel");
    {  // Requests with a length outside 0..16376: the server answers 2 and goes on.
        EchoServer server(name);
        ASSERT_TRUE(server.Started());
        RawChannel raw(name);
        ASSERT_TRUE(raw.Block() && raw.State());
        for (int32_t bad : {int32_t(16377), int32_t(-1), int32_t(0x7FFFFFFF)}) {
            ASSERT_TRUE(raw.Lock(raw.writeLock.get()));
            raw.Write(kEcho, bad, "");
            ::ReleaseMutex(raw.writeLock.get());
            ::SetEvent(raw.newCommand.get());
            EXPECT_TRUE(server.SawFailure()) << bad;
            ::ResetEvent(NamedEvent(name + "Failed").get());
        }
        TProcessesCommunication channel(name);
        channel.SetTimeout(3000);
        int32_t code;
        std::string reply;
        ASSERT_EQ(Send(channel, kEcho, "still served", code, reply), TProcessesCommunication::Done);
        EXPECT_EQ(reply, "still served");
    }
    {  // A reply with a length beyond the block: the client answers 2.
        std::string other = UniqueName("channel");
        UniqueHandle ready = NamedEvent(other + "Ready");
        ChildProcess bad = ChildProcess::Start("bad-reply-server", {other});
        ASSERT_TRUE(bad && WaitSignalled(ready.get(), 10000));
        TProcessesCommunication channel(other);
        channel.SetTimeout(3000);
        int32_t code = 5;
        std::string reply = "x";
        ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(Send(channel, kEcho, "ask", code, reply), TProcessesCommunication::Failed);
        EXPECT_LT(Elapsed(start), 2000u);
        EXPECT_EQ(reply, "");
        DWORD exit = 1;
        EXPECT_TRUE(bad.Wait(5000, &exit));
        EXPECT_EQ(exit, 0u);
    }
}

TEST(CommandChannel, ObjectsThatCannotBeMappedAnswerFailed) {
    int32_t code;
    std::string data;
    {  // The block's name is taken by an object of another kind.
        std::string name = UniqueName("channel");
        UniqueHandle squatter(::CreateMutexA(nullptr, FALSE, (name + "SharedMemory").c_str()));
        TProcessesCommunication channel(name);
        EXPECT_FALSE(channel.IsReady());
        EXPECT_EQ(Send(channel, kEcho, "x", code, data), TProcessesCommunication::Failed);
        EXPECT_EQ(channel.WaitForCommand(code, data), TProcessesCommunication::Failed);
        channel.SendReply(1, "x");
    }
    {  // A block of that name exists but is smaller than the channel's.
        std::string name = UniqueName("channel");
        UniqueHandle small(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                                (name + "SharedMemory").c_str()));
        ASSERT_TRUE(small);
        TProcessesCommunication channel(name);
        EXPECT_FALSE(channel.IsReady());
        EXPECT_EQ(Send(channel, kEcho, "x", code, data), TProcessesCommunication::Failed);
        EXPECT_EQ(channel.WaitForCommand(code, data), TProcessesCommunication::Failed);
    }
}

TEST(CommandChannel, PeersThatDieOrStallHoldingALockDoNotBlockClients) {
    std::string name = UniqueName("channel");
    EchoServer server(name);
    ASSERT_TRUE(server.Started());
    TProcessesCommunication channel(name);
    int32_t code;
    std::string reply;
    UniqueHandle held = NamedEvent(name + "Held");

    for (const char* lock : {"CommandLockMutex", "WriteLockMutex"}) {
        // The previous owner ended holding the lock: it counts as acquired.
        ::ResetEvent(held.get());
        ChildProcess dead = ChildProcess::Start("hold-lock", {name, lock, "exit"});
        ASSERT_TRUE(dead.Wait(10000));
        ASSERT_TRUE(WaitSignalled(held.get(), 0));
        channel.SetTimeout(3000);
        ASSERT_EQ(Send(channel, kEcho, lock, code, reply), TProcessesCommunication::Done) << lock;
        EXPECT_EQ(reply, lock);
    }

    {  // A peer keeps the command lock: the client gives up after its time-out.
        ::ResetEvent(held.get());
        ChildProcess stalled = ChildProcess::Start("hold-lock", {name, "CommandLockMutex", "stay"});
        ASSERT_TRUE(WaitSignalled(held.get(), 10000));
        channel.SetTimeout(100);
        ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(Send(channel, kEcho, "blocked", code, reply), TProcessesCommunication::TimedOut);
        EXPECT_LT(Elapsed(start), 600u);
        stalled.Kill();  // abandons the lock
        channel.SetTimeout(3000);
        ASSERT_EQ(Send(channel, kEcho, "free", code, reply), TProcessesCommunication::Done);
        EXPECT_EQ(reply, "free");
    }
    {  // A party died owning the block: a client takes it over.
        using S = ChannelRequestState;
        ChildProcess gone = ChildProcess::Start("hold-lock", {name, "unused", "exit"});
        const DWORD deadId = gone.Id();
        ASSERT_TRUE(gone.Wait(10000));
        RawChannel raw(name);
        channel.SetTimeout(1000);
        raw.State()->server = deadId;
        raw.State()->word = S::Word(S::ServerBusy, 0xFFFFFF00u);
        ASSERT_EQ(Send(channel, kEcho, "server died", code, reply), TProcessesCommunication::Done);
        EXPECT_EQ(reply, "server died");
        raw.State()->client = deadId;
        raw.State()->word = S::Word(S::ClientBusy, 0xFFFFFF01u);
        ASSERT_EQ(Send(channel, kEcho, "client died", code, reply), TProcessesCommunication::Done);
        EXPECT_EQ(reply, "client died");

        // A live owner that does not let go: the client gives up in time,
        // unless the server (time-out 50 ms) has taken the block back first.
        raw.State()->server = ::GetCurrentProcessId();
        raw.State()->word = S::Word(S::ServerBusy, 0xFFFFFF02u);
        channel.SetTimeout(100);
        ULONGLONG start = ::GetTickCount64();
        const int busy = Send(channel, kEcho, "busy", code, reply);
        EXPECT_TRUE(busy == TProcessesCommunication::TimedOut || (busy == TProcessesCommunication::Done && reply == "busy"))
            << busy;
        EXPECT_LT(Elapsed(start), 600u);
        raw.State()->word = S::Word(S::Idle, 0);
    }
    {  // A peer keeps the write lock: requests of this class do not need it.
        ::ResetEvent(held.get());
        ChildProcess stalled = ChildProcess::Start("hold-lock", {name, "WriteLockMutex", "stay"});
        ASSERT_TRUE(WaitSignalled(held.get(), 10000));
        channel.SetTimeout(100);
        ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(Send(channel, kEcho, "unhindered", code, reply), TProcessesCommunication::Done);
        EXPECT_EQ(reply, "unhindered");
        EXPECT_LT(Elapsed(start), 100u);
    }
}

TEST(CommandChannel, StrayWritesIntoTheBlocksCostAtMostTheRequestInFlight) {
    // The echo server's time-out is 50 ms: what it watches unchanged for
    // longer counts as abandoned.
    std::string name = UniqueName("channel");
    EchoServer server(name);
    ASSERT_TRUE(server.Started());
    TProcessesCommunication channel(name);
    RawChannel raw(name);
    ASSERT_TRUE(raw.Block() && raw.State());
    using S = ChannelRequestState;
    int32_t code;
    std::string reply;
    auto served = [&](const std::string& what) {
        return Send(channel, kEcho, what, code, reply) == TProcessesCommunication::Done && reply == what;
    };
    channel.SetTimeout(500);

    // "Server busy" under the name of the server itself, which waits for
    // work: answered within the time-out, and so is every later request.
    for (int i = 0; i < 3; ++i) {
        raw.State()->server = server.Id();
        raw.State()->word = S::Word(S::ServerBusy, 0xFFFF0000u + i);
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_TRUE(served("own name " + std::to_string(i)));
        EXPECT_LT(Elapsed(start), 500u);
        EXPECT_TRUE(served("and after"));
    }

    // "Server busy" under the name of another live process: at most the
    // request in flight is lost.
    raw.State()->server = ::GetCurrentProcessId();
    raw.State()->word = S::Word(S::ServerBusy, 0xFFFF0100u);
    served("in flight");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(served("later " + std::to_string(i)));

    // The Waiting words say the server need not be woken while it waits on
    // its event: the request is found all the same, soon.
    for (LONG stray : {LONG(S::Working), LONG(S::Notified), LONG(S::Polling)}) {
        for (int i = 0; i < 3; ++i) {
            ::Sleep(60);  // the server is blocked on its event by now
            raw.State()->serverWaiting = stray;
            const ULONGLONG start = ::GetTickCount64();
            EXPECT_TRUE(served("waiting word " + std::to_string(stray)));
            EXPECT_LT(Elapsed(start), 300u);
        }
    }

    // A claim that a live process holds beyond the time-out no longer keeps
    // a plain client out; a tagging client takes it over at once.
    raw.State()->client = ::GetCurrentProcessId();
    raw.State()->word = S::Word(S::ClientBusy, 0xFFFF0200u);
    ::Sleep(300);
    {
        std::string data = "plain past a held claim";
        ASSERT_TRUE(raw.Lock(raw.commandLock.get()));
        ASSERT_TRUE(raw.Lock(raw.writeLock.get()));
        raw.Write(kEcho, int32_t(data.size()), data);
        ::ReleaseMutex(raw.writeLock.get());
        ::ResetEvent(raw.complete.get());
        ::SetEvent(raw.newCommand.get());
        EXPECT_EQ(::WaitForSingleObject(raw.complete.get(), 3000), WAIT_OBJECT_0);
        ASSERT_TRUE(raw.Lock(raw.writeLock.get()));
        EXPECT_EQ(raw.Field(0), 101);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(raw.Block() + 8), data.size()), data);
        ::ReleaseMutex(raw.writeLock.get());
        ::ReleaseMutex(raw.commandLock.get());
    }
    raw.State()->client = ::GetCurrentProcessId();
    raw.State()->word = S::Word(S::ClientBusy, 0xFFFF0300u);
    EXPECT_TRUE(served("past a fresh claim"));
    EXPECT_FALSE(server.SawFailure(0));
}

TEST(CommandChannel, AReplyThatDoesNotFitIsRefusedAtOnce) {
    std::string name = UniqueName("channel");
    EchoServer server(name);
    ASSERT_TRUE(server.Started());
    TProcessesCommunication channel(name);
    channel.SetTimeout(3000);
    int32_t code = 9;
    std::string reply = "stale";
    for (int i = 0; i < 3; ++i) {
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(Send(channel, kTooLong, "", code, reply), TProcessesCommunication::Failed);
        EXPECT_LT(Elapsed(start), 1000u);
        EXPECT_EQ(reply, "");
        ASSERT_EQ(Send(channel, kEcho, "next", code, reply), TProcessesCommunication::Done);
        EXPECT_EQ(reply, "next");
    }
}
