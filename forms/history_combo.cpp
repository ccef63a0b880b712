#include "forms/history_combo.h"

#include <utility>
#include <vector>

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
    std::string text = Text();
    if (!CanAddHistory(text)) return;
    if (text.empty()) return;
    const int count = ItemCount();
    std::vector<std::string> old;
    old.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) old.push_back(Item(i));
    std::vector<std::string> items = old;
    // The history compares exactly; the last equal item is the one moved.
    int found = -1;
    for (int i = count - 1; i >= 0; --i) {
        if (items[static_cast<size_t>(i)] == text) {
            found = i;
            break;
        }
    }
    bool showMoved = false;
    if (found < 0) {
        items.insert(items.begin(), text);
    } else if (found > 0) {
        items.erase(items.begin() + found);
        items.insert(items.begin(), text);
        showMoved = true;
    }
    if (capacity_ > 0 && items.size() > static_cast<size_t>(capacity_)) items.resize(static_cast<size_t>(capacity_));
    Nested fromCode(settingText_);
    if (items != old) {
        // Emptying the list empties the edit field too: keep what it shows.
        const std::string shown = Text();
        const int selStart = SelStart(), selLength = SelLength();
        ClearItems();
        for (const std::string& item : items) AddItem(item);
        TComboBox::SetText(shown);
        SetSel(selStart, selLength);
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
    return TComboBox::HandleCommand(code);
}

void THistoryComboBox::Complete() {
    const bool deleting = std::exchange(deleting_, false);
    if (!autoCompletion_ || !WindowHandle()) return;
    const std::wstring typed = ToWide(Text());
    // Removing text never completes it again.
    if (!deleting && typed.size() > lastTypedLength_) {
        const int count = ItemCount();
        for (int i = 0; i < count; ++i) {
            const std::wstring item = ToWide(Item(i));
            if (!SameWide(item.substr(0, typed.size()), typed)) continue;
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
