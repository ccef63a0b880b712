#include "forms/controls.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vsstyle.h>

#include <algorithm>

#include "forms/application.h"
#include "forms/form.h"

#include <exception>
#include "foundation/handles.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

// Text metrics of a font description.
TEXTMETRICW MetricsOf(const TFontSpec& font) {
    TEXTMETRICW tm{};
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, FontHandle(font));
    ::GetTextMetricsW(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return tm;
}

// How far right the ink of one line of text reaches when it is drawn at
// x = 0: the glyphs may paint past the advance widths DT_CALCRECT adds up
// (under Wine the stand-in for MS Sans Serif inks up to three pixels past
// them), so a label only as wide as that measure cuts off its last
// character.
int InkRight(const TFontSpec& font, const std::wstring& text, SIZE measured) {
    if (text.empty() || measured.cx <= 0 || measured.cy <= 0) return 0;
    const int width = measured.cx + std::max(8, static_cast<int>(MetricsOf(font).tmMaxCharWidth));
    const int height = measured.cy;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDC memory(nullptr, bitmap.get());
    if (!bitmap || !bits || !memory) return measured.cx;
    auto* pixels = static_cast<DWORD*>(bits);
    std::fill(pixels, pixels + static_cast<size_t>(width) * height, 0x00FFFFFFu);
    const HGDIOBJ oldFont = ::SelectObject(memory.get(), FontHandle(font));
    ::SetBkMode(memory.get(), TRANSPARENT);
    ::SetTextColor(memory.get(), RGB(0, 0, 0));
    RECT r{0, 0, width, height};
    ::DrawTextW(memory.get(), text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(memory.get(), oldFont);
    ::GdiFlush();
    for (int x = width - 1; x >= 0; --x)
        for (int y = 0; y < height; ++y)
            if ((pixels[static_cast<size_t>(y) * width + x] & 0x00FFFFFFu) != 0x00FFFFFFu) return x + 1;
    return 0;
}

}  // namespace

// ------------------------------------------------------------------ panel

