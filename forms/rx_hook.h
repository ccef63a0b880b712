// Window hooks: a component that sees every message of a windowed control
// before and after the control's own procedure, without the control's code
// knowing. One subclass per control window is shared by every hook on it;
// a process-wide list owns the subclasses and, through a message-only
// window, puts a subclass back on a rebuilt window and frees subclasses that
// lost their last hook. Main thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "forms/control.h"

namespace omb::forms {

// One message as the hooks see it; result is what the window answers.
struct TMessage {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
};

using THookMessageEvent = std::function<void(TComponent* sender, TMessage& msg, bool& handled)>;

// Posted to the list's utility window, lParam the subclass.
constexpr UINT RehookMessage = 0xB052;
constexpr UINT FreeHookMessage = 0xB053;

class TControlHook;

class TRxWindowHook : public TComponent {
public:
    explicit TRxWindowHook(TComponent* owner);
    ~TRxWindowHook() override;

    const char* ClassName() const override { return "TRxWindowHook"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    bool Active() const { return active_; }
    void SetActive(bool value);
    TWinControl* WinControl() const;
    void SetWinControl(TWinControl* control);

    THookMessageEvent BeforeMessage, AfterMessage;

    // The subclass this hook is linked to (none while unlinked).
    TControlHook* ControlHook() const { return controlHook_; }

protected:
    virtual void FireBeforeMessage(TMessage& msg, bool& handled);
    virtual void FireAfterMessage(TMessage& msg, bool& handled);
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TControlHook;
    void LinkToControl();
    void UnlinkFromControl();

    bool active_ = true;
    TControlHook* controlHook_ = nullptr;
    TWinControl* control_ = nullptr;
};

// The subclass of one control's window. It lies on the window as a layer of
// the common-controls subclass chain, above the control's own procedure, so
// it composes with the control's subclass and with any installed later.
class TControlHook {
public:
    TControlHook();
    ~TControlHook();
    TControlHook(const TControlHook&) = delete;
    TControlHook& operator=(const TControlHook&) = delete;

    TWinControl* Control() const { return control_; }
    const std::vector<TRxWindowHook*>& Hooks() const { return hooks_; }
    // The layer lies on the control's current window.
    bool Installed() const;
    bool Destroying() const { return destroying_; }

    void InstallWndProc();
    void RemoveWndProc();
    void AssignControl(TWinControl* control);
    void AddWindowHook(TRxWindowHook* hook);
    void RemoveWindowHook(TRxWindowHook* hook);

private:
    friend class THookList;
    static LRESULT CALLBACK LayerProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR) noexcept;
    LRESULT HookedWndProc(HWND window, TMessage& msg);
    void DispatchToHooks(bool before, TMessage& msg, bool& handled);
    bool Live() const;

    TWinControl* control_ = nullptr;
    HWND window_ = nullptr;        // the window the layer lies on
    LONG_PTR chainProc_ = 0;       // the window's procedure right after our install
    std::vector<TRxWindowHook*> hooks_;
    bool destroying_ = false;
};

class THookList {
public:
    THookList();
    ~THookList();
    THookList(const THookList&) = delete;
    THookList& operator=(const THookList&) = delete;

    TControlHook* FindControlHook(TWinControl* control) const;
    TControlHook* ControlHookFor(TWinControl* control);
    bool Contains(const TControlHook* hook) const;
    size_t Count() const { return hooks_.size(); }
    HWND UtilityWindow() const { return window_; }
    void Post(UINT message, TControlHook* hook);

private:
    friend class TControlHook;
    static LRESULT CALLBACK StaticUtilityProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    LRESULT UtilityWndProc(UINT message, WPARAM wParam, LPARAM lParam);
    void Remove(TControlHook* hook);

    std::vector<TControlHook*> hooks_;
    HWND window_ = nullptr;
};

// The process-wide list, created on first use.
THookList& GlobalHookList();
// The list exists (it is not created by asking).
bool GlobalHookListExists();
// Destroys the list and its subclasses (at shutdown; also run at exit).
void FreeGlobalHookList();

}  // namespace omb::forms
