#include "extender/actions.h"

#include <algorithm>
#include <vector>

#include "extender/lifetime.h"
#include "extender/operations.h"
#include "extender/trace.h"
#include "extender/whook.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/strings.h"
#include "foundation/winfuncs.h"

namespace omb::ea {

std::string WindowRulesKey(const std::string& ruleName) {
    return std::string(kRegistryRoot) + "\\WindowRules\\" + ruleName;
}

UniqueRegKey OpenWindowRulesKey(const std::string& ruleName, bool create) {
    UniqueRegKey opened;
    std::wstring key;
    if (!ToWideExact(WindowRulesKey(ruleName), key)) return opened;
    if (create) {
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, opened.put(), nullptr) != ERROR_SUCCESS)
            opened.reset();
    } else if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) {
        opened.reset();
    }
    return opened;
}

std::wstring RegistryValueName(const std::string& name) {
    return ToWide(name);
}

// ---- TAction ---------------------------------------------------------------

HRESULT TAction::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IExtenderAction>(this, iid, object) || Offer<IWindowPart>(this, iid, object) ||
        Offer<ISlave>(this, iid, object) || Offer<IPublisherOwner>(this, iid, object) ||
        Offer<IOwner>(this, iid, object) || Offer<IAttachNoticeAction>(this, iid, object))
        return S_OK;
    return TAbstractParamsItem::QueryImpl(iid, object);
}

void TAction::Init() {
    try {
        TAbstractParamsItem::Init();
        saveCurrentOperation_ = false;
        publisher_ = Ref<IPublisherSlave>(new TPublisher());
        operations_ = Ref<IOperations>(new TOperations());
        CreateOperations();
    } catch (...) {
    }
}

void TAction::ParseParam(const std::string& key, const std::string& value) {
    try {
        TAbstractParamsItem::ParseParam(key, value);
        if (key == "SAVECURRENTOPERATION") saveCurrentOperation_ = IsYes(value);
    } catch (...) {
    }
}

Ref<IOperation> TAction::AddOperation(const char* params) {
    Ref<IOperation> operation = CreateChildItem(params, kOperationType).As<IOperation>();
    if (operation && operations_) operations_->Add(operation.get());
    return operation;
}

Ref<IOperation> TAction::FindOperation(const std::string& name) {
    return operations_ ? operations_->Get(Variant(name)) : nullptr;
}

void TAction::SetOperations(const Ref<IOperation>& current, const Ref<IOperation>& next) {
    Ref<IOperation> oldCurrent, oldNext;  // released after the lock
    SrwExclusive lock(lock_);
    oldCurrent = std::exchange(current_, current);
    oldNext = std::exchange(next_, next);
}

void TAction::SetCurrentOperation(const std::string& name) {
    try {
        Ref<IOperation> current, next;
        const int i = operations_ ? operations_->IndexOf(name) : -1;
        if (i >= 0) {
            const int count = operations_->GetCount();
            current = operations_->Get(Variant(i));
            next = operations_->Get(Variant(i + 1 < count ? i + 1 : 0));
        }
        SetOperations(current, next);
    } catch (...) {
    }
}

bool TAction::ApplyOperation(const std::string&) {
    return true;
}

Ref<IOperation> TAction::GetNextOperation() {
    SrwExclusive lock(lock_);
    return next_;
}

Ref<IOperation> TAction::GetCurrentOperation() {
    SrwExclusive lock(lock_);
    return current_;
}

Ref<IPublisher> TAction::GetPublisher() {
    return publisher_.As<IPublisher>();
}

void TAction::SetName(const std::string& name) {
    name_ = name;
}

Ref<IActionOwner> TAction::Owner() {
    SrwExclusive lock(lock_);
    return owner_;
}

Ref<IWindowHandler> TAction::WindowHandler() {
    Ref<IActionOwner> owner = Owner();
    return owner ? owner->GetWindowHandler() : nullptr;
}

HWND TAction::Window() {
    Ref<IWindowHandler> handler = WindowHandler();
    return handler ? handler->GetWindow() : nullptr;
}

void TAction::NotifyObservers() {
    try {
        if (publisher_) publisher_->Notify();
    } catch (...) {
    }
}

