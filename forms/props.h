// Run-time information on published properties: a static table per class,
// in declaration order, chained to the base class's table. Each entry knows
// its name, kind and type details and how to get and set the value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace omb::forms {

enum class TTypeKind {
    tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod,
    tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64, tkDynArray
};
enum class TFloatType { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

class TPersistent;

struct TPropInfo {
    std::string name;
    TTypeKind kind = TTypeKind::tkUnknown;
    // Enumeration: the value names from ordinal 0; set: the element names.
    std::vector<std::string> names;
    TFloatType floatType = TFloatType::ftDouble;
    // Integer, character, enumeration, set (bit mask), wide character, 64-bit.
    std::function<int64_t(const TPersistent*)> getOrd;
    std::function<void(TPersistent*, int64_t)> setOrd;
    std::function<long double(const TPersistent*)> getFloat;
    std::function<void(TPersistent*, long double)> setFloat;
    // Strings and variants (a variant is held as its text).
    std::function<std::string(const TPersistent*)> getStr;
    std::function<void(TPersistent*, const std::string&)> setStr;
    std::function<TPersistent*(const TPersistent*)> getObj;
    std::function<void(TPersistent*, TPersistent*)> setObj;
};

struct TPropTable {
    const TPropTable* base = nullptr;
    std::vector<TPropInfo> props;
};

// Every object with published properties.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const { return "TPersistent"; }
    static const TPropTable& StaticProps();
    virtual const TPropTable& Props() const { return StaticProps(); }
};

// The published properties of an object, base classes' first, each kind in
// the filter (empty filter: every kind).
std::vector<const TPropInfo*> GetPropList(const TPersistent* object,
                                          const std::vector<TTypeKind>& filter = {});
const TPropInfo* FindPropInfo(const TPersistent* object, const std::string& name);

// Entries for tables, over member functions of class C.
template <typename C, typename T>
TPropInfo IntProp(const char* name, T (C::*get)() const, void (C::*set)(T)) {
    TPropInfo p;
    p.name = name;
    p.kind = sizeof(T) > 4 ? TTypeKind::tkInt64 : TTypeKind::tkInteger;
    p.getOrd = [get](const TPersistent* o) { return static_cast<int64_t>((static_cast<const C*>(o)->*get)()); };
    p.setOrd = [set](TPersistent* o, int64_t v) { (static_cast<C*>(o)->*set)(static_cast<T>(v)); };
    return p;
}
template <typename C>
TPropInfo BoolProp(const char* name, bool (C::*get)() const, void (C::*set)(bool)) {
    TPropInfo p;
    p.name = name;
    p.kind = TTypeKind::tkEnumeration;
    p.names = {"False", "True"};
    p.getOrd = [get](const TPersistent* o) { return int64_t((static_cast<const C*>(o)->*get)() ? 1 : 0); };
    p.setOrd = [set](TPersistent* o, int64_t v) { (static_cast<C*>(o)->*set)(v != 0); };
    return p;
}
template <typename C, typename E>
TPropInfo EnumProp(const char* name, std::vector<std::string> names, E (C::*get)() const,
                   void (C::*set)(E)) {
    TPropInfo p;
    p.name = name;
    p.kind = TTypeKind::tkEnumeration;
    p.names = std::move(names);
    p.getOrd = [get](const TPersistent* o) { return static_cast<int64_t>((static_cast<const C*>(o)->*get)()); };
    p.setOrd = [set](TPersistent* o, int64_t v) { (static_cast<C*>(o)->*set)(static_cast<E>(v)); };
    return p;
}
template <typename C>
TPropInfo SetProp(const char* name, std::vector<std::string> names, unsigned (C::*get)() const,
                  void (C::*set)(unsigned)) {
    TPropInfo p;
    p.name = name;
    p.kind = TTypeKind::tkSet;
    p.names = std::move(names);
    p.getOrd = [get](const TPersistent* o) { return static_cast<int64_t>((static_cast<const C*>(o)->*get)()); };
    p.setOrd = [set](TPersistent* o, int64_t v) { (static_cast<C*>(o)->*set)(static_cast<unsigned>(v)); };
    return p;
}
template <typename C, typename Get>
TPropInfo StrPropOf(const char* name, Get get, void (C::*set)(const std::string&)) {
    TPropInfo p;
    p.name = name;
    p.kind = TTypeKind::tkLString;
    p.getStr = [get](const TPersistent* o) { return std::string((static_cast<const C*>(o)->*get)()); };
    p.setStr = [set](TPersistent* o, const std::string& v) { (static_cast<C*>(o)->*set)(v); };
    return p;
}
// A text property whose getter answers the text or a reference to it.
template <typename C>
TPropInfo StrProp(const char* name, std::string (C::*get)() const, void (C::*set)(const std::string&)) {
    return StrPropOf<C>(name, get, set);
}
template <typename C>
TPropInfo StrProp(const char* name, const std::string& (C::*get)() const, void (C::*set)(const std::string&)) {
    return StrPropOf<C>(name, get, set);
}
template <typename C, typename T>
TPropInfo ObjProp(const char* name, T* (C::*get)() const, void (C::*set)(T*) = nullptr) {
    TPropInfo p;
    p.name = name;
    p.kind = TTypeKind::tkClass;
    p.getObj = [get](const TPersistent* o) -> TPersistent* { return (static_cast<const C*>(o)->*get)(); };
    if (set)
        p.setObj = [set](TPersistent* o, TPersistent* v) { (static_cast<C*>(o)->*set)(dynamic_cast<T*>(v)); };
    return p;
}

// A list of text lines as a property value.
class TStrings : public TPersistent {
public:
    const char* ClassName() const override { return "TStrings"; }
    std::vector<std::string> lines;
};

class TCollection;

class TCollectionItem : public TPersistent {
public:
    const char* ClassName() const override { return "TCollectionItem"; }
    TCollection* Collection() const { return collection_; }

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;
};

// An owned list of items of one class.
class TCollection : public TPersistent {
public:
    using TFactory = std::function<TCollectionItem*()>;
    explicit TCollection(TFactory factory) : factory_(std::move(factory)) {}
    ~TCollection() override { Clear(); }
    const char* ClassName() const override { return "TCollection"; }

    int Count() const { return static_cast<int>(items_.size()); }
    TCollectionItem* Item(int index) const { return items_.at(static_cast<size_t>(index)); }
    TCollectionItem* Add();
    void Delete(int index);
    void Clear();
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate() { if (updateCount_ > 0) --updateCount_; }
    int UpdateCount() const { return updateCount_; }

private:
    TFactory factory_;
    std::vector<TCollectionItem*> items_;
    int updateCount_ = 0;
};

}  // namespace omb::forms
