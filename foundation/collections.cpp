#include "foundation/collections.h"

#include <memory>

#include "foundation/strings.h"

namespace omb {

TBaseCollection::TBaseCollection() {
    list_.SetHashKind(THashKind::CRC32);
    list_.IgnoreCase = true;
    list_.DuplicateMode = TDuplicateMode::Refuse;
    list_.RaiseIfAbsent = false;
    list_.OwnsObjects = false;
}

std::string TBaseCollection::NextAutoName() {
    if (lastKey_.empty() || static_cast<unsigned char>(lastKey_.back()) == 255)
        lastKey_ += '!';
    else
        lastKey_.back() = char(static_cast<unsigned char>(lastKey_.back()) + 1);
    return lastKey_;
}

void TBaseCollection::NoteName(const std::string& name) {
    if (CompareTextAZ(Trim(lastKey_), Trim(name)) < 0) lastKey_ = name;
}

void* TBaseCollection::AddItem(void* item, bool automatic, const std::string& name) {
    std::string key = name;
    if (automatic)
        key = NextAutoName();
    else
        NoteName(name);
    if (list_.IndexOf(key) >= 0) return nullptr;  // the list would refuse it
    list_.Add(key, item);
    return item;
}

bool TBaseCollection::Rename(int index, const std::string& name) {
    if (index < 0 || index >= Count()) throw EElHashListError("Invalid index.");
    const int present = list_.IndexOf(name);
    if (present >= 0 && present != index) return false;
    NoteName(name);
    return list_.Rekey(index, name);
}

void* TBaseCollection::GetItem(const Variant& key) const {
    if (key.IsInteger()) return list_.Item(key.AsInteger());
    if (key.IsString()) return list_.Find(key.AsStringRef());
    return nullptr;
}

int TBaseCollection::PositionForDelete(const Variant& key) const {
    if (key.IsInteger()) {
        if (key.AsInteger() < 0 || key.AsInteger() >= Count()) throw EElHashListError("Invalid index.");
        return key.AsInteger();
    }
    if (key.IsString()) {
        int i = list_.IndexOf(key.AsStringRef());
        if (i < 0) throw EElHashListError("Hash not found.");
        return i;
    }
    return -1;
}

void TBaseCollection::Delete(const Variant& key) {
    int i = PositionForDelete(key);
    if (i >= 0) list_.Delete(i);
}

void TBaseCollection::Clear() { list_.Clear(); }

TInterfaceCollection::~TInterfaceCollection() {
    try {
        Clear();
    } catch (...) {
    }
}

IUnknown* TInterfaceCollection::Add(IUnknown* item, bool automatic, const std::string& name) {
    if (!AddItem(item, automatic, name)) return nullptr;
    if (item) item->AddRef();
    return item;
}

Ref<IUnknown> TInterfaceCollection::Get(const Variant& key) const {
    return Ref<IUnknown>(static_cast<IUnknown*>(GetItem(key)));
}

void TInterfaceCollection::Delete(const Variant& key) {
    int i = PositionForDelete(key);
    if (i < 0) return;
    IUnknown* item = static_cast<IUnknown*>(list_.Item(i));
    list_.Delete(i);
    if (item) item->Release();
}

void TInterfaceCollection::Clear() {
    for (int i = Count() - 1; i >= 0; --i) {
        // A release may re-enter and shrink the collection.
        if (i < Count()) Delete(Variant(i));
    }
}

TStringCollection::TStringCollection() {
    list_.OwnsObjects = true;
    list_.FreeObject = [](void* p) { delete static_cast<std::string*>(p); };
}

TStringCollection::~TStringCollection() { Clear(); }

std::string TStringCollection::Add(const std::string& value, bool automatic, const std::string& name) {
    std::unique_ptr<std::string> copy(new std::string(value));
    if (AddItem(copy.get(), automatic, name)) copy.release();
    return value;
}

std::string TStringCollection::Get(const Variant& key) const {
    auto* s = static_cast<std::string*>(GetItem(key));
    return s ? *s : std::string();
}

}  // namespace omb
