// A form with every control of the library, laid out in design pixels with
// the layouts' font, under the version 6 common controls. The test checks
// what a user would see as wrong: clipped text, a child poking out of its
// container or under a group box's caption, controls on top of each other.
// With OMB_SHOWCASE_SHOT=/path.png set it also writes a screenshot.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/extra_controls.h"
#include "forms/find_window.h"
#include "forms/form.h"
#include "forms/history_combo.h"
#include "forms/imagelist.h"
#include "forms/treeview.h"
#include "foundation/winfuncs.h"
#include "tests/forms/forms_test_support.h"
#include "tests/forms/host_tools.h"

using namespace omb::forms;
using omb::test::PumpUntil;

namespace {

template <typename T> T* Make(TComponent* owner, TControl* parent, const char* name, int l, int t, int w, int h) {
    auto* c = new T(owner);
    c->SetName(name);
    c->SetParent(parent);
    c->SetBounds(l, t, w, h);
    return c;
}

// A 16 x 16 picture drawn here: a filled square of a colour on magenta.
HBITMAP Square(COLORREF color) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = ::SelectObject(dc, bmp);
    RECT all{0, 0, 16, 16}, inner{3, 3, 13, 13};
    HBRUSH back = ::CreateSolidBrush(RGB(255, 0, 255)), fill = ::CreateSolidBrush(color);
    ::FillRect(dc, &all, back);
    ::FillRect(dc, &inner, fill);
    ::DeleteObject(back);
    ::DeleteObject(fill);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return bmp;
}

struct ShowcaseForm : TForm {
    TImageList* images;
    TImageList* states;
    TTreeView* tree;
    TGroupBox* group;
    TLabel* wrapped;
    TLabel* centred;
    TScrollBox* scroll;
    explicit ShowcaseForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(20, 20, 600, 440);
        SetText("Controls of the form library");
        images = new TImageList(this);
        states = new TImageList(this);
        for (COLORREF c : {RGB(0, 0, 160), RGB(0, 128, 0), RGB(200, 120, 0)}) {
            HBITMAP b = Square(c);
            images->AddMasked(b, RGB(255, 0, 255));
            states->AddMasked(b, RGB(255, 0, 255));
            ::DeleteObject(b);
        }

        auto* top = Make<TPanel>(this, this, "TopPanel", 0, 0, 600, 44);
        top->SetAlign(TAlign::alTop);
        auto* title = Make<TLabel>(this, top, "TitleLabel", 8, 6, 10, 10);
        title->SetText("Window rules of the running programs");
        auto* link = Make<TLinkLabel>(this, top, "HelpLink", 8, 24, 10, 10);
        link->SetText("Open the help on rules");
        auto* finder = Make<TFindWindow>(this, top, "Finder", 300, 6, 32, 32);
        finder->SetHint("Drag over a window to pick it");
        auto* findLabel = Make<TLabel>(this, top, "FinderLabel", 340, 14, 10, 10);
        findLabel->SetText("Drag the finder over a window");

        tree = Make<TTreeView>(this, this, "Tree", 0, 0, 170, 100);
        tree->SetAlign(TAlign::alLeft);
        tree->SetImages(images);
        tree->SetStateImages(states);
        auto* split = Make<TSplitter>(this, this, "Splitter", 170, 0, 5, 100);
        split->SetAlign(TAlign::alLeft);

        auto* right = Make<TPanel>(this, this, "RightPanel", 0, 0, 100, 100);
        right->SetAlign(TAlign::alClient);
        group = Make<TGroupBox>(this, right, "OptionsGroup", 8, 4, 200, 124);
        group->SetText("Options");
        auto* c1 = Make<TCheckBox>(this, group, "KeepOnTop", 10, 22, 180, 17);
        c1->SetText("Keep the window on top");
        auto* c2 = Make<TCheckBox>(this, group, "Minimize", 10, 44, 180, 17);
        c2->SetText("Start minimized");
        auto* r1 = Make<TRadioButton>(this, group, "AnyWindow", 10, 70, 180, 17);
        r1->SetText("Any window of the class");
        auto* r2 = Make<TRadioButton>(this, group, "FirstWindow", 10, 92, 180, 17);
        r2->SetText("The first window only");

