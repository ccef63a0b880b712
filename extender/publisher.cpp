#include "extender/publisher.h"

namespace omb::ea {

TPublisher::TPublisher() : observers_(new TObservers()) {
    name_ = "Publisher";
}

HRESULT TPublisher::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IPublisher>(this, iid, object) || Offer<IPublisherSlave>(this, iid, object) ||
        Offer<ISlave>(this, iid, object))
        return S_OK;
    return TAbstractItem::QueryImpl(iid, object);
}

Ref<IItem> TPublisher::GetOwner() {
    return Ref<IItem>(owner_.get());
}

void TPublisher::Attach(IObserver* observer) {
    try {
        observers_->Add(observer);
    } catch (...) {
    }
}

void TPublisher::Detach(IObserver* observer) {
    if (!observer) return;
    try {
        for (int i = 0; i < observers_->GetCount(); ++i) {
            Ref<IObserver> entry = observers_->Get(Variant(i));
            if (SameObject(entry.get(), observer)) {
                observers_->Remove(Variant(i));
                return;
            }
        }
    } catch (...) {
    }
}

void TPublisher::SetOwner(IItem* owner) {
    try {
        owner_ = QueryAs<IPublisherOwner>(owner);
    } catch (...) {
    }
}

void TPublisher::ClearOwner() {
    Ref<IPublisher> self(this);  // an observer may drop the last other reference
    try {
        for (int i = observers_->GetCount() - 1; i >= 0; --i) {
            if (i >= observers_->GetCount()) continue;  // a Detached call shrank the list
            Ref<IObserver> observer = observers_->Get(Variant(i));
            observers_->Remove(Variant(i));
            if (observer) observer->Detached(self.get());
        }
    } catch (...) {
    }
    owner_ = nullptr;
}

void TPublisher::Notify() {
    Ref<IPublisher> self(this);
    try {
        for (int i = 0; i < observers_->GetCount(); ++i) {
            if (Ref<IObserver> observer = observers_->Get(Variant(i))) observer->Update(self.get());
        }
    } catch (...) {
    }
}

}  // namespace omb::ea
