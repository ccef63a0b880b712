#include "forms/history_combo.h"

#include <cwctype>
#include <utility>

#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

// Counts a nesting level up for the life of the object.
struct Nested {
    unsigned& level;
    explicit Nested(unsigned& l) : level(l) { ++level; }
    ~Nested() { --level; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;
};

bool SameWide(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return a.empty() && b.empty();
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

// Whether the text from `from` on holds nothing but white space.
bool BlanksOnly(const std::wstring& text, size_t from) {
    for (size_t i = from; i < text.size(); ++i)
        if (!::iswspace(text[i])) return false;
    return true;
}

}  // namespace

bool SameTextIgnoreCase(const std::string& a, const std::string& b) { return SameWide(ToWide(a), ToWide(b)); }

const TPropTable& THistoryComboBox::StaticProps() {
    static const TPropTable table{
        &TControl::StaticProps(),
        {BoolProp<THistoryComboBox>("AutoHistory", &THistoryComboBox::AutoHistory, &THistoryComboBox::SetAutoHistory),
         BoolProp<THistoryComboBox>("AutoCompletion", &THistoryComboBox::AutoCompletion,
                                    &THistoryComboBox::SetAutoCompletion),
         IntProp<THistoryComboBox, int>("Capacity", &THistoryComboBox::Capacity, &THistoryComboBox::SetCapacity)}};
    return table;
}

THistoryComboBox::THistoryComboBox(TComponent* owner) : TComboBox(owner) { SetStyle(TComboBoxStyle::csDropDown); }

void THistoryComboBox::SetCapacity(int value) {
    if (value == capacity_) return;
    capacity_ = value;
    TrimToCapacity();
}

void THistoryComboBox::TrimToCapacity() {
    if (capacity_ <= 0) return;
    while (ItemCount() > capacity_) DeleteItem(ItemCount() - 1);
}

bool THistoryComboBox::CanAddHistory(std::string& text) {
    bool mayAdd = true;
    Fire(OnCanAddHistory, this, text, mayAdd);
    return mayAdd;
}

void THistoryComboBox::AddToHistory() {
    const std::string shown = Text();
    std::string text = shown;
    if (!CanAddHistory(text)) return;
    if (text.empty()) return;
    // The history compares exactly; the last equal item is the one moved.
    // The list finds the items equal without regard to case itself; only
    // those are read, so a long history costs a few messages.
    int found = -1;
    if (HWND combo = Handle()) {
        const std::wstring wide = ToWide(text);
        for (int from = -1;;) {
            const LRESULT at = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(from),
                                              reinterpret_cast<LPARAM>(wide.c_str()));
            if (at == CB_ERR || at <= from) break;  // the search wraps around at the end
            from = static_cast<int>(at);
            if (Item(from) == text) found = from;
        }
    }
    const bool showMoved = found > 0;
    const bool trim = capacity_ > 0 && ItemCount() + (found < 0 ? 1 : 0) > capacity_;
    Nested fromCode(settingText_);
    if (found != 0 || trim) {
        // The list changes where it differs; the edit field keeps what it
        // shows. Only taking an item out may take the field's text with
        // it: a list that only grows leaves the field alone.
        const bool removes = found > 0 || trim;
        int selStart = 0, selLength = 0;
        if (removes) selStart = SelStart(), selLength = SelLength();
        if (found > 0) DeleteItem(found);
        if (found != 0) InsertItem(0, text);
        if (capacity_ > 0)
            while (ItemCount() > capacity_) DeleteItem(ItemCount() - 1);
        if (removes && Text() != shown) {
            TComboBox::SetText(shown);
            SetSel(selStart, selLength);
        }
    }
    if (showMoved) TComboBox::SetText(text);
}

void THistoryComboBox::SetText(const std::string& text) {
    Nested fromCode(settingText_);
    TComboBox::SetText(text);
    // What the user types next is measured from nothing typed.
    lastTypedLength_ = 0;
}

bool THistoryComboBox::HandleCommand(WORD code) {
    if (code == CBN_EDITCHANGE && settingText_ == 0) {
        // The user edited the text: the owner's change event, then the
        // completion.
        const bool handled = TComboBox::HandleCommand(code);
        Complete();
        return handled;
    }
    // Opening the list selects the first item that starts with the text in
    // any capitals and shows it in the field; closed with no item chosen,
    // the field gets back what the user had.
    if (code == CBN_DROPDOWN) {
        droppedText_ = Text();
        droppedStart_ = SelStart(), droppedLength_ = SelLength();
        picked_ = false;
    } else if (code == CBN_SELCHANGE) {
        picked_ = true;
    } else if (code == CBN_CLOSEUP && !picked_ && Text() != droppedText_) {
        {
            Nested fromCode(settingText_);
            TComboBox::SetText(droppedText_);
        }
        SetSel(droppedStart_, droppedLength_);
    }
    return TComboBox::HandleCommand(code);
}

void THistoryComboBox::Complete() {
    const bool deleting = std::exchange(deleting_, false);
    // An input method's unfinished characters are not typed yet.
    if (!autoCompletion_ || composing_ || !WindowHandle()) return;
    const std::wstring typed = ToWide(Text());
    // Removing text never completes it again.
    if (!deleting && typed.size() > lastTypedLength_) {
        // Only the rest of an item that starts with exactly what was typed
        // is offered: class names and exact captions are compared with
        // their capitals, so the typed characters must stay as they are.
        // A rest of blanks alone would go unseen and end up in the value.
        const int count = ItemCount();
        for (int i = 0; i < count; ++i) {
            const std::wstring item = ToWide(Item(i));
            if (item.size() <= typed.size() || item.compare(0, typed.size(), typed) != 0) continue;
            if (BlanksOnly(item, typed.size())) continue;
            {
                Nested fromCode(settingText_);
                TComboBox::SetText(FromWide(item));
            }
            SetSel(static_cast<int>(typed.size()), static_cast<int>(item.size() - typed.size()));
            break;
        }
    }
    lastTypedLength_ = typed.size();
}

bool THistoryComboBox::EditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_APPS && OnContextPopup) {
            // The system also turns the key into a context menu request
            // for the edit field: that one is dropped (below).
            appsKeyPopup_ = true;
            PopupAtCentre();
            result = 0;
            return true;
        }
        appsKeyPopup_ = false;
        if (wParam == VK_BACK || wParam == VK_DELETE) deleting_ = true;
        break;
    case WM_CONTEXTMENU:
        // From the keyboard: the control's menu at its centre, once.
        if (lParam == -1 && OnContextPopup) {
            if (!std::exchange(appsKeyPopup_, false)) PopupAtCentre();
            result = 0;
            return true;
        }
        break;
    case WM_CHAR:
        // Backspace and Ctrl+X remove text; other characters add.
        deleting_ = wParam == VK_BACK || wParam == 0x18;
        break;
    case WM_CUT:
    case WM_CLEAR:
        deleting_ = true;
        break;
    case WM_IME_STARTCOMPOSITION:
        composing_ = true;
        break;
    case WM_IME_ENDCOMPOSITION:
        composing_ = false;
        break;
    case WM_PASTE:
    case WM_UNDO:
        deleting_ = false;
        break;
    default:
        break;
    }
    return TComboBox::EditMessage(message, wParam, lParam, result);
}

void THistoryComboBox::PopupAtCentre() {
    RECT r;
    if (!::GetWindowRect(WindowHandle(), &r)) return;
    Fire(OnContextPopup, this, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

void THistoryComboBox::DoExit() {
    TComboBox::DoExit();
    if (autoHistory_) AddToHistory();
}

}  // namespace omb::forms
