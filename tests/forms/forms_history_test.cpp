// The history combo box (history table, completion typed for real, focus
// rules, the context-menu key) and the quiet check box (code vs click).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/check_box.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/history_combo.h"
#include "foundation/handles.h"
#include "foundation/winfuncs.h"
#include "tests/forms/forms_test_support.h"
#include "tests/forms/host_tools.h"

using namespace omb::forms;
using omb::test::PumpUntil;
using omb::test::Xdo;

namespace {

bool HaveXdo() { return omb::test::HostHas("xdotool"); }

struct HistoryForm : TForm {
    THistoryComboBox* combo;
    TEdit* other;
    TZQMCheckBox* check;
    explicit HistoryForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(60, 60, 300, 160);
        SetText("History test");
        combo = new THistoryComboBox(this);
        combo->SetName("Combo");
        combo->SetParent(this);
        combo->SetBounds(10, 10, 200, 120);
        other = new TEdit(this);
        other->SetName("Other");
        other->SetParent(this);
        other->SetBounds(10, 50, 120, 21);
        check = new TZQMCheckBox(this);
        check->SetName("Check");
        check->SetParent(this);
        check->SetBounds(10, 80, 120, 17);
        check->SetText("Quiet");
        EndLoading();
    }
    std::vector<std::string> Items() {
        std::vector<std::string> v;
        for (int i = 0; i < combo->ItemCount(); ++i) v.push_back(combo->Item(i));
        return v;
    }
    bool Dropped() { return ::SendMessageW(combo->WindowHandle(), CB_GETDROPPEDSTATE, 0, 0) != 0; }
    void SetItems(const std::vector<std::string>& items) {
        combo->ClearItems();
        for (const auto& s : items) combo->AddItem(s);
    }
};

using Items = std::vector<std::string>;

TEST(HistoryComboBox, AddToHistoryKeepsTheMostRecentFirstComparedExactly) {
    enum Handler { none, refuse, upper };
    struct Case {
        const char* name;
        Items items;
        int capacity;
        std::string text;
        Handler handler;
        Items expected;
        std::string expectedText;
    };
    const std::vector<Case> cases{
        {"capacity drops the oldest", {"one", "two", "three"}, 3, "four", none, {"four", "one", "two"}, "four"},
        {"an older entry moves to the top", {"one", "two", "three"}, 0, "two", none, {"two", "one", "three"}, "two"},
        {"the newest entry stays", {"one", "two", "three"}, 0, "one", none, {"one", "two", "three"}, "one"},
        {"case makes a new entry", {"two"}, 0, "Two", none, {"Two", "two"}, "Two"},
        {"a refused text changes nothing", {"one", "two"}, 0, "new", refuse, {"one", "two"}, "new"},
        {"the handler's text is added", {"one"}, 0, "new", upper, {"NEW", "one"}, "new"},
        {"the handler's text is moved", {"one", "NEW"}, 0, "new", upper, {"NEW", "one"}, "NEW"},
        {"an empty text changes nothing", {"one"}, 0, "", none, {"one"}, ""},
        {"the last equal item is the one moved", {"a", "b", "a"}, 0, "a", none, {"a", "a", "b"}, "a"},
    };
    HistoryForm form;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.combo->SetCapacity(0);
        form.SetItems(c.items);
        form.combo->SetCapacity(c.capacity);
        form.combo->OnCanAddHistory = nullptr;
        if (c.handler == refuse) form.combo->OnCanAddHistory = [](TComponent*, std::string&, bool& may) { may = false; };
        if (c.handler == upper)
            form.combo->OnCanAddHistory = [](TComponent*, std::string& t, bool&) {
                for (char& ch : t) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            };
        form.combo->SetText(c.text);
        form.combo->AddToHistory();
        EXPECT_EQ(form.Items(), c.expected);
        EXPECT_EQ(form.combo->Text(), c.expectedText);
    }
    // A smaller capacity keeps the newest items at once.
    form.combo->OnCanAddHistory = nullptr;
    form.combo->SetCapacity(0);
    form.SetItems({"1", "2", "3", "4", "5"});
    form.combo->SetCapacity(2);
    EXPECT_EQ(form.Items(), (Items{"1", "2"}));

    EXPECT_TRUE(SameTextIgnoreCase("notepad", "NOTEPAD"));
    EXPECT_FALSE(SameTextIgnoreCase("Note", "Notepad")) << "full lengths";
    EXPECT_TRUE(SameTextIgnoreCase("", ""));
    EXPECT_FALSE(SameTextIgnoreCase("", "a"));
}

