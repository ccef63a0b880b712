// Publishers and their observers: an action owns a publisher, agents attach
// to it as observers, and the action notifies them after each operation.
#pragma once

#include "extender/items.h"

namespace omb::ea {

// Observers in the order they attached, each under a generated name, so an
// observer needs no name and may attach twice.
class TObservers : public TTypedCollection<IObservers, true> {};

class TPublisher : public TAbstractItem, public IPublisher, public IPublisherSlave {
public:
    TPublisher();

    OMB_IUNKNOWN
    OMB_EA_IITEM

    // IPublisher
    Ref<IItem> GetOwner() override;
    void Attach(IObserver* observer) override;
    // Removes the first entry of that object; nothing when it is not attached.
    void Detach(IObserver* observer) override;

    // ISlave
    // The owner is kept only when it offers IPublisherOwner.
    void SetOwner(IItem* owner) override;
    // Releases every observer, last first, telling each it was detached; then
    // forgets the owner.
    void ClearOwner() override;
    void Start() override {}
    void Stop() override {}
    void SetName(const std::string& name) override { name_ = name; }

    // IPublisherSlave
    Ref<IObservers> GetObservers() override { return observers_; }
    // Calls Update on each observer, first to last.
    void Notify() override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    Ref<IObservers> observers_;
    Ref<IPublisherOwner> owner_;
};

}  // namespace omb::ea
