#include "forms/props.h"

#include <algorithm>

#include "foundation/strings.h"

namespace omb::forms {

const TPropTable& TPersistent::StaticProps() {
    static const TPropTable table{};
    return table;
}

std::vector<const TPropInfo*> GetPropList(const TPersistent* object, const std::vector<TTypeKind>& filter) {
    std::vector<const TPropInfo*> out;
    if (!object) return out;
    std::vector<const TPropTable*> chain;
    for (const TPropTable* t = &object->Props(); t; t = t->base) chain.push_back(t);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const TPropInfo& p : (*it)->props)
            if (filter.empty() || std::find(filter.begin(), filter.end(), p.kind) != filter.end())
                out.push_back(&p);
    return out;
}

const TPropInfo* FindPropInfo(const TPersistent* object, const std::string& name) {
    for (const TPropInfo* p : GetPropList(object))
        if (SameTextAZ(p->name, name)) return p;
    return nullptr;
}

TCollectionItem* TCollection::Add() {
    TCollectionItem* item = factory_();
    item->collection_ = this;
    items_.push_back(item);
    return item;
}

void TCollection::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    TCollectionItem* item = items_[static_cast<size_t>(index)];
    items_.erase(items_.begin() + index);
    delete item;
}

void TCollection::Clear() {
    while (!items_.empty()) Delete(Count() - 1);
}

}  // namespace omb::forms
