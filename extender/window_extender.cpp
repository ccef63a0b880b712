#include "extender/window_extender.h"

#include <atomic>

#include "extender/actions.h"
#include "extender/activators.h"
#include "extender/hook_entry.h"
#include "extender/lifetime.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"

namespace omb::ea {

namespace {
// Numbers the names of the extenders, for the life of the library.
std::atomic<long> g_extenderCounter{0};
// How long a worker waits for a busy window to take the attach notice.
constexpr UINT kAttachNoticeTimeoutMs = 10000;
}  // namespace

TWindowExtender::TWindowExtender() {
    try {
        auto first = std::make_unique<const State>();
        state_ = first.get();
        states_.push_back(std::move(first));
    } catch (...) {
    }
}

TWindowExtender::~TWindowExtender() {
    try {
        hooks_.clear();  // each unhooks, if still hooked
    } catch (...) {
    }
}

void TWindowExtender::Publish(std::vector<Ref<IMessageHandler>> handlers, TWHook* hook) {
    auto state = std::make_unique<State>();
    state->handlers = std::move(handlers);
    state->hook = hook;
    state_.store(state.get(), std::memory_order_release);
    states_.push_back(std::move(state));
}

HRESULT TWindowExtender::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IWindowExtender>(this, iid, object) || Offer<ISlave>(this, iid, object) ||
        Offer<IWindowHandler>(this, iid, object) || Offer<IActionOwner>(this, iid, object) ||
        Offer<IActionsActivatorOwner>(this, iid, object))
        return S_OK;
    // Reached through both owner interfaces: hand out the one of IActionOwner.
    if (SameGuid(iid, __uuidof(IWindowPartOwner)) || SameGuid(iid, __uuidof(IOwner))) {
        IWindowPartOwner* owner = static_cast<IActionOwner*>(this);
        *object = SameGuid(iid, __uuidof(IOwner)) ? static_cast<void*>(static_cast<IOwner*>(owner))
                                                  : static_cast<void*>(owner);
        AddRefImpl();
        return S_OK;
    }
    return TAbstractParamsItem::QueryImpl(iid, object);
}

void TWindowExtender::Init() {
    try {
        TAbstractParamsItem::Init();
        name_ = "WindowExtender" + std::to_string(++g_extenderCounter);
        ruleName_.clear();
        actions_ = Ref<IActions>(new TActions());
        triggers_ = Ref<IActionsActivators>(new TActionsActivators());
    } catch (...) {
    }
}

void TWindowExtender::ParseParam(const std::string& key, const std::string& value) {
    try {
        TAbstractParamsItem::ParseParam(key, value);
        if (key == "WINDOWRULENAME") {
            ruleName_ = value;
        } else if (key == "ACTION") {
            if (Ref<IExtenderAction> action = CreateChildItemFromString(value).As<IExtenderAction>())
                if (actions_) actions_->Add(action.get());
        } else if (key == "TRIGGER") {
            if (Ref<IActionsActivator> trigger = CreateChildItemFromString(value).As<IActionsActivator>())
                if (triggers_) triggers_->Add(trigger.get());
        }
    } catch (...) {
    }
}

template <typename Collection, typename Call>
void TWindowExtender::ForEachPart(const Ref<Collection>& collection, Call call) {
    if (!collection) return;
    const int count = collection->GetCount();
    for (int i = 0; i < count; ++i) {
        try {
            if (auto part = collection->Get(Variant(i))) call(part.get());
        } catch (...) {
        }
    }
}

Ref<IWindowExtenderOwner> TWindowExtender::Owner() {
    SrwExclusive lock(lock_);
    return owner_;
}

