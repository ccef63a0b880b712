#include "extender/activators.h"

#include <atomic>
#include <vector>

#include "extender/trace.h"
#include "foundation/handles.h"
#include "foundation/strings.h"

namespace omb::ea {

namespace {
// Numbers the default names of triggers, for the life of the library.
std::atomic<long> g_triggerCounter{0};

std::vector<Ref<IActionActivator>> AgentsOf(const Ref<IActionActivators>& agents) {
    std::vector<Ref<IActionActivator>> list;
    if (!agents) return list;
    const int count = agents->GetCount();
    list.reserve(size_t(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i)
        if (Ref<IActionActivator> agent = agents->Get(Variant(i))) list.push_back(agent);
    return list;
}
}  // namespace

// ---- agent -----------------------------------------------------------------

HRESULT TActionActivator::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IActionActivator>(this, iid, object) || Offer<IWindowPart>(this, iid, object) ||
        Offer<ISlave>(this, iid, object) || Offer<IObserver>(this, iid, object))
        return S_OK;
    return TAbstractParamsItem::QueryImpl(iid, object);
}

void TActionActivator::ParseParam(const std::string& key, const std::string& value) {
    try {
        TAbstractParamsItem::ParseParam(key, value);
        if (key == "ACTIONNAME") actionName_ = value;
        if (key == "OPERATIONNAME") operationName_ = value;
        if (key == "ACTIONKIND") actionKind_ = UpperCaseAZ(value) == "CONCRETE" ? 1 : 0;
    } catch (...) {
    }
}

void TActionActivator::SetOwner(IItem* owner) {
    try {
        Ref<IActionActivatorOwner> newOwner = QueryAs<IActionActivatorOwner>(owner);
        Ref<IActionActivatorOwner> old;
        SrwExclusive lock(lock_);
        old = std::exchange(owner_, newOwner);
    } catch (...) {
    }
}

void TActionActivator::ClearOwner() {
    Ref<IActionActivatorOwner> old;
    SrwExclusive lock(lock_);
    old = std::exchange(owner_, nullptr);
}

Ref<IExtenderAction> TActionActivator::FindAction() {
    Ref<IActionActivatorOwner> owner;
    {
        SrwExclusive lock(lock_);
        owner = owner_;
    }
    if (!owner) return nullptr;
    Ref<IWindowHandler> handler = owner->GetWindowHandler();
    if (!handler) return nullptr;
    Ref<IActions> actions = handler->GetActions();
    return actions ? actions->Get(Variant(actionName_)) : nullptr;
}

void TActionActivator::Execute() {
    try {
        Ref<IExtenderAction> action = FindAction();
        if (!action) return;
        if (actionKind_ == 0)
            action->ExecuteNext();
        else if (actionKind_ == 1)
            action->ExecuteOperation(operationName_);
    } catch (...) {
    }
}

void TActionActivator::Start() {
    try {
        if (Ref<IExtenderAction> action = FindAction())
            if (Ref<IPublisher> publisher = action->GetPublisher()) publisher->Attach(this);
    } catch (...) {
    }
}

void TActionActivator::Stop() {
    try {
        if (Ref<IExtenderAction> action = FindAction())
            if (Ref<IPublisher> publisher = action->GetPublisher()) publisher->Detach(this);
    } catch (...) {
    }
}

// ---- trigger ---------------------------------------------------------------

HRESULT TActionsActivator::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IActionsActivator>(this, iid, object) || Offer<IWindowPart>(this, iid, object) ||
        Offer<ISlave>(this, iid, object) || Offer<IActionActivatorOwner>(this, iid, object) ||
        Offer<IWindowPartOwner>(this, iid, object) || Offer<IOwner>(this, iid, object) ||
        Offer<IMessageHandler>(this, iid, object))
        return S_OK;
    return TAbstractParamsItem::QueryImpl(iid, object);
}

void TActionsActivator::Init() {
    try {
        TAbstractParamsItem::Init();
        name_ = "ActionsActivator" + std::to_string(++g_triggerCounter);
        agents_ = Ref<IActionActivators>(new TActionActivators());
    } catch (...) {
    }
}

void TActionsActivator::ParseParam(const std::string& key, const std::string& value) {
    try {
        TAbstractParamsItem::ParseParam(key, value);
        if (key == "AGENT" && !agentTypeName_.empty() && agents_) {
            if (Ref<IActionActivator> agent = CreateChildItem(value, agentTypeName_).As<IActionActivator>())
                agents_->Add(agent.get());
        }
    } catch (...) {
        TraceCurrentError("TActionsActivator.ParseParam");
    }
}

void TActionsActivator::Fire() {
    try {
        for (const Ref<IActionActivator>& agent : AgentsOf(agents_)) {
            try {
                agent->Execute();
            } catch (...) {
            }
        }
    } catch (...) {
    }
}

Ref<IActionsActivatorOwner> TActionsActivator::Owner() {
    SrwExclusive lock(lock_);
    return owner_;
}

void TActionsActivator::SetOwner(IItem* owner) {
    try {
        Ref<IActionsActivatorOwner> newOwner = QueryAs<IActionsActivatorOwner>(owner);
        Ref<IActionsActivatorOwner> old;
        {
            SrwExclusive lock(lock_);
            old = std::exchange(owner_, newOwner);
        }
        for (const Ref<IActionActivator>& agent : AgentsOf(agents_))
            if (Ref<ISlave> slave = agent.As<ISlave>())
                slave->SetOwner(static_cast<IActionsActivator*>(this));
    } catch (...) {
    }
}

void TActionsActivator::ClearOwner() {
    try {
        for (const Ref<IActionActivator>& agent : AgentsOf(agents_))
            if (Ref<ISlave> slave = agent.As<ISlave>()) slave->ClearOwner();
    } catch (...) {
    }
    Ref<IActionsActivatorOwner> old;
    SrwExclusive lock(lock_);
    old = std::exchange(owner_, nullptr);
}

void TActionsActivator::Start() {
    try {
        for (const Ref<IActionActivator>& agent : AgentsOf(agents_))
            if (Ref<ISlave> slave = agent.As<ISlave>()) slave->Start();
    } catch (...) {
    }
}

void TActionsActivator::Stop() {
    try {
        for (const Ref<IActionActivator>& agent : AgentsOf(agents_))
            if (Ref<ISlave> slave = agent.As<ISlave>()) slave->Stop();
    } catch (...) {
    }
}

Ref<IWindowHandler> TActionsActivator::GetWindowHandler() {
    try {
        Ref<IActionsActivatorOwner> owner = Owner();
        return owner ? owner->GetWindowHandler() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

bool TActionsActivator::BeforeMessage(TMessage&) {
    return false;
}

void TActionsActivator::AfterMessage(TMessage&, bool) {}

void TActionsActivator::AttachWindow() {
    try {
        if (Ref<IWindowHandler> handler = GetWindowHandler()) handler->AddMessageHandler(this);
        for (const Ref<IActionActivator>& agent : AgentsOf(agents_)) agent->AttachWindow();
    } catch (...) {
    }
}

void TActionsActivator::DetachWindow() {
    try {
        for (const Ref<IActionActivator>& agent : AgentsOf(agents_)) agent->DetachWindow();
        if (Ref<IWindowHandler> handler = GetWindowHandler()) handler->RemoveMessageHandler(this);
    } catch (...) {
    }
}

}  // namespace omb::ea
