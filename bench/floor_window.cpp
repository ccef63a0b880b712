// The floor of the editor's selection benchmark: a plain Win32 window with
// what the editor shows, and nothing of its own libraries. A tree of 1,000
// rules on the left; on the right twenty common controls laid out as a
// rule's detail panel, every value of which is set again on every selection
// and repainted as the controls do by themselves. Ctrl+A adds a rule at
// the end of the tree, named as the editor names a new one, and selects it.
// editor_bench selects and adds in its tree as it does in the editor's: the
// two times side by side say what the editor adds to what any window costs
// on the same machine.
#include <windows.h>

#include <commctrl.h>

#include <cwchar>
#include <initializer_list>
#include <string>

namespace {
constexpr int kRules = 1000, kTreeWidth = 260, kMargin = 8;

// The detail controls, in their order on the panel (and in the tab order).
// clang-format off
enum Control {
    kNameLabel, kName, kEnabled,
    kWindowGroup, kClassLabel, kClass, kCaptionLabel, kCaption, kMatchCase,
    kActionsGroup, kOnTop, kNoTaskbar, kTransparent, kRememberPlace, kToTray,
    kRunGroup, kRunLabel, kRunMode, kDelayLabel, kDelay,
    kControls
};
// clang-format on

struct Layout {
    const wchar_t* cls;
    const wchar_t* text;
    DWORD style;
    int x, y, w, h;  // from the top left of the detail area
};

constexpr DWORD kLabel = SS_LEFT, kEdit = WS_TABSTOP | ES_AUTOHSCROLL, kCheck = WS_TABSTOP | BS_AUTOCHECKBOX,
                kGroup = BS_GROUPBOX, kCombo = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                kList = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;

const Layout kLayout[kControls] = {
    {WC_STATICW, L"Name:", kLabel, 0, 4, 90, 20},
    {WC_EDITW, L"", kEdit | WS_BORDER, 96, 0, 390, 24},
    {WC_BUTTONW, L"Enabled", kCheck, 96, 30, 200, 22},
    {WC_BUTTONW, L"Window", kGroup, 0, 60, 486, 132},
    {WC_STATICW, L"Class name:", kLabel, 12, 88, 90, 20},
    {WC_COMBOBOXW, L"", kCombo, 108, 84, 366, 200},
    {WC_STATICW, L"Caption:", kLabel, 12, 122, 90, 20},
    {WC_COMBOBOXW, L"", kCombo, 108, 118, 366, 200},
    {WC_BUTTONW, L"Match case", kCheck, 108, 154, 200, 22},
    {WC_BUTTONW, L"Actions", kGroup, 0, 200, 486, 156},
    {WC_BUTTONW, L"Stay on top", kCheck, 12, 224, 300, 22},
    {WC_BUTTONW, L"Hide from the taskbar", kCheck, 12, 250, 300, 22},
    {WC_BUTTONW, L"Transparent", kCheck, 12, 276, 300, 22},
    {WC_BUTTONW, L"Remember its place", kCheck, 12, 302, 300, 22},
    {WC_BUTTONW, L"Minimize to the tray", kCheck, 12, 328, 300, 22},
    {WC_BUTTONW, L"Run", kGroup, 0, 364, 486, 96},
    {WC_STATICW, L"Run mode:", kLabel, 12, 392, 90, 20},
    {WC_COMBOBOXW, L"", kList, 108, 388, 200, 200},
    {WC_STATICW, L"Delay (ms):", kLabel, 12, 426, 90, 20},
    {WC_EDITW, L"", kEdit | WS_BORDER | ES_NUMBER, 108, 422, 100, 24},
};

// The window's parts; it owns the image list and the font, which outlive
// the windows that use them.
struct Window {
    HWND tree = nullptr;
    HWND controls[kControls] = {};
    HIMAGELIST images = nullptr;
    HFONT font = nullptr;
    HTREEITEM root = nullptr;
    int rules = 0;
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window() {
        if (images) ImageList_Destroy(images);
        if (font) DeleteObject(font);
    }
};
Window g;

std::wstring Format(const wchar_t* pattern, int index) {
    wchar_t text[64];
    std::swprintf(text, 64, pattern, index);
    return text;
}

void Check(Control c, bool on) {
    SendMessageW(g.controls[c], BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Every value of the panel from the rule of the index.
void ShowRule(int index) {
    SetWindowTextW(g.controls[kName], Format(L"Rule %d", index).c_str());
    Check(kEnabled, index % 2 == 0);
    SetWindowTextW(g.controls[kClass], Format(L"BenchClass%d", index).c_str());
    SetWindowTextW(g.controls[kCaption], Format(L"Window %d", index).c_str());
    Check(kMatchCase, index % 2 != 0);
    for (int c = kOnTop; c <= kToTray; ++c) Check(Control(c), (index + c) % 2 == 0);
    SendMessageW(g.controls[kRunMode], CB_SETCURSEL, WPARAM(index % 3), 0);
    SetWindowTextW(g.controls[kDelay], Format(L"%d", index * 10).c_str());
}

void AddItems(HWND combo, std::initializer_list<const wchar_t*> items) {
    for (const wchar_t* item : items) SendMessageW(combo, CB_ADDSTRING, 0, LPARAM(item));
}

HTREEITEM Insert(HTREEITEM parent, const wchar_t* text, int image, LPARAM index) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(text);
    insert.item.iImage = insert.item.iSelectedImage = image;
    insert.item.lParam = index;
    return reinterpret_cast<HTREEITEM>(SendMessageW(g.tree, TVM_INSERTITEMW, 0, LPARAM(&insert)));
}

void Create(HWND main) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    g.font = CreateFontIndirectW(&metrics.lfMessageFont);
    const HINSTANCE instance = GetModuleHandleW(nullptr);

    g.tree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS |
                                 TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                             0, 0, 0, 0, main, nullptr, instance, nullptr);
    SendMessageW(g.tree, WM_SETFONT, WPARAM(g.font), FALSE);
    g.images = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 0);
    for (const char* icon : {IDI_APPLICATION, IDI_INFORMATION})
        ImageList_AddIcon(g.images, HICON(LoadImageA(nullptr, icon, IMAGE_ICON, 16, 16, LR_SHARED)));
    TreeView_SetImageList(g.tree, g.images, TVSIL_NORMAL);
    g.root = Insert(TVI_ROOT, L"Window rules", 0, -1);
    for (; g.rules < kRules; ++g.rules) Insert(g.root, Format(L"Rule %d", g.rules).c_str(), 1, g.rules);
    TreeView_Expand(g.tree, g.root, TVE_EXPAND);

    for (int c = 0; c < kControls; ++c) {
        const Layout& l = kLayout[c];
        g.controls[c] =
            CreateWindowExW(0, l.cls, l.text, WS_CHILD | WS_VISIBLE | l.style, kTreeWidth + 2 * kMargin + l.x,
                            kMargin + l.y, l.w, l.h, main, nullptr, instance, nullptr);
        SendMessageW(g.controls[c], WM_SETFONT, WPARAM(g.font), FALSE);
    }
    AddItems(g.controls[kClass], {L"Notepad", L"CabinetWClass", L"ConsoleWindowClass"});
    AddItems(g.controls[kCaption], {L"Untitled - Notepad", L"Downloads", L"Command Prompt"});
    AddItems(g.controls[kRunMode], {L"Normal", L"Minimized", L"Maximized"});
}

