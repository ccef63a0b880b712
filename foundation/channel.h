// The command channel: requests and replies between processes of one desktop.
//
// One process serves (the command center's worker thread); any number of
// processes send requests (the editor and every process the hook library is
// loaded into). Every party creates the channel the same way under the same
// name, so whichever starts first creates the kernel objects and the others
// open them; a request sent while no server runs simply times out.
//
// Kernel objects, each named by the channel name followed by the suffix:
//
//   "WriteLockMutex"        mutex, free       guards the block for plain clients
//   "CommandLockMutex"      mutex, free       held by a client for its whole request
//   "NewCommandEvent"       auto-reset, off   a request has been put into the block
//   "CommandCompleteEvent"  auto-reset, on    the reply has been put into the block
//   "SharedMemory"          16384 bytes       the block (page file, zero-filled)
//   "RequestState"          32 bytes          ChannelRequestState (page file)
//
// The block, little-endian; request and reply use the same fields in turn:
//
//   offset 0  int32  the command code of a request, the answer code of a reply
//   offset 4  int32  data length in bytes, 0 to 16376
//   offset 8         the data
//
// Answers of SendCommand and WaitForCommand: 0 done, 1 timed out, 2 failed
// (objects missing, bad length, data too long).
//
// Tagged requests
// ---------------
// The block holds one message at a time and the events carry no request
// number, so a reply that comes after its client gave up could be read as the
// answer to the next request, and a stale signal as a new request. Every
// request of this class therefore carries a tag, and the parties hand the
// block to each other through one 64-bit word in "RequestState" (the state in
// the low half, the tag in the high half), changed only by compare-and-swap:
//
//   Idle        no exchange; the block holds no request of a tagging client
//   Pending     request T is in the block, for any server to take
//   InService   a server has taken T and works on it; nobody owns the block
//   Replied     T's reply is in the block
//   ClientBusy  T's client owns the block (writing its request, or reading
//               the reply and clearing the block)
//   ServerBusy  a server owns the block (copying T's request or writing T's
//               reply)
//
// Client, holding "CommandLockMutex" (waited for at most the time-out; an
// abandoned mutex counts as acquired):
//   1. Draw a tag (LastTag + 1, never 0) and claim the block: any state but
//      ServerBusy -> ClientBusy(T). Whatever exchange was left there is over:
//      its client gave up or died (it held the command lock). ServerBusy is
//      waited out for at most the time-out (unless that server died).
//   2. Write code, length, data and the own process id; publish Pending(T);
//      wake the server (see "Waking" below).
//   3. Wait for Replied(T) (polling, then "CommandCompleteEvent"), and accept
//      only that: ClientBusy(T), copy the reply, clear the block (length
//      "no message"), Idle. Any other signal is stale: wait on for the rest
//      of the time-out.
//   4. Time-out or failure: withdraw. Replied(T) is still accepted; Pending(T)
//      and InService(T) become ClientBusy(T), the block is cleared, Idle (the
//      client also takes back its own signal when no server has consumed it);
//      ServerBusy(T) is waited out first. A server that finished T late finds
//      the state changed and drops its reply: it never overwrites a later
//      request and is never read as its answer.
//
// Server, polling the state word, then on each signal of "NewCommandEvent":
//   - Pending(T): ServerBusy(T), copy the request, InService(T).
//   - Idle with a cleared block, or an exchange whose client (or busy server)
//     is still alive: a stale signal (a duplicate of one consumed before, or
//     one for another server); wait on.
//   - anything else, after a signal: a plain client, one that does not tag
//     its requests and keeps to the basic protocol (the block, both locks and
//     both events only). Under "WriteLockMutex" (at most the
//     time-out) its request is taken as it stands under a tag the server
//     draws, and later answered under the lock.
//   SendReply: InService(T) -> ServerBusy(T), write, Replied(T), wake the
//   client; when the state is no longer InService(T) the reply is dropped.
//
// Waking. Events are set only for a side that blocks. Each side first polls
// the state word for a short while (on machines with more than one processor)
// and announces it in its Waiting word: Polling, then Blocked by
// compare-and-swap just before it waits on its event. The other side, after publishing its
// state, sets the event unless it could swap Polling to Notified (then the
// poller finds the state itself; a poller that cannot swap to Blocked looks
// again). A server announces Polling before it looks at the state word, so a
// client that finds it Working needs no event either: the server will see the
// request when it next looks. A plain client always sets the event, and a
// plain client's reply is always signalled.
//
// Recovery. Whatever another process writes into either block, the server
// finds its way back without help, and a single write costs at most the
// request in flight:
//   - a ServerBusy word naming the server's own process while it waits for
//     work (none of its copies runs) is taken back at once: back to Idle,
//     block cleared; a client that finds ServerBusy for more than a moment
//     wakes the server to look;
//   - any other state but Pending left unchanged for longer than the
//     server's time-out counts as abandoned: a ServerBusy is taken back, a
//     claim or an exchange of a live client no longer keeps a plain request
//     out; a claim of a client that died never did;
//   - each side waits on its event in slices (server 100 ms, client 20 ms)
//     and reads the state word after each, so a signal lost to a stray write
//     into a Waiting word costs a delay; a request still Pending after a
//     slice is signalled again;
//   - a waiting client that finds another tag in the word knows its exchange
//     is gone and gives up at once (answer 1), letting the command lock go;
//   - a client that finds ServerBusy for its whole time-out takes the block
//     back as it gives up, so the next request finds it free;
//   - a server whose block was taken back during its copy (only after a
//     time-out) finds the state moved on and drops what it copied.
//
// A reply that does not fit into the block is refused: a tagging client gets
// a reply with length kRefused and answers 2 at once.
//
// Tagging clients and servers never wait for "WriteLockMutex" on a request:
// a client runs inside other programs' UI threads and must not hang because a
// peer stalled or died holding it. Plain clients keep using it; the server
// takes it whenever it reads or writes a plain client's message.
//
// Lengths read from the block are checked before anything is copied (a bad
// length answers 2); a channel whose objects or views are missing answers 2.
// There is meant to be one server per channel; should there be two, each
// request is still taken once and answered by its taker.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/handles.h"

