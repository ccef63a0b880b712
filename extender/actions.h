// Actions: what a window rule does to its window from inside the window's own
// process. Each action offers named operations, knows its current and next
// operation, performs one when an agent asks, can keep its current operation
// in the registry across the window's life, and notifies its observers after
// each operation it performs.
//
// The window is always reached through the owner (the window extender):
// Owner -> GetWindowHandler -> GetWindow, and the rule's name through
// GetRuleName. Actions are built and attached on the worker thread that
// fetched the rule and run afterwards on the window's thread; the few fields
// both touch are guarded by a lock held only to read or write them.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "extender/ea_interfaces.h"
#include "extender/items.h"
#include "extender/publisher.h"
#include "foundation/handles.h"

namespace omb::ea {

// "SOFTWARE\Quennet\Ombrel\WindowRules\" followed by the rule's name: the
// key (under HKEY_CURRENT_USER) of every value an action keeps for a rule.
std::string WindowRulesKey(const std::string& ruleName);

// That key opened for reading and writing (created when `create` and
// missing) through the wide calls. The rule's name comes from the command
// center in UTF-8 and is converted as UTF-8, so every program opens the same
// key whatever its own code page. Empty when the key cannot be opened, or
// when the name is not UTF-8: no lossy conversion ever picks a key.
UniqueRegKey OpenWindowRulesKey(const std::string& ruleName, bool create);
// A value name of such a key (our UTF-8 text) for the wide calls.
std::wstring RegistryValueName(const std::string& name);

class TAction : public TAbstractParamsItem,
                public ISlave,
                public IPublisherOwner,
                public IExtenderAction,
                public IAttachNoticeAction {
public:
    OMB_IUNKNOWN
    OMB_EA_IITEM

    // Creates the publisher and the operations, then CreateOperations.
    void Init() override;
    // NAME; SAVECURRENTOPERATION ("yes" in any case).
    void ParseParam(const std::string& key, const std::string& value) override;

    // Makes the named operation current and the one after it (the first
    // after the last) next; both none for a name the action does not offer.
    virtual void SetCurrentOperation(const std::string& name);
    // Performs the operation on the window; true when it did.
    virtual bool ApplyOperation(const std::string& name);

    // ISlave
    void SetOwner(IItem* owner) override;
    void ClearOwner() override;
    void Start() override {}
    void Stop() override {}
    void SetName(const std::string& name) override;

    // IOwner (as the publisher's owner): nothing.
    void NotifyOwner(IItem*) override {}

    // IWindowPart: attaching performs the saved operation, detaching saves
    // the current one (both only with SAVECURRENTOPERATION=yes). Attached
    // from another thread than the window's, the saved operation waits for
    // the attach notice on the window's thread (WindowAttached).
    void AttachWindow() override;
    void DetachWindow() override;

    // IAttachNoticeAction
    void WindowAttached() override;

    // IExtenderAction
    Ref<IOperations> GetOperations() override { return operations_; }
    Ref<IOperation> GetNextOperation() override;
    Ref<IOperation> GetCurrentOperation() override;
    // Failures pass on to the caller (the agent catches them).
    bool ExecuteOperation(const std::string& name) override;
    bool ExecuteNext() override;
    Ref<IPublisher> GetPublisher() override;
    bool ApplyHoverEffect(const std::string& name) override;
    bool RemoveHoverEffect() override;

    bool SavesCurrentOperation() const { return saveCurrentOperation_; }
    // The value under which the current operation is kept: Name followed by
    // "_CurrentOperation".
    std::string SavedOperationValueName() const { return name_ + "_CurrentOperation"; }
    // The saved operation's name; empty when there is none or on any failure.
    std::string ReadSavedOperation();
    void SaveCurrentOperationToRegistry();

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

    // Builds the action's operations (every concrete action supplies it).
    virtual void CreateOperations() {}
    // Builds one operation from its parameter string and adds it.
    Ref<IOperation> AddOperation(const char* params);
    // Sets both operation references at once (either may be none).
    void SetOperations(const Ref<IOperation>& current, const Ref<IOperation>& next);
    Ref<IOperation> FindOperation(const std::string& name);

    Ref<IActionOwner> Owner();
    Ref<IWindowHandler> WindowHandler();
    HWND Window();
    void NotifyObservers();

private:
    bool saveCurrentOperation_ = false;
    Ref<IPublisherSlave> publisher_;
    Ref<IOperations> operations_;

    SRWLOCK lock_ = SRWLOCK_INIT;  // guards the five fields below
    Ref<IActionOwner> owner_;
    Ref<IOperation> current_;
    Ref<IOperation> next_;
    std::string hover_;
    std::string savedToPerform_;  // a saved operation waiting for the attach notice
};

// An action that acts once in its life.
class TSingleCallAction : public TAction {
public:
    void Init() override;
    bool Pending() const { return pending_.load(); }

protected:
    // True exactly once: while pending and for the name of the next
    // operation; the action is then done.
    bool TakePending(const std::string& name);

private:
    std::atomic<bool> pending_{true};
};

// Registered as "CLOSEWINDOWACTION": posts WM_CLOSE to its window, once.
class TCloseWindowAction : public TSingleCallAction {
public:
    bool ApplyOperation(const std::string& name) override;

protected:
    void CreateOperations() override;
};

// Registered as "RUNMODEACTION": opens its window minimized, maximized or
// restored (RUNMODE), once; the boxes the window lacks are respected.
class TRunModeAction : public TSingleCallAction {
public:
    void ParseParam(const std::string& key, const std::string& value) override;
    bool ApplyOperation(const std::string& name) override;
    UINT RunMode() const { return runMode_; }

protected:
    void CreateOperations() override;

private:
    UINT runMode_ = 0;  // a system command; 0 until a RUNMODE key is read
};

// An action that sees every message of its window.
class TMessageHandlerAction : public TAction, public IMessageHandler {
public:
    OMB_IUNKNOWN

