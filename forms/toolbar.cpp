#include "forms/toolbar.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>

#include "forms/application.h"
#include "forms/form.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

constexpr int kSeparatorWidth = 8;

UINT OpenMenuMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"OmbFormsToolBarOpenMenu");
    return message;
}
UINT ArrangeBarsMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"OmbFormsControlBarArrange");
    return message;
}

// The bar whose menu is open (the message filter hook has no context).
TToolBar* trackingBar = nullptr;

template <typename C>
TPropInfo TextProp(const char* name, const std::string& (C::*get)() const, void (C::*set)(const std::string&)) {
    TPropInfo p;
    p.name = name;
    p.kind = TTypeKind::tkLString;
    p.getStr = [get](const TPersistent* o) { return (static_cast<const C*>(o)->*get)(); };
    p.setStr = [set](TPersistent* o, const std::string& v) { (static_cast<C*>(o)->*set)(v); };
    return p;
}

bool OpensMenu(const TToolButton* b) {
    return b && b->DropdownMenu() && b->Enabled() && b->Visible() &&
           b->Style() != TToolButtonStyle::tbsSeparator;
}

void CommitFocusedEdit(TControl* control) {
    if (TForm* form = control ? control->ParentForm() : nullptr) form->CommitActiveControl();
}

}  // namespace

// -------------------------------------------------------------- TToolButton

const TPropTable& TToolButton::StaticProps() {
    static const TPropTable table{
        &TComponent::StaticProps(),
        {TextProp<TToolButton>("Caption", &TToolButton::Caption, &TToolButton::SetCaption),
         TextProp<TToolButton>("Hint", &TToolButton::Hint, &TToolButton::SetHint),
         IntProp<TToolButton, int>("ImageIndex", &TToolButton::ImageIndex, &TToolButton::SetImageIndex),
         BoolProp<TToolButton>("Enabled", &TToolButton::Enabled, &TToolButton::SetEnabled),
         BoolProp<TToolButton>("Visible", &TToolButton::Visible, &TToolButton::SetVisible),
         EnumProp<TToolButton, TToolButtonStyle>("Style", {"tbsButton", "tbsSeparator", "tbsDropDown", "tbsCheck"},
                                                 &TToolButton::Style, &TToolButton::SetStyle),
         BoolProp<TToolButton>("AutoSize", &TToolButton::AutoSize, &TToolButton::SetAutoSize),
         IntProp<TToolButton, int>("Width", &TToolButton::Width, &TToolButton::SetWidth),
         BoolProp<TToolButton>("Grouped", &TToolButton::Grouped, &TToolButton::SetGrouped)}};
    return table;
}

TToolButton::TToolButton(TComponent* owner) : TComponent(owner) {}

TToolButton::~TToolButton() {
    MarkDestroying();
    if (menu_) menu_->RemoveFreeNotification(this);
    if (bar_) bar_->RemoveButton(this);
}

void TToolButton::SetToolBar(TToolBar* bar) {
    if (bar == bar_) return;
    if (bar_) bar_->RemoveButton(this);
    if (bar) bar->InsertButton(this);
}

int TToolButton::Index() const { return bar_ ? bar_->IndexOf(this) : -1; }

void TToolButton::Changed() {
    if (bar_) bar_->ButtonChanged(this);
}

void TToolButton::SetCaption(const std::string& value) {
    if (value == caption_) return;
    caption_ = value;
    Changed();
}

void TToolButton::SetImageIndex(int value) {
    if (value == imageIndex_) return;
    imageIndex_ = value;
    Changed();
}

void TToolButton::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (bar_ && bar_->WindowHandle())
        ::SendMessageW(bar_->WindowHandle(), TB_ENABLEBUTTON, static_cast<WPARAM>(command_), MAKELONG(value, 0));
}

void TToolButton::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    if (bar_ && bar_->WindowHandle()) {
        ::SendMessageW(bar_->WindowHandle(), TB_HIDEBUTTON, static_cast<WPARAM>(command_), MAKELONG(!value, 0));
        bar_->AdjustSize();
    }
}

bool TToolButton::Down() const {
    if (bar_ && bar_->WindowHandle() && style_ == TToolButtonStyle::tbsCheck)
        return ::SendMessageW(bar_->WindowHandle(), TB_ISBUTTONCHECKED, static_cast<WPARAM>(command_), 0) != 0;
    return down_;
}

