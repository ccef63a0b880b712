#include "foundation/channel.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace omb {

namespace {

using S = ChannelRequestState;

constexpr size_t kHeaderSize = 8;

// The longest a side waits on its event before it looks at the state word
// again, so that a signal lost to a stray write into the Waiting words costs
// a delay, never the request (and the server takes back, within one of its
// time-outs, what no party is working on).
constexpr DWORD kServerSliceMs = 100;
constexpr DWORD kClientSliceMs = 20;

// Copies by servers of this process in progress, on any channel: a
// ServerBusy word naming this process while there is none was not written
// by a server at work.
std::atomic<int> g_serverCopies{0};

class ServerCopy {
public:
    ServerCopy() { ++g_serverCopies; }
    ~ServerCopy() { --g_serverCopies; }
    ServerCopy(const ServerCopy&) = delete;
    ServerCopy& operator=(const ServerCopy&) = delete;
};

enum class Acquired { Yes, TimedOut, Failed };

// Waits for a mutex; a mutex whose owner died counts as acquired.
Acquired Acquire(HANDLE mutex, DWORD milliseconds) {
    if (!mutex) return Acquired::Failed;
    switch (::WaitForSingleObject(mutex, milliseconds)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:
            return Acquired::Yes;
        case WAIT_TIMEOUT:
            return Acquired::TimedOut;
        default:
            return Acquired::Failed;
    }
}

int ResultOf(Acquired a) {
    return a == Acquired::TimedOut ? TProcessesCommunication::TimedOut : TProcessesCommunication::Failed;
}

// Milliseconds left until `deadline` (GetTickCount64 time).
DWORD Remaining(ULONGLONG deadline) {
    ULONGLONG now = ::GetTickCount64();
    return now >= deadline ? 0 : DWORD(deadline - now);
}

// Lets the owner of a busy block go on: the block is held for one copy of
// at most 16 KB, so a few yields normally do.
void Backoff(unsigned& round) {
    ::Sleep(++round < 20 ? 0 : 1);
}

// Polling the other side pays only where both sides run at once.
bool PollingPays() {
    static const bool pays = [] {
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        return info.dwNumberOfProcessors > 1;
    }();
    return pays;
}

// How long a side polls the state word before it blocks on its event. A
// client waits for one reply; a server that has just answered expects the
// next client soon after it has been handed the command lock.
constexpr LONGLONG kClientPollMicroseconds = 200;
constexpr LONGLONG kServerPollMicroseconds = 500;

LONGLONG Ticks(LONGLONG microseconds) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return frequency * microseconds / 1000000;
}

LONG SwapWaiting(volatile LONG& waiting, LONG from, LONG to) {
    return ::InterlockedCompareExchange(&waiting, to, from);
}

// Whether a process of that id runs (one that cannot be opened for lack of
// rights counts as running).
bool ProcessAlive(DWORD id) {
    if (id == 0) return false;
    if (id == ::GetCurrentProcessId()) return true;
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;
    return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

HANDLE CreateMutexNamed(const std::string& name) {
    return ::CreateMutexA(nullptr, FALSE, name.c_str());
}

HANDLE CreateEventNamed(const std::string& name, bool signalled) {
    return ::CreateEventA(nullptr, FALSE, signalled ? TRUE : FALSE, name.c_str());
}

HANDLE CreateBlock(const std::string& name, DWORD size) {
    return ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
}

void* MapBlock(HANDLE mapping, size_t size) {
    return mapping ? ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size) : nullptr;
}

}  // namespace

