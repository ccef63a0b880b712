// Tool bars, menus and the control bar with real windows: the bars size
// themselves to their buttons and stack in rows, their bounds survive a
// round trip through the property table, and real input (xdotool) clicks
// buttons, opens drop-down menus, picks items, switches menus and opens a
// menu with Alt+letter. Input runs from a driver thread, so the checks go on
// while the main thread sits in a menu's own loop.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/menus.h"
#include "forms/toolbar.h"
#include "foundation/winfuncs.h"
#include "tests/forms/forms_test_support.h"
#include "tests/forms/host_tools.h"

using namespace omb::forms;
using omb::test::HostHas;
using omb::test::PumpUntil;
using omb::test::Xdo;

namespace {

// Waits on the driver thread for a condition the main thread brings about.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 3000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(10);
    }
    return true;
}

HWND OpenPopupWindow() {
    HWND w = ::FindWindowW(L"#32768", nullptr);
    return w && ::IsWindowVisible(w) ? w : nullptr;
}

// Runs `drive` on a second thread while the main thread pumps messages (and
// any menu loop runs); the driver's failures are reported here.
void Drive(const std::function<void()>& drive, DWORD timeoutMs = 30000) {
    std::atomic<bool> finished{false};
    std::thread driver([&] {
        drive();
        // A driver that stopped early may leave a menu open: close it, or
        // the main thread stays in the menu's loop.
        for (int i = 0; i < 3 && OpenPopupWindow(); ++i) Xdo("key Escape");
        finished = true;
    });
    const bool ok = PumpUntil([&] { return finished.load(); }, timeoutMs);
    if (!ok) {
        // Close whatever menu blocks the driver, then let it end.
        TPopupMenu::CloseCurrent();
        PumpUntil([&] { return finished.load(); }, 5000);
    }
    driver.join();
    EXPECT_TRUE(ok) << "the driver did not finish in time";
}

POINT ScreenCentre(HWND window, RECT r) {
    ::MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

std::string MoveArgs(POINT p) { return "mousemove " + std::to_string(p.x) + " " + std::to_string(p.y); }
bool ClickAt(POINT p) { return Xdo(MoveArgs(p) + " click 1"); }

// ----------------------------------------------------------- test pictures

struct ImageList {
    HIMAGELIST handle = nullptr;
    ImageList() = default;
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;
    ~ImageList() {
        if (handle) ::ImageList_Destroy(handle);
    }
};

// Five 16 x 16 pictures drawn here: 0 save (a disk), 1 add (a plus), 2
// delete (a cross), 3 help (a question mark), 4 launch (a triangle).
void DrawPictures(ImageList& list) {
    list.handle = ::ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 5, 0);
    ASSERT_NE(list.handle, nullptr);
    const COLORREF mask = RGB(255, 0, 255);
    HDC screen = ::GetDC(nullptr);
    for (int picture = 0; picture < 5; ++picture) {
        HDC dc = ::CreateCompatibleDC(screen);
        HBITMAP bmp = ::CreateCompatibleBitmap(screen, 16, 16);
        HGDIOBJ oldBmp = ::SelectObject(dc, bmp);
        RECT all{0, 0, 16, 16};
        HBRUSH back = ::CreateSolidBrush(mask);
        ::FillRect(dc, &all, back);
        ::DeleteObject(back);
        auto fill = [&](int l, int t, int r, int b, COLORREF c) {
            RECT rc{l, t, r, b};
            HBRUSH br = ::CreateSolidBrush(c);
            ::FillRect(dc, &rc, br);
            ::DeleteObject(br);
        };
        switch (picture) {
        case 0:  // disk: body, label, shutter
            fill(1, 1, 15, 15, RGB(40, 60, 150));
            fill(3, 2, 13, 8, RGB(255, 255, 255));
            fill(5, 10, 11, 15, RGB(190, 190, 200));
            fill(9, 11, 10, 14, RGB(40, 60, 150));
            break;
        case 1:  // plus
            fill(6, 2, 10, 14, RGB(0, 150, 0));
            fill(2, 6, 14, 10, RGB(0, 150, 0));
            break;
        case 2: {  // cross
            HPEN pen = ::CreatePen(PS_SOLID, 3, RGB(200, 0, 0));
            HGDIOBJ old = ::SelectObject(dc, pen);
            ::MoveToEx(dc, 3, 3, nullptr);
            ::LineTo(dc, 13, 13);
            ::MoveToEx(dc, 12, 3, nullptr);
            ::LineTo(dc, 2, 13);
            ::SelectObject(dc, old);
            ::DeleteObject(pen);
            break;
        }
        case 3: {  // question mark in a blue disc
            HBRUSH br = ::CreateSolidBrush(RGB(30, 90, 200));
            HGDIOBJ oldBr = ::SelectObject(dc, br);
            HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(NULL_PEN));
            ::Ellipse(dc, 0, 0, 17, 17);
            ::SelectObject(dc, oldPen);
            ::SelectObject(dc, oldBr);
            ::DeleteObject(br);
            fill(5, 3, 11, 5, RGB(255, 255, 255));
            fill(9, 5, 11, 8, RGB(255, 255, 255));
            fill(7, 7, 10, 9, RGB(255, 255, 255));
            fill(7, 9, 9, 10, RGB(255, 255, 255));
            fill(7, 11, 9, 13, RGB(255, 255, 255));
            break;
        }
        default: {  // launch: a green triangle
            HBRUSH br = ::CreateSolidBrush(RGB(0, 160, 60));
            HGDIOBJ oldBr = ::SelectObject(dc, br);
            HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
            POINT tri[3] = {{3, 1}, {14, 8}, {3, 15}};
            ::Polygon(dc, tri, 3);
            ::SelectObject(dc, oldPen);
            ::SelectObject(dc, oldBr);
            ::DeleteObject(br);
            break;
        }
        }
        ::SelectObject(dc, oldBmp);
        ::DeleteDC(dc);
        EXPECT_EQ(::ImageList_AddMasked(list.handle, bmp, mask), picture);
        ::DeleteObject(bmp);
    }
    ::ReleaseDC(nullptr, screen);
}

