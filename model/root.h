// The configuration root: the one object created from the configuration
// file. It owns the window rules and the editor's two command sets, keeps the
// modified flag, saves the file and serves the command center's question
// which rule applies to a window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bom/ui_objects.h"
#include "foundation/errors.h"
#include "model/editor_controller.h"

namespace omb {

class TWindowRule;

// A well-formed document that is not a configuration: another root element,
// or the rules' container missing while an unknown element stands in its
// place. Loading it raises this, with the reason as the message, so that it
// counts as a file that does not load.
class ENotAConfiguration : public Exception {
public:
    using Exception::Exception;
};

// Role "ControlCenter".
struct IControlCenter : IUnknown {
    // The rule command text of the first enabled rule that matches the
    // window; empty when none does. Reads the model only.
    virtual std::string FindWindowCommand(HWND window) = 0;

protected:
    ~IControlCenter() = default;
};

// Role "CongifBuilder": how the editor opens, runs and closes its user
// interface over the configuration.
struct IConfigBuilder : IUnknown {
    virtual void OpenUI() = 0;
    virtual void CloseUI() = 0;
    virtual void RunUI() = 0;

protected:
    ~IConfigBuilder() = default;
};

class TTarvelWindows : public TBOM_UI_Object, public IControlCenter, public IConfigBuilder, public IUI {
public:
    OMB_IUNKNOWN

    void Initialize() override;
    bool IsRoot() override { return true; }
    std::string GetCaption() override;
    Ref<IUIList> GetSubList() override;
    std::unique_ptr<TAbstractDetailPanel> CreateDetailPanelFor(const std::string& name) override;
    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;
    void ObjectChanged(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                       IBOMObject* sender) override;
    void AfterChangeObjectName(const std::string& newPath, IBOMObject* obj, const std::string& senderPath,
                               IBOMObject* sender, const std::string& oldPath) override;
    void Broadcast(int code, int param1, int param2) override;
    // "menu" and "toolbar" are never written.
    bool ShouldSave(IBOMObject* child) override;

    // Any number of threads may ask at once while nobody changes the model.
    std::string FindWindowCommand(HWND window) override;

    // The editor's user interface, in the window the editor registered
    // (EditorWindowFactory); without one these do nothing.
    void OpenUI() override;
    void CloseUI() override;
    void RunUI() override;
    // The open editor's controller; nullptr while no user interface is open.
    TEditorController* Controller() const { return controller_.get(); }

    // The editor's commands are the root's, wherever the selection is.
    bool UpdateAction(TCommandAction* action) override;
    bool ExecuteAction(TCommandAction* action) override;

    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }

    // Writes the configuration to `fileName` when it was modified, clears the
    // flag and tells the command center (command 2). A document that cannot
    // be made or a file that cannot be written answers false and leaves the
    // flag set; nothing is sent then, and SaveError says why.
    bool SaveConfiguration(const std::string& fileName);
    // Why the last save failed (it may name where the new content was kept);
    // empty after one that succeeded.
    const std::string& SaveError() const { return saveError_; }
    // The same into the program folder's settings file.
    bool Save();

    // What a save would leave out of the file loaded last, in words the
    // user reads (what it is and where it stood); empty when a save keeps
    // everything. Parts of rules still to be read are read first. After a
    // save the file no longer holds them: the list is empty again.
    std::vector<std::string> Unkept();
    // Where loading the configuration notes what a save cannot keep.
    std::vector<std::string>* UnkeptList() { return &unkept_; }
    ~TTarvelWindows() override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    // A file whose rules had to be kept under new names loads as modified,
    // so that a save writes those names. A document of another shape
    // raises ENotAConfiguration before anything is read. What the file
    // holds around the root element is kept, or noted when it cannot be.
    void LoadContent(IHierStorage* node, bool readName) override;

private:
    // Raises ENotAConfiguration for a node of another shape (above).
    void CheckShape(IHierStorage* node);

    bool modified_ = false;
    std::string saveError_;
    // The comments and processing instructions before and after the root
    // element of the file loaded, as markup, written around it again.
    std::vector<std::string> before_, after_;
    std::vector<std::string> unkept_;
    std::unique_ptr<TEditorController> controller_;

    // The rules as FindWindowCommand walks them, taken again whenever the
    // rule collection's items changed; guarded by lookupLock_.
    Ref<TBOMCollection> rules_;
    SRWLOCK lookupLock_ = SRWLOCK_INIT;
    std::vector<TWindowRule*> lookupRules_;
    uint64_t lookupVersion_ = 0;
    bool lookupTaken_ = false;
};

}  // namespace omb

OMB_DECLARE_IID(omb::IControlCenter, "{AF4CB205-FF79-4254-9BB9-C89DED34DFC3}")
OMB_DECLARE_IID(omb::IConfigBuilder, "{35013AD6-5290-4BF2-B4FF-6ABB588E3C2A}")
