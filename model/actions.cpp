#include "model/actions.h"

#include "foundation/languages.h"
#include "model/command_text.h"

namespace omb {

HRESULT TAction::QueryImpl(REFIID iid, void** object) {
    if (Offer<IAction>(this, iid, object)) return S_OK;
    return TEnabledItem::QueryImpl(iid, object);
}

void TAction::Initialize() {
    TEnabledItem::Initialize();
    elementName_ = "action";
    imageIndex_ = 6;
    detailPanelMap_ = "DefaultDetailPanel=ActionDetailPanel";
    CreateParam("caption", Variant(""));
    CreateParam("hint", Variant(""));
    CreateParam("save_current_operation", Variant("no"));
}

void TAction::SetKind(const char* typeName) {
    typeName_ = typeName;
    commandTypeName_ = typeName;
}

Ref<IUnknown> TAction::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = TEnabledItem::QueryRole(role)) return r;
    if (role == "Action") return Ref<IUnknown>(static_cast<IAction*>(this));
    return nullptr;
}

bool TAction::SupportsRole(const std::string& role) { return TEnabledItem::SupportsRole(role) || role == "Action"; }

std::string TAction::CommandText() {
    return commandTypeName_ + "{" + CommandPair("NAME", name_) +
           CommandPair("SAVECURRENTOPERATION", ParamText("save_current_operation", "no")) + "\\" + CommandExtra() +
           "}";
}

void TAction::UpdateLanguage() {
    std::string hintDefault = name_;
    if (Ref<IBOMParam> caption = GetParam("caption")) {
        hintDefault = GetMLString("Action_" + commandTypeName_ + "_Caption", caption->GetValue().ToText());
        caption->SetValueSilent(Variant(hintDefault));
    }
    if (Ref<IBOMParam> hint = GetParam("hint"))
        hint->SetValueSilent(Variant(GetMLString("Action_" + commandTypeName_ + "_Hint", hintDefault)));
    TEnabledItem::UpdateLanguage();  // the panels then show the new texts
}

void TAction::LoadContent(IHierStorage* node, bool readName) {
    TEnabledItem::LoadContent(node, readName);
    if (Ref<IBOMParam> caption = GetParam("caption")) caption->SetValueSilent(Variant(name_));
}

void TStayOnTopAction::Initialize() {
    TAction::Initialize();
    SetKind("STAYONTOPACTION");
}

void TCloseWindowAction::Initialize() {
    TAction::Initialize();
    SetKind("CLOSEWINDOWACTION");
}

void TRunModeAction::Initialize() {
    TAction::Initialize();
    SetKind("RUNMODEACTION");
    detailPanelMap_ = "DefaultDetailPanel=RunModeActionDetailPanel";
    CreateParam("run_mode", Variant("normal"));
}

std::string TRunModeAction::CommandExtra() { return CommandPair("RUNMODE", ParamText("run_mode", "normal")); }

void TSaveSizePosAction::Initialize() {
    TAction::Initialize();
    SetKind("SAVESIZEPOSACTION");
}

void TCloseQueryAction::Initialize() {
    TAction::Initialize();
    SetKind("CLOSEQUERYACTION");
}

std::string TCloseQueryAction::CommandExtra() {
    return CommandPair("CLOSE_QUERY_MESSAGE",
                       GetMLString("CQA_CloseQueryMessage", "Are you sure you want to close window?"));
}

void TActions::Initialize() {
    TBOM_UI_Collection::Initialize();
    typeName_ = "Actions";
    elementName_ = "actions";
    itemElementName_ = "action";
    imageIndex_ = 7;
}

std::unique_ptr<TAbstractDetailPanel> TActions::CreateDetailPanelFor(const std::string&) {
    return CreateDetailPanel("ActionsDetailPanel");
}

}  // namespace omb
