// The action that asks before its window closes: a close through the system
// command SC_CLOSE (the title bar's close button, say) goes on only after the
// answer Yes in a message box owned by the window.
#pragma once

#include "extender/actions.h"

namespace omb::ea {

constexpr const char* kDefaultCloseQuestion = "Are you sure you want to close window?";
// MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2
constexpr UINT kCloseQuestionStyle = 0x144;

// Registered as "CLOSEQUERYACTION". Operation CLOSEQUERY.
class TCloseQueryAction : public TMessageHandlerAction {
public:
    // Question := the default question.
    void Init() override;
    // CLOSE_QUERY_MESSAGE replaces the question.
    void ParseParam(const std::string& key, const std::string& value) override;
    // CLOSEQUERY: asks and reports the answer; closes nothing.
    bool ApplyOperation(const std::string& name) override;
    // WM_SYSCOMMAND with wParam exactly SC_CLOSE: asks; the answer No keeps
    // the message from the window (result 0).
    bool BeforeMessage(TMessage& message) override;

    // Shows the question (the window's caption as title); true for Yes.
    bool AskClose();
    const std::string& Question() const { return question_; }

protected:
    void CreateOperations() override;

private:
    std::string question_;
};

}  // namespace omb::ea