TProcessesCommunication::TProcessesCommunication(const std::string& channelName)
    : name_(channelName), processId_(::GetCurrentProcessId()) {
    // Creating and opening named objects is atomic by itself; the lock only
    // keeps the parties' order of creation. It is not waited for without
    // limit: a client may be running inside another program's UI thread.
    writeLock_.reset(CreateMutexNamed(name_ + "WriteLockMutex"));
    MutexLock lock(Acquire(writeLock_.get(), timeout_) == Acquired::Yes ? writeLock_.get() : nullptr);
    commandLock_.reset(CreateMutexNamed(name_ + "CommandLockMutex"));
    newCommand_.reset(CreateEventNamed(name_ + "NewCommandEvent", false));
    commandComplete_.reset(CreateEventNamed(name_ + "CommandCompleteEvent", true));
    blockMapping_.reset(CreateBlock(name_ + "SharedMemory", kBlockSize));
    stateMapping_.reset(CreateBlock(name_ + "RequestState", sizeof(ChannelRequestState)));
    if (writeLock_ && commandLock_ && newCommand_ && commandComplete_) {
        block_.reset(MapBlock(blockMapping_.get(), kBlockSize));
        state_.reset(MapBlock(stateMapping_.get(), sizeof(ChannelRequestState)));
    }
    if (!block_ || !state_) {
        block_.reset();
        state_.reset();
    }
}

// Only this process's views and handles go; nothing shared changes, so no
// lock is needed.
TProcessesCommunication::~TProcessesCommunication() = default;

// A plain read (an aligned 64-bit read is atomic), so that polling does not
// lock the cache line; what is read after it is ordered by the swap that
// every taker does before it reads the block.
LONG64 TProcessesCommunication::Load() const {
    return State()->word;
}

bool TProcessesCommunication::Swap(LONG64 from, LONG64 to) {
    return ::InterlockedCompareExchange64(&State()->word, to, from) == from;
}

void TProcessesCommunication::Publish(LONG64 word) {
    ::InterlockedExchange64(&State()->word, word);
}

uint32_t TProcessesCommunication::DrawTag() {
    uint32_t tag = uint32_t(::InterlockedIncrement(&State()->lastTag));
    return tag != 0 ? tag : uint32_t(::InterlockedIncrement(&State()->lastTag));
}

void TProcessesCommunication::WriteMessage(int32_t code, const void* data, size_t length) {
    int32_t len = int32_t(length);
    std::memcpy(Block(), &code, 4);
    std::memcpy(Block() + 4, &len, 4);
    if (length > 0) std::memcpy(Block() + kHeaderSize, data, length);
}

void TProcessesCommunication::WriteRefusal() {
    const int32_t header[2] = {0, kRefused};
    std::memcpy(Block(), header, sizeof(header));
}

bool TProcessesCommunication::ReadMessage(int32_t& code, std::string& data) const {
    // Each field is read once: whatever another process writes meanwhile,
    // the length that was checked is the length that is copied.
    int32_t c, len;
    std::memcpy(&c, Block(), 4);
    std::memcpy(&len, Block() + 4, 4);
    if (len < 0 || uint32_t(len) > kMaxDataLength) return false;
    code = c;
    data.assign(reinterpret_cast<const char*>(Block() + kHeaderSize), size_t(len));
    return true;
}

bool TProcessesCommunication::Cleared() const {
    int32_t len;
    std::memcpy(&len, Block() + 4, 4);
    return len == kNoMessage;
}

void TProcessesCommunication::Clear() {
    const int32_t header[2] = {0, kNoMessage};
    std::memcpy(Block(), header, sizeof(header));
}

// ---- client ----

template <typename Until>
bool TProcessesCommunication::Poll(LONGLONG microseconds, Until done) const {
    if (done()) return true;
    if (!PollingPays()) return false;
    const LONGLONG limit = Ticks(microseconds);
    LARGE_INTEGER start, now;
    ::QueryPerformanceCounter(&start);
    for (unsigned i = 1;; ++i) {
        YieldProcessor();
        if (done()) return true;
        if (i % 16 == 0) {
            ::QueryPerformanceCounter(&now);
            if (now.QuadPart - start.QuadPart > limit) return false;
        }
    }
}

