// Menus: items with captions, access keys, short-cut texts, images, check
// marks and sub-items, and popup menus that build their menu handle from the
// items each time they open (so every item shows its state of that moment).
//
// Every item has a command id unique in the process; WM_COMMAND carrying it,
// from any window of ours, reaches the item's OnClick through the menu
// command dispatcher. Just before a menu (or one of its sub-menus) opens,
// its items' OnUpdate handlers run, so the state they are linked to (an
// action's caption and enabled state) shows fresh.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/control.h"
#include "foundation/handles.h"

namespace omb::forms {

class TPopupMenu;

// "Ctrl+S", "Shift+F1", "Alt+Del": the text a menu shows for a key with
// ssShift / ssCtrl / ssAlt; empty for key 0.
std::string ShortCutText(WORD key, unsigned shift);
// The letter after the first single "&" of a caption, upper-cased; 0 for none.
wchar_t AccessKeyOf(const std::string& caption);

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;

    const char* ClassName() const override { return "TMenuItem"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    // "&" marks the access key; "-" makes a separator line.
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value) { caption_ = value; }
    bool IsSeparator() const { return caption_ == "-"; }
    // Shown right-aligned after the caption ("Ctrl+S").
    const std::string& ShortCutText() const { return shortCutText_; }
    void SetShortCutText(const std::string& value) { shortCutText_ = value; }
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value) { hint_ = value; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value) { visible_ = value; }
    // Index into the menu's image list; -1 for none.
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value) { imageIndex_ = value; }

    // Sub-items, in display order. The item does not own them (their owner
    // does); an item that goes leaves its parent's list by itself.
    size_t Count() const { return items_.size(); }
    TMenuItem* Item(size_t index) const { return items_[index]; }
    TMenuItem* ParentItem() const { return parentItem_; }
    void Add(TMenuItem* item);
    void Insert(size_t index, TMenuItem* item);
    void Remove(TMenuItem* item);
    int IndexOf(const TMenuItem* item) const;
    // The sub-item whose caption has this access letter (any case).
    TMenuItem* FindByAccessKey(wchar_t letter) const;

    // The item's command id (never 0, 1 or 2: those are the dialog's
    // OK and Cancel).
    UINT Command() const { return command_; }
    static TMenuItem* FromCommand(UINT command);

    // Runs OnClick of an enabled item; answers whether it ran.
    virtual bool Click();
    // Runs OnUpdate (the menu is about to show the item).
    void Update();

    TNotifyEvent OnClick;
    std::function<void(TMenuItem* item)> OnUpdate;

private:
    friend class TPopupMenu;
    std::string caption_, shortCutText_, hint_;
    bool enabled_ = true, checked_ = false, visible_ = true;
    int imageIndex_ = -1;
    UINT command_ = 0;
    TMenuItem* parentItem_ = nullptr;
    std::vector<TMenuItem*> items_;
    // The menu handle this item's sub-items were last built into, and the
    // menu holding this item; kept for updates while the menu is open.
    HMENU builtSubMenu_ = nullptr;
    HMENU builtInMenu_ = nullptr;
};

enum class TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* owner);
    ~TPopupMenu() override;

    const char* ClassName() const override { return "TPopupMenu"; }

    // The root item: its sub-items are the menu's items.
    TMenuItem* Items() { return &root_; }
    // Images of the items (not owned; it must outlive the menu).
    HIMAGELIST Images() const { return images_; }
    void SetImages(HIMAGELIST value) { images_ = value; }
    TPopupAlignment Alignment() const { return alignment_; }
    void SetAlignment(TPopupAlignment value) { alignment_ = value; }

    // Updates every item, builds the menu handle anew and tracks it at the
    // screen point; returns when the menu has closed. A chosen item's
    // OnClick runs from the WM_COMMAND that follows. `exclude` (screen
    // coordinates) is kept clear, as a menu button's rectangle is.
    void Popup(int x, int y, const RECT* exclude = nullptr);
    // Builds the handle from the items without showing it.
    void Rebuild();
    HMENU Handle() const { return menu_.get(); }
    // The open popup menu, if any.
    static TPopupMenu* Current();
    // Closes the menu that is open (from a handler or a hook).
    static void CloseCurrent();
    // Of the open menu's highlighted item: whether it opens a sub-menu, and
    // whether it lies in the top level of the menu (no sub-menu is open).
    static bool SelectionOpensSubMenu();
    static bool SelectionInRoot();

    TNotifyEvent OnPopup;
    // The menu has closed (the chosen item's command is still to come).
    TNotifyEvent OnClose;

private:
    friend struct TMenuOwnerWindow;
    void BuildInto(HMENU menu, TMenuItem* parent);
    void UpdateBuiltItems(HMENU menu);
    TMenuItem* ItemOfSubMenu(HMENU menu);

    TMenuItem root_;
    UniqueMenu menu_;
    HIMAGELIST images_ = nullptr;
    TPopupAlignment alignment_ = TPopupAlignment::paLeft;
};

}  // namespace omb::forms