void TToolButton::SetDown(bool value) {
    down_ = value;
    if (bar_ && bar_->WindowHandle())
        ::SendMessageW(bar_->WindowHandle(), TB_CHECKBUTTON, static_cast<WPARAM>(command_), MAKELONG(value, 0));
}

void TToolButton::SetStyle(TToolButtonStyle value) {
    if (value == style_) return;
    style_ = value;
    Changed();
}

void TToolButton::SetAutoSize(bool value) {
    if (value == autoSize_) return;
    autoSize_ = value;
    Changed();
}

void TToolButton::SetWidth(int value) {
    value = std::max(0, value);
    if (value == width_) return;
    width_ = value;
    Changed();
}

void TToolButton::SetDropdownMenu(TPopupMenu* menu) {
    if (menu == menu_) return;
    if (menu_) menu_->RemoveFreeNotification(this);
    menu_ = menu;
    if (menu_) menu_->FreeNotification(this);
}

void TToolButton::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == menu_) {
        if (TPopupMenu::Current() == menu_) TPopupMenu::CloseCurrent();
        menu_ = nullptr;
    }
}

RECT TToolButton::BoundsRect() const {
    RECT r{0, 0, 0, 0};
    if (bar_ && bar_->WindowHandle() && visible_)
        ::SendMessageW(bar_->WindowHandle(), TB_GETRECT, static_cast<WPARAM>(command_), reinterpret_cast<LPARAM>(&r));
    return r;
}

bool TToolButton::Click() {
    if (!enabled_) return false;
    Fire(OnClick, this);
    return true;
}

// ----------------------------------------------------------------- TToolBar

const TPropTable& TToolBar::StaticProps() {
    static const TPropTable table{
        &TControl::StaticProps(),
        {BoolProp<TToolBar>("AutoSize", &TToolBar::AutoSize, &TToolBar::SetAutoSize),
         IntProp<TToolBar, int>("ButtonWidth", &TToolBar::ButtonWidth, &TToolBar::SetButtonWidth),
         BoolProp<TToolBar>("Flat", &TToolBar::Flat, &TToolBar::SetFlat),
         BoolProp<TToolBar>("List", &TToolBar::List, &TToolBar::SetList),
         BoolProp<TToolBar>("ShowCaptions", &TToolBar::ShowCaptions, &TToolBar::SetShowCaptions),
         BoolProp<TToolBar>("Wrapable", &TToolBar::Wrapable, &TToolBar::SetWrapable)}};
    return table;
}

TToolBar::TToolBar(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 150, 22); }

TToolBar::~TToolBar() {
    MarkDestroying();
    if (trackingBar == this) {
        trackingBar = nullptr;
        menuHook_.reset();
        TPopupMenu::CloseCurrent();
    }
    if (HWND tip = ToolTipWindow()) UnregisterToolTipOwner(tip);
    for (TToolButton* b : buttons_) b->bar_ = nullptr;
    buttons_.clear();
}

void TToolBar::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.className = TOOLBARCLASSNAMEW;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | TBSTYLE_TOOLTIPS;
    if (flat_) params.style |= TBSTYLE_FLAT;
    if (list_) params.style |= TBSTYLE_LIST;
    if (wrapable_) params.style |= TBSTYLE_WRAPABLE;
    params.exStyle = 0;
}