void TPanel::Paint(HDC dc, const RECT&) {
    if (bevel_ == TBevel::bvNone) return;
    RECT rc;
    ::GetClientRect(WindowHandle(), &rc);
    ::DrawEdge(dc, &rc, bevel_ == TBevel::bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
}

RECT TPanel::ClientRectForChildren() {
    RECT r = TControl::ClientRectForChildren();
    if (bevel_ != TBevel::bvNone) ::InflateRect(&r, -1, -1);
    return r;
}

void TFrame::Loaded() {
    // An owner still loading scales the frame with its own layout; a frame
    // without one (or made after it) scales itself, before its children:
    // aligned children take no more room than it has.
    if (!Owner() || !Owner()->Loading()) ScaleControl(this, Screen().PixelsPerInch());
    ScaleLayout(this, Screen().PixelsPerInch());
    TControl::Loaded();
}

// -------------------------------------------------------------- group box

RECT TGroupBox::FrameInsets() {
    const TEXTMETRICW tm = MetricsOf(Font());
    // The caption sits on the top edge; the children start below its text.
    const int edge = 2;
    const int pad = std::max(2, static_cast<int>(tm.tmAveCharWidth) / 2);
    return RECT{edge + pad, static_cast<LONG>(tm.tmHeight) + pad, edge + pad, edge + pad};
}

RECT TGroupBox::ClientRectForChildren() {
    RECT r = TControl::ClientRectForChildren();
    const RECT in = FrameInsets();
    r.left += in.left;
    r.top += in.top;
    r.right = std::max(r.left, r.right - in.right);
    r.bottom = std::max(r.top, r.bottom - in.bottom);
    return r;
}

void TGroupBox::SetText(const std::string& text) {
    TControl::SetText(text);
    Invalidate();
}

void TGroupBox::Paint(HDC dc, const RECT&) {
    HWND h = WindowHandle();
    RECT rc;
    ::GetClientRect(h, &rc);
    const TEXTMETRICW tm = MetricsOf(Font());
    HGDIOBJ oldFont = ::SelectObject(dc, FontHandle(Font()));
    const std::wstring caption = ToWide(Text());
    SIZE ext{0, 0};
    if (!caption.empty()) ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &ext);
    RECT frame = rc;
    frame.top += tm.tmHeight / 2;
    const int textLeft = std::max(6, static_cast<int>(tm.tmAveCharWidth));
    RECT textRect{textLeft, 0, textLeft + ext.cx, tm.tmHeight};
    // The frame goes round the caption: clip the caption's place out.
    const int saved = ::SaveDC(dc);
    if (!caption.empty()) ::ExcludeClipRect(dc, textRect.left, textRect.top, textRect.right, textRect.bottom);
    HTHEME theme = ::IsAppThemed() ? ::OpenThemeData(h, L"BUTTON") : nullptr;
    if (theme) {
        ::DrawThemeBackground(theme, dc, BP_GROUPBOX, Enabled() ? GBS_NORMAL : GBS_DISABLED, &frame, nullptr);
    } else {
        ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    }
    ::RestoreDC(dc, saved);
    if (!caption.empty()) {
        ::SetBkMode(dc, TRANSPARENT);
        if (theme) {
            ::DrawThemeText(theme, dc, BP_GROUPBOX, Enabled() ? GBS_NORMAL : GBS_DISABLED, caption.c_str(),
                            static_cast<int>(caption.size()), DT_LEFT | DT_SINGLELINE | DT_NOPREFIX, 0, &textRect);
        } else {
            ::SetTextColor(dc, ::GetSysColor(Enabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
            ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect,
                        DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        }
    }
    if (theme) ::CloseThemeData(theme);
    ::SelectObject(dc, oldFont);
}

// ------------------------------------------------------------------ label

TLabel::TLabel(TComponent* owner) : TControl(owner) {}

void TLabel::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.exStyle = 0;
}

void TLabel::CreateWnd() {
    TControl::CreateWnd();
    AdjustSize();
}

void TLabel::SetAutoSize(bool value) {
    autoSize_ = value;
    AdjustSize();
}
void TLabel::SetWordWrap(bool value) {
    wordWrap_ = value;
    Invalidate();
}
void TLabel::SetAlignment(TAlignment value) {
    alignment_ = value;
    Invalidate();
}
void TLabel::SetLayoutCentered(bool value) {
    centered_ = value;
    Invalidate();
}

void TLabel::SetText(const std::string& text) {
    TControl::SetText(text);
    AdjustSize();
    Invalidate();
}

SIZE TLabel::TextExtent() {
    SIZE size{0, 0};
    const TFontSpec font = DrawingFont();
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, FontHandle(font));
    const std::wstring text = ToWide(Text());
    RECT r{0, 0, wordWrap_ ? std::max(1, Width()) : 0, 0};
    ::DrawTextW(dc, text.empty() ? L" " : text.c_str(), text.empty() ? 1 : static_cast<int>(text.size()), &r,
                DT_CALCRECT | DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE));
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    size.cx = r.right - r.left;
    size.cy = r.bottom - r.top;
    // One line is as wide as what it really paints.
    if (!wordWrap_) size.cx = std::max(size.cx, static_cast<LONG>(InkRight(font, text, size)));
    return size;
}

void TLabel::AdjustSize() {
    if (!autoSize_ || Loading()) return;
    const SIZE s = TextExtent();
    if (wordWrap_)
        SetBounds(Left(), Top(), Width(), s.cy);
    else
        SetBounds(Left(), Top(), s.cx, s.cy);
}

void TLabel::Paint(HDC dc, const RECT&) {
    RECT rc;
    ::GetClientRect(WindowHandle(), &rc);
    const TFontSpec font = DrawingFont();
    HGDIOBJ old = ::SelectObject(dc, FontHandle(font));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, font.color != CLR_INVALID ? font.color
                                                 : ::GetSysColor(Enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    const std::wstring text = ToWide(Text());
    UINT flags = DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE);
    if (alignment_ == TAlignment::taCenter) flags |= DT_CENTER;
    if (alignment_ == TAlignment::taRightJustify) flags |= DT_RIGHT;
    if (centered_) {
        if (wordWrap_) {
            RECT calc = rc;
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, flags | DT_CALCRECT);
            const int h = calc.bottom - calc.top;
            rc.top += std::max(0, static_cast<int>(rc.bottom - rc.top - h) / 2);
        } else {
            flags |= DT_VCENTER;
        }
    }
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, flags);
    ::SelectObject(dc, old);
}

