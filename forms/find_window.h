// The window finder: a 32 x 32 control the user drags a cross-hair from
// onto any window of the desktop. While the left button is held, the window
// under the cursor is outlined and reported; the owner may replace or
// refuse it. The finder only reports window handles: callers read class
// names and captions with the rule matching's own routines.
//
// The outline is a topmost, click-through popup shaped like a 3-pixel frame
// over the window's edge, so it shows over any program's window and never
// touches that window's pixels; the window-from-point test passes through
// it. The programs that use the finder link the target forms_resources.
#pragma once

#include <windows.h>

#include <functional>

#include "forms/control.h"
#include "foundation/handles.h"

namespace omb::forms {

using TBeforeSelectWindowEvent = std::function<void(TComponent* sender, HWND& window, bool& cancel)>;
using TAfterSelectWindowEvent = std::function<void(TComponent* sender, HWND window)>;

// The outline's colour and thickness.
constexpr COLORREF kFinderOutlineColor = RGB(255, 0, 0);
constexpr int kFinderOutlineWidth = 3;

// The first window, going up from this one, that is not a child of its
// parent: the top-level window containing it (0 for 0).
HWND TopLevelWindowOf(HWND window);

// The frame popup the finder outlines windows with. One window of ours,
// created on first use and destroyed with the object.
class TWindowOutline {
public:
    TWindowOutline() = default;
    TWindowOutline(const TWindowOutline&) = delete;
    TWindowOutline& operator=(const TWindowOutline&) = delete;
    // Covers the window's outer `kFinderOutlineWidth` pixels; hides the
    // outline for 0, a handle that is no longer a window or an empty one.
    void Show(HWND window);
    void Hide();
    bool Visible() const;
    // The outline's own window (0 before the first outline).
    HWND Handle() const { return popup_.get(); }

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    UniqueWindow popup_;
    RECT placed_{0, 0, 0, 0};
};

class TFindWindow : public TControl {
public:
    explicit TFindWindow(TComponent* owner);
    ~TFindWindow() override;
    const char* ClassName() const override { return "TFindWindow"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    // The size stays 32 x 32.
    void SetBounds(int left, int top, int width, int height) override;
    // The hint is the window's text too: the finder draws no text, and its
    // window is known by that name to screen readers and test tools.
    void SetHint(const std::string& hint) override;

    // True: the innermost window under the cursor is taken; false: the
    // top-level window that contains it.
    bool SelectedChildWindow() const { return selectedChildWindow_; }
    void SetSelectedChildWindow(bool value);

    bool Dragging() const { return dragging_; }
    // The window outlined now (0 when none, always 0 at rest).
    HWND CurrentWindow() const { return current_; }
    // The outline's popup, for tests and callers that must skip it.
    HWND OutlineWindow() const { return outline_.Handle(); }

    // May replace the window (by reference) or refuse it (cancel := true).
    TBeforeSelectWindowEvent BeforeSelectWindow;
    // Reports the newly outlined window; the last report of a drag is the
    // user's choice. Nothing fires at the release.
    TAfterSelectWindowEvent AfterSelectWindow;

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint(HDC dc, const RECT& clip) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void BeginDrag();
    // The release, a lost capture and a cancelled mode all end here.
    void EndDrag();
    void MouseMoved(POINT client);
    void HighlightWindow(HWND window);

    UniqueGdiObject onBitmap_, offBitmap_;
    HCURSOR dragCursor_ = nullptr;
    HCURSOR savedCursor_ = nullptr;
    bool dragging_ = false;
    bool selectedChildWindow_ = true;
    HWND current_ = nullptr;
    HWND selected_ = nullptr;
    TWindowOutline outline_;
};

}  // namespace omb::forms