// ------------------------------------------------------------- the form

struct BarForm : TForm {
    ImageList images;
    TControlBar* controlBar;
    TToolBar* menuBar;
    TToolBar* toolBar;
    TPanel* client;
    TToolButton *fileButton, *ruleButton, *actionsButton, *helpButton;
    TToolButton *saveButton, *separator, *addButton, *deleteButton;
    TToolButton* exitButton = nullptr;
    TPopupMenu *fileMenu, *ruleMenu, *actionsMenu, *helpMenu;
    TMenuItem *saveItem, *exitItem, *addItem, *deleteItem, *launchItem, *optionsItem, *contentsItem;
    int saveClicks = 0, addClicks = 0, deleteClicks = 0, addItemClicks = 0, deleteItemClicks = 0;
    int ruleUpdates = 0;

    explicit BarForm() : TForm(nullptr) {
        DrawPictures(images);
        BeginLoading();
        SetName("BarForm");
        SetBounds(40, 40, 520, 300);
        SetText("Tool bar test");
        controlBar = new TControlBar(this);
        controlBar->SetName("ControlBar");
        controlBar->SetParent(this);
        controlBar->SetAlign(TAlign::alTop);
        menuBar = new TToolBar(this);
        menuBar->SetName("MenuToolBar");
        menuBar->SetParent(controlBar);
        menuBar->SetBounds(11, 2, 150, 22);
        menuBar->SetList(true);
        menuBar->SetButtonWidth(43);
        menuBar->SetImages(images.handle);
        toolBar = new TToolBar(this);
        toolBar->SetName("ToolBarToolBar");
        toolBar->SetParent(controlBar);
        toolBar->SetBounds(11, 30, 150, 22);
        toolBar->SetShowCaptions(false);
        toolBar->SetImages(images.handle);
        client = new TPanel(this);
        client->SetName("DetailPanel");
        client->SetParent(this);
        client->SetAlign(TAlign::alClient);

        auto menuButton = [&](const std::string& caption, TPopupMenu*& menu) {
            TToolButton* b = menuBar->AddButton(caption);
            b->SetGrouped(true);
            menu = new TPopupMenu(b);
            b->SetDropdownMenu(menu);
            return b;
        };
        auto item = [&](TPopupMenu* menu, const std::string& caption, int image = -1) {
            auto* i = new TMenuItem(menu);
            i->SetCaption(caption);
            i->SetImageIndex(image);
            menu->Items()->Add(i);
            return i;
        };
        fileButton = menuButton("&File", fileMenu);
        saveItem = item(fileMenu, "Save", 0);
        saveItem->SetShortCutText(ShortCutText('S', ssCtrl));
        item(fileMenu, "-");
        exitItem = item(fileMenu, "Exit");
        ruleButton = menuButton("&Window Rule", ruleMenu);
        addItem = item(ruleMenu, "Add rule", 1);
        addItem->SetShortCutText(ShortCutText('A', ssCtrl));
        addItem->OnClick = [this](TComponent*) { ++addItemClicks; };
        deleteItem = item(ruleMenu, "Delete rule", 2);
        deleteItem->SetShortCutText(ShortCutText('D', ssCtrl));
        deleteItem->OnClick = [this](TComponent*) { ++deleteItemClicks; };
        deleteItem->OnUpdate = [this](TMenuItem* i) {
            ++ruleUpdates;
            i->SetEnabled(false);
        };
        actionsButton = menuButton("Actions", actionsMenu);
        launchItem = item(actionsMenu, "Launch Command Center", 4);
        item(actionsMenu, "Stop Command Center")->SetEnabled(false);
        item(actionsMenu, "-");
        optionsItem = item(actionsMenu, "Options...");
        helpButton = menuButton("&Help", helpMenu);
        contentsItem = item(helpMenu, "Contents", 3);
        contentsItem->SetShortCutText(ShortCutText(VK_F1, 0));
        item(helpMenu, "-");
        item(helpMenu, "About...");

        saveButton = toolBar->AddButton("Save");
        saveButton->SetImageIndex(0);
        saveButton->SetHint("Save changes");
        saveButton->OnClick = [this](TComponent*) { ++saveClicks; };
        separator = toolBar->AddButton("", TToolButtonStyle::tbsSeparator);
        addButton = toolBar->AddButton("Add rule");
        addButton->SetImageIndex(1);
        addButton->SetHint("Add new rule");
        addButton->OnClick = [this](TComponent*) { ++addClicks; };
        deleteButton = toolBar->AddButton("Delete rule");
        deleteButton->SetImageIndex(2);
        deleteButton->SetHint("Delete rule");
        deleteButton->SetEnabled(false);
        deleteButton->OnClick = [this](TComponent*) { ++deleteClicks; };
        EndLoading();
    }
    const char* ClassName() const override { return "TBarForm"; }
};

