// Image lists: small masked images (16 x 16 unless told otherwise) that tree
// views and tool bars borrow. The component owns its HIMAGELIST; controls
// that show it are told when it goes.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "forms/component.h"
#include "foundation/handles.h"

namespace omb::forms {

struct ImageListTraits {
    static HIMAGELIST Invalid() { return nullptr; }
    static bool Valid(HIMAGELIST h) { return h != nullptr; }
    static void Close(HIMAGELIST h) { ::ImageList_Destroy(h); }
};
using UniqueImageList = UniqueResource<HIMAGELIST, ImageListTraits>;

class TImageList : public TComponent {
public:
    explicit TImageList(TComponent* owner, int width = 16, int height = 16);
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;

    const char* ClassName() const override { return "TImageList"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    HIMAGELIST Handle() const { return list_.get(); }
    int Count() const;
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Adds the images of a bitmap (a strip of Width()-wide images, or one)
    // with `mask` as the transparent colour; answers the first new index,
    // or -1. The bitmap stays the caller's (its masked pixels turn black).
    int AddMasked(HBITMAP bitmap, COLORREF mask);
    // Adds a strip from a bitmap resource; the mask colour is the strip's
    // bottom-left pixel unless one is given. Answers the first new index.
    int AddResource(HINSTANCE module, const std::string& name, COLORREF mask = CLR_DEFAULT);
    void Clear();
    void Draw(HDC dc, int x, int y, int index) const;

private:
    // Created before the controls that show it, the list outlives them
    // (an owner frees the last created first).
    UniqueImageList list_;
    int width_, height_;
};

}  // namespace omb::forms
