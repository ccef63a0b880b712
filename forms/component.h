// Components: named objects owned by another component (a form owns its
// controls), found by name, told when a component they refer to goes, and
// told once the layout that created them is complete.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "forms/props.h"

namespace omb::forms {

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    const char* ClassName() const override { return "TComponent"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    const std::string& Name() const { return name_; }
    virtual void SetName(const std::string& name) { name_ = name; }
    TComponent* Owner() const { return owner_; }

    size_t ComponentCount() const { return components_.size(); }
    TComponent* Component(size_t index) const { return components_[index]; }
    // The owned component of that name, compared without regard to case.
    TComponent* FindComponent(const std::string& name) const;

    bool Loading() const { return loading_; }
    bool Destroying() const { return destroying_; }

    // A layout built in code: BeginLoading before the first component,
    // EndLoading after the last; EndLoading calls Loaded on this component
    // and on every owned one, in creation order.
    void BeginLoading();
    void EndLoading();

    // `other` is told (Notification with opRemove) when this component goes.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    // Frees every owned component, the last created first, each through
    // its BeforeDestruction.
    void DestroyComponents();

    // The teardown that needs the whole object, run once before it is
    // deleted: by its owner (DestroyComponents), by FreeComponent and by
    // TComponentPtr. A control's window and the subclasses on it go here,
    // with every override in place; a destructor calls no virtual function,
    // so a component deleted without this step only unlinks what it holds.
    virtual void BeforeDestruction() {}

protected:
    // The layout is complete.
    virtual void Loaded() { loading_ = false; }
    // A component was inserted into or removed from the owner, or a
    // component this one asked about is going.
    virtual void Notification(TComponent* component, TOperation operation);
    // A derived destructor calls this first: no notification reaches it.
    void MarkDestroying() { destroying_ = true; }

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    void SetLoadingTree(bool value);

    std::string name_;
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    bool loading_ = false;
    bool destroying_ = false;
};

// Deletes a component after its BeforeDestruction; nullptr does nothing.
void FreeComponent(TComponent* component);
struct TComponentDeleter {
    void operator()(TComponent* component) const { FreeComponent(component); }
};
// An owner-less component held by its creator, freed in the two steps.
template <typename T> using TComponentPtr = std::unique_ptr<T, TComponentDeleter>;
template <typename T, typename... A> TComponentPtr<T> MakeComponent(A&&... args) {
    return TComponentPtr<T>(new T(std::forward<A>(args)...));
}

}  // namespace omb::forms
