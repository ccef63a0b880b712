#include "extender/items.h"

#include "foundation/params.h"
#include "foundation/strings.h"

namespace omb::ea {

HRESULT TAbstractItem::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IItem>(this, iid, object)) return S_OK;
    return TDebugInterfacedObject::QueryImpl(iid, object);
}

TAbstractCollection::TAbstractCollection() = default;

HRESULT TAbstractCollection::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<ICollection>(this, iid, object)) return S_OK;
    return TAbstractItem::QueryImpl(iid, object);
}

int TAbstractCollection::GetCount() {
    return items_.Count();
}

void TAbstractCollection::Remove(const Variant& key) {
    try {
        items_.Delete(key);
    } catch (...) {
    }
}

int TAbstractCollection::IndexOf(const std::string& name) {
    try {
        return items_.IndexOf(name);
    } catch (...) {
        return -1;
    }
}

void TAbstractCollection::Clear() {
    try {
        items_.Clear();
    } catch (...) {
    }
}

Ref<ICollection> TAbstractCollection::GetCollection() {
    return Ref<ICollection>(this);
}

Ref<IUnknown> TAbstractCollection::ItemAt(int index) {
    return GetEntry(Variant(index));
}

bool TAbstractCollection::AddEntry(IUnknown* item, const std::string& name, bool generatedName) {
    if (!item) return false;
    try {
        return items_.Add(item, generatedName, name) != nullptr;
    } catch (...) {
        return false;
    }
}

Ref<IUnknown> TAbstractCollection::GetEntry(const Variant& key) {
    if (key.IsInteger() && (key.AsInteger() < 0 || key.AsInteger() >= items_.Count())) return nullptr;
    try {
        return items_.Get(key);
    } catch (...) {
        return nullptr;
    }
}

void TAbstractParamsItem::ParseParam(const std::string& key, const std::string& value) {
    if (key == "NAME") name_ = value;
}

Ref<IItem> TAbstractParamsItem::CreateChildItem(const std::string& params,
                                                const std::string& typeName) const {
    return CreateItem(params, typeName, depth_ + 1);
}

Ref<IItem> TAbstractParamsItem::CreateChildItemFromString(const std::string& text) const {
    return CreateItemFromString(text, depth_ + 1);
}

Ref<IItem> BuildItem(TItemFactory factory, const std::string& params, int depth) {
    if (!factory || depth < 0 || depth >= kMaxItemDepth || params.size() > kMaxItemText) return nullptr;
    Ref<TAbstractParamsItem> item(factory());
    if (!item) return nullptr;
    item->depth_ = depth;
    item->Init();
    if (!params.empty()) {
        TTwoArrayOfString pairs;
        const int n = ParseKeyValues(params, pairs, '\\', '=');
        for (int i = 0; i < n && size_t(i) < pairs.size(); ++i)
            item->ParseParam(UpperCaseAZ(pairs[size_t(i)][0]), pairs[size_t(i)][1]);
    }
    return Ref<IItem>(static_cast<IItem*>(item.get()));
}

void TItemClasses::Register(TItemFactory factory, const std::string& name) {
    if (!factory) return;
    inner_.Add(reinterpret_cast<void*>(factory), false, name);
}

TItemFactory TItemClasses::Find(const std::string& name) const {
    return reinterpret_cast<TItemFactory>(inner_.Get(Variant(name)));
}

namespace {
// A plain pointer: the library creates and frees it at start-up and unload,
// in its own order, with no destructor left to run at exit.
TItemClasses* g_itemClasses = nullptr;
}  // namespace

TItemClasses* ItemClasses() {
    return g_itemClasses;
}

void CreateItemClasses() {
    if (!g_itemClasses) g_itemClasses = new TItemClasses();
}

void FreeItemClasses() {
    delete g_itemClasses;
    g_itemClasses = nullptr;
}

void RegisterItemClass(TItemFactory factory, const std::string& name) {
    if (g_itemClasses && factory) g_itemClasses->Register(factory, name);
}

TItemFactory FindItemClass(const std::string& name) {
    return g_itemClasses ? g_itemClasses->Find(name) : nullptr;
}

Ref<IItem> CreateItem(const std::string& params, const std::string& typeName, int depth) {
    TItemFactory factory = FindItemClass(typeName);
    if (!factory) return nullptr;
    return BuildItem(factory, params, depth);
}

Ref<IItem> CreateItemFromString(const std::string& text, int depth) {
    if (text.empty() || text.size() > kMaxItemText) return nullptr;
    const size_t brace = text.find('{');
    if (brace == std::string::npos) return CreateItem(std::string(), text, depth);
    std::string params = text.substr(brace + 1);
    if (!params.empty()) params.pop_back();  // the closing brace, whatever it is
    return CreateItem(params, text.substr(0, brace), depth);
}

bool IsYes(const std::string& value) {
    return UpperCaseAZ(value) == "YES";
}

}  // namespace omb::ea
