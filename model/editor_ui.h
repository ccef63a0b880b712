// The editor's windows as the configuration root sees them. The root drives
// the editor through its role "CongifBuilder"; the windows themselves come
// from the editor program, which registers a factory at start. Nothing here
// names a windowing library: the command center links the same model,
// registers no factory, and the role's operations do nothing there.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "bom/ui_commands.h"
#include "bom/ui_interfaces.h"

namespace omb {

class TAbstractDetailPanel;

// What the main window reports to the controller.
struct IEditorEvents {
    // Whether the window may close.
    virtual bool CloseQuery() = 0;
    // A key press; whether a command took it.
    virtual bool ShortCut(const TKeyMessage& key) = 0;
    virtual void SelectionChanged(ITreeNode* node) = 0;
    // The node is going; its payload must be released now.
    virtual void NodeDeleting(ITreeNode* node) = 0;
    virtual void NodeExpanding(ITreeNode* node) = 0;
    // A mouse button released over the tree; node: the one under (x, y).
    virtual void TreeMouseUp(ITreeNode* node, int button, int shift, int x, int y) = 0;
    // The idle pass: every command updates its state.
    virtual void UpdateCommands() = 0;

protected:
    ~IEditorEvents() = default;
};

// Answers of Ask, as the system's message boxes give them.
enum TAskAnswer { askOk = 1, askCancel = 2, askYes = 6, askNo = 7 };
enum TAskButtons { askYesNo, askYesNoCancel, askOkOnly };

// The main window with its tree, detail area, bars and dialogs.
struct IEditorWindow {
    virtual ~IEditorWindow() = default;

    virtual void SetCaption(const std::string& caption) = 0;

    // Tree. Deleting a node reports NodeDeleting for it and every node
    // below it, the lowest first.
    virtual ITreeNode* AddTopNode() = 0;
    virtual ITreeNode* SelectedNode() = 0;
    virtual ITreeNode* FirstNode() = 0;
    virtual void SelectNode(ITreeNode* node) = 0;
    // The node drawn just above (previous sibling's last shown descendant,
    // or the parent); nullptr for the first node.
    virtual ITreeNode* NodeAbove(ITreeNode* node) = 0;
    virtual void DeleteNode(ITreeNode* node) = 0;
    virtual void ExpandNode(ITreeNode* node) = 0;

    // Detail area: painting frozen and thawed around a change; every panel
    // taken out (not freed); a panel put in to fill it.
    virtual void FreezeDetail(bool freeze) = 0;
    virtual void ClearDetail() = 0;
    virtual void ShowDetail(TAbstractDetailPanel* panel) = 0;

    // Bars: each Add puts its button in front of those already there, so
    // the controller adds from the last command to the first.
    virtual ICommandBarBuilder& MenuBar() = 0;
    virtual ICommandBarBuilder& ToolBar() = 0;
    // The bars built: short-cut texts, images, states follow the actions.
    virtual void BarsBuilt() = 0;

    // Shows the window modally; returns when it has closed.
    virtual void RunModal() = 0;
    // Closes the window (the close query runs).
    virtual void Close() = 0;
    // The focused control stores what the user typed.
    virtual void CommitEdit() = 0;
    // A long step (a save) starts or ends: the wait cursor shows meanwhile.
    virtual void SetBusy(bool busy) { (void)busy; }

    // A message box owned by the window.
    virtual int Ask(const std::string& text, const std::string& title, TAskButtons buttons, bool question) = 0;
    // Opens a file through the shell, the folder as working directory.
    virtual void ShellOpen(const std::string& file, const std::string& folder) = 0;
    // The options dialog; true when it closed with OK.
    virtual bool ShowOptions() = 0;
    virtual void ShowAbout() = 0;
};

using TEditorWindowFactory = std::function<std::unique_ptr<IEditorWindow>(IEditorEvents& events)>;
// The editor registers its main window here at start (an empty factory
// takes it back).
void SetEditorWindowFactory(TEditorWindowFactory factory);
const TEditorWindowFactory& EditorWindowFactory();

// Whether the command center runs: its single-instance block belongs to
// another process.
bool CommandCenterRuns();
// A command to the command center on the channel; a time-out is ignored.
void SendCenterCommand(int32_t code);

}  // namespace omb
