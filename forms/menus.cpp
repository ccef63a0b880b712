#include "forms/menus.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <stdexcept>

#include "forms/application.h"
#include "forms/helper_window.h"
#include "forms/form.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

constexpr wchar_t kMenuOwnerClass[] = L"OmbFormsMenuOwner";
constexpr UINT kFirstCommand = 0x100;
constexpr UINT kLastCommand = 0xFFFF;  // WM_COMMAND carries 16 bits
// Room on either side of an item's image: the menu starts the text right
// where the image's area ends.
constexpr int kImageMargin = 3;

std::map<UINT, TMenuItem*>& ItemsByCommand() {
    static std::map<UINT, TMenuItem*> items;
    return items;
}

UINT AllocateCommand(TMenuItem* item) {
    static UINT next = kFirstCommand;
    auto& items = ItemsByCommand();
    if (items.size() >= kLastCommand - kFirstCommand + 1) throw std::runtime_error("too many menu items");
    while (items.count(next)) next = next == kLastCommand ? kFirstCommand : next + 1;
    const UINT id = next;
    next = next == kLastCommand ? kFirstCommand : next + 1;
    items[id] = item;
    return id;
}

void InstallDispatcher() {
    static const bool installed = [] {
        SetMenuCommandDispatcher([](UINT id) {
            TMenuItem* item = TMenuItem::FromCommand(id);
            if (!item) return false;
            // A value being typed is stored before the command runs.
            if (item->Enabled())
                if (TForm* form = FormOfWindow(::GetActiveWindow())) form->CommitActiveControl();
            item->Click();
            return true;
        });
        return true;
    }();
    (void)installed;
}

TPopupMenu*& CurrentPopup() {
    static TPopupMenu* current = nullptr;
    return current;
}

// The open menu's highlighted item, as WM_MENUSELECT reports it.
struct Selection {
    HMENU menu = nullptr;
    UINT flags = 0;
};
Selection& CurrentSelection() {
    static Selection selection;
    return selection;
}

}  // namespace

std::string ShortCutText(WORD key, unsigned shift) {
    if (key == 0) return {};
    std::string name;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
        name = std::string(1, static_cast<char>(key));
    } else if (key >= VK_F1 && key <= VK_F24) {
        name = "F" + std::to_string(key - VK_F1 + 1);
    } else {
        static const std::map<WORD, const char*> names{
            {VK_BACK, "BkSp"}, {VK_TAB, "Tab"},    {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},
            {VK_SPACE, "Space"}, {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},   {VK_END, "End"},
            {VK_HOME, "Home"}, {VK_LEFT, "Left"},  {VK_UP, "Up"},        {VK_RIGHT, "Right"},
            {VK_DOWN, "Down"}, {VK_INSERT, "Ins"}, {VK_DELETE, "Del"}};
        auto it = names.find(key);
        if (it == names.end()) return {};
        name = it->second;
    }
    std::string text;
    if (shift & ssShift) text += "Shift+";
    if (shift & ssCtrl) text += "Ctrl+";
    if (shift & ssAlt) text += "Alt+";
    return text + name;
}

wchar_t AccessKeyOf(const std::string& caption) {
    const std::wstring w = ToWide(caption);
    for (size_t i = 0; i + 1 < w.size(); ++i) {
        if (w[i] != L'&') continue;
        if (w[i + 1] == L'&') {
            ++i;  // "&&" is a plain ampersand
            continue;
        }
        return static_cast<wchar_t>(std::towupper(w[i + 1]));
    }
    return 0;
}

// ---------------------------------------------------------------- TMenuItem