// A new rule at the end, selected (and so shown).
void AddRule() {
    const int index = g.rules++;
    const HTREEITEM item = Insert(g.root, Format(L"Window Rule %d", index - kRules + 1).c_str(), 1, index);
    TreeView_SelectItem(g.tree, item);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept try {
    switch (message) {
        case WM_CREATE:
            Create(window);
            return 0;
        case WM_SIZE:
            MoveWindow(g.tree, kMargin, kMargin, kTreeWidth, HIWORD(lParam) - 2 * kMargin, TRUE);
            return 0;
        case WM_SETFOCUS:  // the tree has the keyboard whenever the window is active
            SetFocus(g.tree);
            return 0;
        case WM_NOTIFY: {
            const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lParam);
            // The root is no rule: the panel keeps what it shows.
            if (change->hdr.hwndFrom == g.tree && change->hdr.code == TVN_SELCHANGEDW &&
                change->itemNew.lParam >= 0)
                ShowRule(int(change->itemNew.lParam));
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
} catch (...) {
    return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    cls.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    cls.lpszClassName = L"OmbFloorWindow";
    RegisterClassExW(&cls);
    HWND main = CreateWindowExW(0, cls.lpszClassName, L"Floor: a plain window", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr, nullptr, instance, nullptr);
    if (!main) return 1;
    ShowWindow(main, show);
    UpdateWindow(main);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_KEYDOWN && msg.wParam == 'A' && GetKeyState(VK_CONTROL) < 0) {
            AddRule();
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}
