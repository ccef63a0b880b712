// Name-keyed collections. Items keep their insertion order and are found by
// position or by name; names are case-insensitive (a to z) and are held only
// as the CRC-32 of their upper-cased text, so two names with the same checksum
// are one name.
#pragma once

#include <string>

#include "foundation/com.h"
#include "foundation/hashlist.h"
#include "foundation/variant.h"

namespace omb {

class TBaseCollection {
public:
    TBaseCollection();
    virtual ~TBaseCollection() = default;
    TBaseCollection(const TBaseCollection&) = delete;
    TBaseCollection& operator=(const TBaseCollection&) = delete;

    int Count() const { return list_.Count(); }
    int IndexOf(const std::string& name) const { return list_.IndexOf(name); }
    bool Exists(const std::string& name) const { return IndexOf(name) >= 0; }
    const std::string& LastKey() const { return lastKey_; }

    // By name a missing name raises "Hash not found."; by position one outside
    // 0 to Count - 1 raises "Invalid index."; any other key does nothing.
    virtual void Delete(const Variant& key);
    virtual void Clear();
    // Gives the item at the position a new name; it keeps its place. A name
    // that another item holds is refused (false); a bad position raises
    // "Invalid index.".
    bool Rename(int index, const std::string& name);

protected:
    // The item, or nullptr when the name is present already.
    void* AddItem(void* item, bool automatic, const std::string& name);
    // The item; nullptr for a missing name or a key of another kind; a bad
    // position raises "Invalid index.".
    void* GetItem(const Variant& key) const;
    // Position named by the key; -1 when it names nothing. Missing names raise
    // "Hash not found." and bad positions "Invalid index.".
    int PositionForDelete(const Variant& key) const;

    TElHashList list_;

private:
    std::string NextAutoName();
    // A name given by hand: LastKey follows the greatest.
    void NoteName(const std::string& name);
    std::string lastKey_;
};

class TPointerCollection : public TBaseCollection {
public:
    void* Add(void* item, bool automatic, const std::string& name) {
        return AddItem(item, automatic, name);
    }
    void* Get(const Variant& key) const { return GetItem(key); }
};

// Holds one reference on each stored item.
class TInterfaceCollection : public TBaseCollection {
public:
    ~TInterfaceCollection() override;

    // The item, or nullptr (and no reference taken) when the name is present.
    IUnknown* Add(IUnknown* item, bool automatic, const std::string& name);
    // A reference of the caller's own; empty for a missing name.
    Ref<IUnknown> Get(const Variant& key) const;
    template <typename I> Ref<I> GetAs(const Variant& key) const { return QueryAs<I>(Get(key).get()); }

    // The entry leaves the collection before the item is released, so a
    // destructor that re-enters finds a consistent collection.
    void Delete(const Variant& key) override;
    void Clear() override;
};

class TStringCollection : public TBaseCollection {
public:
    TStringCollection();
    ~TStringCollection() override;

    // The value (also when the name was present and nothing was stored).
    std::string Add(const std::string& value, bool automatic, const std::string& name);
    // Empty for a missing name.
    std::string Get(const Variant& key) const;
};

// Owns one pointer collection; the base of the registries.
class TAbstractPointerCollection {
public:
    virtual ~TAbstractPointerCollection() = default;
    void Delete(const Variant& key) { inner_.Delete(key); }
    int Count() const { return inner_.Count(); }

protected:
    TPointerCollection inner_;
};

}  // namespace omb
