// The general interfaces of the window extender's items: every object the hook
// library builds for a foreign window is an item reached only through these.
// Pure declarations: no platform header, so the item core also builds natively.
#pragma once

#include <string>

#include "foundation/com.h"
#include "foundation/variant.h"

namespace omb::ea {

// A named, reference-counted object.
struct IItem : IUnknown {
    virtual std::string GetName() = 0;
};

// A name-keyed collection of items; positions are 0-based.
struct ICollection : IItem {
    virtual int GetCount() = 0;
    // Deletes the entry at a position or with a name; a key that names nothing
    // changes nothing.
    virtual void Remove(const Variant& key) = 0;
    // The position of the name, or -1.
    virtual int IndexOf(const std::string& name) = 0;
    virtual void Clear() = 0;
    virtual Ref<ICollection> GetCollection() = 0;
};

// Every typed collection adds these two after the operations of ICollection.
// Get answers nothing for a key that names no item; Add takes its own
// reference and ignores an empty item or a name already present.
template <typename ItemInterface>
struct ITypedCollection : ICollection {
    using Item = ItemInterface;
    virtual Ref<ItemInterface> Get(const Variant& key) = 0;
    virtual void Add(ItemInterface* item) = 0;
};

// A part that belongs to an owner and can be started and stopped.
struct ISlave : IItem {
    virtual void SetOwner(IItem* owner) = 0;
    virtual void ClearOwner() = 0;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual void SetName(const std::string& name) = 0;
};

// The owner of parts; a part notifies it when it leaves on its own.
struct IOwner : IItem {
    virtual void NotifyOwner(IItem* item) = 0;
};

struct IPublisher;

struct IObserver : IUnknown {
    virtual void Update(IPublisher* publisher) = 0;
    virtual void Detached(IPublisher* publisher) = 0;
};

struct IObservers : ITypedCollection<IObserver> {};

// What observers see of a publisher.
struct IPublisher : IUnknown {
    virtual Ref<IItem> GetOwner() = 0;
    virtual void Attach(IObserver* observer) = 0;
    virtual void Detach(IObserver* observer) = 0;
};

// What the owner of a publisher sees of it.
struct IPublisherSlave : ISlave {
    virtual Ref<IObservers> GetObservers() = 0;
    virtual void Notify() = 0;
};

// The owner of a publisher (an action); adds nothing.
struct IPublisherOwner : IOwner {};

}  // namespace omb::ea

OMB_DECLARE_IID(omb::ea::IItem, "{A97A0D5A-4204-4FED-96F5-0ACEEF4BF213}")
OMB_DECLARE_IID(omb::ea::ICollection, "{9C4146F4-87D9-42D6-B621-BE1218E5F8F7}")
OMB_DECLARE_IID(omb::ea::ISlave, "{3A08E545-AF40-43E7-A986-20C651A215C8}")
OMB_DECLARE_IID(omb::ea::IOwner, "{314D43F1-EF7F-46AE-BE8D-B4BF7829B339}")
OMB_DECLARE_IID(omb::ea::IObserver, "{51EEC09F-9306-417D-ACD5-C125E6202977}")
OMB_DECLARE_IID(omb::ea::IObservers, "{7C333FCD-B2C1-4110-B209-58E2DE9E4DFF}")
OMB_DECLARE_IID(omb::ea::IPublisher, "{1ED44137-DA37-4DCD-BCD6-74B2CAF76386}")
OMB_DECLARE_IID(omb::ea::IPublisherSlave, "{9181DFAD-61D4-4B16-97F9-29A1EF264E76}")
OMB_DECLARE_IID(omb::ea::IPublisherOwner, "{269FC6B1-07B7-4D63-BECF-3F4D0E4B9417}")