LRESULT TLabel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCHITTEST && !OnClick && !OnMouseUp && !OnMouseDown) return HTTRANSPARENT;
    // The font the text is painted in.
    if (message == WM_GETFONT) return reinterpret_cast<LRESULT>(FontHandle(DrawingFont()));
    if (message == WM_LBUTTONUP) {
        LRESULT r = TControl::WndProc(message, wParam, lParam);
        Click();
        return r;
    }
    return TControl::WndProc(message, wParam, lParam);
}

// ---------------------------------------------------------------- buttons

bool TButtonControl::HandleCommand(WORD code) {
    if (code == BN_CLICKED) {
        Click();
        return true;
    }
    return false;
}

void TButton::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.className = L"BUTTON";
    params.exStyle = 0;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | (default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

void TButton::Click() {
    // The handler may free the form: take what is needed first.
    TForm* form = ParentForm();
    const int result = modalResult_;
    TControl::Click();
    // Only a form that still exists takes the result.
    const auto& forms = Screen().Forms();
    if (form && result != 0 && std::find(forms.begin(), forms.end(), form) != forms.end())
        form->SetModalResult(result);
}

void TCheckBox::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.className = L"BUTTON";
    params.exStyle = 0;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | BS_CHECKBOX;
}

void TCheckBox::CreateWnd() {
    TControl::CreateWnd();
    ::SendMessageW(WindowHandle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::Checked() const { return checked_; }

void TCheckBox::SetChecked(bool value) {
    if (checked_ == value) return;
    checked_ = value;
    if (WindowHandle()) ::SendMessageW(WindowHandle(), BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!clicksDisabled_) TControl::Click();
}

void TCheckBox::Click() {
    // A click toggles; the state change reports the click.
    SetChecked(!checked_);
}

void TRadioButton::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.className = L"BUTTON";
    params.exStyle = 0;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | BS_RADIOBUTTON;
}

void TRadioButton::CreateWnd() {
    TControl::CreateWnd();
    ::SendMessageW(WindowHandle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TRadioButton::Checked() const { return checked_; }

void TRadioButton::SetChecked(bool value) {
    if (checked_ == value) return;
    checked_ = value;
    if (WindowHandle()) ::SendMessageW(WindowHandle(), BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (value && Parent()) {
        for (size_t i = 0; i < Parent()->ControlCount(); ++i)
            if (auto* other = dynamic_cast<TRadioButton*>(Parent()->Control(i)); other && other != this)
                other->SetChecked(false);
    }
    if (value) TControl::Click();
}

void TRadioButton::Click() { SetChecked(true); }

// ------------------------------------------------------------------ edits

int TCustomEdit::SelStart() const {
    DWORD start = 0, end = 0;
    if (WindowHandle())
        ::SendMessageW(WindowHandle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}
int TCustomEdit::SelLength() const {
    DWORD start = 0, end = 0;
    if (WindowHandle())
        ::SendMessageW(WindowHandle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end - start);
}
void TCustomEdit::SetSelStart(int value) { SetSel(value, 0); }
void TCustomEdit::SetSel(int start, int length) {
    if (WindowHandle()) ::SendMessageW(WindowHandle(), EM_SETSEL, static_cast<WPARAM>(start), start + length);
}
void TCustomEdit::SetReadOnly(bool value) {
    readOnly_ = value;
    if (WindowHandle()) ::SendMessageW(WindowHandle(), EM_SETREADONLY, value, 0);
}

bool TCustomEdit::HandleCommand(WORD code) {
    if (code == EN_CHANGE) {
        Fire(OnChange, this);
        return true;
    }
    return false;
}

HBRUSH TCustomEdit::CtlColor(HDC dc) {
    // Read-only with the default colour: the face colour the system gives
    // read-only edits (its own answer to their WM_CTLCOLORSTATIC).
    if (readOnly_ && Color() == ::GetSysColor(COLOR_WINDOW)) return nullptr;
    HBRUSH b = TControl::CtlColor(dc);
    return b;
}

void TEdit::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.className = L"EDIT";
    params.exStyle = WS_EX_CLIENTEDGE;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | ES_AUTOHSCROLL | (readOnly_ ? ES_READONLY : 0);
}

void TMemo::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.className = L"EDIT";
    params.exStyle = WS_EX_CLIENTEDGE;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | ES_MULTILINE | ES_AUTOVSCROLL | (vertical_ ? WS_VSCROLL : 0) |
                   (readOnly_ ? ES_READONLY : 0);
}

void TMemo::SetText(const std::string& text) {
    // The edit control breaks lines only at CR LF.
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf += '\r';
        crlf += text[i];
    }
    TControl::SetText(crlf);
}

// -------------------------------------------------------------- combo box

TComboBox::TComboBox(TComponent* owner) : TControl(owner) {
    SetTabStop(true);
    SetColor(::GetSysColor(COLOR_WINDOW));
}

void TComboBox::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.className = L"COMBOBOX";
    params.exStyle = 0;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | CBS_AUTOHSCROLL |
                   (style_ == TComboBoxStyle::csDropDownList ? CBS_DROPDOWNLIST : CBS_DROPDOWN) |
                   (sorted_ ? CBS_SORT : 0);
}

void TComboBox::CreateWnd() {
    TControl::CreateWnd();
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (::GetComboBoxInfo(WindowHandle(), &info) && info.hwndItem && info.hwndItem != WindowHandle()) {
        edit_ = info.hwndItem;
        ::SetWindowSubclass(edit_, &TComboBox::EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    // The list shows up to a dozen items.
    ::SendMessageW(WindowHandle(), CB_SETMINVISIBLE, 12, 0);
}

// Deleted without BeforeDestruction, the window is still there: its edit
// field must not call into this object any more.
TComboBox::~TComboBox() { UnhookEdit(); }

void TComboBox::DestroyWnd() { UnhookEdit(); }

void TComboBox::UnhookEdit() noexcept {
    if (edit_) ::RemoveWindowSubclass(edit_, &TComboBox::EditProc, 1);
    edit_ = nullptr;
}

LRESULT CALLBACK TComboBox::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR refData) noexcept {
    auto* self = reinterpret_cast<TComboBox*>(refData);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &TComboBox::EditProc, 1);
        if (self && self->edit_ == hwnd) self->edit_ = nullptr;
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
    try {
        LRESULT result = 0;
        if (self && self->EditMessage(message, wParam, lParam, result)) return result;
    } catch (...) {
        Application().HandleException(std::current_exception());
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

bool TComboBox::EditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_GETDLGCODE: {
        result = ::DefSubclassProc(edit_, message, wParam, lParam);
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (wantReturn_ && msg && (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) &&
            msg->wParam == VK_RETURN)
            result |= DLGC_WANTALLKEYS;
        return true;
    }
    case WM_CHAR:
        if (OnKeyPress) {
            wchar_t key = static_cast<wchar_t>(wParam);
            Fire(OnKeyPress, this, key);
            if (key == 0) return true;
        }
        return false;
    case WM_SETFOCUS: {
        result = ::DefSubclassProc(edit_, message, wParam, lParam);
        // Back from the drop-down list: still inside the control.
        const HWND from = reinterpret_cast<HWND>(wParam);
        if (!from || from == WindowHandle() || !OwnsWindow(from)) DoEnter();
        return true;
    }
    case WM_KILLFOCUS:
        result = ::DefSubclassProc(edit_, message, wParam, lParam);
        // Focus moving within the combo box (to itself or its drop-down
        // list) does not leave the control.
        if (!OwnsWindow(reinterpret_cast<HWND>(wParam))) DoExit();
        return true;
    default:
        return false;
    }
}

LRESULT TComboBox::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // A drop-down combo box hands the focus on to its edit field, which
    // reports entering and leaving the control: the combo box's own window
    // holding the focus for a moment is neither.
    if (edit_ && (message == WM_SETFOCUS || message == WM_KILLFOCUS)) return DefaultProc(message, wParam, lParam);
    return TControl::WndProc(message, wParam, lParam);
}

