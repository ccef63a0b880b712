// The editor's main window: the rule tree on the left, the detail area on
// the right, the menu bar and tool bar at the top; and the window as the
// controller sees it (IEditorWindow).
#pragma once

#include <memory>

#include "forms/controls.h"
#include "forms/form.h"
#include "model/editor_ui.h"

namespace omb::config {

class TCBAppForm : public forms::TForm {
public:
    explicit TCBAppForm(forms::TComponent* owner);
    ~TCBAppForm() override;
    const char* ClassName() const override { return "TCBAppForm"; }

    forms::TPanel* ControlBar;
    forms::TControl* TreeView;
    forms::TPanel* DetailPanel;
};

// The main window for the controller; registered at the editor's start.
std::unique_ptr<IEditorWindow> CreateEditorWindow(IEditorEvents& events);

}  // namespace omb::config
