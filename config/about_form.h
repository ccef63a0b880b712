// The about dialog: the registered panel "AboutPanel" above a Close button.
#pragma once

#include "forms/controls.h"
#include "forms/form.h"

namespace omb::config {

class TAboutForm : public forms::TForm {
public:
    explicit TAboutForm(forms::TComponent* owner);
    const char* ClassName() const override { return "TAboutForm"; }

    forms::TPanel* CommandPanel;
    forms::TButton* CloseButton;
};

// Creates the dialog and the panel "AboutPanel", sizes the dialog after the
// panel (its width; its height plus the command panel), shows it modally,
// then takes the panel out and frees both. Answers the client size the
// dialog had (tests compare it with the panel's).
SIZE ShowAboutDialog(forms::TForm* owner);

}  // namespace omb::config
