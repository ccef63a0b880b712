// Forms and containers with real windows: layout, hint tools, the modal
// loop, close queries, notifications reaching their controls, Tab through
// nested containers (also after windows changed parents) and the idle pass.
#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/toolbar.h"
#include "tests/forms/forms_test_support.h"
#include "tests/forms/host_tools.h"

using namespace omb::forms;
using omb::test::PumpUntil;

namespace {

struct TestForm : TForm {
    TPanel* top;
    TGroupBox* group;
    TEdit* edit1;
    TEdit* edit2;
    TCheckBox* check;
    TButton* ok;
    explicit TestForm(TComponent* owner = nullptr) : TForm(owner) {
        BeginLoading();
        SetBounds(100, 100, 400, 300);
        SetText("Test form");
        top = new TPanel(this);
        top->SetName("TopPanel");
        top->SetParent(this);
        top->SetAlign(TAlign::alTop);
        top->SetHeight(40);
        edit1 = new TEdit(this);
        edit1->SetName("Edit1");
        edit1->SetParent(top);
        edit1->SetBounds(8, 8, 120, 21);
        group = new TGroupBox(this);
        group->SetName("Group");
        group->SetParent(this);
        group->SetAlign(TAlign::alClient);
        group->SetText(" Group ");
        edit2 = new TEdit(this);
        edit2->SetName("Edit2");
        edit2->SetParent(group);
        edit2->SetBounds(8, 20, 120, 21);
        check = new TCheckBox(this);
        check->SetName("Check");
        check->SetParent(group);
        check->SetBounds(8, 50, 120, 17);
        check->SetText("Check me");
        ok = new TButton(this);
        ok->SetName("OKButton");
        ok->SetParent(group);
        ok->SetBounds(300, 200, 75, 25);
        ok->SetAnchors(akRight | akBottom);
        ok->SetText("OK");
        ok->SetModalResult(mrOk);
        EndLoading();
    }
    const char* ClassName() const override { return "TTestForm"; }
};

TEST(FormsWindow, LayoutFollowsTheWindowAndComponentsAreFoundByName) {
    TestForm form;
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form.WindowHandle()) != FALSE; }));
    RECT client;
    GetClientRect(form.WindowHandle(), &client);
    EXPECT_EQ(form.top->Width(), client.right);
    EXPECT_EQ(form.group->Top(), 40);
    EXPECT_EQ(form.group->Height(), client.bottom - 40);
    // The anchored button keeps its distances to the right and bottom.
    const int oldRight = form.group->Width() - form.ok->Left();
    form.SetBounds(100, 100, 500, 360);
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(form.group->Width() - form.ok->Left(), oldRight);
    EXPECT_EQ(form.FindComponent("edit2"), form.edit2);
    EXPECT_EQ(form.FindComponent("nothing"), nullptr);
    EXPECT_EQ(TControl::FromHandle(form.edit2->WindowHandle()), form.edit2);
    // A window's text is read whole, however long, with characters beyond
    // one UTF-16 unit at any place.
    for (size_t length : {0u, 1u, 254u, 255u, 256u, 5000u}) {
        std::string text;
        while (text.size() < length) text += (text.size() % 7 == 3) ? u8"😀" : "x";
        form.edit1->SetText(text);
        EXPECT_EQ(form.edit1->Text(), text) << length;
    }
}

// A control with a hint is one tool of the hint window while its window
// lives in a parent: moved, it is one tool of its new parent; parked or
// destroyed (alone or with its form), none.
TEST(FormsWindow, HintToolsFollowTheirControlsWindows) {
    auto tools = [] {
        HWND tip = HintToolTipWindow();
        return tip ? static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0)) : 0;
    };
    const int before = tools();
    {
        TestForm form;
        form.Show();
        ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form.WindowHandle()) != FALSE; }));
        form.edit1->SetHint("First");
        form.edit2->SetHint("Second");
        form.check->SetHint("Third");
        EXPECT_EQ(tools(), before + 3);

        form.edit1->SetParent(form.group);
        EXPECT_EQ(tools(), before + 3);
        TOOLINFOW ti{};
        ti.cbSize = sizeof(ti);
        ti.hwnd = form.group->WindowHandle();
        ti.uId = reinterpret_cast<UINT_PTR>(form.edit1->WindowHandle());
        EXPECT_TRUE(SendMessageW(HintToolTipWindow(), TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)));
        form.edit1->SetParent(nullptr);
        EXPECT_EQ(tools(), before + 2);
        form.edit1->SetParent(form.top);
        EXPECT_EQ(tools(), before + 3);
        form.edit1->SetHint("First again");
        EXPECT_EQ(tools(), before + 3);

        delete form.check;
        form.check = nullptr;
        EXPECT_EQ(tools(), before + 2);
        form.edit2->DestroyHandle();
        EXPECT_EQ(tools(), before + 1);
    }
    EXPECT_EQ(tools(), before);
}

