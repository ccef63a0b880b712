#include "extender/close_query_action.h"

#include <stdexcept>

#include "extender/lifetime.h"
#include "extender/operations.h"
#include "foundation/winfuncs.h"

namespace omb::ea {

void TCloseQueryAction::Init() {
    TMessageHandlerAction::Init();
    question_ = kDefaultCloseQuestion;
}

void TCloseQueryAction::ParseParam(const std::string& key, const std::string& value) {
    TMessageHandlerAction::ParseParam(key, value);
    try {
        if (key == "CLOSE_QUERY_MESSAGE") question_ = value;
    } catch (...) {
    }
}

void TCloseQueryAction::CreateOperations() {
    Ref<IOperation> operation = AddOperation(kCloseQueryOperation);
    SetOperations(operation, operation);
}

bool TCloseQueryAction::ApplyOperation(const std::string& name) {
    try {
        return name == "CLOSEQUERY" && AskClose();
    } catch (...) {
        return false;
    }
}

bool TCloseQueryAction::BeforeMessage(TMessage& message) {
    bool handled = TMessageHandlerAction::BeforeMessage(message);
    try {
        if (message.Msg == WM_SYSCOMMAND && message.WParam == SC_CLOSE) {
            const bool ask = !AskClose();
            handled = ask;
            if (handled) message.Result = 0;
        }
    } catch (...) {
    }
    return handled;
}

bool TCloseQueryAction::AskClose() {
    Ref<IWindowHandler> handler = WindowHandler();
    if (!handler) throw std::runtime_error("no window");
    const HWND window = handler->GetWindow();
    // A message box runs a modal loop: only ever on the window's own thread
    // while the library unloads.
    if (!MayWaitForWindow() || !IsWindowThread(window)) return true;
    const std::string caption = handler->GetWindowCaption();
    // The question comes from the command center in UTF-8 and the caption
    // is read as UTF-8 (winfuncs.h): both reach the wide call converted as
    // UTF-8, whatever this program's code page.
    const int answer =
        ::MessageBoxW(window, ToWide(question_).c_str(), ToWide(caption).c_str(), kCloseQuestionStyle);
    return answer == IDYES;
}

}  // namespace omb::ea
