#include "bom/ui_commands.h"

#include "foundation/languages.h"
#include "foundation/strings.h"

namespace omb {

// ---------------------------------------------------------------------------
// Short-cuts

namespace {
struct NamedKey {
    const char* name;
    uint16_t key;
};
// Key names of the short-cut notation, with their virtual-key codes.
const NamedKey kNamedKeys[] = {
    {"BKSP", 0x08}, {"TAB", 0x09}, {"ENTER", 0x0D}, {"ESC", 0x1B}, {"SPACE", 0x20}, {"PGUP", 0x21},
    {"PGDN", 0x22}, {"END", 0x23}, {"HOME", 0x24},  {"LEFT", 0x25}, {"UP", 0x26},   {"RIGHT", 0x27},
    {"DOWN", 0x28}, {"INS", 0x2D}, {"DEL", 0x2E},
};

uint16_t KeyOfName(const std::string& name) {
    if (name.size() == 1) {
        char c = name[0];
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return uint16_t(c);
        return 0;
    }
    for (const NamedKey& k : kNamedKeys)
        if (name == k.name) return k.key;
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F') {
        int n = StrToIntDef(name.substr(1), 0);
        if (n >= 1 && n <= 24) return uint16_t(0x70 + n - 1);
    }
    return 0;
}
}  // namespace

TShortCut TextToShortCut(const std::string& text) {
    std::string rest = UpperCaseAZ(Trim(text));
    TShortCut modifiers = 0;
    for (;;) {
        if (rest.compare(0, 6, "SHIFT+") == 0) {
            modifiers |= scShift;
            rest.erase(0, 6);
        } else if (rest.compare(0, 5, "CTRL+") == 0) {
            modifiers |= scCtrl;
            rest.erase(0, 5);
        } else if (rest.compare(0, 4, "ALT+") == 0) {
            modifiers |= scAlt;
            rest.erase(0, 4);
        } else {
            break;
        }
    }
    uint16_t key = KeyOfName(rest);
    return key ? TShortCut(key | modifiers) : 0;
}

TShortCut ShortCutOf(const TKeyMessage& key) {
    TShortCut s = TShortCut(key.key & 0xFF);
    if (key.shift) s |= scShift;
    if (key.ctrl) s |= scCtrl;
    if (key.alt) s |= scAlt;
    return s;
}

bool TCommandAction::Execute() {
    if (OnUpdate) OnUpdate(*this);
    if (!enabled_ || !OnExecute) return false;
    OnExecute(*this);
    return true;
}

// ---------------------------------------------------------------------------
// Commands

HRESULT TBOMUICommand::QueryImpl(REFIID iid, void** object) {
    if (Offer<IBOMUICommand>(this, iid, object)) return S_OK;
    return TBOM_UI_Object::QueryImpl(iid, object);
}

void TBOMUICommand::Initialize() {
    TBOM_UI_Object::Initialize();
    elementName_ = "command";
    CreateParam("caption", Variant(""));
    CreateParam("hint", Variant(""));
    CreateParam("shortcut", Variant(""));
    CreateParam("type", Variant("item"));
    CreateParam("imageindex", Variant(-1));
    CreateChild("BOMUICOMMANDS", "commands");
    action_.reset(new TCommandAction());
}

TCommandKind TBOMUICommand::Kind() {
    const std::string type = ParamText("type");
    if (type == "separator") return TCommandKind::Separator;
    if (type == "group") return TCommandKind::Group;
    return TCommandKind::Item;
}

void TBOMUICommand::UpdateView() {
    TBOM_UI_Object::UpdateView();
    action_->name = ParamText("name");
    action_->caption = ParamText("caption");
    action_->hint = ParamText("hint");
    action_->shortCut = TextToShortCut(ParamText("shortcut"));
    action_->imageIndex = StrToIntDef(ParamText("imageindex", "-1"), -1);
}

void TBOMUICommand::UpdateLanguage() {
    TBOM_UI_Object::UpdateLanguage();
    if (Ref<IBOMParam> caption = GetParam("caption"))
        caption->SetValueSilent(
            Variant(GetMLString("Command_" + name_ + "_Caption", caption->GetValue().ToText())));
    if (Ref<IBOMParam> hint = GetParam("hint"))
        hint->SetValueSilent(Variant(GetMLString("Command_" + name_ + "_Hint", hint->GetValue().ToText())));
    UpdateView();
}

std::vector<Ref<IBOMUICommand>> TBOMUICommand::SubCommands() {
    std::vector<Ref<IBOMUICommand>> result;
    Ref<IBOMCollection> commands = GetObject("commands").As<IBOMCollection>();
    if (!commands) return result;
    for (int i = 0; i < commands->Count(); ++i)
        if (Ref<IBOMUICommand> c = commands->GetItem(Variant(i)).As<IBOMUICommand>()) result.push_back(c);
    return result;
}

void TBOMUICommand::AddSubMenuItems(ICommandBarBuilder* bar, void* menuItem) {
    for (const Ref<IBOMUICommand>& sub : SubCommands()) sub->CreateMenuItem(bar, menuItem);
}