bool TComboBox::OwnsWindow(HWND window) const {
    HWND h = WindowHandle();
    if (!window || !h) return false;
    if (window == h || window == edit_) return true;
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    return ::GetComboBoxInfo(h, &info) && window == info.hwndList;
}

bool TComboBox::HandleCommand(WORD code) {
    switch (code) {
    case CBN_EDITCHANGE:
        Change();
        return true;
    case CBN_SELCHANGE:
        Fire(OnSelect, this);
        Change();
        return true;
    case CBN_SETFOCUS:
        if (!edit_) DoEnter();
        return true;
    case CBN_KILLFOCUS:
        if (!edit_) DoExit();
        return true;
    default:
        return false;
    }
}

HBRUSH TComboBox::CtlColor(HDC dc) { return TControl::CtlColor(dc); }

int TComboBox::ItemCount() const {
    return const_cast<TComboBox*>(this)->Handle()
               ? static_cast<int>(::SendMessageW(WindowHandle(), CB_GETCOUNT, 0, 0))
               : 0;
}

std::string TComboBox::Item(int index) const {
    HWND h = const_cast<TComboBox*>(this)->Handle();
    const LRESULT n = ::SendMessageW(h, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == CB_ERR) return {};
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    ::SendMessageW(h, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&w[0]));
    w.resize(static_cast<size_t>(n));
    return FromWide(w);
}