int TProcessesCommunication::SendCommand(int32_t code, const void* data, size_t length, int32_t& replyCode,
                                         std::string& reply) {
    replyCode = 0;
    reply.clear();
    if (length > kMaxDataLength || (length > 0 && !data) || !IsReady()) return Failed;

    Acquired a = Acquire(commandLock_.get(), timeout_);
    if (a != Acquired::Yes) return ResultOf(a);
    MutexLock commandLock(commandLock_.get());
    const ULONGLONG deadline = ::GetTickCount64() + timeout_;

    S* st = State();
    const uint32_t tag = DrawTag();
    // The id goes in before the claim: a server that finds the block claimed
    // finds this client's id (or none), never a former client's.
    st->client = processId_;
    if (!Claim(tag, deadline)) return TimedOut;
    WriteMessage(code, data, length);
    st->client = processId_;
    ::InterlockedExchange(&st->clientWaiting, PollingPays() ? S::Polling : S::Blocked);
    if (!Swap(S::Word(S::ClientBusy, tag), S::Word(S::Pending, tag))) return Failed;

    // Wake the server only when it is blocked; a server that polls or works
    // looks at the state word before it blocks.
    bool signalled = false;
    for (LONG w = st->serverWaiting; !signalled;) {
        if (w == S::Blocked) {
            signalled = ::SetEvent(newCommand_.get()) != FALSE;
            break;
        }
        if (w != S::Polling) break;
        LONG was = SwapWaiting(st->serverWaiting, S::Polling, S::Notified);
        if (was == S::Polling) break;
        w = was;
    }

    const LONG64 replied = S::Word(S::Replied, tag);
    if (Poll(kClientPollMicroseconds, [&] { return Load() == replied; }))
        return Accept(tag, replyCode, reply);
    // Blocked from now on, unless the server has just notified this client.
    if (SwapWaiting(st->clientWaiting, S::Polling, S::Blocked) == S::Notified && Load() == replied)
        return Accept(tag, replyCode, reply);
    // Waited in slices: the state word tells the reply even when its signal
    // went astray, and a request no server has taken is signalled again.
    const LONG64 pending = S::Word(S::Pending, tag);
    bool broken = false;  // the wait itself failed, rather than ran out
    for (DWORD left; (left = Remaining(deadline)) > 0;) {
        const DWORD w = ::WaitForSingleObject(commandComplete_.get(), std::min(left, kClientSliceMs));
        if (Load() == replied) return Accept(tag, replyCode, reply);
        if (w == WAIT_OBJECT_0) continue;  // a signal for an earlier reply
        if (w != WAIT_TIMEOUT) {
            broken = true;
            break;
        }
        const LONG64 now = Load();
        // Another tag in the word: the exchange is gone (written over, or
        // taken back), and no reply can come; the command lock is let go at
        // once rather than at the end of the time-out.
        if (S::TagOf(now) != tag) return TimedOut;
        if (now == pending) signalled = ::SetEvent(newCommand_.get()) != FALSE || signalled;
    }
    return Withdraw(tag, signalled, broken ? Failed : TimedOut, replyCode, reply);
}

bool TProcessesCommunication::Claim(uint32_t tag, ULONGLONG deadline) {
    unsigned round = 0;
    LONG64 busy = 0;
    bool woken = false;
    for (;;) {
        LONG64 word = Load();
        // A server copying a message is waited for, unless it died doing so.
        // Any other exchange in the block is over: its client held the
        // command lock, which is this client's now.
        if (S::StateOf(word) == S::ServerBusy && (round < 20 || ProcessAlive(State()->server))) {
            if (word != busy) {
                busy = word;
                woken = false;
            }
            // A copy takes microseconds. A server that waits for work and
            // finds its own name in the word takes the block back: wake it.
            if (round >= 20 && !woken) woken = ::SetEvent(newCommand_.get()) != FALSE;
            if (::GetTickCount64() >= deadline) {
                // Held by a server for the whole time-out: this request is
                // lost, the next one finds the block free.
                if (Load() == busy && Swap(busy, S::Word(S::Idle, 0))) Clear();
                return false;
            }
            Backoff(round);
            continue;
        }
        if (Swap(word, S::Word(S::ClientBusy, tag))) return true;
    }
}

int TProcessesCommunication::Accept(uint32_t tag, int32_t& replyCode, std::string& reply) {
    if (!Swap(S::Word(S::Replied, tag), S::Word(S::ClientBusy, tag))) return Failed;
    int result = ReadMessage(replyCode, reply) ? Done : Failed;
    Clear();
    Publish(S::Word(S::Idle, 0));
    return result;
}

