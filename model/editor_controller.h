// The editor's controller: what the configuration root does while the
// editor's user interface is open. It builds the tree and the bars in the
// main window, routes every command from the selected node up to the root,
// carries out the editor's commands and asks before the window closes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/editor_ui.h"

namespace omb {

class TTarvelWindows;

class TEditorController : public IEditorEvents {
public:
    explicit TEditorController(TTarvelWindows& root);
    ~TEditorController();
    TEditorController(const TEditorController&) = delete;
    TEditorController& operator=(const TEditorController&) = delete;

    // Builds the window, the tree and the bars; false when no editor
    // registered its window.
    bool Open();
    void Run();
    void Close();

    IEditorWindow* Window() const { return window_.get(); }
    ITreeNode* RootNode() const { return rootNode_; }

    // The root's side of command routing: whether the root deals with the
    // command (true: handled).
    bool UpdateCommand(TCommandAction& action);
    bool ExecuteCommand(TCommandAction& action);

    // The commands.
    void AddWindowRule();
    void DeleteSelectedRule();
    // Saves; a failure is shown and leaves the configuration modified. A
    // save that would leave out what the file holds asks first (once).
    bool SaveWithReport();

    // IEditorEvents
    bool CloseQuery() override;
    bool ShortCut(const TKeyMessage& key) override;
    void SelectionChanged(ITreeNode* node) override;
    void NodeDeleting(ITreeNode* node) override;
    void NodeExpanding(ITreeNode* node) override;
    void TreeMouseUp(ITreeNode* node, int button, int shift, int x, int y) override;
    void UpdateCommands() override;

    // The first free number N of "Window Rule N", counting from 1.
    static int FirstFreeRuleNumber(IBOMObject* root);
    // The delete question for a rule.
    static std::string DeleteQuestion(const std::string& ruleName);

private:
    // Where command routing starts: the selected node, else the first.
    ITreeNode* WalkStart();
    ITreeNode* Selected();
    void BuildBars();
    void HookCommands(IBOMObject* commands);
    // Shows the next element by handing it the panel shown now, in place;
    // false when that panel cannot show it.
    bool ShowInPlace(const Ref<IUIElement>& next);
    std::vector<Ref<IBOMUICommand>> Commands(const std::string& path);
    std::string Title() const;
    // Whether the save may go on: nothing would be left out, or the user
    // said Yes to the list of what would (now or before). No leaves the
    // file as it is and the configuration modified.
    bool AgreesToLoseUnkept();

    TTarvelWindows& root_;
    std::unique_ptr<IEditorWindow> window_;
    ITreeNode* rootNode_ = nullptr;
    // The element whose panel the detail area shows.
    Ref<IUIElement> shown_;
    std::vector<TCommandAction*> actions_;
    // Set while UpdateCommands runs: the selection it found.
    struct TUpdatePass {
        ITreeNode* selected = nullptr;
        ITreeNode* start = nullptr;
    };
    TUpdatePass* updatePass_ = nullptr;
    bool unkeptAgreed_ = false;
};

}  // namespace omb
