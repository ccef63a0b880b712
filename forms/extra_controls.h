// Controls of ours beside the standard ones: the splitter between two
// aligned controls, a vertical scroll box, an image that draws a bitmap
// (transparently when asked) and a link label.
#pragma once

#include "forms/controls.h"
#include "foundation/handles.h"

namespace omb::forms {

// A bar that drags the size of its neighbour: the visible control aligned
// to the same side whose edge it touches (the one before it in the align
// order). The neighbour never gets smaller than MinSize, and the space left
// for the rest never either, so nothing snaps shut. The bar draws nothing
// but its background.
class TSplitter : public TControl {
public:
    explicit TSplitter(TComponent* owner);
    const char* ClassName() const override { return "TSplitter"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    int MinSize() const { return minSize_; }
    void SetMinSize(int value) { minSize_ = value < 1 ? 1 : value; }
    // The control the bar resizes (null: none touches it).
    TControl* FindNeighbour() const;
    bool Dragging() const { return neighbour_ != nullptr; }

    // The drag ended with a new size.
    TNotifyEvent OnMoved;

protected:
    void CreateParams(TCreateParams& params) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool Horizontal() const;
    void StartDrag();
    void DragTo(POINT screen);
    void EndDrag();

    int minSize_ = 30;
    TControl* neighbour_ = nullptr;
    POINT start_{0, 0};
    int startSize_ = 0, maxSize_ = 0;
};

// A borderless container that scrolls its children vertically when they
// need more height than it has: top-aligned children stack from the top,
// others keep their places; the wheel and the scroll bar move them.
class TScrollBox : public TControl {
public:
    explicit TScrollBox(TComponent* owner) : TControl(owner) {}
    const char* ClassName() const override { return "TScrollBox"; }
    RECT ClientRectForChildren() override;

    // Height the children need, and the current scroll position.
    int ContentHeight() const;
    int Position() const { return pos_; }
    void ScrollTo(int position);
    int MaxPosition();

protected:
    void CreateParams(TCreateParams& params) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ChildrenArranged() override;

private:
    void UpdateScrollBar();
    int LineHeight() const;

    int pos_ = 0;
    bool updating_ = false;
};

// A bitmap, drawn at the top left (or centred). Transparent: the colour of
// the bottom-left pixel shows the background through.
class TImage : public TControl {
public:
    explicit TImage(TComponent* owner) : TControl(owner) {}
    const char* ClassName() const override { return "TImage"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    // Takes the bitmap over.
    void SetBitmap(HBITMAP bitmap);
    HBITMAP Bitmap() const { return static_cast<HBITMAP>(bitmap_.get()); }
    // A bitmap resource of `module`; false when there is none.
    bool LoadFromResource(HINSTANCE module, const std::string& name);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value);

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint(HDC dc, const RECT& clip) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    UniqueGdiObject bitmap_;
    bool transparent_ = false, center_ = false;
};

// A label that acts as a link: blue and underlined, the hand cursor, a
// click reported by OnClick; with TabStop set, Enter or Space when it has
// the focus clicks too.
class TLinkLabel : public TLabel {
public:
    explicit TLinkLabel(TComponent* owner);
    const char* ClassName() const override { return "TLinkLabel"; }
    static constexpr COLORREF kLinkColor = RGB(0, 0, 255);

protected:
    TFontSpec DrawingFont() const override;
    void Paint(HDC dc, const RECT& clip) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace omb::forms
