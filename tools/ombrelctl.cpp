// A small command-line companion of the command center, used by the run
// script: it finds windows, reports their state and talks to the command
// center over the command channel.
//
//   ombrelctl wait <class> <seconds>  wait for a top-level window of the class
//   ombrelctl state <class>           on top, minimized or maximized?
//   ombrelctl rule <class>            the rule text the command center answers
//   ombrelctl stop | reload           commands 3 and 2
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/channel.h"
#include "foundation/shared.h"

using namespace omb;

namespace {
int Usage() {
    std::fprintf(stderr,
                 "usage: ombrelctl wait <class> <seconds> | state <class> | rule <class> | stop | reload\n");
    return 2;
}

int Command(int32_t code, const std::string& data, std::string* text) {
    TProcessesCommunication channel(kChannelName);
    channel.SetTimeout(2000);
    int32_t replyCode = 0;
    std::string reply;
    const int result = channel.SendCommand(code, data, replyCode, reply);
    if (result != 0) {
        std::printf("no answer from the command center\n");
        return 1;
    }
    if (text) *text = reply;
    return replyCode == 1 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string verb = argv[1];
    if (verb == "stop") return Command(3, std::string(), nullptr);
    if (verb == "reload") return Command(2, std::string(), nullptr);
    if (argc < 3) return Usage();
    const char* className = argv[2];
    if (verb == "wait") {
        const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;
        for (int i = 0; i < seconds * 10; ++i) {
            if (HWND w = FindWindowA(className, nullptr)) {
                std::printf("%p\n", static_cast<void*>(w));
                return 0;
            }
            Sleep(100);
        }
        return 1;
    }
    HWND window = FindWindowA(className, nullptr);
    if (!window) {
        std::printf("no window of class \"%s\"\n", className);
        return 1;
    }
    if (verb == "state") {
        const LONG_PTR ex = GetWindowLongPtrA(window, GWL_EXSTYLE);
        std::printf("%s%s%s\n", (ex & WS_EX_TOPMOST) ? "on top" : "not on top",
                    IsIconic(window) ? ", minimized" : "", IsZoomed(window) ? ", maximized" : "");
        return 0;
    }
    if (verb == "rule") {
        const int32_t handle = static_cast<int32_t>(reinterpret_cast<INT_PTR>(window));
        std::string text;
        const int rc = Command(1, std::string(reinterpret_cast<const char*>(&handle), 4), &text);
        std::printf("%s\n", text.empty() ? "(no rule)" : text.c_str());
        return rc;
    }
    return Usage();
}
