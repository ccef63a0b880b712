// The window extender: everything one window rule adds to one window of this
// process: the rule's actions and triggers (built from the rule command
// text), the message handlers that see the window's messages before and after
// its own procedure, and the subclass that routes those messages.
//
// Threads: the extender is built and attached on the worker that fetched the
// rule; its window procedure runs on the window's thread; it is detached on
// the thread that destroys the window, that receives the configuration-changed
// message, or that unloads the library. What the window procedure needs (the
// message handlers and the subclass) is published as one immutable state:
// every change makes a new state under a lock, and the window procedure reads
// the current one without a lock. States and subclasses are kept until the
// extender goes, so a message that is being handled while a handler attaches
// or detaches, or while the extender is dropped, still finds its state. Each
// dispatch of the window's messages holds a reference on the extender until
// it returns.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "extender/ea_interfaces.h"
#include "extender/items.h"
#include "extender/whook.h"

namespace omb::ea {

constexpr const char* kWindowExtenderType = "WINDOWEXTENDER";

class TWindowExtender : public TAbstractParamsItem,
                        public IWindowExtender,
                        public IWindowHandler,
                        public IActionOwner,
                        public IActionsActivatorOwner {
public:
    TWindowExtender();
    ~TWindowExtender() override;

    OMB_IUNKNOWN
    OMB_EA_IITEM

    // Name "WindowExtender" followed by the next value of a process-wide
    // counter; the three collections.
    void Init() override;
    // WINDOWRULENAME; ACTION and TRIGGER add one part each.
    void ParseParam(const std::string& key, const std::string& value) override;

    // ISlave
    void SetOwner(IItem* owner) override;
    // Detaches, clears the owners of the parts, then forgets its own.
    void ClearOwner() override;
    void Start() override;
    void Stop() override;
    void SetName(const std::string& name) override { name_ = name; }

    // IWindowExtender / IWindowHandler
    HWND GetWindow() override { return window_.load(); }
    // Subclasses the window, attaches the actions, then the triggers, then
    // sends WM_EXTENDER_ATTACHED to the window.
    void AttachWindow(HWND window) override;
    // Detaches the actions, then the triggers, then gives the window back
    // its former procedure.
    void DetachWindow() override;
    void SetRuleSum(uint32_t sum) override { ruleSum_ = sum; }

    // IWindowHandler
    void AddMessageHandler(IMessageHandler* handler) override;
    // Removes the last entry of that handler; at most one.
    void RemoveMessageHandler(IMessageHandler* handler) override;
    Ref<IActions> GetActions() override { return actions_; }
    std::string GetWindowCaption() override;
    std::string GetRuleName() override { return ruleName_; }

    // IOwner of the parts: nothing.
    void NotifyOwner(IItem*) override {}
    // IWindowPartOwner: the extender itself.
    Ref<IWindowHandler> GetWindowHandler() override { return Ref<IWindowHandler>(this); }

    Ref<IActionsActivators> GetTriggers() const { return triggers_; }
    int MessageHandlerCount();
    bool Hooked();

    // Receives every message of the window through the subclass.
    void WindowProc(TMessage& message);

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    // What the window procedure works with: the message handlers in the order
    // they were added (the same handler may stand twice) and the subclass
    // (after detaching, the last one, unhooked, so that a message already on
    // its way still reaches the window's own procedure).
    struct State {
        std::vector<Ref<IMessageHandler>> handlers;
        TWHook* hook = nullptr;
    };

    Ref<IWindowExtenderOwner> Owner();
    const State& Current() const { return *state_.load(std::memory_order_acquire); }
    // Makes a new current state; the lock is held.
    void Publish(std::vector<Ref<IMessageHandler>> handlers, TWHook* hook);
    template <typename Collection, typename Call>
    static void ForEachPart(const Ref<Collection>& collection, Call call);

    Ref<IActions> actions_;
    Ref<IActionsActivators> triggers_;
    std::string ruleName_;
    std::atomic<uint32_t> ruleSum_{0};  // 0: not known
    std::atomic<HWND> window_{nullptr};
    std::atomic<const State*> state_{nullptr};

    SRWLOCK lock_ = SRWLOCK_INIT;  // guards the fields below
    Ref<IWindowExtenderOwner> owner_;
    TWHook* hook_ = nullptr;  // the subclass while attached
    std::vector<std::unique_ptr<const State>> states_;
    std::vector<std::unique_ptr<TWHook>> hooks_;
};

class TWindowExtenders : public TTypedCollection<IWindowExtenders> {};

// Registers "WINDOWEXTENDER" in the item registry.
void RegisterWindowExtenderClasses();

}  // namespace omb::ea
