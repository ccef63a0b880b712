#include "model/window_rules.h"

#include "bom/ui_commands.h"
#include "model/actions.h"
#include "model/command_text.h"
#include "model/root.h"
#include "model/triggers.h"
#include "model/xml_text.h"

namespace omb {

HRESULT TWindowRule::QueryImpl(REFIID iid, void** object) {
    if (Offer<IWindowRule>(this, iid, object) || Offer<IUIList>(this, iid, object)) return S_OK;
    return TEnabledItem::QueryImpl(iid, object);
}

void TWindowRule::Initialize() {
    TEnabledItem::Initialize();
    typeName_ = "WINDOWRULE";
    elementName_ = "window_rule";
    detailPanelMap_ = "DefaultDetailPanel=WindowRuleDetailPanel";
    imageIndex_ = 1;
    hasChildren_ = false;
    conditions_ = Ref<TBOMCollection>(dynamic_cast<TBOMCollection*>(CreateChild("CONDITIONS", "conditions").get()));
    CreateChild("Actions", "actions");
    CreateChild("Triggers", "triggers");
    try {
        LoadFromXMLText(static_cast<IPersistObject*>(this), kDefaultRuleTemplate);
    } catch (...) {
        // The rule keeps whatever the template filled in.
    }
}

Ref<IUnknown> TWindowRule::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = TEnabledItem::QueryRole(role)) return r;
    if (role == "WindowRule") return Ref<IUnknown>(static_cast<IWindowRule*>(this));
    return nullptr;
}

bool TWindowRule::SupportsRole(const std::string& role) {
    return TEnabledItem::SupportsRole(role) || role == "WindowRule";
}

bool TWindowRule::MatchFacts(TWindowFacts& facts) {
    if (!conditions_) return false;
    const int count = conditions_->Count();
    for (int i = 0; i < count; ++i) {
        auto* condition = dynamic_cast<TCondition*>(conditions_->GetItem(Variant(i)).get());
        // Only the first enabled condition that matches is needed.
        if (condition && condition->IsEnabled() && condition->MatchFacts(facts)) return true;
    }
    return false;
}

std::string TWindowRule::CommandText() {
    std::string text = CommandPair("WINDOWRULENAME", name_);
    auto append = [&](const char* child, const char* role, const char* key) {
        Ref<IBOMCollection> list = GetObject(child).As<IBOMCollection>();
        if (!list) return;
        const int count = list->Count();
        for (int i = 0; i < count; ++i) {
            Ref<IUnknown> part = list->GetItem(Variant(i))->QueryRole(role);
            std::string partText;
            if (Ref<IAction> action = part.As<IAction>()) {
                if (action->IsEnabled()) partText = action->CommandText();
            } else if (Ref<IActivator> trigger = part.As<IActivator>()) {
                if (trigger->IsEnabled()) partText = trigger->CommandText();
            }
            if (!partText.empty()) text += std::string("\\") + key + "=" + partText;
        }
    };
    append("actions", "Action", "ACTION");
    append("triggers", "Trigger", "TRIGGER");
    return text;
}

void TWindowRule::FillChildNodes(ITreeNode* node) {
    for (const char* child : {"conditions", "actions", "triggers"}) {
        Ref<IBOMObject> object = GetObject(child);
        if (!object) continue;
        if (Ref<IUIElement> element = object->QueryRole("UIElement").As<IUIElement>())
            AddElementNode(node, element.get());
    }
}

void TWindowRules::Initialize() {
    TBOM_UI_Collection::Initialize();
    typeName_ = "WINDOWRULES";
    elementName_ = "window_rules";
    itemElementName_ = "window_rule";
    defaultItemType_ = "WINDOWRULE";
}

void TWindowRules::RenameChild(IBOMObjectSlave* child, const std::string& newName) {
    if (HasCommandCharacters(newName)) return;
    TBOM_UI_Collection::RenameChild(child, newName);
}

