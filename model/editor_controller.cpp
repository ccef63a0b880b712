#include "model/editor_controller.h"

#include <algorithm>

#include "bom/detail_panels.h"
#include "bom/routines.h"
#include "foundation/channel.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "foundation/single_instance.h"
#include "foundation/strings.h"
#include "model/root.h"

namespace omb {

namespace {
TEditorWindowFactory& Factory() {
    static TEditorWindowFactory factory;
    return factory;
}

int Level(ITreeNode* node) {
    int level = -1;
    for (; node; node = node->Parent()) ++level;
    return level;
}
}  // namespace

void SetEditorWindowFactory(TEditorWindowFactory factory) { Factory() = std::move(factory); }
const TEditorWindowFactory& EditorWindowFactory() { return Factory(); }

bool CommandCenterRuns() {
    TSingleAppInstance center(kCenterInstanceName);
    return center.IsOtherInstanceRunning();
}

void SendCenterCommand(int32_t code) {
    TProcessesCommunication channel(kChannelName);
    int32_t replyCode = 0;
    std::string reply;
    channel.SendCommand(code, std::string(), replyCode, reply);
}

// ---------------------------------------------------------------------------

TEditorController::TEditorController(TTarvelWindows& root) : root_(root) {}

TEditorController::~TEditorController() { Close(); }

std::string TEditorController::Title() const { return GetMLString("AppCBTitle", "%appname%"); }

bool TEditorController::Open() {
    if (!EditorWindowFactory()) return false;
    window_ = EditorWindowFactory()(*this);
    if (!window_) return false;
    window_->SetCaption(Title());
    root_.Attach(static_cast<IUI*>(&root_));
    rootNode_ = window_->AddTopNode();
    rootNode_->SetData(std::unique_ptr<TTNStruct>(new TTNStruct{Ref<IUIElement>(static_cast<IUIElement*>(&root_))}));
    root_.SetNode(rootNode_);
    window_->ExpandNode(rootNode_);
    BuildBars();
    HookCommands(root_.GetObject("menu").get());
    HookCommands(root_.GetObject("toolbar").get());
    root_.Broadcast(1, 0, 0);
    window_->BarsBuilt();
    UpdateCommands();
    return true;
}

void TEditorController::Run() {
    if (window_) window_->RunModal();
}

void TEditorController::Close() {
    if (!window_) return;
    if (rootNode_) {
        ITreeNode* node = rootNode_;
        rootNode_ = nullptr;
        window_->DeleteNode(node);
    }
    shown_ = nullptr;
    if (root_.UI()) root_.Detach();
    FreeSpareDetailPanels();
    // The actions outlive the window; nothing may call into it any more.
    for (TCommandAction* action : actions_) {
        action->OnExecute = nullptr;
        action->OnUpdate = nullptr;
    }
    actions_.clear();
    window_.reset();
}

std::vector<Ref<IBOMUICommand>> TEditorController::Commands(const std::string& path) {
    std::vector<Ref<IBOMUICommand>> result;
    Ref<IBOMCollection> set = root_.GetObject(path).As<IBOMCollection>();
    if (!set) return result;
    for (int i = 0, n = set->Count(); i < n; ++i)
        if (Ref<IBOMUICommand> c = set->GetItem(Variant(i)).As<IBOMUICommand>()) result.push_back(c);
    return result;
}

void TEditorController::BuildBars() {
    std::vector<Ref<IBOMUICommand>> menu = Commands("menu");
    for (auto it = menu.rbegin(); it != menu.rend(); ++it) (*it)->CreateToolButton(&window_->MenuBar());
    std::vector<Ref<IBOMUICommand>> toolbar = Commands("toolbar");
    for (auto it = toolbar.rbegin(); it != toolbar.rend(); ++it) (*it)->CreateToolButton(&window_->ToolBar());
}

void TEditorController::HookCommands(IBOMObject* commands) {
    Ref<IBOMCollection> set = Ref<IBOMObject>(commands).As<IBOMCollection>();
    if (!set) return;
    for (int i = 0, n = set->Count(); i < n; ++i) {
        Ref<IBOMObject> item = set->GetItem(Variant(i));
        Ref<IBOMUICommand> command = item.As<IBOMUICommand>();
        if (!command) continue;
        TCommandAction* action = command->GetAction();
        action->OnExecute = [this](TCommandAction& a) {
            // A tool button takes no focus: what the user is typing is
            // stored before the command runs.
            if (window_) window_->CommitEdit();
            RouteExecuteAction(WalkStart(), &a);
        };
        action->OnUpdate = [this](TCommandAction& a) { RouteUpdateAction(WalkStart(), &a); };
        actions_.push_back(action);
        HookCommands(item->GetObject("commands").get());
    }
}

ITreeNode* TEditorController::WalkStart() {
    if (!window_) return nullptr;
    if (updatePass_) return updatePass_->start;
    ITreeNode* node = window_->SelectedNode();
    return node ? node : window_->FirstNode();
}

ITreeNode* TEditorController::Selected() {
    if (updatePass_) return updatePass_->selected;
    return window_ ? window_->SelectedNode() : nullptr;
}

void TEditorController::UpdateCommands() {
    if (!window_) return;
    // The selection is asked once for the whole pass: no command changes it
    // while it only updates its state.
    TUpdatePass pass;
    pass.selected = window_->SelectedNode();
    pass.start = pass.selected ? pass.selected : window_->FirstNode();
    updatePass_ = &pass;
    try {
        for (TCommandAction* action : actions_)
            if (action->OnUpdate) action->OnUpdate(*action);
    } catch (...) {
        updatePass_ = nullptr;
        throw;
    }
    updatePass_ = nullptr;
}

// ---------------------------------------------------------------------------
// The command table

bool TEditorController::UpdateCommand(TCommandAction& action) {
    const std::string& name = action.name;
    if (name == "AppFilesMenu" || name == "WindowRuleMenu" || name == "ToolsMenu" || name == "HelpMenu" ||
        name == "AppExit" || name == "WindowRuleAdd" || name == "Options" || name == "HelpContent" ||
        name == "HelpAbout") {
        action.SetEnabled(true);
    } else if (name == "AppSave") {
        action.SetEnabled(root_.Modified());
    } else if (name == "WindowRuleDelete") {
        ITreeNode* selected = Selected();
        action.SetEnabled(selected && Level(selected) == 1);
    } else if (name == "RunCommandCenter") {
        action.SetEnabled(!CommandCenterRuns());
    } else if (name == "StopCommandCenter") {
        action.SetEnabled(CommandCenterRuns());
    } else {
        return false;
    }
    return true;
}

bool TEditorController::ExecuteCommand(TCommandAction& action) {
    const std::string& name = action.name;
    if (name == "AppExit") {
        if (window_) window_->Close();
    } else if (name == "AppSave") {
        SaveWithReport();
    } else if (name == "WindowRuleAdd") {
        AddWindowRule();
    } else if (name == "WindowRuleDelete") {
        DeleteSelectedRule();
    } else if (name == "RunCommandCenter") {
        if (window_) window_->ShellOpen(AppPath + "OmbrelCenter.exe", AppPath);
    } else if (name == "StopCommandCenter") {
        SendCenterCommand(3);
    } else if (name == "Options") {
        if (window_ && window_->ShowOptions()) SendCenterCommand(4);
    } else if (name == "HelpContent") {
        if (window_) window_->ShellOpen(AppPath + "Ombrel.chm", AppPath);
    } else if (name == "HelpAbout") {
        if (window_) window_->ShowAbout();
    } else {
        return false;
    }
    return true;
}

int TEditorController::FirstFreeRuleNumber(IBOMObject* root) {
    int n = 1;
    while (root->GetObject("window_rules/Window Rule " + std::to_string(n))) ++n;
    return n;
}

std::string TEditorController::DeleteQuestion(const std::string& ruleName) {
    return GetMLString("TW_DeleteWindowRule", "Are you sure you want to remove window rule") + " \"" + ruleName +
           "\"?";
}

void TEditorController::AddWindowRule() {
    const std::string name = "Window Rule " + std::to_string(FirstFreeRuleNumber(&root_));
    Ref<IBOMObjectSlave> rule = CreateBOMObject("WINDOWRULE", name);
    Ref<IBOMCollection> rules = root_.GetObject("window_rules").As<IBOMCollection>();
    if (!rule || !rules) return;
    rule->Broadcast(1, 0, 0);
    rules->AddItem(rule.get());
    if (rootNode_ && window_) {
        if (Ref<IUIElement> element = rule->QueryRole("UIElement").As<IUIElement>())
            window_->SelectNode(AddElementNode(rootNode_, element.get()));
    }
    root_.SetModified(true);
}

void TEditorController::DeleteSelectedRule() {
    if (!rootNode_ || !window_) return;
    ITreeNode* node = window_->SelectedNode();
    if (!node || !node->Data() || !node->Data()->element) return;
    Ref<IBOMObjectSlave> rule = node->Data()->element.As<IBOMObjectSlave>();
    if (!rule || rule->GetTypeName() != "WINDOWRULE") return;
    const std::string name = rule->GetName();
    if (window_->Ask(DeleteQuestion(name), Title(), askYesNo, true) != askYes) return;
    if (ITreeNode* above = window_->NodeAbove(node)) window_->SelectNode(above);
    Ref<IUIElement> element = node->Data()->element;
    window_->DeleteNode(node);
    element->Detach();
    rule->Disconnect();
    if (Ref<IBOMCollection> rules = root_.GetObject("window_rules").As<IBOMCollection>())
        rules->DeleteItem(Variant(name));
    root_.SetModified(true);
}

bool TEditorController::SaveWithReport() {
    if (!AgreesToLoseUnkept()) return false;
    bool saved = false;
    {
        // The wait cursor for the save's length; a failure is told after it.
        struct Busy {
            IEditorWindow* window;
            explicit Busy(IEditorWindow* w) : window(w) {
                if (window) window->SetBusy(true);
            }
            ~Busy() {
                if (window) window->SetBusy(false);
            }
        } busy(window_.get());
        saved = root_.Save();
    }
    if (saved) return true;
    if (window_)
        window_->Ask(GetMLString("TW_SaveFailed", "The configuration was not saved. Check that the file can be written:") +
                         "\n" + AppPath + SettingsFileName + "\n\n" + root_.SaveError(),
                     Title(), askOkOnly, false);
    return false;
}

bool TEditorController::AgreesToLoseUnkept() {
    if (!window_ || unkeptAgreed_ || !root_.Modified()) return true;
    std::vector<std::string> unkept;
    try {
        unkept = root_.Unkept();
    } catch (...) {
        return true;  // the save meets the same failure, and says it
    }
    if (unkept.empty()) return true;
    std::string text = GetMLString("TW_SaveUnkept",
                                   "The file holds what the editor cannot write back. A save leaves out:");
    const size_t kListed = 12;
    for (size_t i = 0; i < unkept.size() && i < kListed; ++i) text += "\n- " + unkept[i];
    if (unkept.size() > kListed)
        text += "\n" + ReplaceTextAnsi(GetMLString("TW_SaveUnkeptMore", "and %count% more"), "%count%",
                                       std::to_string(unkept.size() - kListed));
    text += "\n\n" + GetMLString("TW_SaveUnkeptAsk", "Save anyway? No leaves the file as it is.");
    // Only an explicit Yes writes: the file then no longer holds them, and
    // the question is not asked again.
    if (window_->Ask(text, Title(), askYesNo, true) != askYes) return false;
    unkeptAgreed_ = true;
    return true;
}

// ---------------------------------------------------------------------------
// Events of the main window

bool TEditorController::CloseQuery() {
    if (window_) window_->CommitEdit();
    if (!root_.Modified()) return true;
    const int answer = window_ ? window_->Ask(GetMLString("TW_SaveConfig", "Save changes?"), Title(), askYesNoCancel, true)
                               : askNo;
    // Only an explicit No drops the changes: a box that could not be shown
    // answers 0, and the work stays.
    if (answer == askYes) return SaveWithReport();
    return answer == askNo;
}

bool TEditorController::ShortCut(const TKeyMessage& key) {
    // The key runs a command: what is being typed is stored before the
    // command's update decides on it (the first typed change enables Save).
    const TShortCut shortCut = ShortCutOf(key);
    if (window_ && shortCut != 0 &&
        std::any_of(actions_.begin(), actions_.end(), [&](TCommandAction* a) { return a->shortCut == shortCut; }))
        window_->CommitEdit();
    for (const std::string path : {"menu", "toolbar"}) {
        std::vector<Ref<IBOMUICommand>> commands = Commands(path);
        for (auto it = commands.rbegin(); it != commands.rend(); ++it)
            if ((*it)->HandleShortCut(key)) return true;
    }
    return false;
}

bool TEditorController::ShowInPlace(const Ref<IUIElement>& next) {
    // The panel shown goes over to the next object of its class, bound in
    // place: no window changes its parent, the area is not frozen, and only
    // the controls whose values differ repaint.
    if (!shown_ || !next || shown_ == next) return false;
    const char* const role = "DefaultDetailPanel";
    // What the user typed into the panel belongs to the object it shows.
    window_->CommitEdit();
    // Panels of the next object still open (none as a rule) go aside first.
    next->ReleasePanels();
    if (!shown_->CanPassDetailPanel(role, next.get())) return false;
    const bool modified = root_.Modified();
    shown_->PassDetailPanel(role, next.get());
    shown_ = next;
    root_.SetModified(modified);
    return true;
}

void TEditorController::SelectionChanged(ITreeNode* node) {
    if (!window_) return;
    Ref<IUIElement> selected = node && node->Data() ? node->Data()->element : Ref<IUIElement>();
    if (ShowInPlace(selected)) return;
    window_->FreezeDetail(true);
    try {
        window_->ClearDetail();
        Ref<IUIElement> next = node && node->Data() ? node->Data()->element : Ref<IUIElement>();
        // The panels shown so far go aside and the new object takes them
        // (or others of its panels' classes) instead of building windows of
        // its own. Its own panels go aside too, so that its panel is bound
        // and filled afresh, with every embedded panel in place.
        if (shown_ != next) {
            if (shown_) shown_->ReleasePanels();
            if (next) next->ReleasePanels();
        }
        shown_ = next;
        if (next) {
            const bool modified = root_.Modified();
            TAbstractDetailPanel* panel = next->GetDetailPanel("DefaultDetailPanel");
            if (panel) window_->ShowDetail(panel);
            root_.SetModified(modified);
        }
    } catch (...) {
        window_->FreezeDetail(false);
        throw;
    }
    window_->FreezeDetail(false);
}

void TEditorController::NodeDeleting(ITreeNode* node) {
    if (!node) return;
    TTNStruct* data = node->Data();
    if (!data) return;
    if (data->element) data->element->ClearNode();
    node->SetData(nullptr);
}

void TEditorController::NodeExpanding(ITreeNode* node) {
    if (node && node->Data() && node->Data()->element) node->Data()->element->ExpandNode(node);
}

void TEditorController::TreeMouseUp(ITreeNode* node, int button, int shift, int x, int y) {
    if (node && node->Data() && node->Data()->element) node->Data()->element->MouseUp(node, button, shift, x, y);
}

}  // namespace omb
