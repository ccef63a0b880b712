// Interfaces through which business objects talk to each other and to the
// rest of the system. Every business object is handed around only as one of
// these counted interfaces.
#pragma once

#include <string>

#include "foundation/com.h"
#include "foundation/variant.h"

#ifdef _WIN32
// The platform's headers define GetObject as a macro; the object tree has an
// operation of that name. Include them first, then drop the macro.
#include <windows.h>
#undef GetObject
#endif

namespace omb {

struct IBOMObjectOwner;

// Any node of the object tree.
struct IBOMObject : IUnknown {
    // Resolves a path relative to this object; empty when it leads nowhere.
    virtual Ref<IBOMObject> GetObject(const std::string& path) = 0;
    virtual std::string GetName() = 0;
    // The owner's full path, "/", the name; without owner the bare name.
    virtual std::string GetFullPath() = 0;
    // The interface of a role; empty when the object lacks it.
    virtual Ref<IUnknown> QueryRole(const std::string& role) = 0;
    virtual bool SupportsRole(const std::string& role) = 0;
    // Change event: objectPath leads from the receiver to the origin obj,
    // senderPath to the neighbour that handed the event on.
    virtual void ObjectChanged(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                               IBOMObject* sender) = 0;
    // Rename event, with the old path rewritten the same way as the new one.
    virtual void AfterChangeObjectName(const std::string& newPath, IBOMObject* obj,
                                       const std::string& senderPath, IBOMObject* sender,
                                       const std::string& oldPath) = 0;
    // Passed to the whole subtree; code 1: the user-interface language changed.
    virtual void Broadcast(int code, int param1, int param2) = 0;
    virtual int GetRefCount() = 0;

protected:
    ~IBOMObject() = default;
};

// The side of an object that its owner and the creating code use.
struct IBOMObjectSlave : virtual IBOMObject {
    // Sets this object's owner link and links every descendant to its parent.
    virtual void SetOwner(IBOMObjectOwner* owner) = 0;
    // Clears the owner links of this object and of every descendant.
    virtual void Disconnect() = 0;
    virtual std::string GetTypeName() = 0;
    virtual void SetName(const std::string& name) = 0;

protected:
    ~IBOMObjectSlave() = default;
};

struct IBOMObjectOwner : virtual IBOMObject {
    // Renames a child if the owner allows it.
    virtual void RenameChild(IBOMObjectSlave* child, const std::string& newName) = 0;

protected:
    ~IBOMObjectOwner() = default;
};

// Role "Collection".
struct IBOMCollection : virtual IBOMObject {
    virtual int Count() = 0;
    // An integer key is an index from 0, a string key a name.
    virtual Ref<IBOMObject> GetItem(const Variant& key) = 0;
    virtual void AddItem(IBOMObject* item) = 0;
    virtual void DeleteItem(const Variant& key) = 0;
    virtual int IndexOf(const std::string& name) = 0;
    virtual void Clear() = 0;
    virtual void RekeyItem(IBOMObject* item, const std::string& newName) = 0;

protected:
    ~IBOMCollection() = default;
};

struct IBOMParam : virtual IBOMObject {
    virtual Variant GetValue() = 0;
    // Stores the value and sends a change event to the owner.
    virtual void SetValue(const Variant& value) = 0;
    // Stores the value without an event.
    virtual void SetValueSilent(const Variant& value) = 0;

protected:
    ~IBOMParam() = default;
};

}  // namespace omb

OMB_DECLARE_IID(omb::IBOMObject, "{B01E1F2E-4A8E-4496-8085-A86B638DDB1B}")
OMB_DECLARE_IID(omb::IBOMObjectSlave, "{D4BF3169-0633-4579-85CF-B8A0B3EAEE98}")
OMB_DECLARE_IID(omb::IBOMObjectOwner, "{BE6B345B-BD0A-4813-8BB1-3CE5611CA06E}")
OMB_DECLARE_IID(omb::IBOMCollection, "{1ED5A211-8CF6-4B11-AFD9-EADB2D29590D}")
OMB_DECLARE_IID(omb::IBOMParam, "{0D998A55-AB28-4A08-8FB2-1E2C199FAE11}")