TEST(HistoryComboBox, LeavingTheControlAddsMovingInsideItDoesNotAndCodeNeverCompletes) {
    HistoryForm form;
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(form.WindowHandle()) != FALSE; }));
    form.combo->SetAutoHistory(true);
    form.combo->SetAutoCompletion(true);
    int asked = 0;
    form.combo->OnCanAddHistory = [&](TComponent*, std::string&, bool&) { ++asked; };
    form.SetItems({"Notepad"});
    // Text from code is shown as it is.
    form.combo->SetText("n");
    EXPECT_EQ(form.combo->Text(), "n");
    ::SetFocus(form.combo->EditHandle());
    ::SetFocus(form.combo->WindowHandle());  // hands the focus back to its edit
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(::GetComboBoxInfo(form.combo->WindowHandle(), &info));
    ::SendMessageW(info.hwndItem, WM_KILLFOCUS, reinterpret_cast<WPARAM>(info.hwndList), 0);
    EXPECT_EQ(asked, 0) << "focus moving inside the combo box adds nothing";
    EXPECT_EQ(form.Items(), (Items{"Notepad"}));
    form.combo->SetText("typed");
    ::SetFocus(form.combo->EditHandle());
    ::SetFocus(form.other->WindowHandle());
    EXPECT_GE(asked, 1);
    EXPECT_EQ(form.Items(), (Items{"typed", "Notepad"}));
    EXPECT_EQ(form.combo->Text(), "typed");
}

