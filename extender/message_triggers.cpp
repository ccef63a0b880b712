#include "extender/message_triggers.h"

#include "extender/lifetime.h"
#include "extender/trace.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/strings.h"

namespace omb::ea {

HRESULT TMessageActionActivator::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (SameGuid(iid, __uuidof(IMessageActionActivator))) {
        *object = static_cast<IMessageActionActivator*>(this);
        AddRefImpl();
        return S_OK;
    }
    return TActionActivator::QueryImpl(iid, object);
}

TMessageTrigger::~TMessageTrigger() {
    FreeLagTimer();
}

void TMessageTrigger::Init() {
    TActionsActivator::Init();
    agentTypeName_ = "MESSAGEAGENT";
}

void TMessageTrigger::ParseParam(const std::string& key, const std::string& value) {
    TActionsActivator::ParseParam(key, value);
    try {
        if (key == "LAG_ENABLED") lagEnabled_ = IsYes(value);
        if (key == "LAG_INTERVAL") {
            const int interval = StrToIntDef(value, 0);
            lagInterval_ = interval > 0 ? interval : 0;
        }
    } catch (...) {
        TraceCurrentError("TMessageTrigger.ParseParam");
    }
}

void TMessageTrigger::Fire() {
    if (lagEnabled_ && lagInterval_ != 0) {
        // A delay would outlive a library that is unloading: no timer then.
        if (!LibraryStopping()) PrepareLagTimer();
    } else {
        FireNow();
    }
}

void TMessageTrigger::PrepareLagTimer() {
    try {
        std::unique_ptr<TTimer> fresh;
        {
            SrwExclusive lock(timerLock_);
            if (!lagTimer_) {
                // The tick holds the trigger: the trigger may be released on
                // another thread while its lag runs out. The loop this makes
                // ends when the window is let go (FreeLagTimer).
                fresh = std::make_unique<TTimer>();
                fresh->SetOnTimer([this, self = Ref<IActionsActivator>(this)](TTimer&) { LagTimerNotify(); });
                lagTimer_ = std::move(fresh);
            }
            lagTimer_->SetEnabled(false);
            lagTimer_->SetInterval(lagInterval_);
            lagTimer_->SetEnabled(true);
        }
    } catch (...) {
        TraceCurrentError("TMessageTrigger.PrepareLagTimer");
    }
}

void TMessageTrigger::LagTimerNotify() {
    // An agent may lead to this trigger's release (a message box whose modal
    // loop lets the configuration change drop the extender): stay alive.
    Ref<IActionsActivator> self(this);
    try {
        if (CanFire()) FireNow();
        SrwExclusive lock(timerLock_);
        if (lagTimer_) lagTimer_->SetEnabled(false);
    } catch (...) {
        TraceCurrentError("TMessageTrigger.LagTimerNotify");
    }
}

void TMessageTrigger::FreeLagTimer() {
    try {
        std::unique_ptr<TTimer> old;
        {
            SrwExclusive lock(timerLock_);
            old = std::move(lagTimer_);
        }
        old.reset();
    } catch (...) {
        TraceCurrentError("TMessageTrigger.FreeLagTimer");
    }
}

void TMessageTrigger::DetachWindow() {
    FreeLagTimer();  // a lag still running dies with the window's extender
    TActionsActivator::DetachWindow();
}

void TWMCreateMessageTrigger::AfterMessage(TMessage& message, bool) {
    if (message.Msg != WM_CREATE && message.Msg != WM_EXTENDER_ATTACHED) return;
    try {
        Fire();
    } catch (...) {
        TraceCurrentError("TWMCreateMessageTrigger.AfterMessage");
    }
}

bool TWMDestroyMessageTrigger::BeforeMessage(TMessage& message) {
    if (message.Msg != WM_DESTROY) return false;
    try {
        Fire();
    } catch (...) {
        TraceCurrentError("TWMDestroyMessageTrigger.BeforeMessage");
    }
    return false;
}

void TWMDestroyMessageTrigger::DetachWindow() {
    try {
        Fire();
    } catch (...) {
        TraceCurrentError("TWMDestroyMessageTrigger.DetachWindow");
    }
    TActionsActivator::DetachWindow();
}

}  // namespace omb::ea