const TPropTable& TMenuItem::StaticProps() {
    static const TPropTable table{
        &TComponent::StaticProps(),
        {BoolProp<TMenuItem>("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled),
         BoolProp<TMenuItem>("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked),
         IntProp<TMenuItem, int>("ImageIndex", &TMenuItem::ImageIndex, &TMenuItem::SetImageIndex)}};
    return table;
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {
    InstallDispatcher();
    command_ = AllocateCommand(this);
}

TMenuItem::~TMenuItem() {
    MarkDestroying();
    ItemsByCommand().erase(command_);
    if (parentItem_) parentItem_->Remove(this);
    for (TMenuItem* child : items_) child->parentItem_ = nullptr;
    items_.clear();
}

TMenuItem* TMenuItem::FromCommand(UINT command) {
    auto& items = ItemsByCommand();
    auto it = items.find(command);
    return it == items.end() ? nullptr : it->second;
}

void TMenuItem::SetEnabled(bool value) {
    enabled_ = value;
    if (builtInMenu_)
        ::EnableMenuItem(builtInMenu_, command_, MF_BYCOMMAND | (value ? MF_ENABLED : MF_GRAYED));
}

void TMenuItem::SetChecked(bool value) {
    checked_ = value;
    if (builtInMenu_) ::CheckMenuItem(builtInMenu_, command_, MF_BYCOMMAND | (value ? MF_CHECKED : MF_UNCHECKED));
}

void TMenuItem::Add(TMenuItem* item) { Insert(items_.size(), item); }

void TMenuItem::Insert(size_t index, TMenuItem* item) {
    if (!item || item == this) return;
    for (TMenuItem* p = this; p; p = p->parentItem_)
        if (p == item) throw std::invalid_argument("a menu item cannot hold its own parent");
    if (item->parentItem_) item->parentItem_->Remove(item);
    index = std::min(index, items_.size());
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), item);
    item->parentItem_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parentItem_ = nullptr;
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TMenuItem* TMenuItem::FindByAccessKey(wchar_t letter) const {
    const wchar_t up = static_cast<wchar_t>(std::towupper(letter));
    for (TMenuItem* item : items_)
        if (item->visible_ && AccessKeyOf(item->caption_) == up) return item;
    return nullptr;
}

bool TMenuItem::Click() {
    if (!enabled_) return false;
    Fire(OnClick, this);
    return true;
}

void TMenuItem::Update() { Fire(OnUpdate, this); }

// ------------------------------------------------------- the owner window

// Receives the open menu's messages: sub-menus about to open, the item
// images to measure and draw, and the chosen command.
struct TMenuOwnerWindow {
    static HWND Get() {
        static UniqueWindow window;
        if (!window) window.reset(CreateHelperWindow({kMenuOwnerClass, &TMenuOwnerWindow::Proc}));
        return window.get();
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
        try {
            switch (message) {
            case WM_INITMENUPOPUP:
                if (TPopupMenu* popup = TPopupMenu::Current()) {
                    popup->UpdateBuiltItems(reinterpret_cast<HMENU>(wParam));
                    return 0;
                }
                break;
            case WM_MENUSELECT:
                CurrentSelection() = Selection{reinterpret_cast<HMENU>(lParam), HIWORD(wParam)};
                return 0;
            case WM_MEASUREITEM: {
                auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
                if (mi->CtlType != ODT_MENU) break;
                int cx = 16, cy = 16;
                if (TPopupMenu* popup = TPopupMenu::Current(); popup && popup->Images())
                    ::ImageList_GetIconSize(popup->Images(), &cx, &cy);
                mi->itemWidth = static_cast<UINT>(cx + 2 * kImageMargin);
                mi->itemHeight = static_cast<UINT>(cy);
                return TRUE;
            }
            case WM_DRAWITEM: {
                auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
                if (di->CtlType != ODT_MENU) break;
                DrawImage(*di);
                return TRUE;
            }
            case WM_COMMAND:
                if (lParam == 0) {
                    DispatchMenuCommand(LOWORD(wParam));
                    return 0;
                }
                break;
            default:
                break;
            }
        } catch (...) {
            Application().HandleException(std::current_exception());
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    static void DrawImage(const DRAWITEMSTRUCT& di) {
        TPopupMenu* popup = TPopupMenu::Current();
        TMenuItem* item = TMenuItem::FromCommand(static_cast<UINT>(di.itemData));
        if (!popup || !popup->Images() || !item || item->ImageIndex() < 0) return;
        int cx = 16, cy = 16;
        ::ImageList_GetIconSize(popup->Images(), &cx, &cy);
        const int x = di.rcItem.left + std::max(0, static_cast<int>(di.rcItem.right - di.rcItem.left) - cx) / 2;
        const int y = di.rcItem.top + std::max(0, static_cast<int>(di.rcItem.bottom - di.rcItem.top) - cy) / 2;
        if (item->Checked()) {
            RECT frame{x - 1, y - 1, x + cx + 1, y + cy + 1};
            ::DrawEdge(di.hDC, &frame, BDR_SUNKENOUTER, BF_RECT);
        }
        if (di.itemState & (ODS_GRAYED | ODS_DISABLED)) {
            UniqueIcon icon(::ImageList_GetIcon(popup->Images(), item->ImageIndex(), ILD_NORMAL));
            if (icon)
                ::DrawStateW(di.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.get()), 0, x, y, cx, cy,
                             DST_ICON | DSS_DISABLED);
        } else {
            ::ImageList_Draw(popup->Images(), item->ImageIndex(), di.hDC, x, y, ILD_TRANSPARENT);
        }
    }
};

// --------------------------------------------------------------- TPopupMenu

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner), root_(nullptr) {}

TPopupMenu::~TPopupMenu() {
    MarkDestroying();
    if (CurrentPopup() == this) {
        // Freed from a handler while open: the menu loop ends without us.
        // Its handle is destroyed once the next menu is freed this way.
        CurrentPopup() = nullptr;
        ::EndMenu();
        static UniqueMenu orphan;
        orphan = std::move(menu_);
    }
}

TPopupMenu* TPopupMenu::Current() { return CurrentPopup(); }

void TPopupMenu::CloseCurrent() {
    if (CurrentPopup()) ::EndMenu();
}

bool TPopupMenu::SelectionOpensSubMenu() {
    const Selection& s = CurrentSelection();
    return s.menu && s.flags != 0xFFFF && (s.flags & MF_POPUP) != 0;
}

bool TPopupMenu::SelectionInRoot() {
    TPopupMenu* popup = CurrentPopup();
    const Selection& s = CurrentSelection();
    return popup && (!s.menu || s.menu == popup->Handle());
}

namespace {

void FillItemInfo(MENUITEMINFOW& info, std::wstring& text, TMenuItem* item, HIMAGELIST images) {
    info = MENUITEMINFOW{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_STATE;
    info.wID = item->Command();
    info.dwItemData = item->Command();
    if (item->IsSeparator()) {
        info.fType = MFT_SEPARATOR;
        return;
    }
    info.fMask |= MIIM_STRING | MIIM_BITMAP;
    text = ToWide(item->Caption());
    if (!item->ShortCutText().empty()) text += L"\t" + ToWide(item->ShortCutText());
    info.dwTypeData = text.data();
    info.fState = (item->Enabled() ? MFS_ENABLED : MFS_GRAYED) | (item->Checked() ? MFS_CHECKED : MFS_UNCHECKED);
    info.hbmpItem = images && item->ImageIndex() >= 0 ? HBMMENU_CALLBACK : nullptr;
}

}  // namespace

void TPopupMenu::BuildInto(HMENU menu, TMenuItem* parent) {
    parent->builtSubMenu_ = menu;
    UINT position = 0;
    for (size_t i = 0; i < parent->Count(); ++i) {
        TMenuItem* item = parent->Item(i);
        item->builtInMenu_ = nullptr;
        item->builtSubMenu_ = nullptr;
        if (!item->Visible()) continue;
        MENUITEMINFOW info;
        std::wstring text;
        FillItemInfo(info, text, item, images_);
        if (item->Count() > 0 && !item->IsSeparator()) {
            HMENU sub = ::CreatePopupMenu();
            if (!sub) throw std::runtime_error(LastErrorText("CreatePopupMenu"));
            info.fMask |= MIIM_SUBMENU;
            info.hSubMenu = sub;
            if (!::InsertMenuItemW(menu, position, TRUE, &info)) {
                ::DestroyMenu(sub);
                throw std::runtime_error(LastErrorText("InsertMenuItem"));
            }
            BuildInto(sub, item);
        } else if (!::InsertMenuItemW(menu, position, TRUE, &info)) {
            throw std::runtime_error(LastErrorText("InsertMenuItem"));
        }
        item->builtInMenu_ = menu;
        ++position;
    }
}

void TPopupMenu::Rebuild() {
    // The old handle's sub-menus go with it.
    UniqueMenu fresh(::CreatePopupMenu());
    if (!fresh) throw std::runtime_error(LastErrorText("CreatePopupMenu"));
    BuildInto(fresh.get(), &root_);
    menu_ = std::move(fresh);
}

TMenuItem* TPopupMenu::ItemOfSubMenu(HMENU menu) {
    if (!menu) return nullptr;
    std::vector<TMenuItem*> pending{&root_};
    while (!pending.empty()) {
        TMenuItem* item = pending.back();
        pending.pop_back();
        if (item->builtSubMenu_ == menu) return item;
        for (size_t i = 0; i < item->Count(); ++i) pending.push_back(item->Item(i));
    }
    return nullptr;
}

void TPopupMenu::UpdateBuiltItems(HMENU menu) {
    TMenuItem* parent = ItemOfSubMenu(menu);
    if (!parent) return;
    // Copy the list: an update handler may change it.
    const std::vector<TMenuItem*> items = parent->items_;
    for (TMenuItem* item : items) {
        if (TMenuItem::FromCommand(item->Command()) != item) continue;
        item->Update();
    }
    for (TMenuItem* item : parent->items_) {
        if (item->builtInMenu_ != menu || item->IsSeparator()) continue;
        MENUITEMINFOW info;
        std::wstring text;
        FillItemInfo(info, text, item, images_);
        info.fMask &= ~static_cast<UINT>(MIIM_FTYPE | MIIM_ID | MIIM_DATA);
        ::SetMenuItemInfoW(menu, item->Command(), FALSE, &info);
    }
}

void TPopupMenu::Popup(int x, int y, const RECT* exclude) {
    Fire(OnPopup, this);
    Rebuild();
    HWND owner = TMenuOwnerWindow::Get();
    if (!owner) throw std::runtime_error(LastErrorText("CreateWindowEx"));
    UINT flags = TPM_RIGHTBUTTON | TPM_VERTICAL;
    flags |= alignment_ == TPopupAlignment::paRight    ? TPM_RIGHTALIGN
             : alignment_ == TPopupAlignment::paCenter ? TPM_CENTERALIGN
                                                       : TPM_LEFTALIGN;
    TPMPARAMS params{};
    params.cbSize = sizeof(params);
    if (exclude) params.rcExclude = *exclude;
    TPopupMenu* previous = CurrentPopup();
    CurrentPopup() = this;
    CurrentSelection() = Selection{};
    struct Restore {
        TPopupMenu* self;
        TPopupMenu* previous;
        ~Restore() {
            if (CurrentPopup() == self) CurrentPopup() = previous;
        }
    } restore{this, previous};
    ::TrackPopupMenuEx(menu_.get(), flags, x, y, owner, exclude ? &params : nullptr);
    if (CurrentPopup() != this) return;  // freed while open
    Fire(OnClose, this);
}

}  // namespace omb::forms
