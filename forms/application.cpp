#include "forms/application.h"

#include <commctrl.h>

#include <iterator>
#include <map>
#include <stdexcept>

#include "forms/form.h"
#include "forms/layout.h"
#include "foundation/handles.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

TApplication& Application() {
    static TApplication app;
    return app;
}

TScreen& Screen() {
    static TScreen screen;
    return screen;
}

int TScreen::PixelsPerInch() const {
    if (pixelsPerInch_ > 0) return pixelsPerInch_;
    static const int ppi = [] {
        HDC dc = ::GetDC(nullptr);
        const int v = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
        if (dc) ::ReleaseDC(nullptr, dc);
        return v > 0 ? v : 96;
    }();
    return ppi;
}

int Scaled(int designPixels) { return ScaleDesign(designPixels, Screen().PixelsPerInch()); }

void TApplication::HandleException(std::exception_ptr failure) noexcept {
    try {
        std::string text = "Unknown error.";
        try {
            if (failure) std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            text = e.what();
        } catch (...) {
        }
        if (OnException) {
            auto report = OnException;
            report(text);
            return;
        }
        HWND owner = ::GetActiveWindow();
        ::MessageBoxW(owner, ToWide(text).c_str(), ToWide(title_).c_str(), MB_OK | MB_ICONERROR);
    } catch (...) {
    }
}

void TApplication::DoIdle() noexcept {
    // Copy: a handler may add or remove handlers.
    const auto handlers = idleHandlers;
    for (const auto& h : handlers) {
        try {
            if (h) h();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!PreTranslateMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void TApplication::Minimize() {
    if (mainForm_ && mainForm_->WindowHandle())
        ::PostMessageW(mainForm_->WindowHandle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    HWND owner = ::GetActiveWindow();
    if (!owner && mainForm_) owner = mainForm_->WindowHandle();
    return ::MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption.empty() ? title_ : caption).c_str(), flags);
}

// ------------------------------------------------------------------ hints

namespace {

UniqueWindow& HintWindow() {
    static UniqueWindow window;
    return window;
}

std::map<HWND, TControl*>& ToolTipOwners() {
    static std::map<HWND, TControl*> owners;
    return owners;
}

std::function<bool(UINT)>& MenuDispatcher() {
    static std::function<bool(UINT)> dispatcher;
    return dispatcher;
}

constexpr int kHintMaxWidth = 400;
// How far in from each side the tooltip paints a single line of text: it
// sizes itself for less, so the last letters were cut (measured under Wine:
// sized for 2 pixels a side, painted 4 in).
constexpr int kHintTextInset = 4;

// The hint window is as wide as the text it shows with its insets.
LRESULT CALLBACK HintWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR) noexcept {
    if (message == WM_WINDOWPOSCHANGING) {
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (!(pos->flags & SWP_NOSIZE)) {
            TOOLINFOW ti{};
            ti.cbSize = sizeof(ti);
            wchar_t text[512] = {};
            if (::SendMessageW(window, TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(&ti))) {
                ti.lpszText = text;
                ::SendMessageW(window, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&ti));
            }
            if (text[0]) {
                HDC dc = ::GetDC(window);
                HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)));
                RECT need{0, 0, 0, 0};
                ::DrawTextW(dc, text, -1, &need, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
                ::SelectObject(dc, old);
                ::ReleaseDC(window, dc);
                RECT margin{0, 0, 0, 0};
                ::SendMessageW(window, TTM_GETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
                RECT frame{0, 0, need.right + 2 * kHintTextInset + margin.left + margin.right, 0};
                ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                                     static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
                const int width = frame.right - frame.left;
                if (need.right <= kHintMaxWidth && pos->cx < width) pos->cx = width;
            }
        }
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

HWND EnsureHintWindow() {
    auto& w = HintWindow();
    if (!w) {
        w.reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr));
        if (w) {
            ::SendMessageW(w.get(), TTM_SETMAXTIPWIDTH, 0, kHintMaxWidth);
            ::SetWindowSubclass(w.get(), &HintWindowProc, 1, 0);
        }
    }
    return w.get();
}

}  // namespace

void UpdateToolTip(TControl* control) {
    HWND target = control ? control->WindowHandle() : nullptr;
    if (!target) return;
    HWND tip = EnsureHintWindow();
    if (!tip) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = ::GetParent(target) ? ::GetParent(target) : target;
    ti.uId = reinterpret_cast<UINT_PTR>(target);
    std::wstring text = ToWide(control->Hint());
    // Asked with no buffer: the tooltip copies a tool's present text into
    // one, and the old hint may be longer than the new.
    ti.lpszText = nullptr;
    const bool exists = ::SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
    ti.lpszText = text.data();
    if (text.empty() || !control->ShowHint()) {
        if (exists) ::SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    } else if (exists) {
        ::SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    } else {
        ::SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

void RemoveToolTip(HWND window) noexcept {
    HWND tip = HintWindow().get();
    if (!tip || !window) return;
    // Whatever parent the tool was added under: the window may have moved.
    // From the end, so a deletion leaves the tools still to look at in place.
    for (int i = static_cast<int>(::SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0)) - 1; i >= 0; --i) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof(ti);
        if (::SendMessageW(tip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&ti)) &&
            ti.uId == reinterpret_cast<UINT_PTR>(window))
            ::SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

HWND HintToolTipWindow() { return HintWindow().get(); }

void DeactivateToolTips(bool deactivate) {
    if (HWND tip = HintWindow().get()) ::SendMessageW(tip, TTM_ACTIVATE, deactivate ? FALSE : TRUE, 0);
    for (auto& [tip, owner] : ToolTipOwners()) ::SendMessageW(tip, TTM_ACTIVATE, deactivate ? FALSE : TRUE, 0);
}

void RegisterToolTipOwner(HWND tooltip, TControl* owner) {
    if (tooltip) ToolTipOwners()[tooltip] = owner;
}
void UnregisterToolTipOwner(HWND tooltip) { ToolTipOwners().erase(tooltip); }
TControl* ToolTipOwner(HWND tooltip) {
    auto it = ToolTipOwners().find(tooltip);
    return it == ToolTipOwners().end() ? nullptr : it->second;
}

bool DispatchMenuCommand(UINT id) {
    auto& d = MenuDispatcher();
    if (!d) return false;
    auto copy = d;
    return copy(id);
}

void SetMenuCommandDispatcher(std::function<bool(UINT id)> dispatcher) { MenuDispatcher() = std::move(dispatcher); }

}  // namespace omb::forms