bool ShowAndSettle(BarForm& form) {
    form.Show();
    ::SetForegroundWindow(form.WindowHandle());
    if (!PumpUntil([&] { return ::IsWindowVisible(form.WindowHandle()) != FALSE; })) return false;
    PumpUntil([] { return false; }, 100);
    return true;
}

int64_t PropValue(TPersistent* object, const char* name) {
    const TPropInfo* p = FindPropInfo(object, name);
    return p && p->getOrd ? p->getOrd(object) : -12345;
}
void SetPropValue(TPersistent* object, const char* name, int64_t value) {
    const TPropInfo* p = FindPropInfo(object, name);
    ASSERT_TRUE(p && p->setOrd) << name;
    p->setOrd(object, value);
}

TBounds WindowBoundsInParent(HWND w) {
    RECT r;
    ::GetWindowRect(w, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return TBounds{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Screenshot(const std::string& name) {
    if (HostHas("import")) omb::test::RunHost("import", "-window root /tmp/" + name);
}

// ---------------------------------------------------------------- tests

TEST(ToolBar, BarsSizeToTheirButtonsAndStackInRows) {
    BarForm form;
    ASSERT_TRUE(ShowAndSettle(form));
    for (TToolBar* bar : {form.menuBar, form.toolBar}) {
        HWND h = bar->WindowHandle();
        SIZE max{};
        ::SendMessageW(h, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&max));
        EXPECT_EQ(bar->Width(), max.cx) << bar->Name();
        EXPECT_GT(bar->Height(), 15) << bar->Name();
        // The object's bounds are the window's.
        EXPECT_EQ(bar->Bounds(), WindowBoundsInParent(h)) << bar->Name();
        // Buttons in order, the last one ending at the bar's right edge.
        RECT last = bar->Button(bar->ButtonCount() - 1)->BoundsRect();
        EXPECT_EQ(last.right, bar->Width()) << bar->Name();
    }
    // Menu buttons show their text beside no image, each as wide as its text.
    const RECT file = form.fileButton->BoundsRect(), rule = form.ruleButton->BoundsRect();
    EXPECT_LT(file.right - file.left, rule.right - rule.left);
    EXPECT_LE(file.right, rule.left);
    // The separator is 8 wide; image-only buttons are square-ish.
    const RECT sep = form.separator->BoundsRect();
    EXPECT_EQ(sep.right - sep.left, 8);
    const RECT save = form.saveButton->BoundsRect();
    EXPECT_LT(save.right - save.left, 32);
    // Two rows: the menu bar above the icon bar, the control bar around both.
    EXPECT_EQ(form.menuBar->Top(), TControlBar::kRowPadding);
    EXPECT_GE(form.toolBar->Top(), form.menuBar->Top() + form.menuBar->Height() + 2 * TControlBar::kRowPadding);
    EXPECT_EQ(form.controlBar->Height(), form.toolBar->Top() + form.toolBar->Height() + TControlBar::kRowPadding +
                                             TControlBar::kRowGap);
    EXPECT_EQ(form.menuBar->Left(), TControlBar::kGripWidth);
    EXPECT_EQ(form.client->Top(), form.controlBar->Height());
    Screenshot("omb_toolbar_bars.png");
    // A hidden button leaves the bar narrower; shown again, it is back.
    const int width = form.toolBar->Width();
    form.deleteButton->SetVisible(false);
    EXPECT_LT(form.toolBar->Width(), width);
    form.deleteButton->SetVisible(true);
    EXPECT_EQ(form.toolBar->Width(), width);
    // A caption change resizes the bar it is on.
    const int menuWidth = form.menuBar->Width();
    form.helpButton->SetCaption("&Help and support");
    EXPECT_GT(form.menuBar->Width(), menuWidth);
    form.helpButton->SetCaption("&Help");
    EXPECT_EQ(form.menuBar->Width(), menuWidth);
    // A button that is not auto-sized takes its own width, or the bar's.
    form.exitButton = form.menuBar->AddButton("Exit");
    form.exitButton->SetAutoSize(false);
    form.exitButton->SetWidth(60);
    RECT exit = form.exitButton->BoundsRect();
    EXPECT_EQ(exit.right - exit.left, 60);
    form.exitButton->SetWidth(0);
    exit = form.exitButton->BoundsRect();
    EXPECT_EQ(exit.right - exit.left, 43);
    EXPECT_EQ(form.menuBar->Width(), exit.right);
    delete form.exitButton;
    EXPECT_EQ(form.menuBar->Width(), menuWidth);
    // Captions beside the images: the same bar grows wider, not taller
    // than two lines of text.
    const int iconHeight = form.toolBar->Height();
    form.toolBar->SetList(true);
    form.toolBar->SetShowCaptions(true);
    const RECT listSave = form.saveButton->BoundsRect();
    EXPECT_GT(listSave.right - listSave.left, save.right - save.left + 20);
    EXPECT_LT(form.toolBar->Height(), iconHeight + 8);
    Screenshot("omb_toolbar_list.png");
    form.toolBar->SetShowCaptions(false);
    form.toolBar->SetList(false);
    EXPECT_EQ(form.toolBar->Width(), width);
}

TEST(ToolBar, BoundsRoundTripThroughThePropertyTable) {
    BarForm form;
    ASSERT_TRUE(ShowAndSettle(form));
    // The user's layout: the icon bar in the first row, the menu below it.
    TToolBar* menu = form.menuBar;
    TToolBar* tools = form.toolBar;
    SetPropValue(tools, "Top", 0);
    SetPropValue(tools, "Left", 0);
    SetPropValue(menu, "Top", 40);
    ASSERT_TRUE(PumpUntil([&] { return tools->Top() < menu->Top() && menu->Top() > TControlBar::kRowPadding; }));
    struct Saved {
        int64_t left, top, width, height;
    };
    auto save = [](TToolBar* b) {
        return Saved{PropValue(b, "Left"), PropValue(b, "Top"), PropValue(b, "Width"), PropValue(b, "Height")};
    };
    const Saved savedMenu = save(menu), savedTools = save(tools);
    EXPECT_EQ(savedTools.top, TControlBar::kRowPadding);
    EXPECT_EQ(savedTools.left, TControlBar::kGripWidth);
    const int savedHeight = form.controlBar->Height();

    // A fresh form (default layout) restores the values in the stored order.
    BarForm other;
    ASSERT_TRUE(ShowAndSettle(other));
    ASSERT_LT(other.menuBar->Top(), other.toolBar->Top());
    SetPropValue(other.menuBar, "Height", savedMenu.height);
    SetPropValue(other.menuBar, "Left", savedMenu.left);
    SetPropValue(other.menuBar, "Top", savedMenu.top);
    SetPropValue(other.menuBar, "Width", savedMenu.width);
    SetPropValue(other.toolBar, "Top", savedTools.top);
    SetPropValue(other.toolBar, "Width", savedTools.width);
    SetPropValue(other.toolBar, "Left", savedTools.left);
    SetPropValue(other.toolBar, "Height", savedTools.height);
    PumpUntil([] { return false; }, 100);
    const Saved menuBack = save(other.menuBar), toolsBack = save(other.toolBar);
    EXPECT_EQ(menuBack.left, savedMenu.left);
    EXPECT_EQ(menuBack.top, savedMenu.top);
    EXPECT_EQ(menuBack.width, savedMenu.width);
    EXPECT_EQ(menuBack.height, savedMenu.height);
    EXPECT_EQ(toolsBack.left, savedTools.left);
    EXPECT_EQ(toolsBack.top, savedTools.top);
    EXPECT_EQ(toolsBack.width, savedTools.width);
    EXPECT_EQ(toolsBack.height, savedTools.height);
    EXPECT_EQ(other.controlBar->Height(), savedHeight);
    EXPECT_EQ(other.menuBar->Bounds(), WindowBoundsInParent(other.menuBar->WindowHandle()));

    // Both bars in one row: the second sits right of the first, past its grip.
    SetPropValue(other.menuBar, "Top", TControlBar::kRowPadding);
    SetPropValue(other.toolBar, "Top", TControlBar::kRowPadding);
    SetPropValue(other.toolBar, "Left", 400);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(other.toolBar->Top(), other.menuBar->Top());
    EXPECT_EQ(other.toolBar->Left(), 400);
    SetPropValue(other.toolBar, "Left", 20);  // would overlap: pushed right
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(other.toolBar->Left(), other.menuBar->Left() + other.menuBar->Width() + TControlBar::kGripWidth);
    EXPECT_EQ(other.controlBar->Height(), std::max(other.menuBar->Height(), other.toolBar->Height()) +
                                              2 * TControlBar::kRowPadding + TControlBar::kRowGap);
}

TEST(ToolBar, ArrangementFormsRowsFromTheBarsTops) {
    int height = 0;
    // Empty: no rows.
    EXPECT_TRUE(TControlBar::Arrange({}, height).empty());
    EXPECT_EQ(height, 0);
    // Tops close together share a row; a hidden bar keeps its bounds and no row.
    std::vector<TControlBar::TBand> bands{{{300, 5, 50, 22}, true},
                                          {{0, 0, 100, 22}, true},
                                          {{0, 80, 60, 30}, true},
                                          {{7, 7, 7, 7}, false}};
    const auto out = TControlBar::Arrange(bands, height);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[1], (TBounds{TControlBar::kGripWidth, 2, 100, 22}));
    EXPECT_EQ(out[0], (TBounds{300, 2, 50, 22}));
    EXPECT_EQ(out[2], (TBounds{TControlBar::kGripWidth, 28 + 2, 60, 30}));
    EXPECT_EQ(out[3], (TBounds{7, 7, 7, 7}));
    EXPECT_EQ(height, 28 + 36);
    // The arrangement is its own fixed point: arranging its result again
    // changes nothing (restored values give the same layout).
    std::vector<TControlBar::TBand> again = bands;
    for (size_t i = 0; i < again.size(); ++i) again[i].bounds = out[i];
    int height2 = 0;
    EXPECT_EQ(TControlBar::Arrange(again, height2), out);
    EXPECT_EQ(height2, height);
}

TEST(Menus, CommandsReachTheirItemsFromAnyFormAndDisabledItemsDoNothing) {
    BarForm form;
    ASSERT_TRUE(ShowAndSettle(form));
    HWND h = form.WindowHandle();
    // Ids are unique and clear of the dialog's OK and Cancel.
    EXPECT_NE(form.addItem->Command(), form.deleteItem->Command());
    EXPECT_GT(form.addItem->Command(), 2u);
    ::SendMessageW(h, WM_COMMAND, MAKEWPARAM(form.addItem->Command(), 0), 0);
    EXPECT_EQ(form.addItemClicks, 1);
    form.deleteItem->SetEnabled(false);
    ::SendMessageW(h, WM_COMMAND, MAKEWPARAM(form.deleteItem->Command(), 0), 0);
    EXPECT_EQ(form.deleteItemClicks, 0);
    // An item that is gone leaves its id and its parent's list.
    auto* gone = new TMenuItem(nullptr);
    form.ruleMenu->Items()->Add(gone);
    const UINT goneId = gone->Command();
    EXPECT_EQ(TMenuItem::FromCommand(goneId), gone);
    delete gone;
    EXPECT_EQ(TMenuItem::FromCommand(goneId), nullptr);
    EXPECT_EQ(form.ruleMenu->Items()->Count(), 2u);
    EXPECT_FALSE(DispatchMenuCommand(goneId));
    // Items cannot hold their own parents.
    EXPECT_THROW(form.addItem->Add(form.ruleMenu->Items()), std::invalid_argument);
    // Texts and access keys.
    EXPECT_EQ(ShortCutText('S', ssCtrl), "Ctrl+S");
    EXPECT_EQ(ShortCutText(VK_F1, 0), "F1");
    EXPECT_EQ(ShortCutText(VK_DELETE, ssShift | ssCtrl), "Shift+Ctrl+Del");
    EXPECT_EQ(AccessKeyOf("&Window Rule"), L'W');
    EXPECT_EQ(AccessKeyOf("Fish && &chips"), L'C');
    EXPECT_EQ(AccessKeyOf("Actions"), 0);
    // The tooltip's request reaches the bar through its parent and is
    // answered with the button's hint.
    NMTTDISPINFOW di{};
    di.hdr.hwndFrom = form.toolBar->ToolTipWindow();
    di.hdr.idFrom = static_cast<UINT_PTR>(form.addButton->Command());
    di.hdr.code = TTN_GETDISPINFOW;
    ASSERT_NE(di.hdr.hwndFrom, nullptr);
    ::SendMessageW(form.controlBar->WindowHandle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&di));
    ASSERT_NE(di.lpszText, nullptr);
    EXPECT_EQ(omb::FromWide(di.lpszText), "Add new rule");
    // Alt+letter from the form opens only a button that has the letter.
    EXPECT_FALSE(form.menuBar->HandleAccel(L'q'));
    // A freed drop-down menu leaves its button without one.
    auto* extra = new TPopupMenu(nullptr);
    form.actionsButton->SetDropdownMenu(extra);
    delete extra;
    EXPECT_EQ(form.actionsButton->DropdownMenu(), nullptr);
}

