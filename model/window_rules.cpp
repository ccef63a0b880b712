#include "model/window_rules.h"

#include <mutex>

#include "bom/stored_tree.h"
#include "foundation/strings.h"
#include "bom/ui_commands.h"
#include "model/actions.h"
#include "model/command_text.h"
#include "model/root.h"
#include "model/triggers.h"
#include "model/xml_text.h"

namespace omb {

namespace {
// The children a rule makes, in their order: name and type.
struct RulePart {
    const char* name;
    const char* type;
};
constexpr RulePart kRuleParts[3] = {{"conditions", "CONDITIONS"}, {"actions", "Actions"}, {"triggers", "Triggers"}};

// Set while the prototype is made: that rule is made the plain way.
thread_local bool t_makingPrototype = false;
}  // namespace

// What a rule keeps of its children while they are stored.
struct TRuleBody {
    TStoredRef parts[3];  // as kRuleParts
    TCompiledConditions matcher;
    TStoredRef bodyText;  // BodyText() as the text of a node, shared like any
};

// A rule made from the template the plain way once, stored: every new rule
// starts from it instead of reading the template again.
struct TRulePrototype {
    TStoredRef params;
    TRuleBody body;

    // Made on first use; nothing when the template cannot be read here (the
    // rules are then made the plain way, and it is tried again next time).
    static const TRulePrototype* Get() {
        static std::mutex lock;
        static std::unique_ptr<TRulePrototype> made;
        std::lock_guard<std::mutex> guard(lock);
        if (!made) made = Make();
        return made.get();
    }

private:
    static std::unique_ptr<TRulePrototype> Make() {
        Ref<TWindowRule> rule;
        try {
            t_makingPrototype = true;
            rule = Ref<TWindowRule>(dynamic_cast<TWindowRule*>(CreateAbstractObject("WINDOWRULE").get()));
            t_makingPrototype = false;
            if (!rule || !LoadFromXMLText(static_cast<IPersistObject*>(rule.get()), kDefaultRuleTemplate)) {
                if (rule) rule->Disconnect();
                return nullptr;
            }
            auto made = std::make_unique<TRulePrototype>();
            Ref<IPersistObject> params = rule->TBOMObjectWithAll::GetChild("params").As<IPersistObject>();
            const bool stored = params && rule->MakeBody(made->body);
            if (stored) made->params = StoreObject(params.get(), params->GetElementName());
            rule->Disconnect();
            return stored ? std::move(made) : nullptr;
        } catch (...) {
            t_makingPrototype = false;
            if (rule) rule->Disconnect();
            return nullptr;
        }
    }
};

TWindowRule::TWindowRule() = default;
TWindowRule::~TWindowRule() = default;

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
    if (!t_makingPrototype) {
        if (const TRulePrototype* prototype = TRulePrototype::Get()) {
            // The template's own parameters now, its children stored.
            if (auto* params = dynamic_cast<TBOMObjectWithAll*>(TBOMObjectWithAll::GetChild("params").get()))
                params->LoadFixed(TStoredStorage::Create(prototype->params).get());
            body_ = std::make_unique<TRuleBody>(prototype->body);
            UpdateNameParam();
            return;
        }
    }
    for (const RulePart& part : kRuleParts) CreateChild(part.type, part.name);
    conditions_ = Ref<TBOMCollection>(dynamic_cast<TBOMCollection*>(TBOMObjectWithAll::GetChild("conditions").get()));
    if (t_makingPrototype) return;  // the prototype reads the template itself
    try {
        LoadFromXMLText(static_cast<IPersistObject*>(this), kDefaultRuleTemplate);
    } catch (...) {
        // The rule keeps whatever the template filled in.
    }
}

void TWindowRule::Realize() {
    if (!body_) return;
    const std::unique_ptr<TRuleBody> body = std::move(body_);
    IBOMObjectOwner* self = static_cast<IBOMObjectOwner*>(this);
    for (size_t i = 0; i < 3; ++i) {
        Ref<IBOMObjectSlave> child = CreateChild(kRuleParts[i].type, kRuleParts[i].name);
        if (!child) continue;
        if (auto* fixed = dynamic_cast<TBOMObjectWithAll*>(child.get()))
            if (body->parts[i]) fixed->LoadFixed(TStoredStorage::Create(body->parts[i]).get());
        // Linked and shown as the rule's other children are: a rule
        // attached to the editor leaves its stored parts stored, and they
        // are attached here when they come back.
        if (linked_) child->SetOwner(self);
        if (ui_)
            if (Ref<IUIElement> element = child->QueryRole("UIElement").As<IUIElement>()) element->Attach(ui_.get());
    }
    conditions_ = Ref<TBOMCollection>(dynamic_cast<TBOMCollection*>(TBOMObjectWithAll::GetChild("conditions").get()));
    if (languagePending_) {
        // What the parts took from the language (their captions) is not
        // stored: they are told again.
        languagePending_ = false;
        for (const RulePart& part : kRuleParts)
            if (Ref<IBOMObject> child = TBOMObjectWithAll::GetChild(part.name)) child->Broadcast(1, 0, 0);
    }
}