TEST(HistoryComboBox, TypingCompletesFromTheHistoryAndTheMenuKeyOpensTheControlsMenu) {
    if (!HaveXdo()) GTEST_SKIP() << "xdotool is needed";
    HistoryForm form;
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(form.WindowHandle()) != FALSE; }));
    form.combo->SetAutoCompletion(true);
    form.SetItems({"Notepad"});
    form.combo->SetText("");
    std::vector<POINT> popups;
    form.combo->OnContextPopup = [&](TComponent*, POINT p) { popups.push_back(p); };
    // Click into the edit field as the user would.
    RECT r;
    ::GetWindowRect(form.combo->EditHandle(), &r);
    ASSERT_TRUE(Xdo("mousemove " + std::to_string(r.left + 20) + " " + std::to_string((r.top + r.bottom) / 2)));
    ASSERT_TRUE(Xdo("click 1"));
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == form.combo->EditHandle(); }));

    ASSERT_TRUE(Xdo("type N"));
    EXPECT_TRUE(PumpUntil([&] { return form.combo->Text() == "Notepad"; })) << form.combo->Text();
    EXPECT_EQ(form.combo->SelStart(), 1);
    EXPECT_EQ(form.combo->SelLength(), 6);
    ASSERT_TRUE(Xdo("type o"));
    EXPECT_TRUE(PumpUntil([&] { return form.combo->Text() == "Notepad" && form.combo->SelStart() == 2; }));
    EXPECT_EQ(form.combo->SelLength(), 5);
    ASSERT_TRUE(Xdo("key BackSpace"));
    EXPECT_TRUE(PumpUntil([&] { return form.combo->Text() == "No"; })) << form.combo->Text();
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(form.combo->Text(), "No") << "deleting completes nothing";
    EXPECT_EQ(form.combo->SelLength(), 0);
    // The typed characters stay as typed: no item in other capitals, no
    // rest of blanks alone.
    form.SetItems({"AlphaWnd", "Notepad "});
    for (const char* typed : {"alphawnd", "Notepad"}) {
        form.combo->SetText("");
        ASSERT_TRUE(Xdo(std::string("type ") + typed));
        EXPECT_TRUE(PumpUntil([&] { return form.combo->Text() == typed; })) << form.combo->Text();
        PumpUntil([] { return false; }, 100);
        EXPECT_EQ(form.combo->Text(), typed);
        // Nor does opening the list and closing it with nothing chosen.
        for (const char* close : {"Escape", "F4"}) {
            ASSERT_TRUE(Xdo("key F4"));
            ASSERT_TRUE(PumpUntil([&] { return form.Dropped(); }));
            ASSERT_TRUE(Xdo(std::string("key ") + close));
            ASSERT_TRUE(PumpUntil([&] { return !form.Dropped(); }));
            EXPECT_EQ(form.combo->Text(), typed) << close;
        }
    }
    // An item chosen from the list is taken, by key and by mouse.
    ASSERT_TRUE(Xdo("key F4"));
    ASSERT_TRUE(PumpUntil([&] { return form.Dropped(); }));
    ASSERT_TRUE(Xdo("key Up Return"));
    EXPECT_TRUE(PumpUntil([&] { return !form.Dropped() && form.combo->Text() == "AlphaWnd"; }))
        << form.combo->Text();
    form.combo->SetText("alphawnd");
    ASSERT_TRUE(Xdo("key F4"));
    ASSERT_TRUE(PumpUntil([&] { return form.Dropped(); }));
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(::GetComboBoxInfo(form.combo->WindowHandle(), &info));
    RECT item{};
    ::SendMessageW(info.hwndList, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    ::MapWindowPoints(info.hwndList, nullptr, reinterpret_cast<POINT*>(&item), 2);
    ASSERT_TRUE(Xdo("mousemove " + std::to_string(item.left + 10) + " " +
                    std::to_string((item.top + item.bottom) / 2)));
    ASSERT_TRUE(Xdo("click 1"));
    EXPECT_TRUE(PumpUntil([&] { return !form.Dropped() && form.combo->Text() == "AlphaWnd"; }))
        << form.combo->Text();
    // An input method's unfinished text is not completed.
    form.combo->SetText("");
    ::SendMessageW(form.combo->EditHandle(), WM_IME_STARTCOMPOSITION, 0, 0);
    ASSERT_TRUE(Xdo("type N"));
    EXPECT_TRUE(PumpUntil([&] { return form.combo->Text() == "N"; })) << form.combo->Text();
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(form.combo->Text(), "N");
    ::SendMessageW(form.combo->EditHandle(), WM_IME_ENDCOMPOSITION, 0, 0);

    ASSERT_TRUE(Xdo("key Menu"));
    ASSERT_TRUE(PumpUntil([&] { return !popups.empty(); }));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(popups.size(), 1u);
    RECT c;
    ::GetWindowRect(form.combo->WindowHandle(), &c);
    EXPECT_EQ(popups[0].x, (c.left + c.right) / 2);
    EXPECT_EQ(popups[0].y, (c.top + c.bottom) / 2);
    // The edit field's own menu did not open instead.
    HWND menu = ::FindWindowW(L"#32768", nullptr);
    EXPECT_TRUE(!menu || !::IsWindowVisible(menu));
}

TEST(ZQMCheckBox, CodeSetsTheStateQuietlyTheUsersClickReports) {
    HistoryForm form;
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(form.WindowHandle()) != FALSE; }));
    int clicks = 0;
    form.check->OnClick = [&](TComponent*) { ++clicks; };
    form.check->SetChecked(true);
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(form.check->Checked());
    EXPECT_EQ(::SendMessageW(form.check->WindowHandle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    // A plain check box still reports a change from code.
    TCheckBox plain(nullptr);
    int plainClicks = 0;
    plain.OnClick = [&](TComponent*) { ++plainClicks; };
    plain.SetChecked(true);
    EXPECT_EQ(plainClicks, 1);
    if (!HaveXdo()) GTEST_SKIP() << "xdotool is needed for the click";
    RECT r;
    ::GetWindowRect(form.check->WindowHandle(), &r);
    ASSERT_TRUE(Xdo("mousemove " + std::to_string(r.left + 6) + " " + std::to_string((r.top + r.bottom) / 2)));
    ASSERT_TRUE(Xdo("click 1"));
    ASSERT_TRUE(PumpUntil([&] { return clicks > 0; }));
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(form.check->Checked());
    EXPECT_EQ(::SendMessageW(form.check->WindowHandle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

}  // namespace
