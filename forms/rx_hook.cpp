#include "forms/rx_hook.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "forms/application.h"
#include "forms/helper_window.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

constexpr UINT_PTR kLayerId = 0x52584B48;  // one layer of ours per window
constexpr wchar_t kUtilityClass[] = L"OmbFormsHookList";

std::unique_ptr<THookList>& ListHolder() {
    static std::unique_ptr<THookList> list;
    return list;
}

}  // namespace

// ------------------------------------------------------------- TRxWindowHook

const TPropTable& TRxWindowHook::StaticProps() {
    static const TPropTable table{
        &TComponent::StaticProps(),
        {BoolProp<TRxWindowHook>("Active", &TRxWindowHook::Active, &TRxWindowHook::SetActive),
         ObjProp<TRxWindowHook, TWinControl>("WinControl", &TRxWindowHook::WinControl,
                                             &TRxWindowHook::SetWinControl)}};
    return table;
}

TRxWindowHook::TRxWindowHook(TComponent* owner) : TComponent(owner) {}

TRxWindowHook::~TRxWindowHook() {
    MarkDestroying();
    SetActive(false);
    SetWinControl(nullptr);
}

void TRxWindowHook::SetActive(bool value) {
    if (value == active_) return;
    if (value)
        LinkToControl();
    else
        UnlinkFromControl();
}

TWinControl* TRxWindowHook::WinControl() const {
    return controlHook_ ? controlHook_->Control() : control_;
}

void TRxWindowHook::SetWinControl(TWinControl* control) {
    if (control == WinControl()) return;
    const bool wasActive = active_;
    UnlinkFromControl();
    if (control_ && control_ != control) RemoveFreeNotification(control_);
    control_ = control;
    if (control_) control_->FreeNotification(this);
    if (wasActive) LinkToControl();
}

void TRxWindowHook::LinkToControl() {
    if (control_ && !Destroying()) {
        TControlHook* hook = GlobalHookList().ControlHookFor(control_);
        hook->AddWindowHook(this);
    }
    active_ = true;
}

void TRxWindowHook::UnlinkFromControl() {
    if (TControlHook* hook = controlHook_) {
        hook->RemoveWindowHook(this);
        // A subclass that lost its last hook is freed from the message loop,
        // never inside the procedure or setter that let it go.
        if (hook->Hooks().empty() && !hook->Destroying() && GlobalHookListExists())
            GlobalHookList().Post(FreeHookMessage, hook);
    }
    active_ = false;
}

void TRxWindowHook::FireBeforeMessage(TMessage& msg, bool& handled) {
    Fire(BeforeMessage, this, msg, handled);
}

void TRxWindowHook::FireAfterMessage(TMessage& msg, bool& handled) {
    Fire(AfterMessage, this, msg, handled);
}

void TRxWindowHook::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    if (component == control_ || component == WinControl() || component == Owner()) SetWinControl(nullptr);
}

// -------------------------------------------------------------- TControlHook

TControlHook::TControlHook() = default;

TControlHook::~TControlHook() {
    destroying_ = true;
    if (ListHolder()) ListHolder()->Remove(this);
    while (!hooks_.empty()) hooks_.back()->UnlinkFromControl();
    RemoveWndProc();
    control_ = nullptr;
}

bool TControlHook::Live() const {
    return !destroying_ && control_ && !control_->Destroying();
}

bool TControlHook::Installed() const {
    return window_ && control_ && control_->WindowHandle() == window_ && ::IsWindow(window_);
}

void TControlHook::InstallWndProc() {
    if (!control_ || destroying_ || control_->Destroying()) return;
    HWND h = control_->Handle();
    if (!h || Installed()) return;
    if (window_) RemoveWndProc();  // a layer left on a window the control no longer has
    if (!::SetWindowSubclass(h, &TControlHook::LayerProc, kLayerId, reinterpret_cast<DWORD_PTR>(this)))
        throw std::runtime_error(LastErrorText("SetWindowSubclass"));
    window_ = h;
    chainProc_ = ::GetWindowLongPtrW(h, GWLP_WNDPROC);
}

void TControlHook::RemoveWndProc() {
    HWND h = window_;
    window_ = nullptr;
    if (!h || !::IsWindow(h)) return;
    if (::GetWindowLongPtrW(h, GWLP_WNDPROC) == chainProc_) {
        ::RemoveWindowSubclass(h, &TControlHook::LayerProc, kLayerId);
    } else {
        // Someone replaced the window's procedure after us and calls ours in
        // turn: taking ours away would cut them off. The layer stays and
        // passes everything on until the window goes.
        ::SetWindowSubclass(h, &TControlHook::LayerProc, kLayerId, 0);
    }
}

void TControlHook::AssignControl(TWinControl* control) {
    if (control == control_) return;
    RemoveWndProc();
    control_ = control;
    if (!hooks_.empty()) InstallWndProc();
}

void TControlHook::AddWindowHook(TRxWindowHook* hook) {
    if (std::find(hooks_.begin(), hooks_.end(), hook) == hooks_.end()) {
        hooks_.push_back(hook);
        hook->controlHook_ = this;
        AssignControl(hook->control_);
    }
    InstallWndProc();
}

