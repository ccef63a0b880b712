// Controls: objects that own a window. A control of ours has the library's
// own window class; a control over a system class (button, edit, tree
// view...) has its window procedure replaced by the library's, the object
// found in a table of the process by window handle. Either way one
// noexcept procedure finds the object, calls its virtual handler inside
// try/catch and hands failures to the application's error report.
//
// Three ways of subclassing stand side by side, each for a reason:
// - the controls' own windows: the procedure replaced and the table of the
//   process, because the system's subclass chain keeps its data in a window
//   property, which Wine asks its server for on every message;
// - windows that are no control object of the library, or layers over a
//   control's procedure, use the system's subclass chain (SetWindowSubclass),
//   which stays sound whoever else subclasses the window and in whatever
//   order the layers go: a combo box's inner edit field (a window of the
//   system combo box), the window hooks of rx_hook.h (removed while others
//   may sit above them), the hint tooltip's sizing;
// - the hook library (extender/) subclasses windows of other programs with
//   its own slots; it shares no code with this library.
//
// A control's window and the subclasses on it go in the destroy step
// (BeforeDestruction) while the whole object exists; no destructor reaches
// a virtual function.
//
// Bounds are kept in the object (pixels of the parent's client area), so a
// layout can be built before any window exists. A container places its
// children by alignment and anchors in one synchronous pass whenever a
// child or the container changes (the windows that move are moved in one
// deferred-position batch).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/component.h"
#include "forms/layout.h"

namespace omb::forms {

class TControl;
class TForm;

using TNotifyEvent = std::function<void(TComponent* sender)>;
using TKeyPressEvent = std::function<void(TComponent* sender, wchar_t& key)>;
using TKeyEvent = std::function<void(TComponent* sender, WORD& key, unsigned shift)>;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
constexpr unsigned ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32;
using TMouseEvent = std::function<void(TComponent* sender, TMouseButton button, unsigned shift, int x, int y)>;

// Calls a handler through a copy: the handler may free its sender, and with
// it the member the handler lives in.
template <typename F, typename... A> void Fire(const F& event, A&&... args) {
    if (!event) return;
    F copy = event;
    copy(std::forward<A>(args)...);
}

struct TFontSpec {
    std::string name = "MS Sans Serif";
    int height = -11;  // design pixels (96 per inch); negative: character height
    bool bold = false, italic = false, underline = false;
    COLORREF color = CLR_INVALID;  // CLR_INVALID: the window text colour
    bool operator==(const TFontSpec& o) const {
        return name == o.name && height == o.height && bold == o.bold && italic == o.italic &&
               underline == o.underline && color == o.color;
    }
};
// The font for a description at the screen's pixels per inch; owned by a
// process-wide cache until FreeFontCache.
HFONT FontHandle(const TFontSpec& font);
void FreeFontCache();

constexpr COLORREF clDefault = CLR_INVALID;
COLORREF ColorBtnFace();

struct TCreateParams {
    std::wstring className;  // empty: the control's own class
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    UINT classStyle = CS_DBLCLKS;
    HCURSOR cursor = nullptr;
};

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    const char* ClassName() const override { return "TControl"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    // The parent control; the window moves with it. A control without a
    // parent keeps its window under a hidden parking window.
    TControl* Parent() const { return parent_; }
    void SetParent(TControl* parent);
    size_t ControlCount() const { return controls_.size(); }
    TControl* Control(size_t index) const { return controls_[index]; }
    // Moves a child to a place in the list (and the align order).
    void SetChildIndex(TControl* child, size_t index);

    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.width; }
    int Height() const { return bounds_.height; }
    void SetLeft(int v) { SetBounds(v, bounds_.top, bounds_.width, bounds_.height); }
    void SetTop(int v) { SetBounds(bounds_.left, v, bounds_.width, bounds_.height); }
    void SetWidth(int v) { SetBounds(bounds_.left, bounds_.top, v, bounds_.height); }
    void SetHeight(int v) { SetBounds(bounds_.left, bounds_.top, bounds_.width, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    TBounds Bounds() const { return bounds_; }
    // The area children are placed in, in client coordinates.
    virtual RECT ClientRectForChildren();
    int ClientWidth();
    int ClientHeight();
    void SetClientWidth(int value);
    void SetClientHeight(int value);

    TAlign Align() const { return align_; }
    void SetAlign(TAlign value);
    unsigned Anchors() const { return anchors_; }
    void SetAnchors(unsigned value);

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool value);
    // The window's text (caption of a button, label, form; text of an edit).
    virtual std::string Text() const;
    virtual void SetText(const std::string& text);
    std::string Caption() const { return Text(); }
    void SetCaption(const std::string& text) { SetText(text); }
    const std::string& Hint() const { return hint_; }
    virtual void SetHint(const std::string& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value) { showHint_ = value; }
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool value);