void TAction::SetOwner(IItem* owner) {
    try {
        Ref<IActionOwner> newOwner = QueryAs<IActionOwner>(owner);
        Ref<IActionOwner> old;
        {
            SrwExclusive lock(lock_);
            old = std::exchange(owner_, newOwner);
        }
        if (publisher_) publisher_->SetOwner(static_cast<IExtenderAction*>(this));
    } catch (...) {
    }
}

void TAction::ClearOwner() {
    try {
        if (publisher_) publisher_->ClearOwner();
    } catch (...) {
    }
    Ref<IActionOwner> old;
    SrwExclusive lock(lock_);
    old = std::exchange(owner_, nullptr);
}

bool TAction::ExecuteOperation(const std::string& name) {
    bool hovering;
    {
        SrwExclusive lock(lock_);
        hovering = !hover_.empty();
    }
    if (hovering) {
        // The preview stays visible; RemoveHoverEffect applies the new
        // current operation later.
        SetCurrentOperation(name);
        return true;
    }
    const bool applied = ApplyOperation(name);
    if (applied) {
        SetCurrentOperation(name);
        NotifyObservers();
    }
    return applied;
}

bool TAction::ExecuteNext() {
    Ref<IOperation> next = GetNextOperation();
    if (!next) return true;
    return ExecuteOperation(next->GetName());
}

bool TAction::ApplyHoverEffect(const std::string& name) {
    try {
        {
            SrwExclusive lock(lock_);
            hover_.clear();
        }
        const bool applied = ApplyOperation(name);
        if (applied) {
            SrwExclusive lock(lock_);
            hover_ = name;
        }
        return applied;
    } catch (...) {
        TraceCurrentError("TAction.ApplyHoverEffect");
        return false;
    }
}

bool TAction::RemoveHoverEffect() {
    try {
        {
            SrwExclusive lock(lock_);
            hover_.clear();
        }
        Ref<IOperation> current = GetCurrentOperation();
        return current ? ApplyOperation(current->GetName()) : false;
    } catch (...) {
        TraceCurrentError("TAction.RemoveHoverEffect");
        return false;
    }
}