void TToolBar::CreateWnd() {
    HWND h = WindowHandle();
    ::SendMessageW(h, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(h, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    TControl::CreateWnd();
    ApplyStyles();
    if (HWND tip = ToolTipWindow()) RegisterToolTipOwner(tip, this);
}

void TToolBar::DestroyWnd() {
    if (HWND tip = ToolTipWindow()) UnregisterToolTipOwner(tip);
}

HWND TToolBar::ToolTipWindow() const {
    HWND h = WindowHandle();
    return h ? reinterpret_cast<HWND>(::SendMessageW(h, TB_GETTOOLTIPS, 0, 0)) : nullptr;
}

void TToolBar::ApplyStyles() {
    HWND h = WindowHandle();
    if (!h) return;
    TCreateParams p;
    CreateParams(p);
    const LONG_PTR keep = ::GetWindowLongPtrW(h, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_TABSTOP);
    ::SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(p.style) | keep);
    // A bar where no button shows an image (a menu bar) keeps no room for
    // one beside the captions.
    windowImages_ = UsesImages();
    ::SendMessageW(h, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(windowImages_ ? images_ : nullptr));
    if (!windowImages_) ::SendMessageW(h, TB_SETBITMAPSIZE, 0, MAKELONG(0, 0));
    RebuildWindowButtons();
}

bool TToolBar::UsesImages() const {
    if (!images_) return false;
    for (const TToolButton* b : buttons_)
        if (b->style_ != TToolButtonStyle::tbsSeparator && b->imageIndex_ >= 0) return true;
    return false;
}

void TToolBar::SetImages(HIMAGELIST value) {
    images_ = value;
    ApplyStyles();
}
void TToolBar::SetFlat(bool value) {
    flat_ = value;
    ApplyStyles();
}
void TToolBar::SetList(bool value) {
    list_ = value;
    ApplyStyles();
}
void TToolBar::SetShowCaptions(bool value) {
    showCaptions_ = value;
    ApplyStyles();
}
void TToolBar::SetWrapable(bool value) {
    wrapable_ = value;
    ApplyStyles();
}
void TToolBar::SetButtonWidth(int value) {
    buttonWidth_ = std::max(0, value);
    ApplyStyles();
}
void TToolBar::SetAutoSize(bool value) {
    autoSize_ = value;
    AdjustSize();
}

int TToolBar::IndexOf(const TToolButton* button) const {
    auto it = std::find(buttons_.begin(), buttons_.end(), button);
    return it == buttons_.end() ? -1 : static_cast<int>(it - buttons_.begin());
}

int TToolBar::IndexOfCommand(int command) const {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->command_ == command) return static_cast<int>(i);
    return -1;
}

TToolButton* TToolBar::ButtonOfCommand(int command) const {
    const int i = IndexOfCommand(command);
    return i < 0 ? nullptr : buttons_[static_cast<size_t>(i)];
}

void TToolBar::InsertButton(TToolButton* button, size_t index) {
    if (!button) return;
    if (button->bar_) button->bar_->RemoveButton(button);
    index = std::min(index, buttons_.size());
    buttons_.insert(buttons_.begin() + static_cast<std::ptrdiff_t>(index), button);
    button->bar_ = this;
    if (nextCommand_ > 0x7FFF) nextCommand_ = 1;
    while (IndexOfCommand(nextCommand_) >= 0) ++nextCommand_;
    button->command_ = nextCommand_++;
    if (WindowHandle()) {
        if (UsesImages() != windowImages_) {
            ApplyStyles();
            return;
        }
        AddToWindow(button, static_cast<int>(index));
        AdjustSize();
    }
}

void TToolBar::RemoveButton(TToolButton* button) {
    const int index = IndexOf(button);
    if (index < 0) return;
    if (menuButton_ == button) {
        menuButton_ = nullptr;
        TPopupMenu::CloseCurrent();
    }
    if (switchTo_ == button) switchTo_ = nullptr;
    buttons_.erase(buttons_.begin() + index);
    button->bar_ = nullptr;
    if (HWND h = WindowHandle(); h && !Destroying()) {
        ::SendMessageW(h, TB_DELETEBUTTON, static_cast<WPARAM>(index), 0);
        AdjustSize();
    }
}

TToolButton* TToolBar::AddButton(const std::string& caption, TToolButtonStyle style) {
    auto* button = new TToolButton(Owner() ? Owner() : this);
    button->SetCaption(caption);
    button->SetStyle(style);
    InsertButton(button);
    return button;
}

