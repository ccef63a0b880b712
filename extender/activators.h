// Triggers and agents. A rule's triggers decide when its actions run; each
// trigger holds agents, and each agent asks one action of the same window
// extender for its next operation or for one named operation. Triggers are
// message handlers of their window; the concrete ones fire on window messages
// (message_triggers.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "extender/ea_interfaces.h"
#include "extender/items.h"

namespace omb::ea {

// The agent.
class TActionActivator : public TAbstractParamsItem,
                         public ISlave,
                         public IObserver,
                         public IActionActivator {
public:
    OMB_IUNKNOWN
    OMB_EA_IITEM

    // NAME, ACTIONNAME, OPERATIONNAME, ACTIONKIND ("concrete" in any case: a
    // named operation; anything else: the next one).
    void ParseParam(const std::string& key, const std::string& value) override;

    // ISlave
    void SetOwner(IItem* owner) override;
    void ClearOwner() override;
    // Observes (Start) or stops observing (Stop) its action's publisher.
    void Start() override;
    void Stop() override;
    void SetName(const std::string& name) override { name_ = name; }

    // IObserver: nothing.
    void Update(IPublisher*) override {}
    void Detached(IPublisher*) override {}

    // IActionActivator
    void AttachWindow() override { attached_ = true; }
    void DetachWindow() override { attached_ = false; }
    std::string GetActionName() override { return actionName_; }
    uint8_t GetActionKind() override { return actionKind_; }
    std::string GetOperationName() override { return operationName_; }
    // Asks the action; drops every failure.
    void Execute() override;

    bool Attached() const { return attached_; }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    // The action of the owner's window extender named ActionName (without
    // regard to case); none when there is no such action.
    Ref<IExtenderAction> FindAction();

private:
    std::string actionName_;
    std::string operationName_;
    uint8_t actionKind_ = 0;
    std::atomic<bool> attached_{false};
    SRWLOCK lock_ = SRWLOCK_INIT;  // guards owner_
    Ref<IActionActivatorOwner> owner_;
};

// The trigger base.
class TActionsActivator : public TAbstractParamsItem,
                          public ISlave,
                          public IActionActivatorOwner,
                          public IMessageHandler,
                          public IActionsActivator {
public:
    OMB_IUNKNOWN
    OMB_EA_IITEM

    // Name "ActionsActivator" followed by the next value of a process-wide
    // counter; the agents collection.
    void Init() override;
    // NAME; AGENT: an agent of AgentTypeName built from the value.
    void ParseParam(const std::string& key, const std::string& value) override;

    // Every agent executes, first to last.
    virtual void Fire();

    // ISlave
    void SetOwner(IItem* owner) override;
    void ClearOwner() override;
    void Start() override;
    void Stop() override;
    void SetName(const std::string& name) override { name_ = name; }

    // IActionActivatorOwner
    void NotifyOwner(IItem*) override {}
    Ref<IWindowHandler> GetWindowHandler() override;

    // IMessageHandler: never consumes a message.
    bool BeforeMessage(TMessage& message) override;
    void AfterMessage(TMessage& message, bool handled) override;

    // IWindowPart: becomes a message handler of the window (and leaves it).
    void AttachWindow() override;
    void DetachWindow() override;

    Ref<IActionActivators> Agents() const { return agents_; }
    const std::string& AgentTypeName() const { return agentTypeName_; }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    Ref<IActionsActivatorOwner> Owner();

    std::string agentTypeName_;  // set by a subclass's Init

private:
    Ref<IActionActivators> agents_;
    SRWLOCK lock_ = SRWLOCK_INIT;  // guards owner_
    Ref<IActionsActivatorOwner> owner_;
};

class TActionsActivators : public TTypedCollection<IActionsActivators> {};
class TActionActivators : public TTypedCollection<IActionActivators> {};

}  // namespace omb::ea
