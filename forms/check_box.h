// A check box whose state can be shown from code without firing its click
// event, so a panel can display a stored value without writing it back.
// The user's click still fires one.
#pragma once

#include "forms/controls.h"

namespace omb::forms {

class TZQMCheckBox : public TCheckBox {
public:
    explicit TZQMCheckBox(TComponent* owner) : TCheckBox(owner) {}
    const char* ClassName() const override { return "TZQMCheckBox"; }

    void SetChecked(bool value) override {
        // The suppression ends also when setting throws.
        struct Quiet {
            bool& flag;
            bool old;
            explicit Quiet(bool& f) : flag(f), old(f) { flag = true; }
            ~Quiet() { flag = old; }
        } quiet(clicksDisabled_);
        TCheckBox::SetChecked(value);
    }

protected:
    // The user's click: toggles with its click event.
    void Click() override { TCheckBox::SetChecked(!Checked()); }
};

}  // namespace omb::forms
