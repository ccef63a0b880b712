// Detail panels: the editor shows one for the object selected in the tree.
// This is the model's side of a panel (the object it edits, the operations
// every panel answers) and the process-wide registry that creates panels by
// name. The editor's panels derive from TAbstractDetailPanel and add their
// window; the command center registers none.
#pragma once

#include <memory>
#include <string>

#include "bom/interfaces.h"
#include "foundation/collections.h"

namespace omb {

class TAbstractDetailPanel {
public:
    TAbstractDetailPanel() = default;
    virtual ~TAbstractDetailPanel() = default;
    TAbstractDetailPanel(const TAbstractDetailPanel&) = delete;
    TAbstractDetailPanel& operator=(const TAbstractDetailPanel&) = delete;

    // Re-reads captions and hints through the language tables.
    virtual void UpdateLanguage() {}
    // Binds the panel to the object, then translates it.
    virtual void SetObject(IBOMObject* object);
    virtual void ClearObject() { editedObject_ = nullptr; }
    // Code 1: the language changed; other codes are the subclasses'.
    virtual void Notify(int code, int value1, int value2);
    // Loads the controls from the edited object's parameters.
    virtual void UpdateView() {}
    // The panel is put aside for another object: unbound (ClearObject); a
    // panel with a window also leaves the screen.
    virtual void PutAside() { ClearObject(); }
    // The teardown that needs the whole panel (its windows), run by
    // FreeDetailPanel before the panel is deleted; a destructor reaches
    // no virtual function.
    virtual void BeforeDestruction() {}
    // Whether the panel can show `object`, an object of the class it shows
    // now, in place: every panel embedded in it would show a part of
    // `object` of the same kind, so that no window has to change. None can
    // in the base.
    virtual bool CanRebind(IBOMObject* object) {
        (void)object;
        return false;
    }
    // Binds the panel, and those embedded in it, to `object` in place and
    // shows its values (CanRebind answered true). The language is the
    // same, so captions stay as they are.
    virtual void Rebind(IBOMObject* object) {
        editedObject_ = object;
        UpdateView();
    }
    // The registered name of the panel's class (CreateDetailPanel).
    const std::string& ClassKey() const { return classKey_; }
    virtual std::string GetTitle() { return title_; }

    // Renames the edited object through its owner, then refreshes.
    void RenameObject(const std::string& newName);
    // Sets parameter `name` of the edited object with a change event; a
    // value it already holds is not written again.
    void SetObjectParam(const std::string& name, const Variant& value);

    IBOMObject* EditedObject() const { return editedObject_.get(); }

protected:
    Ref<IBOMObject> editedObject_;
    std::string title_;

private:
    friend std::unique_ptr<TAbstractDetailPanel> CreateDetailPanel(const std::string& name);
    std::string classKey_;
};

using TDetailPanelFactory = TAbstractDetailPanel* (*)();
template <typename T> TAbstractDetailPanel* ConstructDetailPanel() { return new T(); }

// The panels open for one object, by panel role name. Not owning: the UI
// object frees them when it is detached.
class TAbstractDetailPanels : public TAbstractPointerCollection {
public:
    void Add(TAbstractDetailPanel* panel, const std::string& name) {
        if (panel) inner_.Add(panel, false, name);
    }
    TAbstractDetailPanel* Get(const Variant& key) const {
        return static_cast<TAbstractDetailPanel*>(inner_.Get(key));
    }
};

class TAbstractDetailPanelClasses : public TAbstractPointerCollection {
public:
    void Add(TDetailPanelFactory factory, const std::string& name);
    TDetailPanelFactory Get(const std::string& name) const;
};

// The process-wide registry; nullptr outside its lifetime.
TAbstractDetailPanelClasses* DetailPanelClasses();
void CreateDetailPanelRegistry();
void FreeDetailPanelRegistry();

// The first registration under a name (without regard to case) stays.
void RegisterDetailPanelClass(TDetailPanelFactory factory, const std::string& name);
template <typename T> void RegisterDetailPanelClass(const std::string& name) {
    RegisterDetailPanelClass(&ConstructDetailPanel<T>, name);
}
TDetailPanelFactory FindDetailPanelClass(const std::string& name);
// An unbound panel of the registered class: a spare one of that class when
// there is one, else a new one; empty for an unknown name.
std::unique_ptr<TAbstractDetailPanel> CreateDetailPanel(const std::string& name);
// Keeps a panel made by CreateDetailPanel for the next one asked of its
// class, put aside (PutAside); one of no registered class is freed.
void KeepSpareDetailPanel(std::unique_ptr<TAbstractDetailPanel> panel);
// Deletes a panel after its BeforeDestruction; nullptr does nothing.
void FreeDetailPanel(TAbstractDetailPanel* panel);
// Frees the spare panels, the last kept first; the registry's end frees
// them too.
void FreeSpareDetailPanels();
size_t SpareDetailPanelCount();

}  // namespace omb
