// Helpers of the form library's window tests: bounded waits that keep the
// message queue moving, and a failure report that tests can read.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "forms/application.h"

namespace omb::test {

// Pumps messages until the condition holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 3000) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        omb::forms::Application().ProcessMessages();
        if (done()) return true;
        if (::GetTickCount() - start > timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Collects the application's error reports instead of showing boxes.
struct ErrorReports {
    std::vector<std::string> messages;
    ErrorReports() {
        omb::forms::Application().OnException = [this](const std::string& m) { messages.push_back(m); };
    }
    ~ErrorReports() { omb::forms::Application().OnException = nullptr; }
};

// Counts the exceptions raised in the process while it lives, the ones a
// window procedure or hook swallows under Wine included (on Windows they
// are crashes). Debugger messages and thread names are not counted.
struct ExceptionCounter {
    ExceptionCounter() {
        Count() = 0;
        handler_ = ::AddVectoredExceptionHandler(1, &ExceptionCounter::Seen);
    }
    ~ExceptionCounter() { ::RemoveVectoredExceptionHandler(handler_); }
    ExceptionCounter(const ExceptionCounter&) = delete;
    ExceptionCounter& operator=(const ExceptionCounter&) = delete;
    int Raised() const { return Count(); }

private:
    static std::atomic<int>& Count() {
        static std::atomic<int> count{0};
        return count;
    }
    static LONG CALLBACK Seen(EXCEPTION_POINTERS* info) {
        const DWORD code = info->ExceptionRecord->ExceptionCode;
        if ((code & 0xFFFF0000u) == 0x40010000u || code == 0x406D1388u) return EXCEPTION_CONTINUE_SEARCH;
        ++Count();
        std::fprintf(stderr, "exception %08lx at %p\n", static_cast<unsigned long>(code),
                     info->ExceptionRecord->ExceptionAddress);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    PVOID handler_ = nullptr;
};

}  // namespace omb::test