void TWindowExtender::SetOwner(IItem* owner) {
    try {
        Ref<IWindowExtenderOwner> newOwner = QueryAs<IWindowExtenderOwner>(owner);
        Ref<IWindowExtenderOwner> old;
        {
            SrwExclusive lock(lock_);
            old = std::exchange(owner_, newOwner);
        }
        IItem* self = static_cast<IWindowExtender*>(this);
        auto setOwner = [self](auto* part) {
            if (Ref<ISlave> slave = QueryAs<ISlave>(part)) slave->SetOwner(self);
        };
        ForEachPart(actions_, setOwner);
        ForEachPart(triggers_, setOwner);
    } catch (...) {
    }
}

void TWindowExtender::ClearOwner() {
    DetachWindow();
    auto clearOwner = [](auto* part) {
        if (Ref<ISlave> slave = QueryAs<ISlave>(part)) slave->ClearOwner();
    };
    ForEachPart(actions_, clearOwner);
    ForEachPart(triggers_, clearOwner);
    Ref<IWindowExtenderOwner> old;
    SrwExclusive lock(lock_);
    old = std::exchange(owner_, nullptr);
}

void TWindowExtender::Start() {
    auto start = [](auto* part) {
        if (Ref<ISlave> slave = QueryAs<ISlave>(part)) slave->Start();
    };
    ForEachPart(actions_, start);
    ForEachPart(triggers_, start);
}

void TWindowExtender::Stop() {
    auto stop = [](auto* part) {
        if (Ref<ISlave> slave = QueryAs<ISlave>(part)) slave->Stop();
    };
    ForEachPart(actions_, stop);
    ForEachPart(triggers_, stop);
}

void TWindowExtender::AttachWindow(HWND window) {
    try {
        window_ = window;
        // Known to the window procedure before it can receive a message.
        auto hook = std::make_unique<TWHook>(
            window, TWindowMethod::Counted<TWindowExtender, &TWindowExtender::WindowProc>(this),
            TWHook::Deferred{});
        TWHook* subclass = hook.get();
        TWHook* previous;
        {
            SrwExclusive lock(lock_);
            previous = std::exchange(hook_, subclass);
            hooks_.push_back(std::move(hook));
            Publish(Current().handlers, subclass);
        }
        if (previous) previous->Unhook();
        subclass->Hook();
        ForEachPart(actions_, [](IExtenderAction* action) { action->AttachWindow(); });
        ForEachPart(triggers_, [](IActionsActivator* trigger) { trigger->AttachWindow(); });
        // The creation trigger runs on the window's own thread.
        // A hung window is not waited for: the worker would never end.
        if (MayWaitForWindow())
            ::SendMessageTimeoutW(window, WM_EXTENDER_ATTACHED, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                  kAttachNoticeTimeoutMs, nullptr);
    } catch (...) {
    }
}

void TWindowExtender::DetachWindow() {
    try {
        ForEachPart(actions_, [](IExtenderAction* action) { action->DetachWindow(); });
        ForEachPart(triggers_, [](IActionsActivator* trigger) { trigger->DetachWindow(); });
        TWHook* hook;
        {
            SrwExclusive lock(lock_);
            hook = std::exchange(hook_, nullptr);  // the current state keeps it for late messages
        }
        if (hook) hook->Unhook();  // the window gets its former procedure back
        window_ = nullptr;
    } catch (...) {
    }
}

void TWindowExtender::AddMessageHandler(IMessageHandler* handler) {
    try {
        Ref<IMessageHandler> entry = QueryAs<IMessageHandler>(handler);
        if (!entry) return;
        SrwExclusive lock(lock_);
        const State& current = Current();
        std::vector<Ref<IMessageHandler>> handlers = current.handlers;
        handlers.push_back(entry);
        Publish(std::move(handlers), current.hook);
    } catch (...) {
    }
}

void TWindowExtender::RemoveMessageHandler(IMessageHandler* handler) {
    try {
        Ref<IMessageHandler> entry = QueryAs<IMessageHandler>(handler);
        if (!entry) return;
        SrwExclusive lock(lock_);
        const State& current = Current();
        for (size_t i = current.handlers.size(); i-- > 0;) {
            if (current.handlers[i].get() != entry.get()) continue;
            std::vector<Ref<IMessageHandler>> handlers = current.handlers;
            handlers.erase(handlers.begin() + std::ptrdiff_t(i));
            Publish(std::move(handlers), current.hook);
            break;
        }
    } catch (...) {
    }
}

