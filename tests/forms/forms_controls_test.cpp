// The editor's own controls with real windows: the tree view's nodes,
// payloads, selection and mouse handling; the splitter dragged with real
// input; the scroll box; and a screenshot form with every one of them.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/extra_controls.h"
#include "forms/form.h"
#include "forms/imagelist.h"
#include "forms/treeview.h"
#include "tests/forms/forms_test_support.h"
#include "tests/forms/host_tools.h"

using namespace omb::forms;
using omb::test::PumpUntil;
using omb::test::RunHost;
using omb::test::Xdo;

namespace {

// A strip of `count` 16 x 16 images: a filled square of its own colour with
// a dark outline, magenta (the mask colour) around it.
HBITMAP MakeStrip(int count) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = 16 * count;
    bi.bmiHeader.biHeight = -16;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<DWORD*>(bits);
    const DWORD colours[] = {0x00C00000, 0x0000A000, 0x000000D0, 0x00D0A000, 0x0000A0D0, 0x00A000A0};
    for (int i = 0; i < count; ++i)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                DWORD c = 0x00FF00FF;
                if (x >= 2 && x <= 13 && y >= 2 && y <= 13)
                    c = (x == 2 || x == 13 || y == 2 || y == 13) ? 0x00202020 : colours[i % 6];
                px[y * 16 * count + i * 16 + x] = c;
            }
    return bmp;
}

struct TreeForm : TForm {
    TImageList* images;
    TImageList* states;
    TTreeView* tree;
    explicit TreeForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(40, 40, 360, 300);
        SetText("Tree");
        images = new TImageList(this);
        states = new TImageList(this);
        HBITMAP strip = MakeStrip(4);
        images->AddMasked(strip, RGB(255, 0, 255));
        DeleteObject(strip);
        strip = MakeStrip(3);
        states->AddMasked(strip, RGB(255, 0, 255));
        DeleteObject(strip);
        tree = new TTreeView(this);
        tree->SetName("TreeView");
        tree->SetParent(this);
        tree->SetAlign(TAlign::alClient);
        tree->SetImages(images);
        tree->SetStateImages(states);
        EndLoading();
    }
};

// Payloads that count their own destruction, by name.
std::map<std::string, int>& Freed() {
    static std::map<std::string, int> freed;
    return freed;
}
struct CountedPayload : TTreeNodePayload {
    std::string name;
    explicit CountedPayload(std::string n) : name(std::move(n)) {}
    ~CountedPayload() override { ++Freed()[name]; }
};

TTreeNode* AddNamed(TTreeView* tree, TTreeNode* parent, const std::string& name) {
    TTreeNode* n = parent ? parent->AddChild(name) : tree->Items().Add(name);
    n->SetPayload(std::make_unique<CountedPayload>(name));
    return n;
}