std::string TAction::ReadSavedOperation() {
    try {
        Ref<IWindowHandler> handler = WindowHandler();
        if (!handler) return std::string();
        UniqueRegKey opened = OpenWindowRulesKey(handler->GetRuleName(), false);
        if (!opened) return std::string();
        const std::wstring value = RegistryValueName(SavedOperationValueName());
        DWORD type = 0, size = 0;
        if (::RegQueryValueExW(opened.get(), value.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ || size == 0 || size > 8192)
            return std::string();
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        if (::RegQueryValueExW(opened.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&text[0]),
                               &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return std::string();
        text.resize(size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return FromWide(text);
    } catch (...) {
        return std::string();
    }
}

void TAction::SaveCurrentOperationToRegistry() {
    try {
        Ref<IWindowHandler> handler = WindowHandler();
        Ref<IOperation> current = GetCurrentOperation();
        if (!handler || !current) return;
        const std::wstring value = RegistryValueName(SavedOperationValueName());
        const std::wstring operation = ToWide(current->GetName());
        // Failures of the registry itself are dropped without a word.
        UniqueRegKey opened = OpenWindowRulesKey(handler->GetRuleName(), true);
        if (!opened) return;
        ::RegSetValueExW(opened.get(), value.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(operation.c_str()),
                         DWORD((operation.size() + 1) * sizeof(wchar_t)));
    } catch (...) {
        TraceCurrentError("TAction.SaveCurrentOperationToRegistry");
    }
}

void TAction::AttachWindow() {
    try {
        if (!saveCurrentOperation_) return;
        const std::string saved = ReadSavedOperation();
        if (saved.empty()) return;
        const HWND window = Window();
        if (window && !IsWindowThread(window)) {
            SrwExclusive lock(lock_);
            savedToPerform_ = saved;
            return;
        }
        ExecuteOperation(saved);
    } catch (...) {
    }
}

void TAction::WindowAttached() {
    try {
        std::string saved;
        {
            SrwExclusive lock(lock_);
            saved.swap(savedToPerform_);
        }
        if (!saved.empty()) ExecuteOperation(saved);
    } catch (...) {
    }
}

void TAction::DetachWindow() {
    try {
        if (saveCurrentOperation_) SaveCurrentOperationToRegistry();
    } catch (...) {
    }
}

// ---- single-call actions ---------------------------------------------------

void TSingleCallAction::Init() {
    TAction::Init();
    pending_ = true;
}

bool TSingleCallAction::TakePending(const std::string& name) {
    if (!pending_.load()) return false;
    Ref<IOperation> next = GetNextOperation();
    if (!next || next->GetName() != name) return false;
    return pending_.exchange(false);
}

void TCloseWindowAction::CreateOperations() {
    Ref<IOperation> operation = AddOperation(kCloseWindowOperation);
    SetOperations(operation, operation);
}

bool TCloseWindowAction::ApplyOperation(const std::string& name) {
    try {
        const HWND window = Window();
        if (!window || !TakePending(name)) return false;
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        return true;
    } catch (...) {
        return false;
    }
}

void TRunModeAction::ParseParam(const std::string& key, const std::string& value) {
    TAction::ParseParam(key, value);
    try {
        if (key == "RUNMODE") {
            runMode_ = SC_RESTORE;
            const std::string mode = UpperCaseAZ(value);
            if (mode == "MINIMIZE") runMode_ = SC_MINIMIZE;
            if (mode == "MAXIMIZE") runMode_ = SC_MAXIMIZE;
        }
    } catch (...) {
    }
}

void TRunModeAction::CreateOperations() {
    Ref<IOperation> operation = AddOperation(kRunModeOperation);
    SetOperations(operation, operation);
}

bool TRunModeAction::ApplyOperation(const std::string& name) {
    try {
        const HWND window = Window();
        if (!window || !TakePending(name)) return false;
        switch (runMode_) {
            case SC_MINIMIZE:
                if (HasWindowStyle(window, WS_MINIMIZEBOX))
                    ::PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
                break;
            case SC_MAXIMIZE:
                if (HasWindowStyle(window, WS_MAXIMIZEBOX))
                    ::PostMessageA(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
                break;
            case SC_RESTORE:
                ::PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
                break;
            default:
                break;
        }
        return true;
    } catch (...) {
        TraceCurrentError("TRunModeAction.ApplyOperation");
        return false;
    }
}

// ---- message-handler actions -------------------------------------------------

HRESULT TMessageHandlerAction::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IMessageHandler>(this, iid, object)) return S_OK;
    return TAction::QueryImpl(iid, object);
}

void TMessageHandlerAction::AttachWindow() {
    TAction::AttachWindow();
    try {
        if (Ref<IWindowHandler> handler = WindowHandler()) handler->AddMessageHandler(this);
    } catch (...) {
    }
}

void TMessageHandlerAction::DetachWindow() {
    TAction::DetachWindow();
    try {
        if (Ref<IWindowHandler> handler = WindowHandler()) handler->RemoveMessageHandler(this);
    } catch (...) {
    }
}

bool TMessageHandlerAction::BeforeMessage(TMessage&) {
    return false;
}

void TMessageHandlerAction::AfterMessage(TMessage&, bool) {}

void TStayOnTopAction::CreateOperations() {
    // A fresh action counts its window as not on top: next puts it on top.
    Ref<IOperation> on = AddOperation(kStayOnTopOnOperation);
    Ref<IOperation> off = AddOperation(kStayOnTopOffOperation);
    SetOperations(off, on);
}

HRESULT TStayOnTopAction::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IWindowReleasingAction>(this, iid, object)) return S_OK;
    return TMessageHandlerAction::QueryImpl(iid, object);
}

