// The editor's history combo box: an editable combo box whose list is a
// most-recent-first history of the values entered in it, with prefix
// completion from that history while the user types.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "forms/controls.h"

namespace omb::forms {

// Equal by the user's locale with case ignored, over the full lengths of
// both texts. The history and the completion compare exactly.
bool SameTextIgnoreCase(const std::string& a, const std::string& b);

using THCBCanAddHistory = std::function<void(TComponent* sender, std::string& text, bool& mayAdd)>;
// The context-menu key on the control: where its popup menu goes (the
// control's centre, screen coordinates).
using TContextPopupEvent = std::function<void(TComponent* sender, POINT screen)>;

class THistoryComboBox : public TComboBox {
public:
    explicit THistoryComboBox(TComponent* owner);
    const char* ClassName() const override { return "THistoryComboBox"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    // Add the text to the history when the control loses the focus.
    bool AutoHistory() const { return autoHistory_; }
    void SetAutoHistory(bool value) { autoHistory_ = value; }
    // Complete typed text from the history: the rest of the first item that
    // starts with exactly the typed text, shown selected after it.
    bool AutoCompletion() const { return autoCompletion_; }
    void SetAutoCompletion(bool value) { autoCompletion_ = value; }
    // The largest number of history items; 0 or less: unlimited. A smaller
    // capacity drops the oldest items at once.
    int Capacity() const { return capacity_; }
    void SetCapacity(int value);

    // Puts the current text at the top of the history (when CanAddHistory
    // lets it and it is not empty); the oldest items beyond the capacity go.
    virtual void AddToHistory();
    // Asks OnCanAddHistory, which may change the text or refuse it.
    virtual bool CanAddHistory(std::string& text);

    // Text set from code never completes.
    void SetText(const std::string& text) override;

    THCBCanAddHistory OnCanAddHistory;
    // The control's popup menu, opened by the context-menu key.
    TContextPopupEvent OnContextPopup;

protected:
    bool HandleCommand(WORD code) override;
    bool EditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DoExit() override;

private:
    void Complete();
    void TrimToCapacity();
    void PopupAtCentre();

    bool autoHistory_ = false, autoCompletion_ = false;
    int capacity_ = 0;
    // Length (UTF-16 units) of the text the user had typed at the last change.
    size_t lastTypedLength_ = 0;
    // Set while the text changes from code, not from the user.
    unsigned settingText_ = 0;
    // The user's last edit removed text (Backspace, Delete, cut).
    bool deleting_ = false;
    // An input method is composing text in the edit field.
    bool composing_ = false;
    // The text and selection when the list opened, and whether the user
    // has chosen an item from it since.
    std::string droppedText_;
    int droppedStart_ = 0, droppedLength_ = 0;
    bool picked_ = false;
    // The context-menu key has shown the control's menu.
    bool appsKeyPopup_ = false;
};

}  // namespace omb::forms