TEST(FormsWindow, ModalLoopReturnsTheButtonsResultAndReenablesTheOwner) {
    TestForm owner;
    owner.Show();
    Application().SetMainForm(&owner);
    TestForm dialog;
    bool ownerDisabledDuring = false;
    int clicks = 0;
    dialog.check->OnClick = [&](TComponent*) { ++clicks; };
    Application().idleHandlers.push_back([&] {
        if (!dialog.Modal() || !IsWindowVisible(dialog.WindowHandle())) return;
        ownerDisabledDuring = IsWindowEnabled(owner.WindowHandle()) == FALSE;
        if (clicks == 0) {
            // A real click through the system: the notification reaches
            // the check box's object.
            SendMessageW(dialog.check->WindowHandle(), BM_CLICK, 0, 0);
            PostMessageW(dialog.ok->WindowHandle(), BM_CLICK, 0, 0);
        }
    });
    const int result = dialog.ShowModal();
    Application().idleHandlers.clear();
    Application().SetMainForm(nullptr);
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(dialog.check->Checked());
    EXPECT_TRUE(ownerDisabledDuring);
    EXPECT_TRUE(IsWindowEnabled(owner.WindowHandle()));
    EXPECT_FALSE(IsWindowVisible(dialog.WindowHandle()));
}

TEST(FormsWindow, CloseQueryRefusesThenAllows) {
    TestForm dialog;
    int asked = 0;
    dialog.OnCloseQuery = [&](TComponent*, bool& canClose) {
        ++asked;
        canClose = asked > 1;
    };
    int idles = 0;
    Application().idleHandlers.push_back([&] {
        if (!dialog.Modal()) return;
        if (++idles == 1 || idles == 3) PostMessageW(dialog.WindowHandle(), WM_CLOSE, 0, 0);
    });
    const int result = dialog.ShowModal();
    Application().idleHandlers.clear();
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(asked, 2);
}

// Keys as the keyboard sends them, through the loop's dialog handling: Esc
// never closes a form that has no cancel button (the editor's main window);
// Enter and Esc press the default and the cancel button; Esc in a memo
// leaves its container alone; a short-cut that fails is reported and the
// form goes on.
TEST(FormsWindow, EnterAndEscPressTheFormsButtonsAndNothingElse) {
    TestForm dialog;
    auto* memo = new TMemo(&dialog);
    memo->SetParent(dialog.top);
    memo->SetBounds(140, 4, 120, 30);
    std::vector<std::string> failures;
    Application().OnException = [&](const std::string& message) { failures.push_back(message); };
    dialog.OnShortCut = [](const MSG& message, bool&) {
        if (message.wParam == VK_F9) throw std::runtime_error("short-cut failed");
    };
    // Runs the dialog, posting the key to the control once it is shown; the
    // idle passes after that end it with mrAbort when the key did not.
    auto press = [&](TControl* target, WPARAM key) {
        int step = 0;
        Application().idleHandlers.push_back([&, target, key] {
            if (!dialog.Modal() || !IsWindowVisible(dialog.WindowHandle())) return;
            if (step == 0) {
                SetFocus(target->WindowHandle());
                PostMessageW(target->WindowHandle(), WM_KEYDOWN, key, 0);
            } else if (step == 3) {
                dialog.SetModalResult(mrAbort);
            }
            ++step;
        });
        const int result = dialog.ShowModal();
        Application().idleHandlers.clear();
        return result;
    };
    EXPECT_EQ(press(dialog.edit1, VK_ESCAPE), mrAbort) << "Esc closed a form without a cancel button";
    EXPECT_EQ(press(dialog.edit1, VK_RETURN), mrAbort);

    dialog.ok->SetDefault(true);
    auto* cancel = new TButton(&dialog);
    cancel->SetParent(dialog.group);
    cancel->SetBounds(200, 200, 75, 25);
    cancel->SetText("Cancel");
    cancel->SetCancel(true);
    cancel->SetModalResult(mrIgnore);
    EXPECT_EQ(press(dialog.check, VK_RETURN), mrOk);  // an edit keeps Enter for itself
    EXPECT_EQ(press(dialog.edit2, VK_ESCAPE), mrIgnore);
    cancel->SetEnabled(false);
    EXPECT_EQ(press(dialog.edit2, VK_ESCAPE), mrAbort) << "a disabled cancel button was pressed";

    EXPECT_EQ(press(memo, VK_ESCAPE), mrAbort);
    EXPECT_TRUE(IsWindow(dialog.top->WindowHandle())) << "Esc in the memo destroyed its container";

    EXPECT_EQ(press(dialog.edit1, VK_F9), mrAbort);
    Application().OnException = nullptr;
    EXPECT_EQ(failures.size(), 1u) << ::testing::PrintToString(failures);
}

