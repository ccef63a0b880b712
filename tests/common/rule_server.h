// A stand-in for the command center's rule service, for tests and
// benchmarks: a thread that serves the command channel and answers command 1
// (the 4-byte handle of a window) by a function of the window and its class.
// It records every request it takes.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace omb::test {

struct RuleAnswer {
    bool reply = true;  // false: take the request and never answer it
    int32_t code = 1;
    std::string text;
};

class RuleServer {
public:
    using Answerer = std::function<RuleAnswer(HWND window, const std::string& className)>;

    // Serves `channel` (the system's channel by default) until destroyed.
    explicit RuleServer(Answerer answer, const std::string& channel = std::string());
    ~RuleServer();
    RuleServer(const RuleServer&) = delete;
    RuleServer& operator=(const RuleServer&) = delete;

    void SetAnswerer(Answerer answer);

    // Requests taken so far: in all, for one window, for one class name.
    int Requests() const;
    int Requests(HWND window) const;
    int Requests(const std::string& className) const;
    // Requests whose data was not 4 bytes.
    int Malformed() const { return malformed_.load(); }
    // Whether the channel could be served (its objects exist).
    bool Ready() const { return ready_.load(); }

private:
    void Run(std::string channel);

    mutable std::mutex mutex_;
    Answerer answer_;
    std::map<HWND, int> byWindow_;
    std::map<std::string, int> byClass_;
    int total_ = 0;
    std::atomic<int> malformed_{0};
    std::atomic<bool> ready_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Answers every window of one class with a text and all others with an
// empty text.
RuleServer::Answerer AnswerClass(const std::string& className, const std::string& text);

// Pumps this thread's messages until `done` answers true or the time is up;
// answers `done` at the end.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds);
void PumpFor(DWORD milliseconds);

}  // namespace omb::test