void RegisterModelClasses() {
    RegisterBOMClasses();
    RegisterCommandClasses();
    RegisterAbstractClass<TWindowRule>("WINDOWRULE");
    RegisterAbstractClass<TWindowRules>("WINDOWRULES");
    RegisterAbstractClass<TCloseWindowAction>("CLOSEWINDOWACTION");
    RegisterAbstractClass<TRunModeAction>("RUNMODEACTION");
    RegisterAbstractClass<TSaveSizePosAction>("SAVESIZEPOSACTION");
    RegisterAbstractClass<TStayOnTopAction>("STAYONTOPACTION");
    RegisterAbstractClass<TCloseQueryAction>("CLOSEQUERYACTION");
    RegisterAbstractClass<TMessageAgent>("MESSAGEAGENT");
    RegisterAbstractClass<TWMCreateMessageTrigger>("WMCREATEMESSAGETRIGGER");
    RegisterAbstractClass<TWMDestroyMessageTrigger>("WMDESTROYMESSAGETRIGGER");
    RegisterAbstractClass<TCondition>("CONDITION");
    RegisterAbstractClass<TConditions>("CONDITIONS");
    RegisterAbstractClass<TCriterions>("CRITERIONS");
    RegisterAbstractClass<TWindowClassNameCriterion>("WINDOWCLASSNAMECRITERION");
    RegisterAbstractClass<TWindowCaptionCriterion>("WINDOWCaptionCriterion");
    RegisterAbstractClass<TActions>("Actions");
    RegisterAbstractClass<TAgents>("Agents");
    RegisterAbstractClass<TTriggers>("Triggers");
    RegisterAbstractClass<TTarvelWindows>("TARVILWINDOWS");
}

// clang-format off
const char* const kDefaultRuleTemplate =
    "<window_rule>"
    " <params> <param name=\"enabled\">yes</param> </params>"
    " <conditions> <content>"
    "  <condition name=\"DefaultCondition\"> <params> <param name=\"enabled\">yes</param> </params> </condition>"
    " </content> </conditions>"
    " <actions> <content>"
    "  <action name=\"CloseWindow\" type=\"CLOSEWINDOWACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    "  <action name=\"RunMode\" type=\"RUNMODEACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    "  <action name=\"SaveSizePos\" type=\"SAVESIZEPOSACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    "  <action name=\"StayOnTop\" type=\"STAYONTOPACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    "  <action name=\"CloseQuery\" type=\"CLOSEQUERYACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    " </content> </actions>"
    " <triggers> <content>"
    "  <trigger name=\"WMCreateMessageTrigger\" type=\"WMCREATEMESSAGETRIGGER\">"
    "   <params> <param name=\"enabled\">yes</param> </params>"
    "   <agents> <content>"
    "    <agent name=\"CloseWindowAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">CloseWindow</param> <param name=\"action_kind\">next</param> </params> </agent>"
    "    <agent name=\"RunModeAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">RunMode</param> <param name=\"action_kind\">next</param> </params> </agent>"
    "    <agent name=\"RestoreSizePosAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">SaveSizePos</param> <param name=\"action_kind\">concrete</param>"
    " <param name=\"operation_name\">RESTORESIZEPOS</param> </params> </agent>"
    "    <agent name=\"StayOnTopAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">StayOnTop</param> <param name=\"action_kind\">concrete</param>"
    " <param name=\"operation_name\">STAYONTOPON</param> </params> </agent>"
    "   </content> </agents>"
    "  </trigger>"
    "  <trigger name=\"WMDestroyMessageTrigger\" type=\"WMDESTROYMESSAGETRIGGER\">"
    "   <params> <param name=\"enabled\">yes</param> </params>"
    "   <agents> <content>"
    "    <agent name=\"SaveSizePosAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">SaveSizePos</param> <param name=\"action_kind\">concrete</param>"
    " <param name=\"operation_name\">SAVESIZEPOS</param> </params> </agent>"
    "   </content> </agents>"
    "  </trigger>"
    " </content> </triggers>"
    "</window_rule>";
// clang-format on

}  // namespace omb
