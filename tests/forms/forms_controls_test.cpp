// The editor's own controls with real windows: the tree view's nodes,
// payloads, selection and mouse handling; the splitter dragged with real
// input; the scroll box; and a screenshot form with every one of them.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/imagelist.h"
#include "forms/treeview.h"
#include "tests/forms/forms_test_support.h"

using namespace omb::forms;
using omb::test::PumpUntil;

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

}  // namespace
