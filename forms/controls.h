// The standard controls of the form library: containers of ours (panel,
// frame, group box) and objects over the system's button, static, edit and
// combo box classes.
#pragma once

#include "forms/control.h"

namespace omb::forms {

enum class TBevel { bvNone, bvLowered, bvRaised };

// A container of ours; with no bevel it is just a background.
class TPanel : public TControl {
public:
    explicit TPanel(TComponent* owner) : TControl(owner) {}
    const char* ClassName() const override { return "TPanel"; }
    TBevel BevelOuter() const { return bevel_; }
    void SetBevelOuter(TBevel value) {
        bevel_ = value;
        Invalidate();
    }

protected:
    void Paint(HDC dc, const RECT& clip) override;
    RECT ClientRectForChildren() override;

private:
    TBevel bevel_ = TBevel::bvNone;
};

// A child window that can be parented and re-parented as a unit: the
// editor's detail panels are frames. Its layout is scaled once at Loaded,
// its own bounds too when no owner's layout scales them.
class TFrame : public TControl {
public:
    explicit TFrame(TComponent* owner) : TControl(owner) {}
    const char* ClassName() const override { return "TFrame"; }

protected:
    void Loaded() override;
};

// A group frame with a caption, as a container of ours: its children's
// notifications reach their objects and Tab walks into it. The frame is
// the theme's group box where themes are on, an etched edge otherwise; the
// children's area is inset by the caption font's real height.
class TGroupBox : public TControl {
public:
    explicit TGroupBox(TComponent* owner) : TControl(owner) {}
    const char* ClassName() const override { return "TGroupBox"; }
    RECT ClientRectForChildren() override;
    // What the frame and caption take: the children's area is the window
    // less these (left, top, right, bottom).
    RECT FrameInsets();
    void SetText(const std::string& text) override;

protected:
    void Paint(HDC dc, const RECT& clip) override;
};

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);
    const char* ClassName() const override { return "TLabel"; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
    void SetAlignment(TAlignment value);
    void SetLayoutCentered(bool value);  // vertically centred
    void SetTransparent(bool value) { transparent_ = value; }
    void SetText(const std::string& text) override;
    // Width and height of the text in the label's font.
    SIZE TextExtent();

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Paint(HDC dc, const RECT& clip) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AdjustSize();
    // The font the text is drawn in (a link label underlines it).
    virtual TFontSpec DrawingFont() const { return Font(); }

    bool autoSize_ = true, wordWrap_ = false, transparent_ = true, centered_ = false;
    TAlignment alignment_ = TAlignment::taLeftJustify;
};

class TButtonControl : public TControl {
public:
    explicit TButtonControl(TComponent* owner) : TControl(owner) { SetTabStop(true); }

protected:
    bool HandleCommand(WORD code) override;
    // Set while the state changes without a click event (a value shown
    // from code).
    bool clicksDisabled_ = false;
};

class TButton : public TButtonControl {
public:
    explicit TButton(TComponent* owner) : TButtonControl(owner) {}
    const char* ClassName() const override { return "TButton"; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int value) { modalResult_ = value; }
    bool Default() const { return default_; }
    void SetDefault(bool value) { default_ = value; }
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    void Click() override;

protected:
    void CreateParams(TCreateParams& params) override;

private:
    int modalResult_ = 0;
    bool default_ = false, cancel_ = false;
};

class TCheckBox : public TButtonControl {
public:
    explicit TCheckBox(TComponent* owner) : TButtonControl(owner) {}
    const char* ClassName() const override { return "TCheckBox"; }
    bool Checked() const;
    // Sets the state; a change from code fires OnClick like a click does
    // (unless clicks are disabled).
    virtual void SetChecked(bool value);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Click() override;
    bool checked_ = false;
};

class TRadioButton : public TButtonControl {
public:
    explicit TRadioButton(TComponent* owner) : TButtonControl(owner) {}
    const char* ClassName() const override { return "TRadioButton"; }
    bool Checked() const;
    // Checks this button (and unchecks its siblings); fires OnClick when
    // the state changes.
    void SetChecked(bool value);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Click() override;

private:
    bool checked_ = false;
};

class TCustomEdit : public TControl {
public:
    explicit TCustomEdit(TComponent* owner) : TControl(owner) {
        SetTabStop(true);
        SetColor(::GetSysColor(COLOR_WINDOW));
    }
    int SelStart() const;
    void SetSelStart(int value);
    int SelLength() const;
    void SetSel(int start, int length);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    TNotifyEvent OnChange;

protected:
    bool HandleCommand(WORD code) override;
    HBRUSH CtlColor(HDC dc) override;
    bool readOnly_ = false;
};

class TEdit : public TCustomEdit {
public:
    explicit TEdit(TComponent* owner) : TCustomEdit(owner) { wantReturn_ = true; }
    const char* ClassName() const override { return "TEdit"; }

protected:
    void CreateParams(TCreateParams& params) override;
};

// A multi-line edit; read-only memos keep the theme's face colour.
class TMemo : public TCustomEdit {
public:
    explicit TMemo(TComponent* owner) : TCustomEdit(owner) {}
    const char* ClassName() const override { return "TMemo"; }
    void SetScrollBars(bool vertical) { vertical_ = vertical; }
    void SetText(const std::string& text) override;

protected:
    void CreateParams(TCreateParams& params) override;

private:
    bool vertical_ = true;
};

enum class TComboBoxStyle { csDropDown, csDropDownList };

// A combo box; every item carries an object pointer of its owner's.
class TComboBox : public TControl {
public:
    explicit TComboBox(TComponent* owner);
    ~TComboBox() override;
    const char* ClassName() const override { return "TComboBox"; }
    void SetStyle(TComboBoxStyle style) { style_ = style; }
    TComboBoxStyle Style() const { return style_; }
    void SetSorted(bool value) { sorted_ = value; }

    int ItemCount() const;
    std::string Item(int index) const;
    void* ItemObject(int index) const;
    int AddItem(const std::string& text, void* object = nullptr);
    void InsertItem(int index, const std::string& text, void* object = nullptr);
    void DeleteItem(int index);
    void ClearItems();
    int ItemIndex() const;
    void SetItemIndex(int index);
    std::string Text() const override;
    void SetText(const std::string& text) override;
    // The edit field's selection (drop-down style).
    void SetSel(int start, int length);
    int SelStart() const;
    int SelLength() const;
    bool DroppedDown() const;
    // The edit field inside a drop-down combo box.
    HWND EditHandle() const { return edit_; }
    // The combo box's own windows: itself, its edit field, its list.
    bool OwnsWindow(HWND window) const;

    TNotifyEvent OnChange, OnSelect;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    bool HandleCommand(WORD code) override;
    HBRUSH CtlColor(HDC dc) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The user changed the text (typing or choosing from the list).
    virtual void Change() { Fire(OnChange, this); }
    // Messages of the inner edit field, before its own procedure.
    virtual bool EditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR) noexcept;
    void UnhookEdit() noexcept;
    TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
    bool sorted_ = false;
    HWND edit_ = nullptr;
};

}  // namespace omb::forms
