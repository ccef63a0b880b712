// Tool bars over the common tool bar control, their buttons, and the control
// bar that stacks tool bars in rows at the top of a window.
//
// A button with a drop-down menu opens it under itself, stays pressed while
// it is open, and moving the mouse to another menu button of the bar while
// a menu is open switches to that button's menu, as in a menu bar. Alt plus
// a caption's access letter opens that button's menu. Hints come through the
// tool bar's own tooltip window, asked for the button under the mouse.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/menus.h"

namespace omb::forms {

class TToolBar;
class TControlBar;

enum class TToolButtonStyle {
    tbsButton,     // a push button; with a drop-down menu it acts as a menu-bar button
    tbsSeparator,  // a gap of Width pixels (8 unless set)
    tbsDropDown,   // the whole button drops its menu down, with an arrow
    tbsCheck       // stays down until pressed again
};

class TToolButton : public TComponent {
public:
    explicit TToolButton(TComponent* owner);
    ~TToolButton() override;

    const char* ClassName() const override { return "TToolButton"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    TToolBar* ToolBar() const { return bar_; }
    // Places the button at the end of the bar (nullptr: off any bar).
    void SetToolBar(TToolBar* bar);
    int Index() const;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value) { hint_ = value; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool Down() const;
    void SetDown(bool value);
    TToolButtonStyle Style() const { return style_; }
    void SetStyle(TToolButtonStyle value);
    // Sized to its caption and image (the default), or Width pixels wide.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    // A separator's width; a button's width when it is not auto-sized
    // (0: the bar's button width).
    int Width() const { return width_; }
    void SetWidth(int value);
    // Marked as one of a group of buttons (kept for the layouts; a bar of
    // menu buttons groups them all).
    bool Grouped() const { return grouped_; }
    void SetGrouped(bool value) { grouped_ = value; }
    // The menu the button drops down (not owned; the button hears when it
    // is freed).
    TPopupMenu* DropdownMenu() const { return menu_; }
    void SetDropdownMenu(TPopupMenu* menu);

    // The id the button has in its bar's window.
    int Command() const { return command_; }
    // The button's rectangle in the bar's client coordinates (empty when
    // the bar has no window or the button is hidden).
    RECT BoundsRect() const;

    // Runs OnClick of an enabled button; answers whether it ran.
    virtual bool Click();
    // Runs OnUpdate (an idle pass refreshes the bar's buttons).
    void Update() { Fire(OnUpdate, this); }

    TNotifyEvent OnClick;
    std::function<void(TToolButton* button)> OnUpdate;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TToolBar;
    void Changed();

    TToolBar* bar_ = nullptr;
    std::string caption_, hint_;
    int imageIndex_ = -1;
    bool enabled_ = true, visible_ = true, down_ = false, autoSize_ = true, grouped_ = false;
    TToolButtonStyle style_ = TToolButtonStyle::tbsButton;
    int width_ = 0;
    int command_ = 0;
    TPopupMenu* menu_ = nullptr;
};

class TToolBar : public TControl, public IAccelTarget {
public:
    explicit TToolBar(TComponent* owner);
    ~TToolBar() override;

    const char* ClassName() const override { return "TToolBar"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    size_t ButtonCount() const { return buttons_.size(); }
    TToolButton* Button(size_t index) const { return buttons_[index]; }
    // Inserts a button (taken off another bar first); index past the end
    // appends.
    void InsertButton(TToolButton* button, size_t index = SIZE_MAX);
    void RemoveButton(TToolButton* button);
    int IndexOf(const TToolButton* button) const;
    // A new button owned by the bar's owner, added at the end.
    TToolButton* AddButton(const std::string& caption, TToolButtonStyle style = TToolButtonStyle::tbsButton);

    // Images of the buttons (not owned; it must outlive the bar). The
    // drop-down menus of the bar's buttons show their images from it too.
    HIMAGELIST Images() const { return images_; }
    void SetImages(HIMAGELIST value);
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    // Captions beside the images (list style); without them a button shows
    // its image only and its caption is not drawn.
    bool List() const { return list_; }
    void SetList(bool value);
    bool ShowCaptions() const { return showCaptions_; }
    void SetShowCaptions(bool value);
    bool Wrapable() const { return wrapable_; }
    void SetWrapable(bool value);
    // The width of buttons that are not auto-sized (0: the control's own).
    int ButtonWidth() const { return buttonWidth_; }
    void SetButtonWidth(int value);
    // The bar's width and height follow its buttons.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);

    void SetBounds(int left, int top, int width, int height) override;

    // Opens a button's drop-down menu under it; returns when the menu (or
    // the one the user switched to) has closed.
    void TrackMenu(TToolButton* button);
    // The button whose menu is open, if any.
    TToolButton* MenuButton() const { return menuButton_; }
    // Runs every button's OnUpdate and shows the results.
    void UpdateButtons();
    // The button under a point of the client area, if any.
    TToolButton* ButtonAt(int x, int y);
    HWND ToolTipWindow() const;

    bool HandleAccel(wchar_t letter) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool HandleCommandItem(WORD id, WORD code) override;
    bool HandleNotify(NMHDR* header, LRESULT& result) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TToolButton;
    void AddToWindow(TToolButton* button, int index);
    void ButtonChanged(TToolButton* button);
    void RebuildWindowButtons();
    void ApplyStyles();
    bool UsesImages() const;
    void AdjustSize();
    int IndexOfCommand(int command) const;
    TToolButton* ButtonOfCommand(int command) const;
    static LRESULT CALLBACK MenuFilter(int code, WPARAM wParam, LPARAM lParam) noexcept;
    bool FilterMenuMessage(const MSG& msg);

    std::vector<TToolButton*> buttons_;
    HIMAGELIST images_ = nullptr;
    bool flat_ = true, list_ = false, showCaptions_ = true, wrapable_ = false, autoSize_ = true;
    int buttonWidth_ = 0;
    int nextCommand_ = 1;
    bool sizing_ = false;
    bool windowImages_ = false;
    std::wstring tipText_;
    // While a menu is open: its button, the one to switch to after it,
    // and whether the click that closed it was on its own button.
    TToolButton* menuButton_ = nullptr;
    TToolButton* switchTo_ = nullptr;
    bool switchByKey_ = false;
    UniqueHook menuHook_;
};

// Holds tool bars in rows at the top of a window and sizes itself to them.
// Each bar's Left and Top pick its row and its place in the row; the bar
// bounds are read back as the control bar shows them, so stored bounds restored
// in any order give the same layout. A grip marks each bar's start and an
// etched line parts the rows.
class TControlBar : public TControl {
public:
    explicit TControlBar(TComponent* owner);

    const char* ClassName() const override { return "TControlBar"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    // Places the bars now (a change of a bar's bounds places them once the
    // messages are pumped, after every stored value is back).
    void ArrangeBars();
    // Space left of a bar for its grip, and around each row.
    static constexpr int kGripWidth = 11;
    static constexpr int kRowPadding = 2;
    static constexpr int kRowGap = 2;

    struct TBand {
        TBounds bounds;  // requested: Top chooses the row, Left the place
        bool visible = true;
    };
    // The pure arrangement: the bars' places and the height of all rows.
    static std::vector<TBounds> Arrange(const std::vector<TBand>& bands, int& totalHeight);

protected:
    void CreateWnd() override;
    void Loaded() override;
    void Paint(HDC dc, const RECT& clip) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class TToolBar;
    void BarChanged();

    bool autoSize_ = true;
    bool arranging_ = false;
    bool pending_ = false;
};

}  // namespace omb::forms
