// The interfaces through which the parts of a window extender reach each
// other: the window side of an extender, its message handlers, operations,
// actions, triggers (activators of actions) and agents (activators of one
// action), and the collections of each.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "extender/item_interfaces.h"
#include "extender/message.h"

namespace omb::ea {

struct IActions;

// Sees every message of a window: BeforeMessage before the window's own
// procedure (true consumes the message), AfterMessage afterwards.
struct IMessageHandler : IUnknown {
    virtual bool BeforeMessage(TMessage& message) = 0;
    virtual void AfterMessage(TMessage& message, bool handled) = 0;
};

struct IMessageHandlers : ITypedCollection<IMessageHandler> {};

// The window side of a window extender.
struct IWindowHandler : IUnknown {
    virtual HWND GetWindow() = 0;
    virtual void AddMessageHandler(IMessageHandler* handler) = 0;
    virtual void RemoveMessageHandler(IMessageHandler* handler) = 0;
    virtual Ref<IActions> GetActions() = 0;
    virtual std::string GetWindowCaption() = 0;
    virtual std::string GetRuleName() = 0;
};

// Owner of actions, triggers and agents.
struct IWindowPartOwner : IOwner {
    virtual Ref<IWindowHandler> GetWindowHandler() = 0;
};

// One named operation of an action. The images are bitmaps of the library's
// resources, owned by the operation; nullptr when there is none.
struct IOperation : IItem {
    virtual std::string GetCaption() = 0;
    virtual std::string GetHint() = 0;
    virtual HBITMAP GetImage() = 0;
    virtual HBITMAP GetDownImage() = 0;
    virtual HBITMAP GetImageSmall() = 0;
    virtual HBITMAP GetDownImageSmall() = 0;
    virtual bool GetDirectCall() = 0;
    virtual bool GetDefault() = 0;
};

struct IOperations : ITypedCollection<IOperation> {};

// The common ancestor of actions, triggers and agents.
struct IWindowPart : IItem {
    virtual void AttachWindow() = 0;
    virtual void DetachWindow() = 0;
};

struct IExtenderAction : IWindowPart {
    virtual Ref<IOperations> GetOperations() = 0;
    virtual Ref<IOperation> GetNextOperation() = 0;
    virtual bool ExecuteOperation(const std::string& name) = 0;
    virtual bool ExecuteNext() = 0;
    virtual Ref<IPublisher> GetPublisher() = 0;
    virtual Ref<IOperation> GetCurrentOperation() = 0;
    virtual bool ApplyHoverEffect(const std::string& name) = 0;
    virtual bool RemoveHoverEffect() = 0;
};

struct IActions : ITypedCollection<IExtenderAction> {};

// An action whose effect must not outlive its rule: told when the extender
// lets go of a window that lives on (the configuration changed, or the
// command center ended), on the window's own thread, before it detaches.
// With ruleFollows, a new rule for the window follows at once: the action
// leaves its effect for that rule to take over or undo.
struct IWindowReleasingAction : IUnknown {
    virtual void ReleaseWindow(bool ruleFollows) = 0;
};

// An action whose attach leaves work for the window's own thread (an
// attach runs on a worker, which never waits for the window): the extender
// has it done when its attach notice reaches the window.
struct IAttachNoticeAction : IUnknown {
    virtual void WindowAttached() = 0;
};

struct IActionOwner : IWindowPartOwner {};            // the window extender
struct IActionActivatorOwner : IWindowPartOwner {};   // a trigger, owner of agents
struct IActionsActivatorOwner : IWindowPartOwner {};  // the window extender, owner of triggers

// An agent: runs the next or one named operation of one action.
struct IActionActivator : IWindowPart {
    virtual std::string GetActionName() = 0;
    virtual uint8_t GetActionKind() = 0;  // 0 next operation, 1 named operation
    virtual std::string GetOperationName() = 0;
    virtual void Execute() = 0;
};

struct IActionActivators : ITypedCollection<IActionActivator> {};

// A trigger.
struct IActionsActivator : IWindowPart {};

struct IActionsActivators : ITypedCollection<IActionsActivator> {};

struct IWindowExtender : ISlave {
    virtual HWND GetWindow() = 0;
    virtual void AttachWindow(HWND window) = 0;
    virtual void DetachWindow() = 0;
    // The checksum of the rule command text the extender was built from: a
    // reload that answers the window with the same text leaves it in place.
    virtual void SetRuleSum(uint32_t sum) = 0;
};

struct IWindowExtenders : ITypedCollection<IWindowExtender> {};

// The per-process application, owner of the window extenders.
struct IWindowExtenderOwner : IOwner {
    // Whether the extender is still to rule its window: listed, its request
    // not voided meanwhile, and the hook not withdrawn. Asked on the window's
    // thread before the creation trigger runs.
    virtual bool Wants(IItem* extender) = 0;
};

}  // namespace omb::ea