TEST(ToolBar, RealInputClicksButtonsOpensMenusAndPicksItems) {
    if (!HostHas("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    BarForm form;
    ASSERT_TRUE(ShowAndSettle(form));
    HWND menuBar = form.menuBar->WindowHandle(), toolBar = form.toolBar->WindowHandle();
    const POINT save = ScreenCentre(toolBar, form.saveButton->BoundsRect());
    const POINT del = ScreenCentre(toolBar, form.deleteButton->BoundsRect());
    const POINT file = ScreenCentre(menuBar, form.fileButton->BoundsRect());
    const POINT rule = ScreenCentre(menuBar, form.ruleButton->BoundsRect());
    const POINT help = ScreenCentre(menuBar, form.helpButton->BoundsRect());
    std::atomic<bool> ruleOpen{false};
    form.ruleMenu->OnPopup = [&](TComponent*) { ruleOpen = true; };
    HMENU ruleHandle = nullptr;
    std::atomic<TPopupMenu*> seen{nullptr};
    form.helpMenu->OnPopup = [&](TComponent* m) { seen = static_cast<TPopupMenu*>(m); };
    form.actionsMenu->OnPopup = form.helpMenu->OnPopup;
    TToolButton* dropDown = form.toolBar->AddButton("Launch", TToolButtonStyle::tbsDropDown);
    dropDown->SetImageIndex(4);
    dropDown->SetDropdownMenu(form.actionsMenu);
    RECT launchRect = dropDown->BoundsRect();
    const POINT launch = ScreenCentre(toolBar, launchRect);
    ::MapWindowPoints(toolBar, HWND_DESKTOP, reinterpret_cast<POINT*>(&launchRect), 2);
    std::atomic<int> saveClicks{0};
    form.saveButton->OnClick = [&](TComponent*) { ++saveClicks; };
    std::atomic<bool> ruleButtonPressed{false};

    Drive([&] {
        // A tool button's click, and a disabled one's.
        ASSERT_TRUE(ClickAt(save));
        ASSERT_TRUE(WaitFor([&] { return saveClicks == 1; }));
        ASSERT_TRUE(ClickAt(del));
        // The menu button opens its menu under itself and stays pressed.
        ASSERT_TRUE(ClickAt(rule));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() != nullptr; }));
        ruleButtonPressed =
            ::SendMessageW(menuBar, TB_ISBUTTONPRESSED, static_cast<WPARAM>(form.ruleButton->Command()), 0) != 0;
        RECT popup;
        ::GetWindowRect(OpenPopupWindow(), &popup);
        RECT button = form.ruleButton->BoundsRect();
        ::MapWindowPoints(menuBar, HWND_DESKTOP, reinterpret_cast<POINT*>(&button), 2);
        EXPECT_EQ(popup.left, button.left);
        EXPECT_GE(popup.top, button.bottom - 1);
        ruleHandle = form.ruleMenu->Handle();
        // The update hook disabled "Delete rule" before the menu showed.
        EXPECT_TRUE(::GetMenuState(ruleHandle, form.deleteItem->Command(), MF_BYCOMMAND) & MF_GRAYED);
        // A click on the disabled item does nothing and keeps the menu.
        RECT item{};
        ASSERT_TRUE(::GetMenuItemRect(nullptr, ruleHandle, 1, &item));
        ASSERT_TRUE(ClickAt(POINT{(item.left + item.right) / 2, (item.top + item.bottom) / 2}));
        ASSERT_TRUE(::GetMenuItemRect(nullptr, ruleHandle, 0, &item));
        ASSERT_TRUE(ClickAt(POINT{(item.left + item.right) / 2, (item.top + item.bottom) / 2}));
        ASSERT_TRUE(WaitFor([&] { return form.addItemClicks == 1; }));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() == nullptr; }));
        // Moving to a neighbouring menu button while a menu is open switches.
        ASSERT_TRUE(ClickAt(file));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() != nullptr; }));
        ASSERT_TRUE(Xdo(MoveArgs(POINT{help.x - 2, help.y}) + " " + MoveArgs(help)));
        ASSERT_TRUE(WaitFor([&] { return seen.load() == form.helpMenu; }));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() != nullptr; }));
        // A press on the open menu's own button closes it.
        ASSERT_TRUE(Xdo("click 1"));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() == nullptr; }));
        // A drop-down button opens its menu under itself too.
        ASSERT_TRUE(ClickAt(launch));
        ASSERT_TRUE(WaitFor([&] { return seen.load() == form.actionsMenu && OpenPopupWindow() != nullptr; }));
        RECT popup2;
        ::GetWindowRect(OpenPopupWindow(), &popup2);
        EXPECT_EQ(popup2.left, launchRect.left);
        ASSERT_TRUE(Xdo("key Escape"));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() == nullptr; }));
    });
    EXPECT_EQ(saveClicks, 1);
    EXPECT_EQ(form.deleteClicks, 0);
    EXPECT_TRUE(ruleOpen);
    EXPECT_TRUE(ruleButtonPressed);
    EXPECT_EQ(form.deleteItemClicks, 0);
    EXPECT_EQ(form.addItemClicks, 1);
    EXPECT_GE(form.ruleUpdates, 1);
    EXPECT_EQ(TPopupMenu::Current(), nullptr);
    EXPECT_EQ(form.menuBar->MenuButton(), nullptr);
    EXPECT_FALSE(::SendMessageW(menuBar, TB_ISBUTTONPRESSED, static_cast<WPARAM>(form.helpButton->Command()), 0));
}