        auto* editLabel = Make<TLabel>(this, right, "NameLabel", 216, 8, 10, 10);
        editLabel->SetText("Name:");
        auto* edit = Make<TEdit>(this, right, "NameEdit", 216, 24, 180, 21);
        edit->SetText("Notepad");
        auto* combo = Make<TComboBox>(this, right, "ClassCombo", 216, 52, 180, 21);
        auto* list = Make<TComboBox>(this, right, "MatchList", 216, 80, 180, 21);
        list->SetStyle(TComboBoxStyle::csDropDownList);
        auto* history = Make<THistoryComboBox>(this, right, "History", 216, 108, 180, 21);

        wrapped = Make<TLabel>(this, right, "WrappedLabel", 8, 136, 200, 10);
        wrapped->SetWordWrap(true);
        wrapped->SetText("A rule applies to every window whose class and caption match it.");
        centred = Make<TLabel>(this, right, "CentredLabel", 8, 172, 200, 10);
        centred->SetAlignment(TLabel::TAlignment::taCenter);
        centred->SetAutoSize(false);
        centred->SetBounds(8, 172, 200, 16);
        centred->SetText("Centred text");
        auto* image = Make<TImage>(this, right, "Picture", 216, 140, 32, 32);
        image->SetBitmap(Square(RGB(160, 0, 0)));
        image->SetTransparent(true);

        auto* memo = Make<TMemo>(this, right, "InfoMemo", 8, 196, 388, 64);
        memo->SetReadOnly(true);
        std::string text;
        for (int i = 1; i <= 8; ++i) text += "Line " + std::to_string(i) + " of the description\n";
        memo->SetText(text);

        scroll = Make<TScrollBox>(this, right, "Scroll", 8, 268, 388, 80);
        for (int i = 0; i < 5; ++i) {
            auto* l = Make<TLabel>(this, scroll, ("ScrollLabel" + std::to_string(i)).c_str(), 4, 6 + i * 28, 10, 10);
            l->SetText("Value " + std::to_string(i + 1) + ":");
            auto* e = Make<TEdit>(this, scroll, ("ScrollEdit" + std::to_string(i)).c_str(), 80, 2 + i * 28, 200, 21);
            e->SetText("text " + std::to_string(i + 1));
        }
        EndLoading();

        for (const char* name : {"Notepad", "Calculator", "Explorer"}) combo->AddItem(name);
        for (const char* name : {"Exact", "Substring", "Wildcards"}) list->AddItem(name);
        list->SetItemIndex(0);
        history->SetText("Notepad");
        TTreeNode* rules = tree->Items().Add("Rules");
        rules->SetImageIndex(0);
        rules->SetSelectedIndex(0);
        for (const char* name : {"Editor windows", "Dialogs", "Tool windows"}) {
            TTreeNode* n = rules->AddChild(name);
            n->SetImageIndex(1);
            n->SetSelectedIndex(1);
            n->SetStateIndex(1);
        }
        rules->Expand(false);
    }
};

RECT RectIn(HWND window, HWND parent) {
    RECT r;
    ::GetWindowRect(window, &r);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Str(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::wstring ClassOf(HWND h) {
    wchar_t name[64] = {};
    ::GetClassNameW(h, name, 64);
    return name;
}

class Showcase : public ::testing::Test {
protected:
    ShowcaseForm form;
    void SetUp() override {
        form.Show();
        ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(form.WindowHandle()) != FALSE; }));
        PumpUntil([] { return false; }, 200);
    }
};