POINT CenterOf(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

LPARAM PointParam(POINT p) { return MAKELPARAM(p.x, p.y); }

TEST(FormsTreeView, EveryDeletedNodeIsReportedAndItsPayloadFreedOnce) {
    Freed().clear();
    std::vector<std::string> reported;
    bool payloadAliveInHandler = true;
    {
        TreeForm form;
        form.Show();
        TTreeView* tree = form.tree;
        tree->OnDeletion = [&](TComponent* sender, TTreeNode* node) {
            EXPECT_EQ(sender, tree);
            auto* p = dynamic_cast<CountedPayload*>(node->Payload());
            payloadAliveInHandler = payloadAliveInHandler && p && Freed()[p->name] == 0;
            reported.push_back(node->Text());
        };
        TTreeNode* a = AddNamed(tree, nullptr, "a");
        TTreeNode* a1 = AddNamed(tree, a, "a1");
        AddNamed(tree, a1, "a1x");
        AddNamed(tree, a, "a2");
        TTreeNode* b = AddNamed(tree, nullptr, "b");
        AddNamed(tree, b, "b1");
        AddNamed(tree, nullptr, "c");
        EXPECT_EQ(tree->Items().Count(), 3);
        EXPECT_EQ(tree->Items().TotalCount(), 7);
        EXPECT_EQ(a->Count(), 2);
        EXPECT_TRUE(a->HasChildren());
        EXPECT_EQ(a1->Parent(), a);
        EXPECT_EQ(a->Item(1)->Text(), "a2");
        EXPECT_EQ(a1->GetNextSibling()->Text(), "a2");
        EXPECT_EQ(a1->Level(), 1);

        // One subtree: children before their parent, nothing else.
        a1->Delete();
        EXPECT_EQ(reported, (std::vector<std::string>{"a1x", "a1"}));
        EXPECT_EQ(a->Count(), 1);
        EXPECT_EQ(tree->Items().TotalCount(), 5);
        // The last child gone: the parent loses its button.
        b->Item(0)->Delete();
        EXPECT_FALSE(b->HasChildren());
        TVITEMW tv{};
        tv.mask = TVIF_CHILDREN | TVIF_HANDLE;
        tv.hItem = b->ItemId();
        SendMessageW(tree->WindowHandle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        EXPECT_EQ(tv.cChildren, 0);

        // Clearing reports the rest.
        reported.clear();
        tree->Items().Clear();
        EXPECT_EQ(reported.size(), 4u);
        EXPECT_EQ(tree->Items().Count(), 0);
        EXPECT_EQ(TreeView_GetCount(tree->WindowHandle()), 0u);

        // The form goes with nodes in its tree.
        reported.clear();
        TTreeNode* d = AddNamed(tree, nullptr, "d");
        AddNamed(tree, d, "d1");
        d->Expand(true);
    }
    EXPECT_EQ(reported, (std::vector<std::string>{"d1", "d"}));
    EXPECT_TRUE(payloadAliveInHandler);
    for (const char* name : {"a", "a1", "a1x", "a2", "b", "b1", "c", "d", "d1"})
        EXPECT_EQ(Freed()[name], 1) << name;
}

TEST(FormsTreeView, ParentWindowDestroyedFirstStillReportsTheNodes) {
    Freed().clear();
    int reports = 0;
    TreeForm form;
    form.Show();
    form.tree->OnDeletion = [&](TComponent*, TTreeNode*) { ++reports; };
    AddNamed(form.tree, AddNamed(form.tree, nullptr, "p"), "q");
    // The system destroys the child window with its form's.
    DestroyWindow(form.WindowHandle());
    EXPECT_EQ(reports, 2);
    EXPECT_EQ(Freed()["p"], 1);
    EXPECT_EQ(Freed()["q"], 1);
    EXPECT_EQ(form.tree->Items().TotalCount(), 0);
}

TEST(FormsTreeView, SelectionChangesAreReportedAndNeverDangle) {
    TreeForm form;
    form.Show();
    TTreeView* tree = form.tree;
    std::vector<TTreeNode*> changes;
    tree->OnChange = [&](TComponent*, TTreeNode* node) { changes.push_back(node); };
    TTreeNode* a = tree->Items().Add("a");
    TTreeNode* b = tree->Items().Add("b");
    TTreeNode* b1 = b->AddChild("b1");
    TTreeNode* c = tree->Items().Add("c");
    tree->SetSelected(b);
    ASSERT_EQ(changes, (std::vector<TTreeNode*>{b}));
    EXPECT_TRUE(b->Selected());
    EXPECT_EQ(tree->Selected(), b);

    // The keyboard moves the selection through the system control.
    tree->SetFocus();
    SendMessageW(tree->WindowHandle(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(tree->Selected(), c);  // b is collapsed
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes.back(), c);

    // Deleting the selection: the tree answers a live node (or none) and
    // reports the change once.
    b->Expand(false);
    tree->SetSelected(b1);
    changes.clear();
    b->Delete();
    TTreeNode* now = tree->Selected();
    EXPECT_TRUE(now == a || now == c || now == nullptr);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], now);
    tree->Items().Clear();
    EXPECT_EQ(tree->Selected(), nullptr);
    EXPECT_EQ(changes.back(), nullptr);
    EXPECT_TRUE(tree->HideSelection() == false &&
                (GetWindowLongPtrW(tree->WindowHandle(), GWL_STYLE) & TVS_SHOWSELALWAYS));
    EXPECT_FALSE(GetWindowLongPtrW(tree->WindowHandle(), GWL_STYLE) & TVS_EDITLABELS);
}

TEST(FormsTreeView, SystemKeysReachTheWindow) {
    // Alt+F4 with the focus in the tree closes the form; Alt+Down is not
    // taken as Down.
    TreeForm form;
    form.Show();
    TTreeView* tree = form.tree;
    TTreeNode* a = tree->Items().Add("a");
    tree->Items().Add("b");
    tree->SetSelected(a);
    tree->SetFocus();
    SendMessageW(tree->WindowHandle(), WM_SYSKEYDOWN, VK_DOWN, 0x20000001);
    EXPECT_EQ(tree->Selected(), a);
    bool closed = false;
    form.OnCloseQuery = [&](TComponent*, bool& canClose) {
        closed = true;
        canClose = false;
    };
    SendMessageW(tree->WindowHandle(), WM_SYSKEYDOWN, VK_F4, 0x203e0001);
    EXPECT_TRUE(omb::test::PumpUntil([&] { return closed; }, 2000));
}

TEST(FormsTreeView, ClicksSelectAndReportTheirRelease) {
    TreeForm form;
    form.Show();
    TTreeView* tree = form.tree;
    TTreeNode* a = tree->Items().Add("first node");
    TTreeNode* b = tree->Items().Add("second node");
    a->SetImageIndex(0);
    b->SetImageIndex(1);
    tree->SetSelected(a);
    struct Up {
        TMouseButton button;
        int x, y;
        TTreeNode* selected;
    };
    std::vector<Up> ups;
    tree->OnMouseUp = [&](TComponent*, TMouseButton button, unsigned, int x, int y) {
        ups.push_back({button, x, y, tree->Selected()});
    };
    HWND h = tree->WindowHandle();
    const POINT p = CenterOf(b->DisplayRect(true));
    EXPECT_EQ(tree->GetNodeAt(p.x, p.y), b);
    SendMessageW(h, WM_RBUTTONDOWN, MK_RBUTTON, PointParam(p));
    SendMessageW(h, WM_RBUTTONUP, 0, PointParam(p));
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].button, mbRight);
    EXPECT_EQ(ups[0].x, p.x);
    EXPECT_EQ(ups[0].y, p.y);
    EXPECT_EQ(ups[0].selected, b);  // selected by the press, before the release
    EXPECT_EQ(GetCapture(), nullptr);

    const POINT q = CenterOf(a->DisplayRect(true));
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(q));
    SendMessageW(h, WM_LBUTTONUP, 0, PointParam(q));
    ASSERT_EQ(ups.size(), 2u);
    EXPECT_EQ(ups[1].button, mbLeft);
    EXPECT_EQ(tree->Selected(), a);

    // A right click below the last node selects nothing new.
    RECT client;
    GetClientRect(h, &client);
    const POINT empty{10, client.bottom - 5};
    EXPECT_EQ(tree->GetNodeAt(empty.x, empty.y), nullptr);
    SendMessageW(h, WM_RBUTTONDOWN, MK_RBUTTON, PointParam(empty));
    SendMessageW(h, WM_RBUTTONUP, 0, PointParam(empty));
    EXPECT_EQ(tree->Selected(), a);
}