    void AttachWindow() override;
    void DetachWindow() override;

    // IMessageHandler
    bool BeforeMessage(TMessage& message) override;
    void AfterMessage(TMessage& message, bool handled) override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
};

// Registered as "STAYONTOPACTION": puts its window on top and takes it off,
// and follows the top-most changes anybody makes to the window. It never
// activates the window, and leaves a window that is on top already where it
// is in the top-most band. A window it put on top ("raised") goes back among
// the others when the extender lets it go alive; one that was on top by
// itself, or that its own program put on top since, stays so. When a new
// rule for the window follows (a reload), the mark passes to that rule's
// action, or the window goes down once the new rule is there without one.
class TStayOnTopAction : public TMessageHandlerAction, public IWindowReleasingAction {
public:
    OMB_IUNKNOWN

    // Takes over a raised mark the window's former rule left.
    void AttachWindow() override;
    bool ApplyOperation(const std::string& name) override;
    void AfterMessage(TMessage& message, bool handled) override;

    // IWindowReleasingAction
    void ReleaseWindow(bool ruleFollows) override;

    bool Raised() const { return raised_.load(); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    void CreateOperations() override;

private:
    std::atomic<bool> raised_{false};  // the window is on top because of this action
    bool applying_ = false;            // window's thread: a change of ours is being made
    bool releasing_ = false;           // window's thread: taking it down on release
    std::atomic<int> requested_{0};    // changes of ours posted from another thread, not yet seen
};

// Raised marks left by a rule that let go of a window while a new rule
// follows (TStayOnTopAction). TakeRaisedMark answers whether the window had
// one (and removes it); SettleRaisedMark takes the window down when its mark
// was not taken over (the new rule is there, or none follows); never waits
// for the window's thread.
void LeaveRaisedMark(HWND window);
bool TakeRaisedMark(HWND window);
void SettleRaisedMark(HWND window);

// The actions of one window extender, by name; of two actions with one name
// only the first stays.
class TActions : public TTypedCollection<IActions> {};

}  // namespace omb::ea