void TControlHook::RemoveWindowHook(TRxWindowHook* hook) {
    hooks_.erase(std::remove(hooks_.begin(), hooks_.end(), hook), hooks_.end());
    if (hook->controlHook_ == this) hook->controlHook_ = nullptr;
    if (hooks_.empty()) RemoveWndProc();
}

void TControlHook::DispatchToHooks(bool before, TMessage& msg, bool& handled) {
    if (hooks_.empty() || !Live()) return;
    // Later links first; a hook may unlink itself or others meanwhile.
    const std::vector<TRxWindowHook*> hooks = hooks_;
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) {
        if (std::find(hooks_.begin(), hooks_.end(), *it) == hooks_.end()) continue;
        try {
            if (before)
                (*it)->FireBeforeMessage(msg, handled);
            else
                (*it)->FireAfterMessage(msg, handled);
        } catch (...) {
            Application().HandleException(std::current_exception());
        }
        if (handled || !Live()) break;
    }
}

LRESULT TControlHook::HookedWndProc(HWND window, TMessage& msg) {
    bool handled = false;
    if (msg.msg != WM_QUIT) DispatchToHooks(true, msg, handled);
    if (!handled || msg.msg == WM_DESTROY) {
        std::exception_ptr failure;
        try {
            msg.result = ::DefSubclassProc(window, msg.msg, msg.wParam, msg.lParam);
        } catch (...) {
            failure = std::current_exception();
        }
        DispatchToHooks(false, msg, handled);
        if (failure) std::rethrow_exception(failure);
    }
    if (msg.msg == WM_DESTROY) {
        RemoveWndProc();
        if (GlobalHookListExists() && !destroying_ && control_ && !control_->Destroying())
            GlobalHookList().Post(RehookMessage, this);
    }
    return msg.result;
}

LRESULT CALLBACK TControlHook::LayerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR refData) noexcept {
    auto* self = reinterpret_cast<TControlHook*>(refData);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &TControlHook::LayerProc, kLayerId);
        if (self && self->window_ == hwnd) self->window_ = nullptr;
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
    if (!self || self->window_ != hwnd || !self->control_)
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    TMessage msg{message, wParam, lParam, 0};
    try {
        return self->HookedWndProc(hwnd, msg);
    } catch (...) {
        Application().HandleException(std::current_exception());
        return msg.result;
    }
}

// ----------------------------------------------------------------- THookList

THookList::THookList() {
    window_ = CreateHelperWindow({kUtilityClass, &THookList::StaticUtilityProc}, 0, 0, HWND_MESSAGE, this);
    if (!window_) throw std::runtime_error(LastErrorText("CreateWindowEx"));
}

THookList::~THookList() {
    // Taken out first: while the process-wide holder is being reset, a
    // subclass cannot find the list to leave it.
    while (!hooks_.empty()) {
        TControlHook* last = hooks_.back();
        hooks_.pop_back();
        delete last;
    }
    if (window_) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
}

TControlHook* THookList::FindControlHook(TWinControl* control) const {
    for (TControlHook* hook : hooks_)
        if (hook->control_ == control) return hook;
    return nullptr;
}

TControlHook* THookList::ControlHookFor(TWinControl* control) {
    if (TControlHook* found = FindControlHook(control)) return found;
    auto hook = std::make_unique<TControlHook>();
    hooks_.push_back(hook.get());
    try {
        hook->AssignControl(control);
    } catch (...) {
        hook.reset();  // leaves the list
        throw;
    }
    return hook.release();
}

bool THookList::Contains(const TControlHook* hook) const {
    return std::find(hooks_.begin(), hooks_.end(), hook) != hooks_.end();
}

void THookList::Remove(TControlHook* hook) {
    hooks_.erase(std::remove(hooks_.begin(), hooks_.end(), hook), hooks_.end());
}

void THookList::Post(UINT message, TControlHook* hook) {
    if (window_) ::PostMessageW(window_, message, 0, reinterpret_cast<LPARAM>(hook));
}

LRESULT THookList::UtilityWndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    auto* hook = reinterpret_cast<TControlHook*>(lParam);
    switch (message) {
        case RehookMessage:
            // A subclass freed since the message was posted is not touched.
            if (Contains(hook) && !hook->hooks_.empty()) hook->InstallWndProc();
            return 0;
        case FreeHookMessage:
            if (Contains(hook) && hook->hooks_.empty()) delete hook;
            return 0;
        default:
            return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

LRESULT CALLBACK THookList::StaticUtilityProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* list = static_cast<THookList*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(list));
    }
    auto* list = reinterpret_cast<THookList*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!list || (message != RehookMessage && message != FreeHookMessage))
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return list->UtilityWndProc(message, wParam, lParam);
    } catch (...) {
        Application().HandleException(std::current_exception());
        return 0;
    }
}

THookList& GlobalHookList() {
    auto& holder = ListHolder();
    if (!holder) holder = std::make_unique<THookList>();
    return *holder;
}

bool GlobalHookListExists() {
    return static_cast<bool>(ListHolder());
}

void FreeGlobalHookList() {
    ListHolder().reset();
}

}  // namespace omb::forms