int TProcessesCommunication::Withdraw(uint32_t tag, bool signalled, int otherwise, int32_t& replyCode,
                                      std::string& reply) {
    const ULONGLONG deadline = ::GetTickCount64() + timeout_;
    unsigned round = 0;
    for (;;) {
        LONG64 word = Load();
        if (S::TagOf(word) != tag) return otherwise;
        switch (S::StateOf(word)) {
            case S::Replied:
                // The reply came just as the wait ended: it is this request's.
                return Accept(tag, replyCode, reply);
            case S::Pending:
            case S::InService:
                if (!Swap(word, S::Word(S::ClientBusy, tag))) continue;
                // Take back the own signal if no server has consumed it; a
                // server that has will find the block cleared.
                if (signalled && S::StateOf(word) == S::Pending) ::WaitForSingleObject(newCommand_.get(), 0);
                Clear();
                Publish(S::Word(S::Idle, 0));
                return otherwise;
            case S::ServerBusy:
                // A server is copying the request or writing the reply.
                if (::GetTickCount64() >= deadline) return otherwise;
                Backoff(round);
                continue;
            default:
                return otherwise;
        }
    }
}

// ---- server ----

int TProcessesCommunication::WaitForCommand(int32_t& code, std::string& data) {
    code = 0;
    data.clear();
    taken_ = 0;  // a request left unanswered stays so
    if (!IsReady()) return Failed;
    S* st = State();
    const ULONGLONG deadline = ::GetTickCount64() + timeout_;
    int result = TimedOut;
    for (bool first = true; result == TimedOut && (first || Remaining(deadline) > 0); first = false) {
        // Polling first (only right after a request: the next client comes
        // soon): a client that publishes its request from now on either
        // finds it announced, or is seen by the polling.
        ::InterlockedExchange(&st->serverWaiting, S::Polling);
        if (Poll(first ? kServerPollMicroseconds : 0, [&] { return S::StateOf(Load()) == S::Pending; })) {
            result = Examine(false, code, data);
            continue;
        }
        if (SwapWaiting(st->serverWaiting, S::Polling, S::Blocked) != S::Polling) {
            result = Examine(false, code, data);  // a client has just notified
            continue;
        }
        DWORD w = ::WaitForSingleObject(newCommand_.get(), std::min(Remaining(deadline), kServerSliceMs));
        // Without a signal the state word is looked at all the same: a
        // request whose signal went astray, or a state to take back.
        if (w == WAIT_TIMEOUT)
            result = Examine(false, code, data);
        else
            result = w == WAIT_OBJECT_0 ? Examine(true, code, data) : Failed;
    }
    // Clients need not signal until the next call: it polls first.
    ::InterlockedExchange(&st->serverWaiting, S::Working);
    return result;
}

bool TProcessesCommunication::HeldTooLong(LONG64 word) {
    const ULONGLONG now = ::GetTickCount64();
    if (word != watchedWord_) {
        watchedWord_ = word;
        watchedSince_ = now;
        return false;
    }
    return S::StateOf(word) != S::Idle && now - watchedSince_ > timeout_;
}

void TProcessesCommunication::TakeBack(LONG64 word) {
    // Under the write lock when it can be had: a plain client may be
    // writing its request into the block.
    const bool locked = Acquire(writeLock_.get(), std::min(timeout_, kServerSliceMs)) == Acquired::Yes;
    MutexLock writeLock(locked ? writeLock_.get() : nullptr);
    if (Swap(word, S::Word(S::Idle, 0))) Clear();
}

