#include "tests/common/rule_server.h"

#include <algorithm>
#include <cstring>

#include "foundation/channel.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"

namespace omb::test {

RuleServer::RuleServer(Answerer answer, const std::string& channel) : answer_(std::move(answer)) {
    std::string name = channel.empty() ? std::string(kChannelName) : channel;
    thread_ = std::thread([this, name] { Run(name); });
    // Wait until the channel exists, so that the first request finds it.
    for (int i = 0; i < 200 && !ready_.load(); ++i) ::Sleep(5);
}

RuleServer::~RuleServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void RuleServer::SetAnswerer(Answerer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = std::move(answer);
}

int RuleServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return total_;
}

int RuleServer::Requests(HWND window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = byWindow_.find(window);
    return it == byWindow_.end() ? 0 : it->second;
}

int RuleServer::Requests(const std::string& className) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = byClass_.find(className);
    return it == byClass_.end() ? 0 : it->second;
}

void RuleServer::Run(std::string name) {
    TProcessesCommunication channel(name);
    channel.SetTimeout(20);
    ready_ = channel.IsReady();
    while (!stop_.load()) {
        int32_t code = 0;
        std::string data;
        if (channel.WaitForCommand(code, data) != TProcessesCommunication::Done) continue;
        if (code != 1) continue;
        if (data.size() != 4) {
            ++malformed_;
            channel.SendReply(-1, nullptr, 0);
            continue;
        }
        int32_t raw;
        std::memcpy(&raw, data.data(), 4);
        const HWND window = reinterpret_cast<HWND>(intptr_t(raw));
        const std::string className = GetWindowClassName(window);
        Answerer answer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++total_;
            ++byWindow_[window];
            ++byClass_[className];
            answer = answer_;
        }
        RuleAnswer a = answer ? answer(window, className) : RuleAnswer{};
        if (a.reply) channel.SendReply(a.code, a.text);
    }
}

RuleServer::Answerer AnswerClass(const std::string& className, const std::string& text) {
    return [className, text](HWND, const std::string& name) {
        RuleAnswer a;
        if (name == className) a.text = text;
        return a;
    };
}

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done && done()) return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return done ? done() : true;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min<ULONGLONG>(end - now, 5)), QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds) {
    PumpUntil(nullptr, milliseconds);
}

}  // namespace omb::test
