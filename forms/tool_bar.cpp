// The tool bar: the system tool bar control over its buttons, its
// tooltips, Alt+letter and the buttons that open menus.
#include "forms/toolbar.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>

#include "forms/application.h"
#include "forms/form.h"
#include "forms/toolbar_shared.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

constexpr int kSeparatorWidth = 8;

UINT OpenMenuMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"OmbFormsToolBarOpenMenu");
    return message;
}

}  // namespace

bool OpensMenu(const TToolButton* b) {
    return b && b->DropdownMenu() && b->Enabled() && b->Visible() &&
           b->Style() != TToolButtonStyle::tbsSeparator;
}

void CommitFocusedEdit(TControl* control) {
    if (TForm* form = control ? control->ParentForm() : nullptr) form->CommitActiveControl();
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

}  // namespace omb::forms