namespace omb {

// The request state shared by every party of a channel.
struct ChannelRequestState {
    enum : uint32_t { Idle = 0, Pending = 1, InService = 2, Replied = 3, ClientBusy = 4, ServerBusy = 5 };
    enum Waiting : LONG { Working = 0, Polling = 1, Blocked = 2, Notified = 3 };
    volatile LONG64 word;   // state (low 32 bits) and tag (high 32 bits)
    volatile LONG lastTag;  // the last tag drawn
    volatile DWORD client;  // process id of the tagging client of the exchange; 0 for a plain one
    volatile DWORD server;  // process id of the server that took it
    // How each side waits for the other (Waiting values): a side that polls
    // the state word needs no event; a blocked side does.
    volatile LONG serverWaiting;
    volatile LONG clientWaiting;
    DWORD reserved;

    static LONG64 Word(uint32_t state, uint32_t tag) { return LONG64((uint64_t(tag) << 32) | state); }
    static uint32_t StateOf(LONG64 word) { return uint32_t(uint64_t(word) & 0xFFFFFFFFu); }
    static uint32_t TagOf(LONG64 word) { return uint32_t(uint64_t(word) >> 32); }
};

class TProcessesCommunication {
public:
    static constexpr uint32_t kBlockSize = 16384;
    static constexpr uint32_t kMaxDataLength = kBlockSize - 8;
    static constexpr DWORD kDefaultTimeout = 500;
    // Length field of a block that holds no message.
    static constexpr int32_t kNoMessage = INT32_MIN;
    // Length field of a reply that refuses the request (its reply did not fit).
    static constexpr int32_t kRefused = -1;