TEST(FormsTreeView, StateIconsAreFoundByHitTest) {
    TreeForm form;
    form.Show();
    TTreeView* tree = form.tree;
    TTreeNode* on = tree->Items().Add("enabled");
    TTreeNode* off = tree->Items().Add("disabled");
    on->SetImageIndex(1);
    on->SetStateIndex(2);
    off->SetImageIndex(1);
    off->SetStateIndex(1);
    EXPECT_EQ(on->StateIndex(), 2);
    EXPECT_EQ(TreeView_GetItemState(tree->WindowHandle(), on->ItemId(), TVIS_STATEIMAGEMASK) >> 12, 2u);
    const RECT text = off->DisplayRect(true);
    const int y = (text.top + text.bottom) / 2;
    int first = -1, last = -1;
    for (int x = 0; x < text.left; ++x)
        if (tree->IsStateIconAt(x, y)) {
            if (first < 0) first = x;
            last = x;
        }
    ASSERT_GE(first, 0) << "no state icon left of the text";
    EXPECT_EQ(last - first + 1, 16);
    EXPECT_EQ(tree->GetNodeAt(first, y), off);
    EXPECT_FALSE(tree->IsStateIconAt((text.left + text.right) / 2, y));
    EXPECT_FALSE(tree->IsStateIconAt(last + 2, y));  // the image
    EXPECT_EQ(tree->GetNodeAt(last + 2 + 8, y), off);
}