namespace {
bool IsTopmost(HWND window) {
    return (::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// Changes the window's place in the z-order without activating it; from
// another thread the change is posted to the window's thread, never waited
// for.
bool PlaceWindow(HWND window, HWND insertAfter) {
    UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
    if (!IsWindowThread(window)) flags |= SWP_ASYNCWINDOWPOS;
    return ::SetWindowPos(window, insertAfter, 0, 0, 0, 0, flags) != FALSE;
}

SRWLOCK g_marksLock = SRWLOCK_INIT;
std::vector<HWND>* g_marks = nullptr;  // guarded; made on first use
}  // namespace

void LeaveRaisedMark(HWND window) {
    try {
        SrwExclusive lock(g_marksLock);
        if (!g_marks) g_marks = new std::vector<HWND>();
        if (std::find(g_marks->begin(), g_marks->end(), window) == g_marks->end()) g_marks->push_back(window);
    } catch (...) {
    }
}

bool TakeRaisedMark(HWND window) {
    SrwExclusive lock(g_marksLock);
    if (!g_marks) return false;
    auto it = std::find(g_marks->begin(), g_marks->end(), window);
    if (it == g_marks->end()) return false;
    g_marks->erase(it);
    return true;
}

void SettleRaisedMark(HWND window) {
    try {
        if (!TakeRaisedMark(window)) return;
        if (!::IsWindow(window) || !IsTopmost(window) || !MayWaitForWindow()) return;
        PlaceWindow(window, HWND_NOTOPMOST);
    } catch (...) {
    }
}

void TStayOnTopAction::AttachWindow() {
    try {
        const HWND window = Window();
        if (window && TakeRaisedMark(window) && IsTopmost(window)) raised_ = true;
    } catch (...) {
    }
    TMessageHandlerAction::AttachWindow();
}

bool TStayOnTopAction::ApplyOperation(const std::string& name) {
    try {
        HWND insertAfter;
        if (name == "STAYONTOPON")
            insertAfter = HWND_TOPMOST;
        else if (name == "STAYONTOPOFF")
            insertAfter = HWND_NOTOPMOST;
        else
            return false;
        const HWND window = Window();
        if (!window || !MayWaitForWindow()) return false;
        const bool wasTopmost = IsTopmost(window);
        // On top already: left where it is in the top-most band.
        if (insertAfter == HWND_TOPMOST && wasTopmost) return true;
        const bool own = IsWindowThread(window);
        if (own)
            applying_ = true;
        else
            ++requested_;
        const bool placed = PlaceWindow(window, insertAfter);
        if (own) applying_ = false;
        if (!placed) {
            if (!own) --requested_;
            return false;
        }
        if (insertAfter == HWND_NOTOPMOST)
            raised_ = false;
        else
            raised_ = true;
        return true;
    } catch (...) {
        return false;
    }
}

void TStayOnTopAction::ReleaseWindow(bool ruleFollows) {
    try {
        const HWND window = Window();
        if (!raised_.exchange(false) || !window || !IsTopmost(window)) return;
        if (ruleFollows) {
            // The window stays as it is until the new rule is there.
            LeaveRaisedMark(window);
            return;
        }
        // Not the user's choice: the action keeps its state, and so the
        // operation it saves, as it was.
        releasing_ = true;
        ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
        releasing_ = false;
    } catch (...) {
    }
}

void TStayOnTopAction::AfterMessage(TMessage& message, bool) {
    if (message.LParam == 0 || releasing_) return;
    if (message.Msg == WM_WINDOWPOSCHANGING) {
        // A window on top already is told no change when it is put on top
        // again: the request itself shows that its program wants it there.
        const auto* position = reinterpret_cast<const WINDOWPOS*>(message.LParam);
        if (position->hwndInsertAfter == HWND_TOPMOST && !(position->flags & SWP_NOZORDER) && !applying_ &&
            requested_.load() == 0)
            raised_ = false;
        return;
    }
    if (message.Msg != WM_WINDOWPOSCHANGED) return;
    try {
        const HWND insertAfter = reinterpret_cast<const WINDOWPOS*>(message.LParam)->hwndInsertAfter;
        if (insertAfter != HWND_TOPMOST && insertAfter != HWND_NOTOPMOST) return;
        // A change of ours: made here, or posted from another thread.
        bool ours = applying_;
        if (!ours) {
            int n = requested_.load();
            while (n > 0 && !requested_.compare_exchange_weak(n, n - 1)) {
            }
            ours = n > 0;
        }
        if (insertAfter == HWND_TOPMOST) {
            // The window's own program wants it on top: no undo of ours may
            // take it down.
            if (!ours) raised_ = false;
            SetOperations(FindOperation("STAYONTOPON"), FindOperation("STAYONTOPOFF"));
            NotifyObservers();
        } else {
            raised_ = false;  // taken off by anybody: nothing of ours to undo
            SetOperations(FindOperation("STAYONTOPOFF"), FindOperation("STAYONTOPON"));
            NotifyObservers();
        }
    } catch (...) {
    }
}

}  // namespace omb::ea