int TProcessesCommunication::Examine(bool signalled, int32_t& code, std::string& data) {
    S* st = State();
    for (;;) {
        LONG64 word = Load();
        const uint32_t tag = S::TagOf(word);
        // Any state but a request for the taking, left as it is for longer
        // than the time-out, is one no party works on any more.
        const bool held = HeldTooLong(word);
        bool stale = false;
        switch (S::StateOf(word)) {
            case S::Pending: {
                ServerCopy copy;
                // The owner's id goes in before it owns the block, so a
                // waiting client never finds a dead id for a live owner.
                st->server = processId_;
                if (!Swap(word, S::Word(S::ServerBusy, tag))) continue;
                const bool read = ReadMessage(code, data);
                const bool kept = Swap(S::Word(S::ServerBusy, tag), S::Word(S::InService, tag));
                if (kept && read) {
                    taken_ = tag;
                    takenPlain_ = false;
                    return Done;
                }
                code = 0;
                data.clear();
                // A bad request: nothing to answer, the client's wait runs
                // out. A block taken back during the copy (it lasted beyond
                // the time-out): nothing was taken.
                return kept ? Failed : TimedOut;
            }
            case S::Idle:
                stale = Cleared();
                break;
            case S::InService:
            case S::Replied:
                stale = !held && ProcessAlive(st->client);
                break;
            case S::ClientBusy:
                // A client is writing its request; only one that died doing
                // so, or that has held the block beyond the time-out, leaves
                // it to a plain request. No id yet means the claim has just
                // been made.
                stale = !held && (st->client == 0 || ProcessAlive(st->client));
                break;
            case S::ServerBusy:
                // This server waits for work, so the word is not its own,
                // whatever it says; nor is one held beyond the time-out.
                if ((st->server == processId_ && g_serverCopies.load() == 0) || held) {
                    TakeBack(word);
                    return TimedOut;
                }
                stale = ProcessAlive(st->server);
                break;
            default:
                break;
        }
        // Without a signal only tagged requests are looked for; a plain
        // client always signals.
        if (!signalled || stale) return TimedOut;
        return TakePlain(word, code, data);
    }
}

int TProcessesCommunication::TakePlain(LONG64 word, int32_t& code, std::string& data) {
    // The plain protocol reads and writes the block under the write lock.
    Acquired a = Acquire(writeLock_.get(), timeout_);
    if (a != Acquired::Yes) return ResultOf(a);
    MutexLock writeLock(writeLock_.get());
    const uint32_t tag = DrawTag();
    State()->server = processId_;
    ServerCopy copy;
    if (!Swap(word, S::Word(S::ServerBusy, tag))) return TimedOut;  // a tagging client came first
    State()->client = 0;
    bool ok = ReadMessage(code, data);
    if (!Swap(S::Word(S::ServerBusy, tag), S::Word(S::InService, tag))) ok = false;
    if (!ok) {
        code = 0;
        data.clear();
        return Failed;
    }
    taken_ = tag;
    takenPlain_ = true;
    return Done;
}

void TProcessesCommunication::SendReply(int32_t code, const void* data, size_t length) {
    if ((length > 0 && !data) || !IsReady() || taken_ == 0) return;
    const bool fits = length <= kMaxDataLength;
    const uint32_t tag = taken_;
    taken_ = 0;
    // A plain client reads its reply under the write lock; a reply too long
    // for it is not sent (the basic protocol has no refusal).
    const bool plain = takenPlain_;
    if (plain && !fits) return;
    if (plain && Acquire(writeLock_.get(), timeout_) != Acquired::Yes) return;
    MutexLock writeLock(plain ? writeLock_.get() : nullptr);
    S* st = State();
    ServerCopy copy;
    // The client gave up, or a later request is in the block: drop the reply.
    st->server = processId_;
    if (!Swap(S::Word(S::InService, tag), S::Word(S::ServerBusy, tag))) return;
    if (fits)
        WriteMessage(code, data, length);
    else
        WriteRefusal();  // the client answers 2 at once
    if (!Swap(S::Word(S::ServerBusy, tag), S::Word(S::Replied, tag))) return;  // taken back meanwhile
    writeLock.Unlock();
    // A polling client sees the reply itself; a blocked or plain one is woken.
    if (plain || SwapWaiting(st->clientWaiting, S::Polling, S::Notified) != S::Polling)
        ::SetEvent(commandComplete_.get());
}

}  // namespace omb
