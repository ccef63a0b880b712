// The item framework of the window extender: the counted item base, the
// name-keyed item collections, the items built from parameter strings, and
// the process-wide registry that creates them by type name.
//
// Items come from the rule command text, which another process sends, so the
// reader is bounded: a parameter string longer than kMaxItemText or an item
// nested deeper than kMaxItemDepth builds nothing.
#pragma once

#include <cstddef>
#include <string>

#include "extender/item_interfaces.h"
#include "foundation/collections.h"

namespace omb::ea {

// Repeats IItem's operation in a class that inherits IItem through more than
// one interface, so that every path reaches TAbstractItem's.
#define OMB_EA_IITEM                                \
    std::string GetName() override {                \
        return ::omb::ea::TAbstractItem::GetName(); \
    }

// A named, counted object. The name is empty until a subclass sets it.
class TAbstractItem : public TDebugInterfacedObject, public IItem {
public:
    OMB_IUNKNOWN
    std::string GetName() override { return name_; }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    std::string name_;
};

// Holds one reference on each of its items, keyed by name without regard to
// case (a to z). No operation lets a failure reach the caller.
class TAbstractCollection : public TAbstractItem, public ICollection {
public:
    TAbstractCollection();
    OMB_IUNKNOWN
    OMB_EA_IITEM
    int GetCount() override;
    void Remove(const Variant& key) override;
    int IndexOf(const std::string& name) override;
    void Clear() override;
    Ref<ICollection> GetCollection() override;
    // The item at a position as a plain interface; nothing when there is none.
    virtual Ref<IUnknown> ItemAt(int index);

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    // Adds the item under the name, or under a name the collection generates.
    // False when the name is present already or the item is empty.
    bool AddEntry(IUnknown* item, const std::string& name, bool generatedName);
    // The item at a position or with a name; nothing for any other key.
    Ref<IUnknown> GetEntry(const Variant& key);

    TInterfaceCollection items_;
};

// Repeats ICollection's operations in a class that inherits ICollection
// through more than one interface.
#define OMB_EA_ICOLLECTION                                        \
    int GetCount() override {                                     \
        return ::omb::ea::TAbstractCollection::GetCount();        \
    }                                                             \
    void Remove(const ::omb::Variant& key) override {             \
        ::omb::ea::TAbstractCollection::Remove(key);              \
    }                                                             \
    int IndexOf(const std::string& name) override {               \
        return ::omb::ea::TAbstractCollection::IndexOf(name);     \
    }                                                             \
    void Clear() override {                                       \
        ::omb::ea::TAbstractCollection::Clear();                  \
    }                                                             \
    ::omb::Ref<::omb::ea::ICollection> GetCollection() override { \
        return ::omb::ea::TAbstractCollection::GetCollection();   \
    }

// A collection typed by its interface (an ITypedCollection<Item> with a GUID
// of its own). Items are added under their own name, or, with GeneratedNames,
// under a name the collection makes up, so the same item may stand in it twice.
template <typename CollectionInterface, bool GeneratedNames = false>
class TTypedCollection : public TAbstractCollection, public CollectionInterface {
public:
    using Item = typename CollectionInterface::Item;

    OMB_IUNKNOWN
    OMB_EA_IITEM
    OMB_EA_ICOLLECTION

    Ref<Item> Get(const Variant& key) override {
        try {
            return QueryAs<Item>(GetEntry(key).get());
        } catch (...) {
            return nullptr;
        }
    }
    void Add(Item* item) override {
        if (!item) return;
        try {
            if constexpr (GeneratedNames)
                AddEntry(item, std::string(), true);
            else
                AddEntry(item, item->GetName(), false);
        } catch (...) {
        }
    }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (Offer<CollectionInterface>(this, iid, object)) return S_OK;
        return TAbstractCollection::QueryImpl(iid, object);
    }
};

constexpr int kMaxItemDepth = 8;            // items nested inside items, the outermost at 0
constexpr size_t kMaxItemText = 32 * 1024;  // characters of one parameter string or item text

// An item built from a parameter string: the registry's factory constructs it,
// then Init runs, then ParseParam receives each key (upper-cased, a to z) with
// its value in the order of the text.
class TAbstractParamsItem : public TAbstractItem {
public:
    // Runs once, before any key: defaults set here are overwritten by the text.
    virtual void Init() {}
    // NAME sets the item's name. Every override calls this first.
    virtual void ParseParam(const std::string& key, const std::string& value);

    // How deep this item stands inside the item that was built first.
    int BuildDepth() const { return depth_; }

protected:
    // Items made by this one (children in its text, parts made in Init) are
    // built through these, one level deeper, so nesting stays bounded.
    Ref<IItem> CreateChildItem(const std::string& params, const std::string& typeName) const;
    Ref<IItem> CreateChildItemFromString(const std::string& text) const;

private:
    friend Ref<IItem> BuildItem(TAbstractParamsItem* (*)(), const std::string&, int);
    int depth_ = 0;
};

using TItemFactory = TAbstractParamsItem* (*)();
template <typename T>
TAbstractParamsItem* ConstructItem() {
    return new T();
}

// Builds an item of the factory's class from a parameter string (separator
// "\", delimiter "="). Nothing when the depth is beyond kMaxItemDepth or the
// string longer than kMaxItemText. Failures of Init and ParseParam pass on;
// the object is then freed.
Ref<IItem> BuildItem(TItemFactory factory, const std::string& params, int depth = 0);

// Maps item type names to factories; names compare without regard to case.
class TItemClasses : public TAbstractPointerCollection {
public:
    // The first registration under a name stays; an empty factory is ignored.
    void Register(TItemFactory factory, const std::string& name);
    TItemFactory Find(const std::string& name) const;
};

// The process-wide registry: nullptr before CreateItemClasses and after
// FreeItemClasses. Written only while the library starts, read afterwards
// from any thread without a lock.
TItemClasses* ItemClasses();
void CreateItemClasses();
void FreeItemClasses();

void RegisterItemClass(TItemFactory factory, const std::string& name);
template <typename T>
void RegisterItemClass(const std::string& name) {
    RegisterItemClass(&ConstructItem<T>, name);
}
TItemFactory FindItemClass(const std::string& name);

// A new item of the registered type built from the parameter string; nothing
// when there is no registry or the type is not registered.
Ref<IItem> CreateItem(const std::string& params, const std::string& typeName, int depth = 0);
// The text is a type name, "{", a parameter string and one last character
// taken as the closing brace, or a type name alone.
Ref<IItem> CreateItemFromString(const std::string& text, int depth = 0);

// A Boolean parameter: true only when the value, upper-cased (a to z), is "YES".
bool IsYes(const std::string& value);

}  // namespace omb::ea
