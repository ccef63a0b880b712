// The editor's main window: the rule tree on the left, the detail area on
// the right, the menu bar and tool bar at the top; and the window as the
// controller sees it (IEditorWindow).
#pragma once

#include <functional>
#include <memory>

#include "forms/controls.h"
#include "forms/extra_controls.h"
#include "forms/form.h"
#include "forms/imagelist.h"
#include "forms/placement.h"
#include "forms/toolbar.h"
#include "forms/treeview.h"
#include "model/editor_ui.h"

namespace omb::config {

class TCBAppForm : public forms::TForm {
public:
    explicit TCBAppForm(forms::TComponent* owner);
    ~TCBAppForm() override;
    const char* ClassName() const override { return "TCBAppForm"; }

    forms::TImageList* TreeViewImages;
    forms::TImageList* TreeViewStateImages;
    forms::TImageList* ToolBarImages;
    forms::TControlBar* ControlBar;
    forms::TToolBar* MenuToolBar;
    forms::TToolBar* ToolBarToolBar;
    forms::TTreeView* TreeView;
    forms::TSplitter* Splitter;
    forms::TPanel* DetailPanel;
    forms::TFormStorage* FormStorage;

    // The controller's close query (the form storage saves after it
    // allowed the close).
    std::function<bool()> CloseQueryHandler;
};

// The main window for the controller; registered at the editor's start.
std::unique_ptr<IEditorWindow> CreateEditorWindow(IEditorEvents& events);

}  // namespace omb::config