    enum Result : int { Done = 0, TimedOut = 1, Failed = 2 };

    // Creates or opens every object of the channel and maps the blocks.
    explicit TProcessesCommunication(const std::string& channelName);
    ~TProcessesCommunication();
    TProcessesCommunication(const TProcessesCommunication&) = delete;
    TProcessesCommunication& operator=(const TProcessesCommunication&) = delete;

    // Client: sends a request and waits for its reply.
    int SendCommand(int32_t code, const void* data, size_t length, int32_t& replyCode, std::string& reply);
    int SendCommand(int32_t code, const std::string& data, int32_t& replyCode, std::string& reply) {
        return SendCommand(code, data.data(), data.size(), replyCode, reply);
    }

    // Server: waits for the next request.
    int WaitForCommand(int32_t& code, std::string& data);
    // Server: answers the request taken last. Data longer than the block
    // allows is refused: a tagging client answers 2 at once; a plain one,
    // as the basic protocol has it, gets nothing and its wait runs out.
    void SendReply(int32_t code, const void* data, size_t length);
    void SendReply(int32_t code, const std::string& data) { SendReply(code, data.data(), data.size()); }

    // Time-out of every bounded wait, in milliseconds (500 at construction).
    void SetTimeout(DWORD milliseconds) { timeout_ = milliseconds; }
    DWORD Timeout() const { return timeout_; }

    const std::string& Name() const { return name_; }
    // Whether every object was created or opened and both blocks are mapped.
    bool IsReady() const { return block_ && state_; }

private:
    uint8_t* Block() const { return static_cast<uint8_t*>(block_.get()); }
    ChannelRequestState* State() const { return static_cast<ChannelRequestState*>(state_.get()); }
    LONG64 Load() const;
    bool Swap(LONG64 from, LONG64 to);
    void Publish(LONG64 word);
    uint32_t DrawTag();
    void WriteMessage(int32_t code, const void* data, size_t length);
    // The reply that refuses a request: a length no message has.
    void WriteRefusal();
    // Copies the message in the block; false when its length is out of range.
    bool ReadMessage(int32_t& code, std::string& data) const;
    bool Cleared() const;
    void Clear();

    // Client steps (see above).
    bool Claim(uint32_t tag, ULONGLONG deadline);
    int Accept(uint32_t tag, int32_t& replyCode, std::string& reply);
    int Withdraw(uint32_t tag, bool signalled, int otherwise, int32_t& replyCode, std::string& reply);
    // Server: looks at the state after a wake-up. Done or Failed when a
    // request was taken, TimedOut when there was nothing to take.
    int Examine(bool signalled, int32_t& code, std::string& data);
    // Server: a request of a client that does not tag, found in state `word`.
    int TakePlain(LONG64 word, int32_t& code, std::string& data);
    // Server: whether the state has been `word` for longer than the time-out
    // (and it is not Idle), as far as this server has watched it.
    bool HeldTooLong(LONG64 word);
    // Server: the block back to Idle, cleared, unless the state has moved on.
    void TakeBack(LONG64 word);
    // Polls the state word until `done` or the polling time ends.
    template <typename Until>
    bool Poll(LONGLONG microseconds, Until done) const;

    std::string name_;
    DWORD timeout_ = kDefaultTimeout;
    DWORD processId_ = 0;
    UniqueHandle writeLock_;
    UniqueHandle commandLock_;
    UniqueHandle newCommand_;
    UniqueHandle commandComplete_;
    UniqueHandle blockMapping_;
    UniqueHandle stateMapping_;
    UniqueView block_;
    UniqueView state_;
    uint32_t taken_ = 0;       // server: tag of the request waiting for its reply
    bool takenPlain_ = false;  // server: that request came from a client that does not tag
    LONG64 watchedWord_ = 0;   // server: the state word as last seen, and since when
    ULONGLONG watchedSince_ = 0;
};

}  // namespace omb
