#include "forms/form.h"

#include <algorithm>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/rx_props.h"
#include "foundation/single_instance.h"
#include "foundation/strings.h"

namespace omb::forms {

namespace {

bool IsKeyMessage(UINT m) {
    return m == WM_KEYDOWN || m == WM_SYSKEYDOWN || m == WM_CHAR || m == WM_SYSCHAR || m == WM_KEYUP ||
           m == WM_SYSKEYUP;
}

}  // namespace

const TPropTable& TForm::StaticProps() {
    static const TPropTable table{
        &TControl::StaticProps(),
        {EnumProp<TForm, TFormBorderStyle>(
             "BorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
             &TForm::BorderStyle, &TForm::SetBorderStyle),
         SetProp<TForm>("BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}, &TForm::BorderIcons,
                        &TForm::SetBorderIcons),
         EnumProp<TForm, TPosition>("Position",
                                    {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                     "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
                                    &TForm::Position, &TForm::SetPosition),
         EnumProp<TForm, TWindowState>("WindowState", {"wsNormal", "wsMinimized", "wsMaximized"},
                                       &TForm::WindowState, &TForm::SetWindowState)}};
    return table;
}

TForm::TForm(TComponent* owner) : TControl(owner) {
    SetVisibleFlag(false);
    Screen().forms_.push_back(this);
    // Stored component references name their form.
    if (!FormByNameProvider)
        FormByNameProvider = [](const std::string& name) -> TComponent* {
            for (TForm* form : Screen().Forms())
                if (SameTextAZ(form->Name(), name)) return form;
            return nullptr;
        };
}

TForm::~TForm() {
    // Deleted without BeforeDestruction: the handler still runs first.
    FireDestroy();
    MarkDestroying();
    Unlist();
}

// The owned components stay until the destructors have run (a form's own
// destructor may still use them); their windows wait in the parking window.
void TForm::BeforeDestruction() {
    FireDestroy();
    MarkDestroying();
    Unlist();
    TControl::BeforeDestruction();
}

void TForm::FireDestroy() {
    if (destroyFired_) return;
    destroyFired_ = true;
    // The destroy handler sees the form and its window still whole.
    try {
        Fire(OnDestroy, this);
    } catch (...) {
        Application().HandleException(std::current_exception());
    }
}

void TForm::Unlist() {
    auto& forms = Screen().forms_;
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (Application().MainForm() == this) Application().SetMainForm(nullptr);
}

void TForm::Loaded() {
    ScaleLayout(this, Screen().PixelsPerInch());
    TControl::Loaded();
}

void TForm::CreateParams(TCreateParams& params) {
    params.exStyle = WS_EX_CONTROLPARENT;
    params.style = WS_CLIPCHILDREN;
    switch (borderStyle_) {
    case TFormBorderStyle::bsNone:
        params.style |= WS_POPUP;
        break;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsToolWindow:
        params.style |= WS_CAPTION | WS_BORDER;
        break;
    case TFormBorderStyle::bsSizeable:
    case TFormBorderStyle::bsSizeToolWin:
        params.style |= WS_CAPTION | WS_THICKFRAME;
        break;
    case TFormBorderStyle::bsDialog:
        params.style |= WS_CAPTION | DS_MODALFRAME;
        params.exStyle |= WS_EX_DLGMODALFRAME;
        break;
    }
    if (borderStyle_ == TFormBorderStyle::bsToolWindow || borderStyle_ == TFormBorderStyle::bsSizeToolWin)
        params.exStyle |= WS_EX_TOOLWINDOW;
    if (borderStyle_ != TFormBorderStyle::bsNone && (borderIcons_ & biSystemMenu)) {
        params.style |= WS_SYSMENU;
        if (borderStyle_ != TFormBorderStyle::bsDialog && borderStyle_ != TFormBorderStyle::bsToolWindow &&
            borderStyle_ != TFormBorderStyle::bsSizeToolWin) {
            if (borderIcons_ & biMinimize) params.style |= WS_MINIMIZEBOX;
            if (borderIcons_ & biMaximize) params.style |= WS_MAXIMIZEBOX;
        }
        if (borderStyle_ == TFormBorderStyle::bsDialog && (borderIcons_ & biHelp))
            params.exStyle |= WS_EX_CONTEXTHELP;
    }
}

void TForm::CreateWnd() {
    TControl::CreateWnd();
    const HWND h = WindowHandle();
    if (HICON large = Application().LargeIcon())
        ::SendMessageW(h, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    if (HICON small = Application().SmallIcon())
        ::SendMessageW(h, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

HWND TForm::OwnerWindow() const {
    TForm* main = Application().MainForm();
    if (main && main != this && main->WindowHandle()) return main->WindowHandle();
    return nullptr;
}

void TForm::SetBorderStyle(TFormBorderStyle value) {
    if (borderStyle_ == value) return;
    borderStyle_ = value;
    if (HWND h = WindowHandle()) {
        TCreateParams p;
        CreateParams(p);
        const LONG_PTR keep = ::GetWindowLongPtrW(h, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE);
        ::SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(p.style) | keep);
        ::SetWindowLongPtrW(h, GWL_EXSTYLE, p.exStyle);
        ::SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
}

void TForm::SetBorderIcons(unsigned value) {
    if (borderIcons_ == value) return;
    borderIcons_ = value;
    if (HWND h = WindowHandle()) {
        TCreateParams p;
        CreateParams(p);
        const LONG_PTR icons = WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        LONG_PTR style = ::GetWindowLongPtrW(h, GWL_STYLE);
        style = (style & ~icons) | (static_cast<LONG_PTR>(p.style) & icons);
        ::SetWindowLongPtrW(h, GWL_STYLE, style);
        ::SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
}

TWindowState TForm::WindowState() const {
    if (HWND h = WindowHandle(); h && ::IsWindowVisible(h)) {
        if (::IsIconic(h)) return TWindowState::wsMinimized;
        if (::IsZoomed(h)) return TWindowState::wsMaximized;
        return TWindowState::wsNormal;
    }
    return windowState_;
}

void TForm::SetWindowState(TWindowState value) {
    windowState_ = value;
    HWND h = WindowHandle();
    if (h && ::IsWindowVisible(h)) {
        const int cmd = value == TWindowState::wsMinimized   ? SW_MINIMIZE
                        : value == TWindowState::wsMaximized ? SW_MAXIMIZE
                                                             : SW_RESTORE;
        ::ShowWindow(h, cmd);
    }
}

int TForm::PixelsPerInch() const { return Screen().PixelsPerInch(); }

TControl* TForm::ActiveControl() const {
    if (HWND h = WindowHandle()) {
        HWND focus = ::GetFocus();
        if (focus && focus != h && ::IsChild(h, focus))
            if (TControl* c = TControl::FromHandle(focus)) return c;
    }
    return activeControl_;
}

void TForm::RememberActive(TControl* control) {
    if (activeControl_ == control) return;
    // The control may belong to another owner (a frame's): without the
    // notice a freed control would stay behind as a dangling pointer.
    if (activeControl_) activeControl_->RemoveFreeNotification(this);
    activeControl_ = control;
    if (control) control->FreeNotification(this);
}

void TForm::Notification(TComponent* component, TOperation operation) {
    TControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == activeControl_) activeControl_ = nullptr;
}

void TForm::SetActiveControl(TControl* control) {
    RememberActive(control);
    if (control && WindowHandle() && ::IsWindowVisible(WindowHandle()) && control->CanFocus()) control->SetFocus();
}

void TForm::CommitActiveControl() {
    if (TControl* c = ActiveControl(); c && c != this) c->CommitEdit();
}

void TForm::PlaceAtFirstShow() {
    if (placed_) return;
    placed_ = true;
    TBounds b = Bounds();
    switch (position_) {
    case TPosition::poScreenCenter:
        SetBounds((Screen().Width() - b.width) / 2, (Screen().Height() - b.height) / 2, b.width, b.height);
        break;
    case TPosition::poDesktopCenter: {
        RECT work{0, 0, Screen().Width(), Screen().Height()};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetBounds(work.left + (work.right - work.left - b.width) / 2,
                  work.top + (work.bottom - work.top - b.height) / 2, b.width, b.height);
        break;
    }
    case TPosition::poMainFormCenter:
    case TPosition::poOwnerFormCenter:
        if (TForm* main = Application().MainForm(); main && main != this) {
            TBounds m = main->Bounds();
            SetBounds(m.left + (m.width - b.width) / 2, m.top + (m.height - b.height) / 2, b.width, b.height);
        } else {
            SetBounds((Screen().Width() - b.width) / 2, (Screen().Height() - b.height) / 2, b.width, b.height);
        }
        break;
    default:
        break;
    }
}

void TForm::SetVisible(bool value) {
    HWND h = Handle();
    if (value) {
        if (::IsWindowVisible(h)) return;
        PlaceAtFirstShow();
        // The show handler runs before the window appears (a stored
        // placement is restored there), with the form already counted as
        // visible so that its controls can be made the active one.
        SetVisibleFlag(true);
        DoShow();
        const int cmd = windowState_ == TWindowState::wsMinimized   ? SW_SHOWMINIMIZED
                        : windowState_ == TWindowState::wsMaximized ? SW_SHOWMAXIMIZED
                                                                    : SW_SHOWNORMAL;
        ::ShowWindow(h, cmd);
        if (activeControl_ && activeControl_->CanFocus())
            activeControl_->SetFocus();
        else if (HWND first = ::GetNextDlgTabItem(h, nullptr, FALSE))
            ::SetFocus(first);
    } else {
        if (!::IsWindowVisible(h)) {
            SetVisibleFlag(false);
            return;
        }
        windowState_ = WindowState();
        SetVisibleFlag(false);
        ::ShowWindow(h, SW_HIDE);
        Fire(OnHide, this);
    }
}

bool TForm::CloseQuery() {
    CommitActiveControl();
    bool canClose = true;
    Fire(OnCloseQuery, this, canClose);
    return canClose;
}

void TForm::Close() {
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (CloseQuery()) Hide();
}

int TForm::ShowModal() {
    HWND owner = OwnerWindow();
    if (!owner) owner = ::GetActiveWindow();
    if (owner == Handle()) owner = nullptr;
    const bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    modal_ = true;
    modalResult_ = mrNone;
    struct Restore {
        TForm& form;
        HWND owner;
        bool enable;
        ~Restore() {
            form.modal_ = false;
            // The owner comes back before this window goes, so activation
            // returns to it and not to another program.
            if (enable) ::EnableWindow(owner, TRUE);
            if (form.WindowHandle() && ::IsWindowVisible(form.WindowHandle())) form.Hide();
            if (enable && ::IsWindow(owner)) ::SetActiveWindow(owner);
        }
    } restore{*this, owner, ownerWasEnabled};
    Show();
    DWORD lastIdle = ::GetTickCount();
    bool quit = false;
    WPARAM quitCode = 0;
    // The idle pass follows the messages this loop handled, or half a
    // second without any. A message another thread or program sends is
    // handled inside the wait and brings none: a program that asks this
    // window something over and over would otherwise have the idle pass
    // run after every question.
    bool idleDue = true;
    for (;;) {
        MSG msg;
        while (modalResult_ == mrNone && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            idleDue = true;
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                modalResult_ = mrCancel;
                break;
            }
            // Short-cuts run commands here, outside any window procedure:
            // a failure is reported, never the end of the program.
            bool translated = false;
            try {
                translated = PreTranslateMessage(msg);
            } catch (...) {
                Application().HandleException(std::current_exception());
                translated = true;
            }
            if (!translated) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            if (::GetTickCount() - lastIdle >= 500) {
                Application().DoIdle();
                lastIdle = ::GetTickCount();
            }
        }
        if (modalResult_ != mrNone) {
            if (quit) break;
            // Closing asks the close query once; a refusal, or a query
            // that failed, goes on.
            bool canClose = false;
            try {
                canClose = CloseQuery();
            } catch (...) {
                Application().HandleException(std::current_exception());
            }
            if (canClose) break;
            modalResult_ = mrNone;
            continue;
        }
        if (idleDue || ::GetTickCount() - lastIdle >= 500) {
            idleDue = false;
            Application().DoIdle();
            lastIdle = ::GetTickCount();
            if (modalResult_ != mrNone) continue;
        }
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 500, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    const int result = modalResult_;
    if (quit) ::PostQuitMessage(static_cast<int>(quitCode));
    return result;
}

TButton* TForm::DialogButton(bool isDefault) {
    for (size_t i = 0; i < ComponentCount(); ++i) {
        auto* button = dynamic_cast<TButton*>(Component(i));
        if (button && (isDefault ? button->Default() : button->Cancel()) && button->CanFocus()) return button;
    }
    return nullptr;
}

bool TForm::HandleAltLetter(wchar_t letter) {
    for (size_t i = 0; i < ComponentCount(); ++i)
        if (auto* target = dynamic_cast<IAccelTarget*>(Component(i)))
            if (auto* control = dynamic_cast<TControl*>(Component(i)); !control || control->Visible())
                if (target->HandleAccel(letter)) return true;
    return false;
}

namespace {
// Ctrl+A in a text field (an edit, or a combo box's edit) selects the
// field's text, as in every Windows edit field, before any command's
// short-cut could take the key.
bool SelectAllInTextField(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != 'A' || !message.hwnd) return false;
    if (::GetKeyState(VK_CONTROL) >= 0 || ::GetKeyState(VK_SHIFT) < 0 || ::GetKeyState(VK_MENU) < 0) return false;
    wchar_t name[16] = {};
    if (!::GetClassNameW(message.hwnd, name, 16) || ::lstrcmpiW(name, L"Edit") != 0) return false;
    ::SendMessageW(message.hwnd, EM_SETSEL, 0, -1);
    return true;
}
}  // namespace

bool TForm::IsShortCut(const MSG& message) {
    if (SelectAllInTextField(message)) return true;
    if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
        bool handled = false;
        if (OnShortCut) {
            Fire(OnShortCut, message, handled);
            if (handled) return true;
        }
    }
    if (message.message == WM_SYSCHAR && ::GetKeyState(VK_MENU) < 0) {
        if (HandleAltLetter(static_cast<wchar_t>(message.wParam))) return true;
    }
    return false;
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_COMMAND:
        // Enter and Esc as IsDialogMessage reports them: the default and
        // the cancel button.
        if (lParam == 0 && HIWORD(wParam) == 0 && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            if (DispatchMenuCommand(LOWORD(wParam))) return 0;
            // A form without such a button ignores the key: Esc never
            // closes a main window.
            if (TButton* button = DialogButton(LOWORD(wParam) == IDOK)) button->Click();
            return 0;
        }
        break;
    case WM_QUERYENDSESSION:
        // Logging off asks about unsaved work like closing does.
        if (Application().MainForm() == this) {
            try {
                return CloseQuery() ? TRUE : FALSE;
            } catch (...) {
                Application().HandleException(std::current_exception());
                return FALSE;
            }
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (HWND focus = ::GetFocus(); focus && ::IsChild(WindowHandle(), focus))
                RememberActive(TControl::FromHandle(focus));
        } else if (activeControl_ && activeControl_->WindowHandle() && activeControl_->CanFocus()) {
            LRESULT r = TControl::WndProc(message, wParam, lParam);
            ::SetFocus(activeControl_->WindowHandle());
            return r;
        }
        break;
    default:
        if (message == TSingleAppInstance::BroughtForwardMessage() && message != 0) {
            TakeKeyboardBack();
            return 0;
        }
        break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

void TForm::TakeKeyboardBack() {
    HWND own = WindowHandle();
    if (!own || !::IsWindowVisible(own)) return;
    if (::IsIconic(own)) ::ShowWindow(own, SW_RESTORE);
    ::SetForegroundWindow(own);
    HWND focus = ::GetFocus();
    if (!focus || ::GetAncestor(focus, GA_ROOT) != own) {
        focus = activeControl_ && activeControl_->WindowHandle() && activeControl_->CanFocus()
                    ? activeControl_->WindowHandle()
                    : own;
    }
    // The focus changes: only then does the display move its input focus.
    ::SetFocus(nullptr);
    ::SetFocus(focus);
}

TForm* FormOfWindow(HWND window) {
    if (!window) return nullptr;
    HWND root = ::GetAncestor(window, GA_ROOT);
    return dynamic_cast<TForm*>(TControl::FromHandle(root));
}

bool PreTranslateMessage(MSG& msg) {
    if (!IsKeyMessage(msg.message)) return false;
    TForm* form = FormOfWindow(msg.hwnd);
    if (!form) return false;
    if (form->IsShortCut(msg)) return true;
    return ::IsDialogMessageW(form->WindowHandle(), &msg) != FALSE;
}

}  // namespace omb::forms