TEST(ToolBar, AltLetterOpensTheMenuAndHintsComeFromTheButtons) {
    if (!HostHas("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    BarForm form;
    ASSERT_TRUE(ShowAndSettle(form));
    HWND toolBar = form.toolBar->WindowHandle();
    const POINT add = ScreenCentre(toolBar, form.addButton->BoundsRect());
    std::atomic<TPopupMenu*> opened{nullptr};
    for (TPopupMenu* m : {form.fileMenu, form.ruleMenu, form.actionsMenu, form.helpMenu})
        m->OnPopup = [&](TComponent* s) { opened = static_cast<TPopupMenu*>(s); };
    std::wstring tipText;
    bool tipShown = false;
    Drive([&] {
        // The hint: the tooltip asks the bar for the button under the mouse.
        ASSERT_TRUE(Xdo(MoveArgs(POINT{add.x - 3, add.y}) + " " + MoveArgs(add)));
        HWND tip = form.toolBar->ToolTipWindow();
        tipShown = WaitFor([&] { return tip && ::IsWindowVisible(tip); }, 5000);
        if (tipShown) {
            wchar_t text[128] = L"";
            TTTOOLINFOW ti{};
            ti.cbSize = sizeof(ti);
            ti.lpszText = text;
            ::SendMessageW(tip, TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
            ti.lpszText = text;
            ::SendMessageW(tip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&ti));
            tipText = text;
        }
        // Alt+W opens the Window Rule menu; Esc closes it.
        ASSERT_TRUE(Xdo("mousemove 5 5"));
        const HWND window = form.WindowHandle();
        ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == window; }));
        ASSERT_TRUE(Xdo("key alt+w"));
        ASSERT_TRUE(WaitFor([&] { return opened.load() == form.ruleMenu && OpenPopupWindow() != nullptr; }));
        // The first item is highlighted, so Enter picks "Add rule".
        ASSERT_TRUE(Xdo("key Return"));
        ASSERT_TRUE(WaitFor([&] { return form.addItemClicks == 1; }));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() == nullptr; }));
        // Alt+H opens Help; Right walks to File (wrapping around).
        ASSERT_TRUE(Xdo("key alt+h"));
        ASSERT_TRUE(WaitFor([&] { return opened.load() == form.helpMenu && OpenPopupWindow() != nullptr; }));
        ASSERT_TRUE(Xdo("key Right"));
        ASSERT_TRUE(WaitFor([&] { return opened.load() == form.fileMenu && OpenPopupWindow() != nullptr; }));
        ASSERT_TRUE(Xdo("key Escape"));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() == nullptr; }));
    });
    EXPECT_TRUE(tipShown);
    EXPECT_EQ(omb::FromWide(tipText), "Add new rule");
    EXPECT_EQ(form.addItemClicks, 1);
}

TEST(ToolBar, ScreenshotOfAnOpenMenu) {
    if (!HostHas("xdotool") || !HostHas("import")) GTEST_SKIP() << "xdotool or import missing";
    BarForm form;
    ASSERT_TRUE(ShowAndSettle(form));
    form.actionsMenu->SetImages(form.images.handle);
    const POINT actions = ScreenCentre(form.menuBar->WindowHandle(), form.actionsButton->BoundsRect());
    Drive([&] {
        ASSERT_TRUE(ClickAt(actions));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() != nullptr; }));
        ASSERT_TRUE(Xdo("key Down"));
        ASSERT_TRUE(WaitFor([&] {
            return (::GetMenuState(form.actionsMenu->Handle(), 0, MF_BYPOSITION) & MF_HILITE) != 0;
        }));
        omb::test::RunHost("import", "-window root /tmp/omb_toolbar_menu.png");
        ASSERT_TRUE(Xdo("key Escape"));
        ASSERT_TRUE(WaitFor([&] { return OpenPopupWindow() == nullptr; }));
    });
}

}  // namespace