// Logging off asks the main form's close query; other forms are not asked.
TEST(FormsWindow, LoggingOffAsksTheMainFormsCloseQuery) {
    TestForm main, other;
    main.Show();
    other.Show();
    bool refuse = true;
    int asked = 0;
    main.OnCloseQuery = [&](TComponent*, bool& canClose) {
        ++asked;
        canClose = !refuse;
    };
    other.OnCloseQuery = [&](TComponent*, bool& canClose) { canClose = false; };
    Application().SetMainForm(&main);
    EXPECT_EQ(SendMessageW(main.WindowHandle(), WM_QUERYENDSESSION, 0, 0), FALSE);
    refuse = false;
    EXPECT_EQ(SendMessageW(main.WindowHandle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(SendMessageW(other.WindowHandle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    Application().SetMainForm(nullptr);
    EXPECT_EQ(asked, 2);
}

TEST(FormsWindow, IdlePassRunsWithoutInput) {
    TestForm dialog;
    int idles = 0;
    Application().idleHandlers.push_back([&] {
        if (++idles >= 3 && dialog.Modal()) dialog.SetModalResult(mrAbort);
    });
    const DWORD start = GetTickCount();
    EXPECT_EQ(dialog.ShowModal(), mrAbort);
    Application().idleHandlers.clear();
    EXPECT_GE(idles, 3);
    EXPECT_LT(GetTickCount() - start, 5000u);
}

// The controls the focus visits with Tab from the first one, as the
// keyboard sends it through the modal loop's dialog handling.
std::vector<std::string> TabWalk(TestForm& dialog) {
    std::vector<std::string> visited;
    Application().idleHandlers.push_back([&] {
        if (!dialog.Modal() || !IsWindowVisible(dialog.WindowHandle())) return;
        if (TControl* c = TControl::FromHandle(GetFocus())) {
            if (visited.empty() || visited.back() != c->Name()) visited.push_back(c->Name());
        }
        if (visited.size() >= 4) {
            dialog.SetModalResult(mrOk);
            return;
        }
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    });
    dialog.ShowModal();
    Application().idleHandlers.clear();
    return visited;
}

const std::vector<std::string> kTabOrder = {"Edit1", "Edit2", "Check", "OKButton"};

TEST(FormsWindow, TabMovesThroughNestedContainers) {
    TestForm dialog;
    EXPECT_EQ(TabWalk(dialog), kTabOrder);
}

// A control whose window changes parents takes its place in the Tab order
// after the controls before it in its parent's list: put back into a
// container that has its window, and carried into one whose window is
// made later.
TEST(FormsWindow, TabFollowsTheListAfterWindowsChangeParents) {
    TestForm moved;
    moved.Handle();
    moved.group->SetParent(nullptr);
    moved.group->SetParent(&moved);
    EXPECT_EQ(TabWalk(moved), kTabOrder);

    TestForm carried;
    carried.ok->SetParent(nullptr);
    carried.ok->Handle();
    carried.ok->SetParent(carried.group);
    EXPECT_EQ(TabWalk(carried), kTabOrder);
}

}  // namespace

namespace {
// A control that records what reaches its own overrides while its window
// goes.
struct TeardownProbe : TPanel {
    int* destroyWnd;
    int* destroyMessages;
    TeardownProbe(TComponent* owner, int* wnd, int* messages)
        : TPanel(owner), destroyWnd(wnd), destroyMessages(messages) {}

protected:
    void DestroyWnd() override { ++*destroyWnd; }
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DESTROY) ++*destroyMessages;
        return TPanel::WndProc(message, wParam, lParam);
    }
};
struct ProbeBar : TToolBar {
    int* destroyWnd;
    ProbeBar(TComponent* owner, int* wnd) : TToolBar(owner), destroyWnd(wnd) {}

protected:
    void DestroyWnd() override {
        ++*destroyWnd;
        TToolBar::DestroyWnd();
    }
};

// A control's window goes while the whole object exists: freed by its
// owner, by FreeComponent or as a form's component, its own teardown
// (DestroyWnd, its handling of WM_DESTROY) runs, a tool bar's included;
// deleted plainly, its window goes unlinked: nothing reaches the half
// destroyed object and nothing raises an exception.
TEST(FormsWindow, AControlsWindowGoesWhileTheWholeObjectExists) {
    omb::test::ExceptionCounter exceptions;
    int wnd = 0, messages = 0, barWnd = 0;
    {
        auto form = MakeComponent<TestForm>();
        auto* probe = new TeardownProbe(form.get(), &wnd, &messages);
        probe->SetParent(form->group);
        auto* bar = new ProbeBar(form.get(), &barWnd);
        bar->SetParent(form.get());
        auto* combo = new TComboBox(form.get());
        combo->SetParent(form->top);
        form->Show();
        ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form->WindowHandle()) != FALSE; }));
        combo->SetFocus();
        ASSERT_TRUE(PumpUntil([&] { return GetFocus() == combo->EditHandle(); }));
        const HWND tip = reinterpret_cast<HWND>(SendMessageW(bar->Handle(), TB_GETTOOLTIPS, 0, 0));
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(ToolTipOwner(tip), bar);
        FreeComponent(probe);
        EXPECT_EQ(wnd, 1);
        EXPECT_EQ(messages, 1);
        form.reset();
        EXPECT_EQ(barWnd, 1);
        EXPECT_EQ(ToolTipOwner(tip), nullptr);
    }
    {
        // Deleted without the step: unlinked, not handled.
        TestForm form;
        auto* probe = new TeardownProbe(&form, &wnd, &messages);
        probe->SetParent(form.group);
        auto* combo = new TComboBox(nullptr);
        combo->SetParent(form.top);
        form.Show();
        ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form.WindowHandle()) != FALSE; }));
        combo->SetFocus();
        ASSERT_TRUE(PumpUntil([&] { return GetFocus() == combo->EditHandle(); }));
        const HWND window = probe->WindowHandle();
        delete probe;
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(wnd, 1);
        EXPECT_EQ(messages, 1);
        delete combo;
    }
    EXPECT_EQ(exceptions.Raised(), 0);
}
}  // namespace

