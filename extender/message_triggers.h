// Message triggers: a trigger that fires when its window receives a certain
// message, at once or after a delay (the lag), and whose agents are message
// agents. The creation trigger fires when the window extender has attached
// (or on WM_CREATE); the destruction trigger on WM_DESTROY and each time it
// is detached.
#pragma once

#include <memory>

#include "extender/activators.h"
#include "extender/timer.h"

namespace omb::ea {

// The agent of message triggers: an agent under an interface of its own.
struct IMessageActionActivator : IActionActivator {};

// Registered as "MESSAGEAGENT".
class TMessageActionActivator : public TActionActivator, public IMessageActionActivator {
public:
    OMB_IUNKNOWN
    OMB_EA_IITEM

    void AttachWindow() override { TActionActivator::AttachWindow(); }
    void DetachWindow() override { TActionActivator::DetachWindow(); }
    std::string GetActionName() override { return TActionActivator::GetActionName(); }
    uint8_t GetActionKind() override { return TActionActivator::GetActionKind(); }
    std::string GetOperationName() override { return TActionActivator::GetOperationName(); }
    void Execute() override { TActionActivator::Execute(); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
};

class TMessageTrigger : public TActionsActivator {
public:
    ~TMessageTrigger() override;

    // Agents are made as "MESSAGEAGENT".
    void Init() override;
    // LAG_ENABLED ("yes" in any case), LAG_INTERVAL (decimal milliseconds;
    // anything else, and a negative number, gives 0).
    void ParseParam(const std::string& key, const std::string& value) override;
    // With a lag: (re)starts the lag timer, so the agents run once, the lag
    // after the last firing; without: at once.
    void Fire() override;
    virtual bool CanFire() { return true; }

    void DetachWindow() override;

    bool LagEnabled() const { return lagEnabled_; }
    int LagInterval() const { return lagInterval_; }

protected:
    // The agents run now (the path the lag timer takes).
    void FireNow() { TActionsActivator::Fire(); }

private:
    void PrepareLagTimer();
    void LagTimerNotify();
    void FreeLagTimer();

    bool lagEnabled_ = false;
    int lagInterval_ = 0;
    // Made on first need on the thread that fires (the window's), ticking on
    // that thread; it lives no longer than the trigger (freed when the
    // trigger leaves its window and when it goes), and holds no reference on
    // it.
    std::unique_ptr<TTimer> lagTimer_;
    SRWLOCK timerLock_ = SRWLOCK_INIT;  // guards lagTimer_ (held only to read or swap it)
};

// Registered as "WMCREATEMESSAGETRIGGER": fires after WM_CREATE and after the
// extender's attach notice.
class TWMCreateMessageTrigger : public TMessageTrigger {
public:
    void AfterMessage(TMessage& message, bool handled) override;
};

// Registered as "WMDESTROYMESSAGETRIGGER": fires before WM_DESTROY (never
// keeping it from the window) and each time it is detached.
class TWMDestroyMessageTrigger : public TMessageTrigger {
public:
    bool BeforeMessage(TMessage& message) override;
    void DetachWindow() override;
};

}  // namespace omb::ea

OMB_DECLARE_IID(omb::ea::IMessageActionActivator, "{F5B90B78-9291-4D7A-8A29-A8E9925519AA}")
