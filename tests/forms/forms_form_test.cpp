// Forms and controls with real windows, the second part: lifetimes (a freed
// active control, a handler that frees its form, a control re-parented
// from the parking window), layout against what the system does to a
// window, the border icons and the window state, WM_QUIT inside a modal
// loop, and real clicks and keys from xdotool.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/extra_controls.h"
#include "forms/form.h"
#include "tests/forms/forms_test_support.h"
#include "tests/forms/host_tools.h"

using namespace omb::forms;
using omb::test::PumpUntil;
using omb::test::Xdo;

namespace {

bool Shown(TForm& form) {
    return PumpUntil([&] { return ::IsWindowVisible(form.WindowHandle()) != FALSE; });
}

void Settle() { PumpUntil([] { return false; }, 50); }

template <typename T> T* Make(TComponent* owner, TControl* parent, const char* name, int l, int t, int w, int h) {
    auto* c = new T(owner);
    c->SetName(name);
    c->SetParent(parent);
    c->SetBounds(l, t, w, h);
    return c;
}

// ------------------------------------------------------------ lifetimes

TEST(FormsLifetime, AFreedActiveControlIsForgotten) {
    TForm form(nullptr);
    form.SetBounds(100, 100, 300, 200);
    // One edit the form owns, one a frame owns (as a detail panel's are).
    TFrame* frame = Make<TFrame>(&form, &form, "Frame", 0, 0, 300, 100);
    TEdit* own = Make<TEdit>(&form, &form, "Own", 8, 120, 100, 21);
    TEdit* framed = Make<TEdit>(frame, frame, "Framed", 8, 8, 100, 21);
    form.SetActiveControl(own);
    delete own;
    EXPECT_EQ(form.ActiveControl(), nullptr);
    form.SetActiveControl(framed);
    delete frame;
    EXPECT_EQ(form.ActiveControl(), nullptr);
    // Showing and activating touch the active control.
    form.Show();
    ASSERT_TRUE(Shown(form));
    ::SendMessageW(form.WindowHandle(), WM_ACTIVATE, WA_ACTIVE, 0);
}

// A form in storage of its own: what is written after it is freed shows.
alignas(std::max_align_t) unsigned char formArena[8192];
constexpr unsigned char kFreed = 0xA5;

struct ArenaForm : TForm {
    using TForm::TForm;
    static void* operator new(size_t size) {
        if (size > sizeof(formArena)) throw std::bad_alloc();
        return formArena;
    }
    static void operator delete(void*) noexcept { std::memset(formArena, kFreed, sizeof(formArena)); }
};

TEST(FormsLifetime, AButtonWhoseHandlerFreesTheFormLeavesItAlone) {
    auto* form = new ArenaForm(nullptr);
    form->SetBounds(100, 100, 200, 100);
    TButton* ok = Make<TButton>(form, form, "OK", 8, 8, 75, 25);
    ok->SetModalResult(mrOk);
    ok->OnClick = [form](TComponent*) { delete form; };
    ok->Click();
    size_t touched = 0;
    for (unsigned char b : formArena) touched += b != kFreed;
    EXPECT_EQ(touched, 0u) << "the freed form was written to";
}

TEST(FormsLifetime, AControlTakenFromTheParkingWindowShowsInItsNewParent) {
    TForm form(nullptr);
    form.SetBounds(100, 100, 300, 200);
    TPanel* a = Make<TPanel>(&form, &form, "A", 0, 0, 150, 200);
    TPanel* b = Make<TPanel>(&form, &form, "B", 150, 0, 150, 200);
    TFrame* frame = Make<TFrame>(&form, a, "Frame", 4, 4, 100, 50);
    form.Show();
    ASSERT_TRUE(Shown(form));
    ASSERT_TRUE(::IsWindowVisible(frame->WindowHandle()));
    frame->SetParent(nullptr);
    EXPECT_EQ(::GetParent(frame->WindowHandle()), ParkingWindow());
    frame->SetParent(b);
    EXPECT_EQ(::GetParent(frame->WindowHandle()), b->WindowHandle());
    EXPECT_TRUE(frame->Visible());
    EXPECT_TRUE(::IsWindowVisible(frame->WindowHandle())) << "re-parented but still hidden";
}

// The editor swaps its detail panel with the redraw of the area off: the
// panel that held the focus goes to the parking window, and the keys must
// still reach the form (its short-cuts), not an edit nobody sees.
TEST(FormsLifetime, AFocusedControlTakenAwayHandsTheFocusToItsForm) {
    TForm form(nullptr);
    form.SetBounds(100, 100, 300, 200);
    TPanel* area = Make<TPanel>(&form, &form, "Area", 0, 0, 300, 200);
    TFrame* frame = Make<TFrame>(&form, area, "Frame", 4, 4, 200, 60);
    TEdit* edit = Make<TEdit>(&form, frame, "Edit", 8, 8, 100, 21);
    TEdit* other = Make<TEdit>(&form, &form, "Other", 8, 120, 100, 21);
    form.Show();
    ASSERT_TRUE(Shown(form));
    auto focusIn = [](TControl* c) { return PumpUntil([c] { return ::GetFocus() == c->WindowHandle(); }); };
    auto formHasIt = [&] {
        HWND focus = ::GetFocus();
        return focus && FormOfWindow(focus) == &form && focus != edit->WindowHandle();
    };
    edit->SetFocus();
    ASSERT_TRUE(focusIn(edit));
    area->DisableRedraw();
    frame->SetParent(nullptr);
    area->EnableRedraw();
    EXPECT_TRUE(formHasIt()) << "the focus stayed in the parked panel";
    // Hidden under a frozen container, and moved to another parent.
    frame->SetParent(area);
    edit->SetFocus();
    ASSERT_TRUE(focusIn(edit));
    area->DisableRedraw();
    frame->SetVisible(false);
    area->EnableRedraw();
    EXPECT_TRUE(formHasIt()) << "the focus stayed in the hidden panel";
    frame->SetVisible(true);
    // A control that does not hold the focus leaves it where it is.
    other->SetFocus();
    ASSERT_TRUE(focusIn(other));
    frame->SetParent(nullptr);
    EXPECT_EQ(::GetFocus(), other->WindowHandle());
}

// --------------------------------------------------------------- layout

TEST(FormsLayout, AnchoredChildrenOfAGroupBoxKeepTheirPlaces) {
    TForm form(nullptr);
    form.BeginLoading();
    form.SetBounds(100, 100, 400, 300);
    TGroupBox* group = Make<TGroupBox>(&form, &form, "Group", 10, 10, 200, 150);
    group->SetText("Group");
    TButton* corner = Make<TButton>(&form, group, "Corner", 100, 80, 75, 25);
    corner->SetAnchors(akRight | akBottom);
    TEdit* wide = Make<TEdit>(&form, group, "Wide", 8, 30, 150, 21);
    wide->SetAnchors(akLeft | akTop | akRight);
    form.EndLoading();
    form.Show();
    ASSERT_TRUE(Shown(form));
    // Nothing was resized: nothing moves.
    EXPECT_EQ(corner->Left(), 100);
    EXPECT_EQ(corner->Top(), 80);
    EXPECT_EQ(wide->Width(), 150);
    group->SetBounds(10, 10, 250, 170);
    Settle();
    EXPECT_EQ(corner->Left(), 150);
    EXPECT_EQ(corner->Top(), 100);
    EXPECT_EQ(wide->Width(), 200);
    RECT r;
    ::GetWindowRect(corner->WindowHandle(), &r);
    ::MapWindowPoints(HWND_DESKTOP, group->WindowHandle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 150);
}

TEST(FormsLayout, AChildTheSystemSizesMovesItsNeighbours) {
    TForm form(nullptr);
    form.BeginLoading();
    form.SetBounds(100, 100, 300, 200);
    // A drop-down combo box keeps its own height, whatever it is given.
    TComboBox* combo = Make<TComboBox>(&form, &form, "Combo", 0, 0, 100, 6);
    combo->SetAlign(TAlign::alTop);
    TPanel* rest = Make<TPanel>(&form, &form, "Rest", 0, 0, 100, 100);
    rest->SetAlign(TAlign::alClient);
    form.EndLoading();
    form.Show();
    ASSERT_TRUE(Shown(form));
    RECT r;
    ::GetWindowRect(combo->WindowHandle(), &r);
    ASSERT_GT(r.bottom - r.top, 6) << "the combo box took the height it was given";
    EXPECT_EQ(combo->Height(), r.bottom - r.top);
    EXPECT_EQ(rest->Top(), combo->Height());
    ::GetWindowRect(rest->WindowHandle(), &r);
    ::MapWindowPoints(HWND_DESKTOP, form.WindowHandle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.top, combo->Height()) << "the panel under the combo box overlaps it";
}

// ------------------------------------------------------- border, state

TEST(FormsWindowState, MaximizeIconChangesInPlaceAndStateWaitsForTheShow) {
    TForm form(nullptr);
    form.SetBounds(100, 100, 300, 200);
    form.Show();
    ASSERT_TRUE(Shown(form));
    HWND h = form.WindowHandle();
    EXPECT_TRUE(::GetWindowLongPtrW(h, GWL_STYLE) & WS_MAXIMIZEBOX);
    form.SetBorderIcons(biSystemMenu | biMinimize);
    EXPECT_EQ(form.WindowHandle(), h) << "the window was made anew";
    EXPECT_FALSE(::GetWindowLongPtrW(h, GWL_STYLE) & WS_MAXIMIZEBOX);
    EXPECT_TRUE(::GetWindowLongPtrW(h, GWL_STYLE) & WS_MINIMIZEBOX);
    EXPECT_TRUE(::IsWindowVisible(h));
    form.SetBorderIcons(biSystemMenu | biMinimize | biMaximize);
    EXPECT_TRUE(::GetWindowLongPtrW(h, GWL_STYLE) & WS_MAXIMIZEBOX);

    // Recorded while hidden, applied at the show.
    form.Hide();
    form.SetWindowState(TWindowState::wsMaximized);
    EXPECT_FALSE(::IsZoomed(h));
    EXPECT_EQ(form.WindowState(), TWindowState::wsMaximized);
    form.Show();
    ASSERT_TRUE(Shown(form));
    EXPECT_TRUE(::IsZoomed(h));
    form.Hide();
    EXPECT_EQ(form.WindowState(), TWindowState::wsMaximized) << "hiding forgot the state";
    form.SetWindowState(TWindowState::wsNormal);
    form.Show();
    ASSERT_TRUE(Shown(form));
    EXPECT_FALSE(::IsZoomed(h));
    EXPECT_EQ(form.WindowState(), TWindowState::wsNormal);
}

TEST(FormsModal, QuitEndsTheLoopAndIsPassedOn) {
    TForm owner(nullptr);
    owner.SetBounds(100, 100, 300, 200);
    owner.Show();
    ASSERT_TRUE(Shown(owner));
    Application().SetMainForm(&owner);
    TForm dialog(nullptr);
    dialog.SetBounds(150, 150, 200, 100);
    int asked = 0;
    dialog.OnCloseQuery = [&](TComponent*, bool& canClose) {
        ++asked;
        canClose = false;
    };
    bool posted = false;
    Application().idleHandlers.push_back([&] {
        if (dialog.Modal() && !posted) {
            posted = true;
            ::PostQuitMessage(7);
        }
    });
    const int result = dialog.ShowModal();
    Application().idleHandlers.clear();
    Application().SetMainForm(nullptr);
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(asked, 0) << "quitting is not a close the form may refuse";
    EXPECT_TRUE(::IsWindowEnabled(owner.WindowHandle()));
    EXPECT_FALSE(::IsWindowVisible(dialog.WindowHandle()));
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT was swallowed";
    EXPECT_EQ(msg.wParam, 7u);
}

// ------------------------------------------------------------ real input

struct InputForm : TForm {
    TPanel* panel;
    TEdit* edit1;
    TGroupBox* group;
    TCheckBox* check;
    TRadioButton* radio1;
    TRadioButton* radio2;
    TScrollBox* scroll;
    TEdit* edit3;
    explicit InputForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(120, 120, 360, 260);
        SetText("Input");
        panel = Make<TPanel>(this, this, "Panel", 0, 0, 360, 40);
        panel->SetAlign(TAlign::alTop);
        edit1 = Make<TEdit>(this, panel, "Edit1", 8, 8, 120, 21);
        group = Make<TGroupBox>(this, this, "Group", 8, 48, 200, 110);
        group->SetText("Options");
        check = Make<TCheckBox>(this, group, "Check", 10, 20, 150, 17);
        check->SetText("Check me");
        radio1 = Make<TRadioButton>(this, group, "Radio1", 10, 44, 150, 17);
        radio1->SetText("First");
        radio2 = Make<TRadioButton>(this, group, "Radio2", 10, 68, 150, 17);
        radio2->SetText("Second");
        scroll = Make<TScrollBox>(this, this, "Scroll", 216, 48, 130, 110);
        edit3 = Make<TEdit>(this, scroll, "Edit3", 4, 4, 100, 21);
        EndLoading();
    }
};