OMB_DECLARE_IID(omb::ea::IWindowHandler, "{EFDE4CFC-4347-4DAF-A12E-8A86B0F3977A}")
OMB_DECLARE_IID(omb::ea::IWindowPartOwner, "{D1FEA1C3-CAEE-4288-A6C3-B66EB864CAC6}")
OMB_DECLARE_IID(omb::ea::IMessageHandler, "{F5C57385-AB37-49A0-BA2F-F01FCB8A2EB8}")
OMB_DECLARE_IID(omb::ea::IMessageHandlers, "{F1C7BAA4-F521-4FD6-86E6-33F1617E00A3}")
OMB_DECLARE_IID(omb::ea::IOperation, "{3361CD7C-1DA2-442E-A9DC-C11CC3779013}")
OMB_DECLARE_IID(omb::ea::IOperations, "{E132191E-8F8C-4621-B112-3F1EAE863A7E}")
OMB_DECLARE_IID(omb::ea::IActions, "{0409B4CE-B75F-415B-8326-521485A9C0EF}")
OMB_DECLARE_IID(omb::ea::IActionOwner, "{5DA2924B-6F7F-471F-A18E-952809D2944B}")
OMB_DECLARE_IID(omb::ea::IActionActivatorOwner, "{31006CD3-2024-4C4A-BB5D-8D7564DA84B1}")
OMB_DECLARE_IID(omb::ea::IActionActivators, "{545F1F67-4F46-4741-85B5-859CC8669C85}")
OMB_DECLARE_IID(omb::ea::IActionsActivatorOwner, "{B1734D33-2874-4BF9-A97A-3849317765ED}")
OMB_DECLARE_IID(omb::ea::IActionsActivators, "{3230DD5D-1C00-482A-BFC1-797CA42EA4DC}")
OMB_DECLARE_IID(omb::ea::IWindowExtenders, "{DA7B7BC1-8FD4-4124-961D-37D2E1040767}")
OMB_DECLARE_IID(omb::ea::IWindowExtenderOwner, "{4F9A419D-AA8A-4871-AE2E-B4397F863276}")
OMB_DECLARE_IID(omb::ea::IWindowPart, "{3CC955CD-8F32-4507-AC6F-73035A237957}")
OMB_DECLARE_IID(omb::ea::IExtenderAction, "{207E06FD-F347-4FB0-A206-5E90E8E774F3}")
OMB_DECLARE_IID(omb::ea::IWindowReleasingAction, "{8C41D2A6-5B7E-4F0B-9D3A-6E2F71C9A4B5}")
OMB_DECLARE_IID(omb::ea::IAttachNoticeAction, "{5E0D7C2B-93A1-4F6E-8B47-C1D2A9F03E68}")
OMB_DECLARE_IID(omb::ea::IActionsActivator, "{630F0AF0-4F09-46FC-9CEC-EE6AA6272444}")
OMB_DECLARE_IID(omb::ea::IActionActivator, "{60C04E36-35FD-45B9-BE90-42B428A822DF}")
OMB_DECLARE_IID(omb::ea::IWindowExtender, "{995883F5-3888-4545-9208-5E539CC20ABB}")