TEST(FormsTreeView, ExpandingCanBeRefusedOrFillTheNode) {
    TreeForm form;
    form.Show();
    TTreeView* tree = form.tree;
    TTreeNode* lazy = tree->Items().Add("lazy");
    lazy->SetHasChildren(true);
    TTreeNode* locked = tree->Items().Add("locked");
    locked->AddChild("hidden");
    int asked = 0;
    tree->OnExpanding = [&](TComponent*, TTreeNode* node, bool& allow) {
        ++asked;
        if (node == locked) allow = false;
        if (node == lazy && node->Count() == 0) node->AddChild("filled");
    };
    locked->Expand(false);
    EXPECT_FALSE(locked->Expanded());
    lazy->Expand(false);
    EXPECT_TRUE(lazy->Expanded());
    EXPECT_EQ(lazy->Count(), 1);
    EXPECT_EQ(asked, 2);
    // A click on the button asks as well, and collapses.
    const RECT row = lazy->DisplayRect(false);
    const RECT text = lazy->DisplayRect(true);
    const int y = (row.top + row.bottom) / 2;
    HWND h = tree->WindowHandle();
    int button = -1;
    for (int x = 0; x < text.left && button < 0; ++x) {
        TVHITTESTINFO ht{};
        ht.pt = POINT{x, y};
        TreeView_HitTest(h, &ht);
        if (ht.flags & TVHT_ONITEMBUTTON) button = x;
    }
    ASSERT_GE(button, 0);
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(button, y));
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(button, y));
    EXPECT_FALSE(lazy->Expanded());
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(button, y));
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(button, y));
    EXPECT_TRUE(lazy->Expanded());
    EXPECT_EQ(lazy->Count(), 1);
    EXPECT_EQ(asked, 3);  // collapsing has its own event
}

TEST(FormsTreeView, ImageListsCountAndGoSafely) {
    TreeForm form;
    EXPECT_EQ(form.images->Count(), 4);
    EXPECT_EQ(form.states->Count(), 3);
    form.Show();
    HWND h = form.tree->WindowHandle();
    EXPECT_EQ(TreeView_GetImageList(h, TVSIL_NORMAL), form.images->Handle());
    EXPECT_EQ(TreeView_GetImageList(h, TVSIL_STATE), form.states->Handle());
    delete form.states;
    EXPECT_EQ(form.tree->StateImages(), nullptr);
    EXPECT_EQ(TreeView_GetImageList(h, TVSIL_STATE), nullptr);
    form.tree->SetIndent(19);
    EXPECT_EQ(FindPropInfo(form.tree, "Indent")->getOrd(form.tree), 19);
    EXPECT_NE(FindPropInfo(form.tree, "Width"), nullptr);
}

// ------------------------------------------------------------ real input

POINT ScreenPoint(TControl* control, int x, int y) {
    POINT p{x, y};
    ClientToScreen(control->WindowHandle(), &p);
    return p;
}

std::string Move(POINT p) {
    return "mousemove " + std::to_string(std::max(0L, p.x)) + " " + std::to_string(std::max(0L, p.y));
}

struct SplitForm : TForm {
    TTreeView* tree;
    TSplitter* splitter;
    TPanel* detail;
    SplitForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(60, 60, 520, 320);
        SetText("Splitter");
        tree = new TTreeView(this);
        tree->SetName("TreeView");
        tree->SetParent(this);
        tree->SetAlign(TAlign::alLeft);
        tree->SetWidth(161);
        splitter = new TSplitter(this);
        splitter->SetName("Splitter");
        splitter->SetParent(this);
        detail = new TPanel(this);
        detail->SetName("DetailPanel");
        detail->SetParent(this);
        detail->SetAlign(TAlign::alClient);
        EndLoading();
    }
};

TEST(FormsSplitter, RealDragResizesTheNeighbourAndStopsAtTheMinimum) {
    SplitForm form;
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form.WindowHandle()) != FALSE; }));
    TSplitter* s = form.splitter;
    EXPECT_EQ(s->Width(), 5);
    EXPECT_EQ(s->Left(), 161);
    EXPECT_EQ(s->FindNeighbour(), form.tree);
    EXPECT_EQ(form.detail->Left(), 166);
    int moved = 0;
    s->OnMoved = [&](TComponent*) { ++moved; };

    auto drag = [&](int dx) {
        const POINT from = ScreenPoint(s, 2, s->Height() / 2);
        const POINT mid{from.x + dx / 2, from.y};
        const POINT to{from.x + dx, from.y};
        return Xdo(Move(from) + " mousedown 1 " + Move(mid) + " " + Move(to) + " mouseup 1");
    };
    ASSERT_TRUE(drag(60));
    ASSERT_TRUE(PumpUntil([&] { return moved == 1; }));
    EXPECT_EQ(form.tree->Width(), 221);
    EXPECT_EQ(s->Left(), 221);
    EXPECT_EQ(form.detail->Left(), 226);
    // The stored property follows.
    EXPECT_EQ(FindPropInfo(form.tree, "Width")->getOrd(form.tree), 221);

    // Far to the left: the tree keeps its minimum.
    ASSERT_TRUE(drag(-400));
    ASSERT_TRUE(PumpUntil([&] { return moved == 2; }));
    EXPECT_EQ(form.tree->Width(), s->MinSize());
    EXPECT_EQ(form.tree->Width(), 30);

    // Far to the right: the detail area keeps it.
    ASSERT_TRUE(drag(2000));
    ASSERT_TRUE(PumpUntil([&] { return moved == 3; }));
    EXPECT_EQ(form.detail->Width(), 30);
    EXPECT_EQ(form.tree->Width() + 5 + 30, form.ClientWidth());
    EXPECT_EQ(GetCapture(), nullptr);

    // The bar shows the resize cursor.
    SendMessageW(s->WindowHandle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(s->WindowHandle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZEWE)));
}

