// Helpers of the form library's window tests: bounded waits that keep the
// message queue moving, and a failure report that tests can read.
#pragma once

#include <windows.h>

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

}  // namespace omb::test