int TWindowExtender::MessageHandlerCount() {
    return int(Current().handlers.size());
}

bool TWindowExtender::Hooked() {
    SrwExclusive lock(lock_);
    return hook_ && hook_->IsHooked();
}

std::string TWindowExtender::GetWindowCaption() {
    try {
        return omb::GetWindowCaption(GetWindow());
    } catch (...) {
        return std::string();
    }
}

void TWindowExtender::WindowProc(TMessage& message) {
    if (message.Msg == WM_CONFIG_CHANGED) {
        // Neither the window nor a handler sees this. The same rule follows
        // (its text has the extender's checksum): the extender stays as it
        // is, and nothing of the rule runs again. Otherwise it leaves.
        try {
            const bool ruleFollows = message.WParam == kConfigChangedRuleFollows && !HookWithdrawn();
            const uint32_t sum = ruleSum_.load();
            if (ruleFollows && sum != 0 && uint32_t(message.LParam) == sum) return;
            // Leaving is safe inside a loop that an earlier message of this
            // window started: that call returns into this library later, and
            // its slot holds the library until then (module.h).
            ForEachPart(actions_, [ruleFollows](IExtenderAction* action) {
                if (Ref<IWindowReleasingAction> releasing = QueryAs<IWindowReleasingAction>(action))
                    releasing->ReleaseWindow(ruleFollows);
            });
            if (Ref<IWindowExtenderOwner> owner = Owner())
                owner->NotifyOwner(static_cast<IWindowExtender*>(this));
        } catch (...) {
        }
        return;
    }

    if (message.Msg == WM_EXTENDER_ATTACHED) {
        // An extender let go while it was being attached (a notice voided
        // its request, or the hook was withdrawn) runs nothing of its rule:
        // its attaching thread takes it off again.
        try {
            if (Ref<IWindowExtenderOwner> owner = Owner())
                if (!owner->Wants(static_cast<IWindowExtender*>(this))) return;
        } catch (...) {
        }
        // What the attach left for the window's own thread comes first.
        ForEachPart(actions_, [](IExtenderAction* action) {
            if (Ref<IAttachNoticeAction> notice = QueryAs<IAttachNoticeAction>(action)) notice->WindowAttached();
        });
    }

    const State& state = Current();
    TWHook* const hook = state.hook;

    bool handled = false;
    for (const Ref<IMessageHandler>& handler : state.handlers) {
        try {
            if (handler->BeforeMessage(message)) handled = true;
        } catch (...) {
        }
    }

    if (!handled && hook) {
        try {
            if (message.Msg == WM_DESTROY) hook->Unhook();
            // Another subclasser tells that it replaced the procedure we pass
            // messages to; a null procedure is no procedure and is ignored.
            if (message.Msg == WM_WNDPROC_REPLACED && message.LParam != 0 &&
                message.WParam == reinterpret_cast<WPARAM>(hook->SavedProcedure()))
                hook->SetSavedProcedure(reinterpret_cast<WNDPROC>(message.LParam));
            hook->CallDefault(message);
        } catch (...) {
        }
    }

    for (const Ref<IMessageHandler>& handler : state.handlers) {
        try {
            handler->AfterMessage(message, handled);
        } catch (...) {
        }
    }

    if (message.Msg == WM_DESTROY) {
        try {
            if (Ref<IWindowExtenderOwner> owner = Owner())
                owner->NotifyOwner(static_cast<IWindowExtender*>(this));
        } catch (...) {
        }
    }
}

void RegisterWindowExtenderClasses() {
    RegisterItemClass<TWindowExtender>(kWindowExtenderType);
}

}  // namespace omb::ea
