// Rule triggers and their agents: when a rule's actions run in the foreign
// window, and which operation of which action each agent performs.
#pragma once

#include <string>

#include "bom/enabled_item.h"

namespace omb {

// Roles "Agent" and "Trigger".
struct IActivator : IUnknown {
    virtual bool IsEnabled() = 0;
    virtual std::string CommandText() = 0;

protected:
    ~IActivator() = default;
};

// What agents and triggers share: the activator role under a role name.
template <typename Base> class TActivatorBase : public Base, public IActivator {
public:
    OMB_IUNKNOWN

    explicit TActivatorBase(const char* roleName) : roleName_(roleName) {}

    bool IsEnabled() override { return Base::IsEnabled(); }
    virtual std::string CommandExtra() { return std::string(); }
    Ref<IUnknown> QueryRole(const std::string& role) override {
        if (Ref<IUnknown> r = Base::QueryRole(role)) return r;
        if (role == roleName_) return Ref<IUnknown>(static_cast<IActivator*>(this));
        return nullptr;
    }
    bool SupportsRole(const std::string& role) override { return Base::SupportsRole(role) || role == roleName_; }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (TDebugInterfacedObject::Offer<IActivator>(this, iid, object)) return S_OK;
        return Base::QueryImpl(iid, object);
    }
    const char* const roleName_;
};

class TAgent : public TActivatorBase<TEnabledItem> {
public:
    TAgent() : TActivatorBase("Agent") {}
    void Initialize() override;
    // {\NAME=...\ACTIONNAME=...\ACTIONKIND=...\OPERATIONNAME=...}
    std::string CommandText() override;
};

class TMessageAgent : public TAgent {
public:
    void Initialize() override;
};

class TAgents : public TBOM_UI_Collection {
public:
    void Initialize() override;
    std::string GetCaption() override { return "Agents"; }
    bool AcceptsItem(IBOMObject* item) override { return item->SupportsRole("Agent"); }
};

class TTrigger : public TActivatorBase<TEnabledItem> {
public:
    TTrigger() : TActivatorBase("Trigger") {}
    void Initialize() override;
    // TYPE{extra\AGENT={...}...}
    std::string CommandText() override;
    Ref<IUIList> GetSubList() override;

protected:
    std::string commandTypeName_;
};

class TMessageTrigger : public TTrigger {
public:
    void Initialize() override;
    std::string CommandExtra() override;
};

class TWMCreateMessageTrigger : public TMessageTrigger {
public:
    void Initialize() override;
};

class TWMDestroyMessageTrigger : public TMessageTrigger {
public:
    void Initialize() override;
};

class TTriggers : public TBOM_UI_Collection {
public:
    void Initialize() override;
    std::string GetCaption() override { return "Triggers"; }
    bool AcceptsItem(IBOMObject* item) override { return item->SupportsRole("Trigger"); }
};

}  // namespace omb

OMB_DECLARE_IID(omb::IActivator, "{7F80B10B-A145-46EC-A0AF-2442407AED54}")
