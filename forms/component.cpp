#include "forms/component.h"

#include <algorithm>

#include "foundation/strings.h"

namespace omb::forms {

const TPropTable& TComponent::StaticProps() {
    static const TPropTable table{&TPersistent::StaticProps(),
                                  {[] {
                                      TPropInfo p;
                                      p.name = "Name";
                                      p.kind = TTypeKind::tkLString;
                                      p.getStr = [](const TPersistent* o) {
                                          return static_cast<const TComponent*>(o)->Name();
                                      };
                                      p.setStr = [](TPersistent* o, const std::string& v) {
                                          static_cast<TComponent*>(o)->SetName(v);
                                      };
                                      return p;
                                  }()}};
    return table;
}

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    destroying_ = true;
    // Whoever asked is told first, while this object is still whole enough
    // to be compared by address.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        auto& back = other->freeNotifies_;
        back.erase(std::remove(back.begin(), back.end(), this), back.end());
        if (!other->destroying_) other->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameTextAZ(c->name_, name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    component->owner_ = this;
    components_.push_back(component);
    for (size_t i = 0; i < components_.size(); ++i)
        if (components_[i] != component) components_[i]->Notification(component, TOperation::opInsert);
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end()) return;
    components_.erase(it);
    component->owner_ = nullptr;
    if (destroying_) return;
    Notification(component, TOperation::opRemove);
    // Copy: a handler may free a component.
    const std::vector<TComponent*> others = components_;
    for (TComponent* c : others)
        if (std::find(components_.begin(), components_.end(), c) != components_.end() && !c->destroying_)
            c->Notification(component, TOperation::opRemove);
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* last = components_.back();
        last->BeforeDestruction();
        delete last;  // its destructor takes it out of the list
        if (!components_.empty() && components_.back() == last) components_.pop_back();
    }
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end()) {
        freeNotifies_.push_back(other);
        other->freeNotifies_.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), other), freeNotifies_.end());
    other->freeNotifies_.erase(std::remove(other->freeNotifies_.begin(), other->freeNotifies_.end(), this),
                               other->freeNotifies_.end());
}

void TComponent::Notification(TComponent*, TOperation) {}

void FreeComponent(TComponent* component) {
    if (!component) return;
    component->BeforeDestruction();
    delete component;
}

void TComponent::SetLoadingTree(bool value) {
    loading_ = value;
    for (TComponent* c : components_) c->SetLoadingTree(value);
}

void TComponent::BeginLoading() { SetLoadingTree(true); }

void TComponent::EndLoading() {
    SetLoadingTree(true);
    // Owned components first, the owner last: an owner's Loaded may rely on
    // its components being complete.
    const std::vector<TComponent*> owned = components_;
    for (TComponent* c : owned) c->Loaded();
    Loaded();
}

}  // namespace omb::forms