    const TFontSpec& Font() const { return font_; }
    void SetFont(const TFontSpec& font);
    bool ParentFont() const { return parentFont_; }
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF color);
    // The colour the control paints its background with.
    COLORREF BackgroundColor() const;

    // The window, created on first need (with the parent's).
    HWND Handle();
    HWND WindowHandle() const { return hwnd_; }
    bool HandleAllocated() const { return hwnd_ != nullptr; }
    void HandleNeeded() { Handle(); }
    // Destroys the window with every layer's handling (DestroyWnd, the
    // messages of the destruction): only while the whole object exists,
    // never from a destructor.
    void DestroyHandle();

    // Children go to the parking window, then the window is destroyed.
    void BeforeDestruction() override;

    bool Focused() const;
    bool CanFocus() const;
    virtual void SetFocus();
    void Invalidate();
    void Repaint();
    void Realign();
    // Keeps the window from painting until the matching EnableRedraw.
    void DisableRedraw();
    void EnableRedraw();

    // Stores a value the user is typing: the form asks the focused control
    // before it carries out a command, so a tool button (which takes no
    // focus) never loses an edit in progress.
    virtual void CommitEdit() { DoExit(); }

    TNotifyEvent OnClick, OnEnter, OnExit, OnResize, OnDblClick;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyDown;
    TMouseEvent OnMouseDown, OnMouseUp;
    std::function<void(TComponent* sender, unsigned shift, int x, int y)> OnMouseMove;

    // The control whose window (or a window inside it) this is.
    static TControl* FromHandle(HWND window);
    // The form the control lies on.
    TForm* ParentForm();

protected:
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

    virtual void CreateParams(TCreateParams& params);
    // The window exists: fonts, texts and children follow.
    virtual void CreateWnd();
    virtual void DestroyWnd() {}
    // Messages of the control's own window.
    virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);
    // A request of this object to its own system control that its handling
    // (WndProc) never looks at, given straight to the control's class
    // procedure: the subclass chain costs Wine a window-property lookup in
    // the server for every message, which a bulk of requests (a thousand
    // tree items) feels. Needs the window.
    LRESULT SendToSystemControl(UINT message, WPARAM wParam, LPARAM lParam);
    // A notification sent to the parent by this control (WM_COMMAND code).
    virtual bool HandleCommand(WORD code);
    // The same with the item id the message names (a tool bar's button).
    virtual bool HandleCommandItem(WORD id, WORD code) {
        (void)id;
        return HandleCommand(code);
    }
    virtual bool HandleNotify(NMHDR* header, LRESULT& result);
    // Background of this control when the parent is asked (WM_CTLCOLOR*).
    virtual HBRUSH CtlColor(HDC dc);
    // Own classes paint here (the background is already filled).
    virtual void Paint(HDC dc, const RECT& clip);
    virtual void Resize();
    // The children have just been placed (a scroll box sets its range).
    virtual void ChildrenArranged() {}
    virtual void DoEnter() { Fire(OnEnter, this); }
    virtual void DoExit() { Fire(OnExit, this); }
    virtual void Click() { Fire(OnClick, this); }
    // Whether the control asks for Enter (an edit that acts on it).
    bool wantReturn_ = false;
    bool ownClass_ = true;
    // Set while the control's window is being created or destroyed.
    bool creating_ = false;
    unsigned redrawLocks_ = 0;
    // The class procedure of a system control's window.
    WNDPROC classProc_ = nullptr;
    // The procedure a system control's window had before this object's.
    WNDPROC originalProc_ = nullptr;
    // The font the window was last given (WM_SETFONT).
    HFONT sentFont_ = nullptr;

    // What a destructor does with a window still there: the children go
    // to the parking window, the window is unlinked from this object (no
    // message reaches it any more) and destroyed.
    void ReleaseWindow() noexcept;
    void RequestRealign();
    void SetVisibleFlag(bool value) { visible_ = value; }
    void ParentFontChanged();
    HWND ParentHandle();