bool ClickAt(TControl* c, int dx = 8) {
    RECT r;
    ::GetWindowRect(c->WindowHandle(), &r);
    return Xdo("mousemove " + std::to_string(r.left + dx) + " " + std::to_string((r.top + r.bottom) / 2)) &&
           Xdo("click 1");
}

TEST(FormsRealInput, ClicksInAGroupBoxReachTheirObjectsAndTabWalksTheContainers) {
    if (!omb::test::HostHas("xdotool")) GTEST_SKIP() << "xdotool is needed";
    InputForm form;
    form.Show();
    ASSERT_TRUE(Shown(form));
    int checks = 0, radios = 0;
    form.check->OnClick = [&](TComponent*) { ++checks; };
    form.radio2->OnClick = [&](TComponent*) { ++radios; };
    ASSERT_TRUE(ClickAt(form.check));
    ASSERT_TRUE(PumpUntil([&] { return checks > 0; })) << "the check box's click was lost";
    EXPECT_TRUE(form.check->Checked());
    ASSERT_TRUE(ClickAt(form.radio2));
    ASSERT_TRUE(PumpUntil([&] { return radios > 0; })) << "the radio button's click was lost";
    EXPECT_TRUE(form.radio2->Checked());
    EXPECT_FALSE(form.radio1->Checked());
    EXPECT_EQ(checks, 1);

    // Tab from the first edit, pressed on the keyboard.
    ASSERT_TRUE(ClickAt(form.edit1, 20));
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == form.edit1->WindowHandle(); }));
    std::vector<std::string> visited{"Edit1"};
    for (int i = 0; i < 6 && (visited.size() == 1 || visited.back() != "Edit1"); ++i) {
        HWND before = ::GetFocus();
        ASSERT_TRUE(Xdo("key Tab"));
        ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() != before; })) << "Tab did not move on";
        TControl* c = TControl::FromHandle(::GetFocus());
        visited.push_back(c ? c->Name() : "?");
    }
    // Into the group box, through it (the radio buttons count as one
    // stop), into the scroll box and round again.
    std::string path;
    std::string last;
    for (const std::string& v : visited) {
        const std::string stop = v.rfind("Radio", 0) == 0 ? "Radio" : v;
        if (stop != last) path += stop + " ";
        last = stop;
    }
    EXPECT_EQ(path, "Edit1 Check Radio Edit3 Edit1 ");
}

}  // namespace