bool TWindowRule::MakeBody(TRuleBody& body) {
    Ref<IPersistObject> parts[3];
    // Only a rule whose "all" children are those it made, in their order,
    // is stored: building it back appends them after its parameters.
    const std::vector<Ref<IBOMObject>> all = AllChildren();
    if (all.size() != 4 || all[0]->GetName() != "params") return false;
    for (size_t i = 0; i < 3; ++i) {
        if (all[i + 1]->GetName() != kRuleParts[i].name) return false;
        parts[i] = all[i + 1].As<IPersistObject>();
        if (!parts[i]) return false;
    }
    TCompiledConditions matcher;
    auto* conditions = dynamic_cast<TBOMCollection*>(all[1].get());
    if (!conditions) return false;
    const int count = conditions->Count();
    for (int i = 0; i < count; ++i) {
        auto* condition = dynamic_cast<TCondition*>(conditions->GetItem(Variant(i)).get());
        if (!condition || !condition->IsEnabled()) continue;
        std::vector<TCompiledCriterion> criteria;
        if (!condition->Compile(criteria)) return false;
        if (!criteria.empty()) matcher.conditions.push_back(std::move(criteria));  // none: it never matches
    }
    body.matcher = std::move(matcher);
    body.bodyText = TStoredNode::Make(std::string(), {}, BodyText(), {});
    for (size_t i = 0; i < 3; ++i) body.parts[i] = StoreObject(parts[i].get(), parts[i]->GetElementName());
    return true;
}

void TWindowRule::Store() {
    if (body_) return;
    auto body = std::make_unique<TRuleBody>();
    if (!MakeBody(*body)) return;
    for (const RulePart& part : kRuleParts) {
        Ref<IBOMObject> child = TBOMObjectWithAll::GetChild(part.name);
        all_->DeleteItem(Variant(part.name));
        if (Ref<IBOMObjectSlave> slave = child.As<IBOMObjectSlave>()) slave->Disconnect();
    }
    conditions_ = nullptr;
    body_ = std::move(body);
}

Ref<IBOMObject> TWindowRule::GetChild(const std::string& name) {
    // Its own parameters are objects anyway; any other name may be a part
    // (names of children are looked up without regard to case) or "all".
    if (body_ && !SameTextAZ(name, "params")) Realize();
    return TEnabledItem::GetChild(name);
}

void TWindowRule::SaveTo(IHierStorage* storage) {
    Realize();
    TEnabledItem::SaveTo(storage);
}

void TWindowRule::Broadcast(int code, int param1, int param2) {
    // Every broadcast reaches the parts as objects. The language (code 1)
    // changes what the command text says (the close question, for one), so
    // a stored rule is built back to hear it and then stored again with the
    // text of the new language; any other code leaves the parts as objects.
    const bool stored = body_ != nullptr;
    Realize();
    TEnabledItem::Broadcast(code, param1, param2);
    if (code == 1 && stored && !ui_) {
        Store();
        languagePending_ = body_ != nullptr;
    }
}

void TWindowRule::SetOwner(IBOMObjectOwner* owner) {
    TEnabledItem::SetOwner(owner);
    linked_ = true;
}

void TWindowRule::Disconnect() {
    TEnabledItem::Disconnect();
    linked_ = false;
}

void TWindowRule::LoadContent(IHierStorage* node, bool readName) {
    // Loaded as objects; stored again afterwards when it was stored before
    // and no view shows it.
    const bool stored = body_ != nullptr;
    Realize();
    TEnabledItem::LoadContent(node, readName);
    if (stored && !ui_) Store();
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
    if (body_) return body_->matcher.Match(facts);
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
    return CommandPair("WINDOWRULENAME", name_) + (body_ ? body_->bodyText->Text() : BodyText());
}

std::string TWindowRule::BodyText() {
    std::string text;
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