void* TBOMUICommand::CreateMenuItem(ICommandBarBuilder* bar, void* parent) {
    const TCommandKind kind = Kind();
    void* item = bar->AddMenuItem(parent, action_.get(), kind);
    if (kind == TCommandKind::Group) AddSubMenuItems(bar, item);
    return item;
}

void* TBOMUICommand::CreateToolButton(ICommandBarBuilder* bar) {
    const TCommandKind kind = Kind();
    void* button = bar->AddToolButton(action_.get(), kind);
    if (kind == TCommandKind::Group) AddSubMenuItems(bar, button);
    return button;
}

bool TBOMUICommand::HandleShortCut(const TKeyMessage& key) {
    if (action_->shortCut != 0 && ShortCutOf(key) == action_->shortCut) return action_->Execute();
    for (const Ref<IBOMUICommand>& sub : SubCommands())
        if (sub->HandleShortCut(key)) return true;
    return false;
}

void TBOMUICommands::Initialize() {
    TBOM_UI_Collection::Initialize();
    typeName_ = "BOMUICOMMANDS";
    elementName_ = "commands";
    itemElementName_ = "command";
    defaultItemType_ = "BOMUICOMMAND";
}

void RegisterCommandClasses() {
    RegisterAbstractClass<TBOMUICommand>("BOMUICOMMAND");
    RegisterAbstractClass<TBOMUICommands>("BOMUICOMMANDS");
}

// ---------------------------------------------------------------------------
// The built-in documents

const char* const kMainMenuDocument =
    "<commands>"
    "<content>"
    "<command name=\"AppFilesMenu\"><params>"
    "<param name=\"caption\">&amp;File</param><param name=\"type\">group</param>"
    "</params><commands><content>"
    "<command name=\"AppSave\"><params>"
    "<param name=\"caption\">Save</param><param name=\"shortcut\">Ctrl+S</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">0</param>"
    "</params></command>"
    "<command name=\"Separator1\"><params><param name=\"type\">separator</param></params></command>"
    "<command name=\"AppExit\"><params>"
    "<param name=\"caption\">Exit</param><param name=\"type\">item</param>"
    "</params></command>"
    "</content></commands></command>"
    "<command name=\"WindowRuleMenu\"><params>"
    "<param name=\"caption\">&amp;Rule</param><param name=\"type\">group</param>"
    "</params><commands><content>"
    "<command name=\"WindowRuleAdd\"><params>"
    "<param name=\"caption\">Add rule</param><param name=\"shortcut\">Ctrl+A</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">1</param>"
    "</params></command>"
    "<command name=\"WindowRuleDelete\"><params>"
    "<param name=\"caption\">Delete rule</param><param name=\"shortcut\">Ctrl+D</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">2</param>"
    "</params></command>"
    "</content></commands></command>"
    "<command name=\"ToolsMenu\"><params>"
    "<param name=\"caption\">&amp;Tools</param><param name=\"type\">group</param>"
    "</params><commands><content>"
    "<command name=\"RunCommandCenter\"><params>"
    "<param name=\"caption\">Launch Command Center</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">4</param>"
    "</params></command>"
    "<command name=\"StopCommandCenter\"><params>"
    "<param name=\"caption\">Stop Command Center</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">-1</param>"
    "</params></command>"
    "<command name=\"Separator1\"><params><param name=\"type\">separator</param></params></command>"
    "<command name=\"Options\"><params>"
    "<param name=\"caption\">Options...</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">-1</param>"
    "</params></command>"
    "</content></commands></command>"
    "<command name=\"HelpMenu\"><params>"
    "<param name=\"caption\">&amp;Help</param><param name=\"type\">group</param>"
    "</params><commands><content>"
    "<command name=\"HelpContent\"><params>"
    "<param name=\"caption\">Content...</param><param name=\"shortcut\">F1</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">3</param>"
    "</params></command>"
    "<command name=\"Separator1\"><params><param name=\"type\">separator</param></params></command>"
    "<command name=\"HelpAbout\"><params>"
    "<param name=\"caption\">About...</param><param name=\"type\">item</param>"
    "</params></command>"
    "</content></commands></command>"
    "</content>"
    "</commands>";

const char* const kToolBarDocument =
    "<commands>"
    "<content>"
    "<command name=\"AppSave\"><params>"
    "<param name=\"caption\">Save</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">0</param>"
    "</params></command>"
    "<command name=\"Separator1\"><params><param name=\"type\">separator</param></params></command>"
    "<command name=\"WindowRuleAdd\"><params>"
    "<param name=\"caption\">Add rule</param><param name=\"shortcut\">Ctrl+A</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">1</param>"
    "</params></command>"
    "<command name=\"WindowRuleDelete\"><params>"
    "<param name=\"caption\">Delete rule</param><param name=\"shortcut\">Ctrl+D</param>"
    "<param name=\"type\">item</param><param name=\"imageindex\">2</param>"
    "</params></command>"
    "</content>"
    "</commands>";

}  // namespace omb