void* TComboBox::ItemObject(int index) const {
    HWND h = const_cast<TComboBox*>(this)->Handle();
    const LRESULT v = ::SendMessageW(h, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    return v == CB_ERR ? nullptr : reinterpret_cast<void*>(v);
}

int TComboBox::AddItem(const std::string& text, void* object) {
    HWND h = Handle();
    const LRESULT i = ::SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(text).c_str()));
    if (i >= 0) ::SendMessageW(h, CB_SETITEMDATA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(object));
    return static_cast<int>(i);
}

void TComboBox::InsertItem(int index, const std::string& text, void* object) {
    HWND h = Handle();
    const LRESULT i =
        ::SendMessageW(h, CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(ToWide(text).c_str()));
    if (i >= 0) ::SendMessageW(h, CB_SETITEMDATA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(object));
}

void TComboBox::DeleteItem(int index) { ::SendMessageW(Handle(), CB_DELETESTRING, static_cast<WPARAM>(index), 0); }

void TComboBox::ClearItems() { ::SendMessageW(Handle(), CB_RESETCONTENT, 0, 0); }

int TComboBox::ItemIndex() const {
    return static_cast<int>(::SendMessageW(const_cast<TComboBox*>(this)->Handle(), CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int index) { ::SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

std::string TComboBox::Text() const {
    const_cast<TComboBox*>(this)->Handle();
    return TControl::Text();
}

void TComboBox::SetText(const std::string& text) {
    HWND h = Handle();
    if (style_ == TComboBoxStyle::csDropDownList) {
        const LRESULT i = ::SendMessageW(h, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(ToWide(text).c_str()));
        ::SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        return;
    }
    TControl::SetText(text);
}

void TComboBox::SetSel(int start, int length) {
    ::SendMessageW(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(start, start + length));
}

int TComboBox::SelStart() const {
    DWORD start = 0, end = 0;
    ::SendMessageW(const_cast<TComboBox*>(this)->Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

int TComboBox::SelLength() const {
    DWORD start = 0, end = 0;
    ::SendMessageW(const_cast<TComboBox*>(this)->Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end - start);
}

bool TComboBox::DroppedDown() const {
    return WindowHandle() && ::SendMessageW(WindowHandle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

}  // namespace omb::forms