TEST(FormsSplitter, NeighbourOnTheRightOrBottom) {
    TForm form(nullptr);
    form.BeginLoading();
    form.SetBounds(60, 60, 400, 300);
    auto* bottom = new TPanel(&form);
    bottom->SetParent(&form);
    bottom->SetAlign(TAlign::alBottom);
    bottom->SetHeight(80);
    auto* bar = new TSplitter(&form);
    bar->SetParent(&form);
    bar->SetAlign(TAlign::alBottom);
    bar->SetHeight(5);
    auto* right = new TPanel(&form);
    right->SetParent(&form);
    right->SetAlign(TAlign::alRight);
    right->SetWidth(90);
    auto* side = new TSplitter(&form);
    side->SetParent(&form);
    side->SetAlign(TAlign::alRight);
    auto* rest = new TPanel(&form);
    rest->SetParent(&form);
    rest->SetAlign(TAlign::alClient);
    form.EndLoading();
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form.WindowHandle()) != FALSE; }));
    EXPECT_EQ(bar->FindNeighbour(), bottom);
    EXPECT_EQ(side->FindNeighbour(), right);
    int moved = 0;
    bar->OnMoved = side->OnMoved = [&](TComponent*) { ++moved; };
    // Up by 40 makes the bottom panel taller; left by 50 the right one wider.
    POINT from = ScreenPoint(bar, 100, 2);
    EXPECT_EQ(TControl::FromHandle(WindowFromPoint(from)), bar)
        << bar->Left() << "," << bar->Top() << " " << bar->Width() << "x" << bar->Height();
    ASSERT_TRUE(Xdo(Move(from) + " mousedown 1 " + Move({from.x, from.y - 40}) + " mouseup 1"));
    ASSERT_TRUE(PumpUntil([&] { return moved == 1; }));
    EXPECT_EQ(bottom->Height(), 120);
    from = ScreenPoint(side, 2, 50);
    ASSERT_TRUE(Xdo(Move(from) + " mousedown 1 " + Move({from.x - 50, from.y}) + " mouseup 1"));
    ASSERT_TRUE(PumpUntil([&] { return moved == 2; }));
    EXPECT_EQ(right->Width(), 140);
    EXPECT_EQ(side->Left() + side->Width(), right->Left());
}

// ------------------------------------------------------------- scroll box

struct ScrollForm : TForm {
    TScrollBox* box;
    std::vector<TPanel*> rows;
    TEdit* loose;
    ScrollForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(80, 80, 260, 200);
        box = new TScrollBox(this);
        box->SetParent(this);
        box->SetAlign(TAlign::alClient);
        for (int i = 0; i < 5; ++i) {
            auto* row = new TPanel(this);
            row->SetParent(box);
            row->SetAlign(TAlign::alTop);
            row->SetHeight(50);
            row->SetTop(i * 50);
            rows.push_back(row);
        }
        loose = new TEdit(this);
        loose->SetParent(box);
        loose->SetBounds(10, 270, 100, 21);
        EndLoading();
    }
};

