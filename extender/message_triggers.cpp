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
        TTimer* timer;
        {
            SrwExclusive lock(timerLock_);
            timer = lagTimer_.get();
        }
        if (!timer) {
            // Made outside the lock: creating a window runs hooks and sends
            // messages. The tick calls this trigger while it lives: the
            // trigger owns the timer and frees it when it goes, and each tick
            // keeps the trigger alive while it runs (it takes no tick once
            // the trigger's last reference went).
            auto fresh = std::make_unique<TTimer>();
            fresh->SetKeeper(TTimer::TKeeper{
                static_cast<TActionsActivator*>(this),
                [](void* o) { return static_cast<TActionsActivator*>(o)->TryAddRefImpl(); },
                [](void* o) { static_cast<TActionsActivator*>(o)->ReleaseImpl(); }});
            fresh->SetOnTimer([this](TTimer&) { LagTimerNotify(); });
            timer = fresh.get();
            {
                SrwExclusive lock(timerLock_);
                if (lagTimer_)
                    timer = lagTimer_.get();  // another firing made one meanwhile
                else
                    lagTimer_ = std::move(fresh);
            }
            fresh.reset();  // the one not needed, outside the lock
        }
        // The timer belongs to this thread (the window's): it is freed only
        // here, or handed to this thread by another, so it lives on here.
        timer->SetEnabled(false);
        timer->SetInterval(lagInterval_);
        timer->SetEnabled(true);
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
        TTimer* timer;
        {
            SrwExclusive lock(timerLock_);
            timer = lagTimer_.get();
        }
        if (timer) timer->SetEnabled(false);
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
        TTimer::Dispose(std::move(old));  // on its own thread
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
        // A delayed firing would end at once with the detach below: it
        // makes no timer.
        if (!LagEnabled() || LagInterval() == 0) Fire();
    } catch (...) {
        TraceCurrentError("TWMDestroyMessageTrigger.DetachWindow");
    }
    TMessageTrigger::DetachWindow();  // frees the lag timer of a WM_DESTROY firing
}

}  // namespace omb::ea