namespace {
// The columns of a 32-bit top-down bitmap that hold a pixel of `ink`.
std::pair<int, int> InkColumns(const DWORD* pixels, int width, int height, COLORREF ink) {
    const DWORD want = (GetRValue(ink) << 16) | (GetGValue(ink) << 8) | GetBValue(ink);
    int left = width, right = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((pixels[y * width + x] & 0xFFFFFF) == want) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

// What the window paints of its client area (WM_PRINTCLIENT), or with a
// text and font, what that text inks on its own; the ink's first and last
// column.
std::pair<int, int> PaintedInk(HWND window, const std::wstring& text, HFONT font, COLORREF ink, COLORREF paper) {
    RECT rc{0, 0, 600, 40};
    if (window) GetClientRect(window, &rc);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(paper);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
    if (window) {
        SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    } else {
        HGDIOBJ oldFont = SelectObject(dc, font);
        SetTextColor(dc, ink);
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, 10, 10, text.c_str(), static_cast<int>(text.size()));
        SelectObject(dc, oldFont);
    }
    GdiFlush();
    const auto columns = InkColumns(static_cast<const DWORD*>(bits), rc.right, rc.bottom, ink);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return columns;
}

// A hint shown by the real mouse shows its whole text: the tooltip
// paints as wide an ink as the text has in its font.
TEST(FormsWindow, AHintShowsItsWholeText) {
    if (!omb::test::HostHas("xdotool")) GTEST_SKIP() << "xdotool is needed";
    TestForm form;
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form.WindowHandle()) != FALSE; }));
    const std::wstring text = L"Name of the window rule";
    form.edit1->SetHint("Name of the window rule");
    RECT r;
    GetWindowRect(form.edit1->WindowHandle(), &r);
    const HWND tip = HintToolTipWindow();
    ASSERT_NE(tip, nullptr);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    ASSERT_TRUE(omb::test::Xdo("mousemove " + std::to_string(x - 5) + " " + std::to_string(y)));
    ASSERT_TRUE(omb::test::Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tip) != FALSE; }, 5000));
    PumpUntil([] { return false; }, 100);
    const COLORREF ink = static_cast<COLORREF>(SendMessageW(tip, TTM_GETTIPTEXTCOLOR, 0, 0));
    const COLORREF paper = static_cast<COLORREF>(SendMessageW(tip, TTM_GETTIPBKCOLOR, 0, 0));
    const auto shown = PaintedInk(tip, text, nullptr, ink, paper);
    const auto whole =
        PaintedInk(nullptr, text, reinterpret_cast<HFONT>(SendMessageW(tip, WM_GETFONT, 0, 0)), ink, paper);
    ASSERT_LE(whole.first, whole.second);
    ASSERT_LE(shown.first, shown.second) << "the tooltip paints no text";
    EXPECT_GE(shown.second - shown.first, whole.second - whole.first);
    omb::test::Xdo("mousemove 0 0");
}
}  // namespace