TEST(FormsScrollBox, ScrollsWhatDoesNotFitAndNothingElse) {
    ScrollForm form;
    form.Show();
    TScrollBox* box = form.box;
    HWND h = box->WindowHandle();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(h) != FALSE; }));
    RECT client;
    GetClientRect(h, &client);
    const int page = client.bottom;
    EXPECT_EQ(box->ContentHeight(), 291);
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(h, SB_VERT, &si));
    EXPECT_EQ(si.nMax, 290);
    EXPECT_EQ(static_cast<int>(si.nPage), page);
    EXPECT_TRUE(GetWindowLongPtrW(h, GWL_STYLE) & WS_VSCROLL);
    // Rows stack from the top and leave room for the bar.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(form.rows[i]->Top(), i * 50) << i;
    EXPECT_EQ(form.rows[0]->Width(), client.right);
    EXPECT_LT(client.right, box->Width());

    box->ScrollTo(60);
    EXPECT_EQ(box->Position(), 60);
    EXPECT_EQ(form.rows[0]->Top(), -60);
    EXPECT_EQ(form.rows[4]->Top(), 140);
    EXPECT_EQ(form.loose->Top(), 210);
    RECT er;
    GetWindowRect(form.loose->WindowHandle(), &er);
    MapWindowPoints(HWND_DESKTOP, h, reinterpret_cast<POINT*>(&er), 2);
    EXPECT_EQ(er.top, 210);  // the window moved too

    SendMessageW(h, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(box->Position(), 291 - page);
    EXPECT_EQ(form.loose->Top() + form.loose->Height(), page);
    // The wheel up moves back, never past the top.
    SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_LT(box->Position(), 291 - page);
    EXPECT_GT(box->Position(), 0);
    for (int i = 0; i < 20; ++i) SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(box->Position(), 0);
    EXPECT_EQ(form.rows[0]->Top(), 0);
    EXPECT_EQ(form.loose->Top(), 270);

    // Scrolled down, then the content shrinks: back to the top, no bar.
    box->ScrollTo(100);
    form.loose->Hide();
    for (int i = 2; i < 5; ++i) form.rows[i]->Hide();
    EXPECT_EQ(box->ContentHeight(), 100);
    EXPECT_EQ(box->Position(), 0);
    EXPECT_EQ(form.rows[0]->Top(), 0);
    EXPECT_EQ(form.rows[1]->Top(), 50);
    si.fMask = SIF_ALL;
    GetScrollInfo(h, SB_VERT, &si);
    GetClientRect(h, &client);
    EXPECT_EQ(client.right, box->Width());  // the bar went
    EXPECT_EQ(form.rows[0]->Width(), box->Width());
}

// ----------------------------------------------------- image, link label

// The control's own painting into a bitmap, read back pixel by pixel.
struct Rendered {
    std::vector<COLORREF> pixels;
    int width = 0;
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};
Rendered Render(TControl* control) {
    RECT rc;
    GetClientRect(control->WindowHandle(), &rc);
    Rendered out;
    out.width = rc.right;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, rc.right, rc.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    SendMessageW(control->WindowHandle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT | PRF_ERASEBKGND);
    for (int y = 0; y < rc.bottom; ++y)
        for (int x = 0; x < rc.right; ++x) out.pixels.push_back(GetPixel(mem, x, y));
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    return out;
}

// 20 x 20: a magenta field (its bottom-left pixel) around a red square.
HBITMAP MakeLogo() {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 20, 20);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    RECT all{0, 0, 20, 20}, inner{5, 5, 15, 15};
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255)), red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(mem, &all, magenta);
    FillRect(mem, &inner, red);
    DeleteObject(magenta);
    DeleteObject(red);
    SelectObject(mem, old);
    DeleteDC(mem);
    return bmp;
}