void TToolBar::AddToWindow(TToolButton* b, int index) {
    HWND h = WindowHandle();
    TBBUTTON tb{};
    tb.idCommand = b->command_;
    tb.fsState = static_cast<BYTE>((b->enabled_ ? TBSTATE_ENABLED : 0) | (b->visible_ ? 0 : TBSTATE_HIDDEN) |
                                   (b->down_ ? TBSTATE_CHECKED : 0));
    tb.iString = -1;
    std::wstring text;
    switch (b->style_) {
    case TToolButtonStyle::tbsSeparator:
        tb.fsStyle = BTNS_SEP;
        tb.iBitmap = b->width_ > 0 ? b->width_ : kSeparatorWidth;
        break;
    case TToolButtonStyle::tbsDropDown:
        tb.fsStyle = BTNS_WHOLEDROPDOWN;
        break;
    case TToolButtonStyle::tbsCheck:
        tb.fsStyle = BTNS_CHECK;
        break;
    case TToolButtonStyle::tbsButton:
        tb.fsStyle = BTNS_BUTTON;
        break;
    }
    if (b->style_ != TToolButtonStyle::tbsSeparator) {
        tb.iBitmap = windowImages_ && b->imageIndex_ >= 0 ? b->imageIndex_ : I_IMAGENONE;
        if (b->autoSize_) tb.fsStyle |= BTNS_AUTOSIZE;
        if (showCaptions_ && !b->caption_.empty()) {
            text = ToWide(b->caption_);
            tb.iString = reinterpret_cast<INT_PTR>(text.c_str());
            if (list_) tb.fsStyle |= BTNS_SHOWTEXT;
        }
    }
    if (!::SendMessageW(h, TB_INSERTBUTTONW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&tb)))
        throw std::runtime_error("TB_INSERTBUTTON failed");
    const int width = b->width_ > 0 ? b->width_ : buttonWidth_;
    if (b->style_ != TToolButtonStyle::tbsSeparator && !b->autoSize_ && width > 0) {
        TBBUTTONINFOW info{};
        info.cbSize = sizeof(info);
        info.dwMask = TBIF_SIZE;
        info.cx = static_cast<WORD>(width);
        ::SendMessageW(h, TB_SETBUTTONINFOW, static_cast<WPARAM>(b->command_), reinterpret_cast<LPARAM>(&info));
    }
}

void TToolBar::ButtonChanged(TToolButton* button) {
    HWND h = WindowHandle();
    const int index = IndexOf(button);
    if (!h || index < 0) return;
    if (UsesImages() != windowImages_) {
        ApplyStyles();
        return;
    }
    ::SendMessageW(h, TB_DELETEBUTTON, static_cast<WPARAM>(index), 0);
    AddToWindow(button, index);
    AdjustSize();
}

void TToolBar::RebuildWindowButtons() {
    HWND h = WindowHandle();
    if (!h) return;
    while (::SendMessageW(h, TB_BUTTONCOUNT, 0, 0) > 0)
        if (!::SendMessageW(h, TB_DELETEBUTTON, 0, 0)) break;
    for (size_t i = 0; i < buttons_.size(); ++i) AddToWindow(buttons_[i], static_cast<int>(i));
    AdjustSize();
}

void TToolBar::AdjustSize() {
    HWND h = WindowHandle();
    if (!autoSize_ || !h || sizing_) return;
    SIZE size{0, 0};
    ::SendMessageW(h, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    // The buttons' own extent where the control answers less (no buttons,
    // or hidden ones at the end).
    int right = 0, bottom = 0;
    for (TToolButton* b : buttons_) {
        if (!b->visible_) continue;
        RECT r{};
        if (::SendMessageW(h, TB_GETRECT, static_cast<WPARAM>(b->command_), reinterpret_cast<LPARAM>(&r))) {
            right = std::max(right, static_cast<int>(r.right));
            bottom = std::max(bottom, static_cast<int>(r.bottom));
        }
    }
    if (bottom == 0) bottom = HIWORD(::SendMessageW(h, TB_GETBUTTONSIZE, 0, 0));
    const int width = std::max(static_cast<int>(size.cx), right);
    const int height = std::max(static_cast<int>(size.cy), bottom);
    sizing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{sizing_};
    SetBounds(Left(), Top(), width, height);
}

void TToolBar::SetBounds(int left, int top, int width, int height) {
    if (autoSize_ && WindowHandle() && !sizing_) {
        // The buttons decide the size; stored sizes only place the bar.
        TControl::SetBounds(left, top, Width(), Height());
        AdjustSize();
    } else {
        TControl::SetBounds(left, top, width, height);
    }
    if (auto* bar = dynamic_cast<TControlBar*>(Parent())) bar->BarChanged();
}

TToolButton* TToolBar::ButtonAt(int x, int y) {
    HWND h = WindowHandle();
    if (!h) return nullptr;
    POINT pt{x, y};
    const int index = static_cast<int>(::SendMessageW(h, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&pt)));
    if (index < 0) return nullptr;
    TBBUTTON tb{};
    if (!::SendMessageW(h, TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&tb))) return nullptr;
    TToolButton* b = ButtonOfCommand(tb.idCommand);
    return b && b->style_ != TToolButtonStyle::tbsSeparator ? b : nullptr;
}

void TToolBar::UpdateButtons() {
    const std::vector<TToolButton*> copy = buttons_;
    for (TToolButton* b : copy)
        if (IndexOf(b) >= 0) b->Update();
}

