#include "center/control_center_thread.h"

#include <cstring>

#include "center/cc_app.h"
#include "foundation/handles.h"
#include "foundation/shared.h"

namespace omb {

TControlCenterThread::TControlCenterThread(IRuleSource* rules, TCCApp* app)
    : rules_(rules), app_(app), channel_(kChannelName) {}

TControlCenterThread::~TControlCenterThread() = default;

void TControlCenterThread::HandleRequest(const std::string& data) {
    if (data.size() != 4) {
        channel_.SendReply(-1, std::string());
        return;
    }
    int32_t handle = 0;
    std::memcpy(&handle, data.data(), 4);
    // Window handles are 32-bit values; widen them with their sign.
    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(handle));
    std::string text;
    try {
        text = rules_->FindWindowCommand(window);
    } catch (...) {
        return;  // no reply: the client's wait runs out
    }
    channel_.SendReply(1, text);
    if (!text.empty() && app_) app_->WindowEnhanced();
}

void TControlCenterThread::Execute() {
    ComInit com;  // reloading the configuration builds XML documents here
    while (!Terminated()) {
        int32_t code = 0;
        std::string data;
        const int result = channel_.WaitForCommand(code, data);
        if (result == TProcessesCommunication::TimedOut) continue;  // look at the flag again
        if (result != TProcessesCommunication::Done) {
            ::Sleep(100);  // a broken channel must not spin the processor
            continue;
        }
        try {
            switch (code) {
                case 1: HandleRequest(data); break;
                case 2:
                case 3:
                case 4:
                    channel_.SendReply(1, std::string());
                    if (!app_) break;
                    if (code == 2) app_->RequestReload();
                    if (code == 3) app_->Close();
                    if (code == 4) app_->ReloadSettings();
                    break;
                default: break;  // no answer: the client's wait runs out
            }
        } catch (...) {
            // The loop goes on whatever a command did.
        }
    }
}

}  // namespace omb