private:
    friend struct TControlAccess;
    static LRESULT CALLBACK StaticWndProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleContainerMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void CreateHandleNow();
    void ParkChildren();
    void MoveWindowToBounds();
    // Records the parent's children area as the size anchors measure from.
    void TakeAnchorReference();
    void RemoveChild(TControl* child);
    void ArrangeNow();
    void PlaceChildren();
    bool HasPendingRealign() const { return realignPending_; }

    TControl* parent_ = nullptr;
    std::vector<TControl*> controls_;
    TBounds bounds_{0, 0, 0, 0};
    int refWidth_ = 0, refHeight_ = 0;
    TAlign align_ = TAlign::alNone;
    unsigned anchors_ = kDefaultAnchors;
    bool visible_ = true, enabled_ = true, showHint_ = true, tabStop_ = false;
    bool parentFont_ = true;
    bool realignPending_ = false;
    bool arranging_ = false;
    std::string text_, hint_;
    TFontSpec font_;
    COLORREF color_ = clDefault;
    HWND hwnd_ = nullptr;
    HBRUSH backBrush_ = nullptr;
    COLORREF backBrushColor_ = CLR_INVALID;
};

using TWinControl = TControl;

// A control that answers Alt+letter (a tool bar with menu buttons).
struct IAccelTarget {
    virtual bool HandleAccel(wchar_t letter) = 0;

protected:
    ~IAccelTarget() = default;
};

// Hints: one tooltip window of the process shows every control's hint. A
// control with a hint is one tool of it while its window lives in a parent
// of ours: re-parenting moves the tool, parking or destroying removes it.
void UpdateToolTip(TControl* control);
// Takes a window's tool out, whichever parent it was added under.
void RemoveToolTip(HWND window) noexcept;
// The hint window; nullptr before the first hint.
HWND HintToolTipWindow();
void DeactivateToolTips(bool deactivate);
// Tooltip windows of controls that own one (a tool bar's): notifications
// from them reach the owning control.
void RegisterToolTipOwner(HWND tooltip, TControl* owner);
void UnregisterToolTipOwner(HWND tooltip);
TControl* ToolTipOwner(HWND tooltip);
// A menu item's command (WM_COMMAND from a menu); true when one handled it.
bool DispatchMenuCommand(UINT id);
void SetMenuCommandDispatcher(std::function<bool(UINT id)> dispatcher);

// The hidden window that holds the windows of controls without a parent.
HWND ParkingWindow();
// The design pixels per inch of layouts built in code.
constexpr int kDesignPixelsPerInch = 96;
// Scales the bounds of a layout's controls once from design pixels.
void ScaleLayout(TComponent* root, int pixelsPerInch);
// The same for one control (a frame that no owner scales).
void ScaleControl(TControl* control, int pixelsPerInch);

}  // namespace omb::forms
