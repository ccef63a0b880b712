// The menus of a tool bar as a menu bar: a button's menu opened below it,
// and a message filter hook while it is open that moves to the next
// button's menu on a mouse move or the arrow keys.
#include "forms/toolbar.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>

#include "forms/application.h"
#include "forms/form.h"
#include "forms/toolbar_shared.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

TToolBar* trackingBar = nullptr;

void TToolBar::TrackMenu(TToolButton* button) {
    HWND h = WindowHandle();
    if (!h || menuButton_ || trackingBar) return;
    // The items' states follow what is being typed: it is stored before
    // the menu updates them.
    CommitFocusedEdit(this);
    bool byKey = switchByKey_;
    TToolButton* next = button;
    while (next && IndexOf(next) >= 0 && OpensMenu(next)) {
        TToolButton* b = next;
        next = nullptr;
        switchTo_ = nullptr;
        switchByKey_ = false;
        menuButton_ = b;
        TPopupMenu* menu = b->menu_;
        if (!menu->Images() && images_) menu->SetImages(images_);
        RECT r{};
        ::SendMessageW(h, TB_GETRECT, static_cast<WPARAM>(b->command_), reinterpret_cast<LPARAM>(&r));
        ::MapWindowPoints(h, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
        ::SendMessageW(h, TB_PRESSBUTTON, static_cast<WPARAM>(b->command_), MAKELONG(TRUE, 0));
        ::UpdateWindow(h);
        struct Restore {
            TToolBar* bar;
            int command;
            ~Restore() {
                bar->menuHook_.reset();
                trackingBar = nullptr;
                DeactivateToolTips(false);
                if (bar->WindowHandle() && bar->IndexOfCommand(command) >= 0)
                    ::SendMessageW(bar->WindowHandle(), TB_PRESSBUTTON, static_cast<WPARAM>(command), MAKELONG(FALSE, 0));
                bar->menuButton_ = nullptr;
            }
        } restore{this, b->command_};
        // A tooltip of the bar would show above the menu.
        DeactivateToolTips(true);
        if (HWND tip = ToolTipWindow()) ::SendMessageW(tip, TTM_POP, 0, 0);
        trackingBar = this;
        menuHook_.reset(::SetWindowsHookExW(WH_MSGFILTER, &TToolBar::MenuFilter, nullptr, ::GetCurrentThreadId()));
        // Opened from the keyboard: the first item is highlighted, as in a
        // menu bar.
        if (byKey) ::PostMessageW(h, WM_KEYDOWN, VK_DOWN, 0);
        menu->Popup(r.left, r.bottom, &r);
        next = switchTo_;
        byKey = switchByKey_;
    }
    switchTo_ = nullptr;
    switchByKey_ = false;
}

LRESULT CALLBACK TToolBar::MenuFilter(int code, WPARAM wParam, LPARAM lParam) noexcept {
    if (code == MSGF_MENU && trackingBar && lParam) {
        try {
            if (trackingBar->FilterMenuMessage(*reinterpret_cast<MSG*>(lParam))) return TRUE;
        } catch (...) {
            Application().HandleException(std::current_exception());
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

bool TToolBar::FilterMenuMessage(const MSG& msg) {
    HWND h = WindowHandle();
    if (!h || !menuButton_) return false;
    switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN: {
        POINT pt = msg.pt;
        ::ScreenToClient(h, &pt);
        RECT client;
        ::GetClientRect(h, &client);
        if (!::PtInRect(&client, pt)) return false;
        TToolButton* b = ButtonAt(pt.x, pt.y);
        if (msg.message == WM_LBUTTONDOWN && b == menuButton_) {
            // A press on the open menu's own button closes it.
            switchTo_ = nullptr;
            TPopupMenu::CloseCurrent();
            return true;
        }
        if (b && b != menuButton_ && OpensMenu(b)) {
            switchTo_ = b;
            switchByKey_ = false;
            TPopupMenu::CloseCurrent();
            return msg.message == WM_LBUTTONDOWN;
        }
        return false;
    }
    case WM_KEYDOWN: {
        if (msg.wParam != VK_LEFT && msg.wParam != VK_RIGHT) return false;
        if (msg.wParam == VK_RIGHT && TPopupMenu::SelectionOpensSubMenu()) return false;
        if (msg.wParam == VK_LEFT && !TPopupMenu::SelectionInRoot()) return false;
        // Left and right walk the bar's menus, as in a menu bar.
        const int count = static_cast<int>(buttons_.size());
        const int step = msg.wParam == VK_RIGHT ? 1 : -1;
        const int start = IndexOf(menuButton_);
        for (int k = 1; k < count; ++k) {
            TToolButton* b = buttons_[static_cast<size_t>(((start + step * k) % count + count) % count)];
            if (OpensMenu(b)) {
                switchTo_ = b;
                switchByKey_ = true;
                TPopupMenu::CloseCurrent();
                return true;
            }
        }
        return false;
    }
    default:
        return false;
    }
}

}  // namespace omb::forms
