// What every panel of the editor's detail area shares: the window side of a
// model panel (the editor's frame base), the controls the panels are built
// of, embedding a child object's panel, and a guard that keeps loading from
// writing back.
#pragma once

#include <string>

#include "bom/detail_panels.h"
#include "bom/ui_objects.h"
#include "forms/controls.h"

#include "config/detail_panel.h"
#include "forms/check_box.h"
#include "forms/history_combo.h"

namespace omb::config {

using TPanelCheckBox = forms::TZQMCheckBox;

// A history combo box of a panel: Enter reaches it (the panel stores the
// value on it) instead of becoming the dialog's default command.
class TPanelComboBox : public forms::THistoryComboBox {
public:
    explicit TPanelComboBox(TComponent* owner) : forms::THistoryComboBox(owner) { wantReturn_ = true; }
    const char* ClassName() const override { return "THistoryComboBox"; }
};

// Set while a panel loads its controls from the object: the controls'
// events write nothing back then.
class TLoadingGuard {
public:
    explicit TLoadingGuard(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~TLoadingGuard() { flag_ = old_; }
    TLoadingGuard(const TLoadingGuard&) = delete;
    TLoadingGuard& operator=(const TLoadingGuard&) = delete;

private:
    bool& flag_;
    bool old_;
};

// The top row of a panel that switches its object on and off: a panel
// aligned to the top of `container` and a check box on it, both owned by
// `frame`. A click writes "yes" or "no" to the object's "enabled"
// parameter at once (not while `loading` is set, nor when the object has no
// such parameter) and the frame shows the object again.
struct TEnabledRow {
    forms::TPanel* panel;
    TPanelCheckBox* checkBox;
};
TEnabledRow BuildEnabledRow(TDetailPanelFrame* frame, forms::TControl* container, const char* panelName,
                            const forms::TBounds& panelBounds, const forms::TBounds& checkBoxBounds,
                            const bool& loading);

// The window side of a panel the model handed out (nullptr when none).
inline forms::TControl* PanelControl(TAbstractDetailPanel* panel) { return dynamic_cast<forms::TControl*>(panel); }

// Embeds the default panel of the child at `path` of `object` into
// `container`, aligned to the top below what the container already holds.
// Answers the embedded panel's window side, or nullptr when the child or
// its panel is missing.
forms::TControl* EmbedChildPanel(IBOMObject* object, const std::string& path, forms::TControl* container);
// The same for an object itself (an item of a collection).
forms::TControl* EmbedObjectPanel(IBOMObject* child, forms::TControl* container);

// A control is sent a text or hint only when it shows another: a panel
// that shows the next object in place repaints only what changed.
void SetTextIfNew(forms::TControl* control, const std::string& text);
void SetHintIfNew(forms::TControl* control, const std::string& hint);

// The value of a parameter of the object ("params/" + name); false when the
// object has no such parameter.
bool ReadParam(IBOMObject* object, const std::string& name, std::string& value);

// Group-box captions carry one blank on each side.
std::string GroupCaption(const std::string& text);
// A caption's text without the blanks around it.
std::string TrimCaption(const std::string& text);

// The vertical room a group box's frame and caption take in its font.
int GroupBoxChromeHeight(forms::TGroupBox* box);

}  // namespace omb::config