TEST(FormsImageAndLink, ImageShowsTheBackgroundThroughAndTheLinkClicks) {
    TForm form(nullptr);
    form.BeginLoading();
    form.SetBounds(100, 100, 300, 200);
    form.SetColor(RGB(0, 128, 0));
    auto* image = new TImage(&form);
    image->SetParent(&form);
    image->SetBounds(8, 8, 30, 30);
    image->SetBitmap(MakeLogo());
    auto* link = new TLinkLabel(&form);
    link->SetParent(&form);
    link->SetBounds(8, 50, 10, 10);
    link->SetText("www.example.org");
    form.EndLoading();
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form.WindowHandle()) != FALSE; }));

    Rendered opaque = Render(image);
    EXPECT_EQ(opaque.At(1, 1), RGB(255, 0, 255));
    EXPECT_EQ(opaque.At(10, 10), RGB(255, 0, 0));
    EXPECT_EQ(opaque.At(25, 25), RGB(0, 128, 0));  // beyond the bitmap
    image->SetTransparent(true);
    Rendered clear = Render(image);
    EXPECT_EQ(clear.At(1, 1), RGB(0, 128, 0));
    EXPECT_EQ(clear.At(10, 10), RGB(255, 0, 0));

    // Auto-sized to its text, drawn in the link colour.
    EXPECT_GT(link->Width(), 40);
    Rendered text = Render(link);
    int blue = 0, other = 0;
    for (COLORREF c : text.pixels) {
        if (c == TLinkLabel::kLinkColor) ++blue;
        else if (c != RGB(0, 128, 0)) ++other;
    }
    EXPECT_GT(blue, 20);
    // Underlined: a row near the bottom that is blue most of its width.
    bool underline = false;
    for (int y = 0; y < link->Height(); ++y) {
        int n = 0;
        for (int x = 0; x < link->Width(); ++x) n += text.At(x, y) == TLinkLabel::kLinkColor;
        underline = underline || n > link->Width() * 3 / 4;
    }
    EXPECT_TRUE(underline);

    int clicks = 0;
    link->OnClick = [&](TComponent*) { ++clicks; };
    HWND lh = link->WindowHandle();
    EXPECT_EQ(SendMessageW(lh, WM_NCHITTEST, 0, 0), HTCLIENT);
    SendMessageW(lh, WM_SETCURSOR, reinterpret_cast<WPARAM>(lh), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
    SendMessageW(lh, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageW(lh, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(clicks, 1);
    SendMessageW(lh, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageW(lh, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(clicks, 3);
}

// ------------------------------------------------------------- screenshot

// State marks: 1 an empty grey box with a red cross (off), 2 a box with a
// green tick (on); 0 is never shown.
HBITMAP MakeStateMarks() {
    HBITMAP bmp = MakeStrip(3);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, bmp);
    for (int i = 0; i < 3; ++i) {
        RECT box{i * 16 + 2, 2, i * 16 + 14, 14};
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(mem, &box, white);
        DeleteObject(white);
        HBRUSH frame = CreateSolidBrush(RGB(96, 96, 96));
        FrameRect(mem, &box, frame);
        DeleteObject(frame);
    }
    HPEN red = CreatePen(PS_SOLID, 2, RGB(200, 0, 0)), green = CreatePen(PS_SOLID, 2, RGB(0, 160, 0));
    HGDIOBJ oldPen = SelectObject(mem, red);
    MoveToEx(mem, 16 + 5, 5, nullptr);
    LineTo(mem, 16 + 11, 11);
    MoveToEx(mem, 16 + 11, 5, nullptr);
    LineTo(mem, 16 + 5, 11);
    SelectObject(mem, green);
    MoveToEx(mem, 32 + 4, 8, nullptr);
    LineTo(mem, 32 + 7, 11);
    LineTo(mem, 32 + 12, 4);
    SelectObject(mem, oldPen);
    DeleteObject(red);
    DeleteObject(green);
    SelectObject(mem, old);
    DeleteDC(mem);
    return bmp;
}

// What the screen shows in a control's client area.
Rendered Grab(TControl* control) {
    RECT rc;
    GetClientRect(control->WindowHandle(), &rc);
    Rendered out;
    out.width = rc.right;
    HDC dc = GetDC(control->WindowHandle());
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
    ReleaseDC(control->WindowHandle(), dc);
    for (int y = 0; y < rc.bottom; ++y)
        for (int x = 0; x < rc.right; ++x) out.pixels.push_back(GetPixel(mem, x, y));
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    return out;
}

int CountColour(const Rendered& r, COLORREF c) {
    int n = 0;
    for (COLORREF p : r.pixels) n += p == c;
    return n;
}

struct ShowcaseForm : TForm {
    TImageList* images;
    TImageList* states;
    TTreeView* tree;
    TSplitter* splitter;
    TPanel* detail;
    TPanel* about;
    TImage* logo;
    TLinkLabel* site;
    TLinkLabel* mail;
    TScrollBox* box;
    ShowcaseForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(20, 20, 608, 420);
        SetText("Controls");
        images = new TImageList(this);
        HBITMAP strip = MakeStrip(6);
        images->AddMasked(strip, RGB(255, 0, 255));
        DeleteObject(strip);
        states = new TImageList(this);
        strip = MakeStateMarks();
        states->AddMasked(strip, RGB(255, 0, 255));
        DeleteObject(strip);

        tree = new TTreeView(this);
        tree->SetName("TreeView");
        tree->SetParent(this);
        tree->SetAlign(TAlign::alLeft);
        tree->SetWidth(161);
        tree->SetImages(images);
        tree->SetStateImages(states);
        tree->SetIndent(19);
        splitter = new TSplitter(this);
        splitter->SetParent(this);
        detail = new TPanel(this);
        detail->SetParent(this);
        detail->SetAlign(TAlign::alClient);

        about = new TPanel(this);
        about->SetParent(detail);
        about->SetAlign(TAlign::alTop);
        about->SetHeight(96);
        about->SetFont(TFontSpec{"Arial", -13});
        logo = new TImage(this);
        logo->SetParent(about);
        logo->SetBounds(8, 8, 97, 73);
        logo->SetBitmap(MakeLogo());
        logo->SetTransparent(true);
        logo->SetCenter(true);
        auto* name = new TLabel(this);
        name->SetParent(about);
        name->SetBounds(120, 8, 300, 25);
        name->SetFont(TFontSpec{"Arial", -21, true});
        name->SetText("Ombrel");
        site = new TLinkLabel(this);
        site->SetParent(about);
        site->SetBounds(120, 44, 10, 10);
        site->SetFont(TFontSpec{"MS Sans Serif", -13});
        site->SetText("https://www.example.org/ombrel");
        mail = new TLinkLabel(this);
        mail->SetParent(about);
        mail->SetBounds(120, 64, 10, 10);
        mail->SetFont(TFontSpec{"MS Sans Serif", -13});
        mail->SetText("support@example.org");

        box = new TScrollBox(this);
        box->SetParent(detail);
        box->SetAlign(TAlign::alClient);
        for (int i = 0; i < 12; ++i) {
            auto* row = new TPanel(this);
            row->SetParent(box);
            row->SetAlign(TAlign::alTop);
            row->SetHeight(29);
            row->SetTop(i * 29);
            auto* check = new TCheckBox(this);
            check->SetParent(row);
            check->SetBounds(8, 6, 17, 17);
            auto* edit = new TEdit(this);
            edit->SetParent(row);
            edit->SetBounds(27, 4, 174, 21);
            edit->SetAnchors(akLeft | akTop | akRight);
            edit->SetText("Row " + std::to_string(i + 1));
        }
        EndLoading();

        TTreeNode* root = tree->Items().Add("Configuration");
        root->SetImageIndex(0);
        root->SetSelectedIndex(0);
        for (int r = 0; r < 2; ++r) {
            TTreeNode* rule = root->AddChild(r == 0 ? "Notepad rule" : "Calculator rule");
            rule->SetImageIndex(1);
            rule->SetSelectedIndex(1);
            rule->SetStateIndex(r == 0 ? 2 : 1);
            TTreeNode* cond = rule->AddChild("Conditions");
            cond->SetImageIndex(3);
            cond->SetSelectedIndex(3);
            cond->SetStateIndex(2);
            TTreeNode* actions = rule->AddChild("Actions");
            actions->SetImageIndex(5);
            actions->SetSelectedIndex(5);
            actions->SetStateIndex(2);
        }
        root->Expand(true);
        tree->SetSelected(root->Item(0));
    }
};

TEST(FormsScreenshot, EveryControlShowsOnOneForm) {
    ShowcaseForm form;
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form.WindowHandle()) != FALSE; }));
    PumpUntil([] { return false; }, 300);
    // Tree: both state marks and the selected node's highlight.
    const Rendered tree = Grab(form.tree);
    EXPECT_GT(CountColour(tree, RGB(0, 160, 0)), 10) << "no enabled marks";
    EXPECT_GT(CountColour(tree, RGB(200, 0, 0)), 10) << "no disabled mark";
    EXPECT_GT(CountColour(tree, RGB(0, 0xA0, 0)), 0) << "no images";
    EXPECT_EQ(CountColour(tree, RGB(255, 0, 255)), 0) << "mask colour shows";
    // Image: transparent, centred.
    const Rendered logo = Grab(form.logo);
    EXPECT_EQ(CountColour(logo, RGB(255, 0, 255)), 0);
    EXPECT_EQ(logo.At(97 / 2, 73 / 2), RGB(255, 0, 0));
    EXPECT_EQ(CountColour(logo, RGB(255, 0, 0)), 100);
    // Links.
    EXPECT_GT(CountColour(Grab(form.site), TLinkLabel::kLinkColor), 30);
    // The scroll box needs its bar; the rows fill its width.
    EXPECT_GT(form.box->MaxPosition(), 0);
    EXPECT_EQ(form.box->Control(0)->Width(), form.box->ClientWidth());
    if (const char* shot = std::getenv("OMB_FORMS_SCREENSHOT")) {
        EXPECT_TRUE(RunHost("import", std::string("-window root ") + shot));
        form.box->ScrollTo(1000);
        PumpUntil([] { return false; }, 200);
        EXPECT_TRUE(RunHost("import", std::string("-window root ") + shot + ".scrolled.png"));
    }
}

}  // namespace
