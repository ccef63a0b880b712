// Forms: top-level windows with a border style, border icons, a position
// rule, a window state recorded while hidden, an active control, the show,
// close-query and destroy handlers, and a modal loop of their own.
#pragma once

#include "forms/control.h"

namespace omb::forms {

class TButton;

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
enum class TPosition {
    poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
    poMainFormCenter, poOwnerFormCenter
};
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort, mrRetry, mrIgnore, mrYes, mrNo };

using TCloseQueryEvent = std::function<void(TComponent* sender, bool& canClose)>;
using TShortCutEvent = std::function<void(const MSG& message, bool& handled)>;

class TForm : public TControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;
    // The destroy handler, then the window.
    void BeforeDestruction() override;

    const char* ClassName() const override { return "TForm"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle value);
    unsigned BorderIcons() const { return borderIcons_; }
    // Changes the window's icons in place.
    void SetBorderIcons(unsigned value);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition value) { position_ = value; }
    TWindowState WindowState() const;
    // Applied at once when the form shows; recorded while it is hidden.
    void SetWindowState(TWindowState value);
    // Records the state for the next show without applying it now.
    void RecordWindowState(TWindowState value) { windowState_ = value; }
    int PixelsPerInch() const;

    TControl* ActiveControl() const;
    void SetActiveControl(TControl* control);
    // The focused control stores what the user typed (see CommitEdit).
    void CommitActiveControl();

    void SetVisible(bool value) override;
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Runs the form modally; answers its modal result.
    int ShowModal();
    bool Modal() const { return modal_; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int value) { modalResult_ = value; }
    // Closes the form: a modal form ends its loop, others hide after the
    // close query allowed it.
    void Close();
    // The active control commits, then OnCloseQuery decides.
    virtual bool CloseQuery();

    // The window this form's window is owned by.
    HWND OwnerWindow() const;

    TNotifyEvent OnCreate, OnShow, OnHide, OnDestroy;
    TCloseQueryEvent OnCloseQuery;
    TShortCutEvent OnShortCut;

    // Short-cut and Alt+letter handling of a key message meant for this
    // form; true when it was consumed.
    bool IsShortCut(const MSG& message);

protected:
    void CreateParams(TCreateParams& params) override;
    // The application's icons on the window.
    void CreateWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Loaded() override;
    // A control that goes is no longer the active one.
    void Notification(TComponent* component, TOperation operation) override;
    virtual void DoShow() { Fire(OnShow, this); }

private:
    // Remembers the active control and asks to be told when it goes.
    void RememberActive(TControl* control);
    void PlaceAtFirstShow();
    bool HandleAltLetter(wchar_t letter);
    // The shown, enabled default (Enter) or cancel (Esc) button, if any.
    TButton* DialogButton(bool isDefault);
    // Brought forward by another instance of the program: restored, the
    // foreground, and the keyboard focus on its control again.
    void TakeKeyboardBack();
    void FireDestroy();
    // Leaves the screen's list of forms (and the main form's place).
    void Unlist();

    TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
    unsigned borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TPosition position_ = TPosition::poDesigned;
    TWindowState windowState_ = TWindowState::wsNormal;
    TControl* activeControl_ = nullptr;
    bool modal_ = false;
    bool placed_ = false;
    bool destroyFired_ = false;
    int modalResult_ = mrNone;
};

// The form a window belongs to.
TForm* FormOfWindow(HWND window);

}  // namespace omb::forms
