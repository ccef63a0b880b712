#include "extender/window_extender.h"

#include <atomic>

#include "extender/actions.h"
#include "extender/activators.h"
#include "extender/lifetime.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"

namespace omb::ea {

namespace {
// Numbers the names of the extenders, for the life of the library.
std::atomic<long> g_extenderCounter{0};
}  // namespace

TWindowExtender::TWindowExtender() = default;

TWindowExtender::~TWindowExtender() {
    try {
        if (hook_) hook_->Unhook();
    } catch (...) {
    }
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
        handlers_ = std::make_shared<const HandlerList>();
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
        auto hook = std::make_shared<TWHook>(
            window, TWindowMethod::Counted<TWindowExtender, &TWindowExtender::WindowProc>(this));
        std::shared_ptr<TWHook> previous;
        {
            SrwExclusive lock(lock_);
            previous = std::exchange(hook_, hook);
        }
        if (previous) previous->Unhook();
        ForEachPart(actions_, [](IExtenderAction* action) { action->AttachWindow(); });
        ForEachPart(triggers_, [](IActionsActivator* trigger) { trigger->AttachWindow(); });
        // The creation trigger runs on the window's own thread.
        if (MayWaitForWindow(window)) ::SendMessageW(window, WM_EXTENDER_ATTACHED, 0, 0);
    } catch (...) {
    }
}

void TWindowExtender::DetachWindow() {
    try {
        ForEachPart(actions_, [](IExtenderAction* action) { action->DetachWindow(); });
        ForEachPart(triggers_, [](IActionsActivator* trigger) { trigger->DetachWindow(); });
        std::shared_ptr<TWHook> hook;
        {
            SrwExclusive lock(lock_);
            hook = std::move(hook_);
            hook_ = nullptr;
            if (hook) lastHook_ = hook;
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
        std::shared_ptr<const HandlerList> old;
        SrwExclusive lock(lock_);
        auto list = handlers_ ? std::make_shared<HandlerList>(*handlers_) : std::make_shared<HandlerList>();
        list->push_back(entry);
        old = std::exchange(handlers_, std::move(list));
    } catch (...) {
    }
}

void TWindowExtender::RemoveMessageHandler(IMessageHandler* handler) {
    try {
        Ref<IMessageHandler> entry = QueryAs<IMessageHandler>(handler);
        if (!entry) return;
        std::shared_ptr<const HandlerList> old;  // released after the lock
        SrwExclusive lock(lock_);
        if (!handlers_) return;
        for (size_t i = handlers_->size(); i-- > 0;) {
            if ((*handlers_)[i].get() != entry.get()) continue;
            auto list = std::make_shared<HandlerList>(*handlers_);
            list->erase(list->begin() + std::ptrdiff_t(i));
            old = std::exchange(handlers_, std::move(list));
            break;
        }
    } catch (...) {
    }
}

int TWindowExtender::MessageHandlerCount() {
    SrwExclusive lock(lock_);
    return handlers_ ? int(handlers_->size()) : 0;
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
        // The extender leaves; neither the window nor a handler sees this.
        try {
            if (Ref<IWindowExtenderOwner> owner = Owner()) owner->NotifyOwner(static_cast<IWindowExtender*>(this));
        } catch (...) {
        }
        return;
    }

    std::shared_ptr<const HandlerList> handlers;
    std::shared_ptr<TWHook> hook;
    {
        SrwExclusive lock(lock_);
        handlers = handlers_;
        hook = hook_ ? hook_ : lastHook_;
    }

    bool handled = false;
    if (handlers) {
        for (const Ref<IMessageHandler>& handler : *handlers) {
            try {
                if (handler->BeforeMessage(message)) handled = true;
            } catch (...) {
            }
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

    if (handlers) {
        for (const Ref<IMessageHandler>& handler : *handlers) {
            try {
                handler->AfterMessage(message, handled);
            } catch (...) {
            }
        }
    }

    if (message.Msg == WM_DESTROY) {
        try {
            if (Ref<IWindowExtenderOwner> owner = Owner()) owner->NotifyOwner(static_cast<IWindowExtender*>(this));
        } catch (...) {
        }
    }
}

void RegisterWindowExtenderClasses() {
    RegisterItemClass<TWindowExtender>(kWindowExtenderType);
}

}  // namespace omb::ea