bool TToolBar::HandleAccel(wchar_t letter) {
    HWND h = WindowHandle();
    if (!h || !::IsWindowVisible(h) || !Enabled() || letter == 0) return false;
    const wchar_t up = static_cast<wchar_t>(std::towupper(letter));
    for (TToolButton* b : buttons_) {
        if (!b->visible_ || b->style_ == TToolButtonStyle::tbsSeparator || AccessKeyOf(b->caption_) != up) continue;
        if (!b->enabled_) return true;  // the key is the button's, it is just not available
        if (b->menu_) {
            // Opened from the queue: the key message finishes first.
            ::PostMessageW(h, OpenMenuMessage(), static_cast<WPARAM>(b->command_), 1);
        } else {
            CommitFocusedEdit(this);
            b->Click();
        }
        return true;
    }
    return false;
}

bool TToolBar::HandleCommandItem(WORD id, WORD code) {
    if (code != BN_CLICKED) return false;
    TToolButton* b = ButtonOfCommand(id);
    if (!b) return false;
    if (b->menu_ && b->style_ == TToolButtonStyle::tbsButton) return true;  // opened on the press
    CommitFocusedEdit(this);
    b->Click();
    return true;
}

bool TToolBar::HandleNotify(NMHDR* header, LRESULT& result) {
    switch (header->code) {
    case TBN_DROPDOWN: {
        auto* nm = reinterpret_cast<NMTOOLBARW*>(header);
        if (TToolButton* b = ButtonOfCommand(nm->iItem); b && b->menu_) {
            TrackMenu(b);
            result = TBDDRET_DEFAULT;
            return true;
        }
        result = TBDDRET_NODEFAULT;
        return true;
    }
    case TTN_GETDISPINFOW: {
        auto* di = reinterpret_cast<NMTTDISPINFOW*>(header);
        TToolButton* b = (di->uFlags & TTF_IDISHWND) ? nullptr : ButtonOfCommand(static_cast<int>(header->idFrom));
        tipText_ = b && ShowHint() && !menuButton_ ? ToWide(b->hint_) : std::wstring();
        di->hinst = nullptr;
        di->szText[0] = L'\0';
        di->lpszText = tipText_.data();
        result = 0;
        return true;
    }
    case TBN_GETINFOTIPW: {
        auto* tip = reinterpret_cast<NMTBGETINFOTIPW*>(header);
        TToolButton* b = ButtonOfCommand(tip->iItem);
        if (b && tip->pszText && tip->cchTextMax > 0) {
            const std::wstring text = ShowHint() && !menuButton_ ? ToWide(b->hint_) : std::wstring();
            const size_t n = std::min(text.size(), static_cast<size_t>(tip->cchTextMax - 1));
            std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), tip->pszText);
            tip->pszText[n] = L'\0';
        }
        result = 0;
        return true;
    }
    default:
        break;
    }
    return false;
}

void TToolBar::Notification(TComponent* component, TOperation operation) {
    TControl::Notification(component, operation);
}

LRESULT TToolBar::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == OpenMenuMessage()) {
        if (TToolButton* b = ButtonOfCommand(static_cast<int>(wParam))) {
            switchByKey_ = lParam != 0;
            TrackMenu(b);
        }
        return 0;
    }
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        TToolButton* b = ButtonAt(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        if (OpensMenu(b) && b->style_ == TToolButtonStyle::tbsButton) {
            // A menu-bar button: the menu opens on the press.
            switchByKey_ = false;
            TrackMenu(b);
            return 0;
        }
        if (b) {
            // What is being typed counts before the button's state does: a
            // Save button greyed while the first change was typed takes it.
            const bool pressed = ::GetKeyState(VK_LBUTTON) < 0;
            CommitFocusedEdit(this);
            b->Update();
            // A message box the commit showed took the press already.
            if (pressed && ::GetKeyState(VK_LBUTTON) >= 0) return 0;
        }
        break;
    }
    default:
        break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

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

// -------------------------------------------------------------- TControlBar

const TPropTable& TControlBar::StaticProps() {
    static const TPropTable table{&TControl::StaticProps(),
                                  {BoolProp<TControlBar>("AutoSize", &TControlBar::AutoSize, &TControlBar::SetAutoSize)}};
    return table;
}

TControlBar::TControlBar(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 100, 28); }

