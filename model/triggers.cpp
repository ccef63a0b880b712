#include "model/triggers.h"

#include "model/command_text.h"

namespace omb {

void TAgent::Initialize() {
    TActivatorBase<TEnabledItem>::Initialize();
    typeName_.clear();
    elementName_ = "agent";
    imageIndex_ = 4;
    CreateParam("action_name", Variant(""));
    CreateParam("action_kind", Variant("next"));
    CreateParam("operation_name", Variant(""));
}

std::string TAgent::CommandText() {
    std::string text = "{" + CommandPair("NAME", name_);
    static const struct {
        const char* param;
        const char* key;
    } kKeys[] = {{"action_name", "ACTIONNAME"}, {"action_kind", "ACTIONKIND"}, {"operation_name", "OPERATIONNAME"}};
    for (const auto& k : kKeys)
        if (Ref<IBOMParam> p = GetParam(k.param)) text += CommandPair(k.key, p->GetValue().ToText());
    return text + CommandExtra() + "}";
}

void TMessageAgent::Initialize() {
    TAgent::Initialize();
    typeName_ = "MESSAGEAGENT";
}

void TAgents::Initialize() {
    TBOM_UI_Collection::Initialize();
    typeName_ = "Agents";
    elementName_ = "agents";
    itemElementName_ = "agent";
    imageIndex_ = 5;
}

void TTrigger::Initialize() {
    TActivatorBase<TEnabledItem>::Initialize();
    typeName_.clear();
    elementName_ = "trigger";
    imageIndex_ = 8;
    hasChildren_ = true;
    CreateChild("Agents", "agents");
}

Ref<IUIList> TTrigger::GetSubList() {
    Ref<IBOMObject> agents = GetObject("agents");
    return agents ? agents->QueryRole("UIList").As<IUIList>() : nullptr;
}

std::string TTrigger::CommandText() {
    std::string text = commandTypeName_ + "{" + CommandExtra();
    if (Ref<IBOMCollection> agents = GetObject("agents").As<IBOMCollection>()) {
        const int count = agents->Count();
        for (int i = 0; i < count; ++i) {
            Ref<IActivator> agent = agents->GetItem(Variant(i))->QueryRole("Agent").As<IActivator>();
            if (agent && agent->IsEnabled()) text += "\\AGENT=" + agent->CommandText();
        }
    }
    return text + "}";
}

void TMessageTrigger::Initialize() {
    TTrigger::Initialize();
    CreateParam("lag_enabled", Variant("no"));
    CreateParam("lag_interval", Variant("0"));
}

std::string TMessageTrigger::CommandExtra() {
    return CommandPair("LAG_ENABLED", ParamText("lag_enabled", "no")) +
           CommandPair("LAG_INTERVAL", ParamText("lag_interval", "0"));
}

void TWMCreateMessageTrigger::Initialize() {
    TMessageTrigger::Initialize();
    typeName_ = commandTypeName_ = "WMCREATEMESSAGETRIGGER";
}

void TWMDestroyMessageTrigger::Initialize() {
    TMessageTrigger::Initialize();
    typeName_ = commandTypeName_ = "WMDESTROYMESSAGETRIGGER";
}

void TTriggers::Initialize() {
    TBOM_UI_Collection::Initialize();
    typeName_ = "Triggers";
    elementName_ = "triggers";
    itemElementName_ = "trigger";
    imageIndex_ = 9;
}

}  // namespace omb