TEST_F(Showcase, CommonControlsSixAreActive) {
    TControl* ok = nullptr;
    for (size_t i = 0; i < form.ComponentCount() && !ok; ++i)
        if (auto* c = dynamic_cast<TCheckBox*>(form.Component(i))) ok = c;
    ASSERT_NE(ok, nullptr);
    SIZE ideal{0, 0};
    EXPECT_TRUE(::SendMessageW(ok->WindowHandle(), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
    EXPECT_GT(ideal.cx, 0) << "version 5 of the common controls is loaded";
}

// Every control lies inside its container's area for children (a group
// box's below its caption, inside its frame), no two siblings overlap, and
// every text fits its control.
TEST_F(Showcase, NothingIsClippedCoveredOrOutOfItsContainer) {
    int checked = 0;
    for (size_t i = 0; i < form.ComponentCount(); ++i) {
        auto* c = dynamic_cast<TControl*>(form.Component(i));
        if (!c || !c->Parent() || !c->WindowHandle()) continue;
        ++checked;
        const std::string name = c->Name();
        HWND parent = c->Parent()->WindowHandle();
        const RECT r = RectIn(c->WindowHandle(), parent);
        RECT area = c->Parent()->ClientRectForChildren();
        if (dynamic_cast<TScrollBox*>(c->Parent())) {
            // A scroll box's children may lie below its bottom edge.
            area.bottom = LONG_MAX;
        }
        EXPECT_TRUE(Inside(r, area)) << name << " " << Str(r) << " lies outside " << Str(area);
        if (auto* g = dynamic_cast<TGroupBox*>(c->Parent())) {
            // Clear of the caption: below the caption text's height.
            HDC dc = ::GetDC(parent);
            HGDIOBJ old = ::SelectObject(dc, FontHandle(g->Font()));
            TEXTMETRICW tm{};
            ::GetTextMetricsW(dc, &tm);
            ::SelectObject(dc, old);
            ::ReleaseDC(parent, dc);
            EXPECT_GE(r.top, tm.tmHeight) << name << " is under the caption of " << g->Name();
        }
        for (size_t j = 0; j < c->Parent()->ControlCount(); ++j) {
            TControl* s = c->Parent()->Control(j);
            if (s == c || !s->WindowHandle() || !s->Visible()) continue;
            RECT sr = RectIn(s->WindowHandle(), parent), both;
            EXPECT_FALSE(::IntersectRect(&both, &r, &sr)) << name << " overlaps " << s->Name();
        }
        // Text fits: buttons by their own measure, labels by the text's.
        const LONG w = r.right - r.left, h = r.bottom - r.top;
        if (ClassOf(c->WindowHandle()) == L"Button") {
            SIZE ideal{0, 0};
            ::SendMessageW(c->WindowHandle(), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
            EXPECT_LE(ideal.cx, w) << name << " cuts its caption";
            EXPECT_LE(ideal.cy, h) << name << " cuts its caption";
        }
        if (auto* l = dynamic_cast<TLabel*>(c); l && !l->WordWrap()) {
            // The ink of the whole line, the last letter's overhang too.
            const std::wstring text = omb::ToWide(l->Text());
            HDC dc = ::GetDC(nullptr);
            HGDIOBJ old = ::SelectObject(dc, FontHandle(l->Font()));
            SIZE ext{0, 0};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &ext);
            ABC abc{};
            if (!text.empty() && ::GetCharABCWidthsW(dc, text.back(), text.back(), &abc) && abc.abcC < 0)
                ext.cx -= abc.abcC;
            ::SelectObject(dc, old);
            ::ReleaseDC(nullptr, dc);
            EXPECT_LE(ext.cx, w) << name << " cuts its text";
            EXPECT_LE(ext.cy, h) << name << " cuts its text";
        }
        if (dynamic_cast<TCustomEdit*>(c) || dynamic_cast<TComboBox*>(c)) {
            RECT client;
            ::GetClientRect(c->WindowHandle(), &client);
            HDC dc = ::GetDC(c->WindowHandle());
            HGDIOBJ old = ::SelectObject(dc, FontHandle(c->Font()));
            TEXTMETRICW tm{};
            ::GetTextMetricsW(dc, &tm);
            ::SelectObject(dc, old);
            ::ReleaseDC(c->WindowHandle(), dc);
            EXPECT_GE(client.bottom, tm.tmHeight) << name << " is lower than its text";
        }
    }
    EXPECT_GT(checked, 25);
    // A read-only memo has the face colour behind its text, as the
    // system's read-only edits do.
    {
        auto* memo = dynamic_cast<TMemo*>(form.FindComponent("InfoMemo"));
        ASSERT_NE(memo, nullptr);
        RECT client;
        ::GetClientRect(memo->WindowHandle(), &client);
        HDC dc = ::GetDC(memo->WindowHandle());
        const COLORREF blank = ::GetPixel(dc, client.right - 4, client.bottom - 3);
        ::ReleaseDC(memo->WindowHandle(), dc);
        EXPECT_EQ(blank, ::GetSysColor(COLOR_BTNFACE)) << "the read-only memo is white";
    }
    // The word-wrapped label took the lines it needs, the memo scrolls.
    EXPECT_GT(form.wrapped->Height(), form.wrapped->TextExtent().cy / 2);
    EXPECT_GT(form.scroll->MaxPosition(), 0);

    if (const char* shot = std::getenv("OMB_SHOWCASE_SHOT"); shot && omb::test::HostHas("import")) {
        EXPECT_TRUE(omb::test::RunHost("import", std::string("-window root ") + shot));
    }
}

}  // namespace