void TControlBar::SetAutoSize(bool value) {
    autoSize_ = value;
    if (value) BarChanged();
}

std::vector<TBounds> TControlBar::Arrange(const std::vector<TBand>& bands, int& totalHeight) {
    std::vector<TBounds> out;
    out.reserve(bands.size());
    for (const TBand& b : bands) out.push_back(b.bounds);
    std::vector<size_t> order;
    for (size_t i = 0; i < bands.size(); ++i)
        if (bands[i].visible) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const TBounds &x = bands[a].bounds, &y = bands[b].bounds;
        return x.top != y.top ? x.top < y.top : x.left < y.left;
    });
    // Rows: a bar starting in the upper half of the row above joins it.
    struct Row {
        std::vector<size_t> bars;
        int firstTop = 0, height = 0;
    };
    std::vector<Row> rows;
    for (size_t i : order) {
        const TBounds& b = bands[i].bounds;
        if (rows.empty() || b.top >= rows.back().firstTop + std::max(1, rows.back().height / 2)) {
            rows.push_back(Row{{i}, b.top, b.height});
        } else {
            rows.back().bars.push_back(i);
            rows.back().height = std::max(rows.back().height, b.height);
        }
    }
    int y = 0;
    for (Row& row : rows) {
        std::stable_sort(row.bars.begin(), row.bars.end(),
                         [&](size_t a, size_t b) { return bands[a].bounds.left < bands[b].bounds.left; });
        int x = kGripWidth;
        for (size_t i : row.bars) {
            TBounds& b = out[i];
            b.left = std::max(bands[i].bounds.left, x);
            b.top = y + kRowPadding;
            x = b.left + b.width + kGripWidth;
        }
        y += row.height + 2 * kRowPadding + kRowGap;
    }
    totalHeight = y;
    return out;
}

void TControlBar::BarChanged() {
    if (arranging_) return;
    HWND h = WindowHandle();
    if (Loading() || !h) {
        pending_ = true;
        return;
    }
    if (pending_) return;
    pending_ = true;
    ::PostMessageW(h, ArrangeBarsMessage(), 0, 0);
}

void TControlBar::ArrangeBars() {
    pending_ = false;
    if (arranging_) return;
    arranging_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{arranging_};
    std::vector<TBand> bands;
    for (size_t i = 0; i < ControlCount(); ++i) bands.push_back(TBand{Control(i)->Bounds(), Control(i)->Visible()});
    int height = 0;
    const std::vector<TBounds> places = Arrange(bands, height);
    for (size_t i = 0; i < places.size() && i < ControlCount(); ++i) {
        TControl* c = Control(i);
        if (places[i] != c->Bounds()) c->SetBounds(places[i].left, places[i].top, places[i].width, places[i].height);
    }
    if (autoSize_ && height > 0 && height != Height()) SetHeight(height);
    Invalidate();
}

void TControlBar::Loaded() {
    TControl::Loaded();
    if (pending_ || autoSize_) ArrangeBars();
}

void TControlBar::CreateWnd() {
    TControl::CreateWnd();
    ArrangeBars();
}

LRESULT TControlBar::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == ArrangeBarsMessage()) {
        if (pending_) ArrangeBars();
        return 0;
    }
    if (message == WM_SIZE) Invalidate();
    return TControl::WndProc(message, wParam, lParam);
}

void TControlBar::Paint(HDC dc, const RECT&) {
    RECT client;
    ::GetClientRect(WindowHandle(), &client);
    std::vector<int> rowBottoms;
    for (size_t i = 0; i < ControlCount(); ++i) {
        TControl* c = Control(i);
        if (!c->Visible()) continue;
        const TBounds b = c->Bounds();
        // The grip: a raised ridge left of the bar.
        RECT grip{b.left - kGripWidth + 3, b.top + 1, b.left - kGripWidth + 6, b.top + b.height - 1};
        ::DrawEdge(dc, &grip, BDR_RAISEDINNER, BF_RECT);
        const int bottom = b.top + b.height + kRowPadding;
        bool found = false;
        for (int& r : rowBottoms)
            if (std::abs(r - bottom) < b.height) {
                r = std::max(r, bottom);
                found = true;
            }
        if (!found) rowBottoms.push_back(bottom);
    }
    for (int y : rowBottoms) {
        RECT line{client.left, y, client.right, y + kRowGap};
        ::DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    }
}

}  // namespace omb::forms
