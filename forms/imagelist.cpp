#include "forms/imagelist.h"

#include <stdexcept>

#include "foundation/handles.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

// The colour of a bitmap's bottom-left pixel: what classic strips paint
// their transparent parts with.
COLORREF BottomLeftColor(HBITMAP bitmap) {
    BITMAP info{};
    if (!::GetObjectW(bitmap, sizeof(info), &info) || info.bmHeight == 0) return RGB(255, 0, 255);
    MemoryDC dc(nullptr, bitmap);
    return ::GetPixel(dc.get(), 0, (info.bmHeight < 0 ? -info.bmHeight : info.bmHeight) - 1);
}

}  // namespace

const TPropTable& TImageList::StaticProps() {
    static const TPropTable table{&TComponent::StaticProps(), {}};
    return table;
}

TImageList::TImageList(TComponent* owner, int width, int height)
    : TComponent(owner), width_(width), height_(height) {
    list_.reset(::ImageList_Create(width_, height_, ILC_COLOR24 | ILC_MASK, 4, 4));
    if (!list_) throw std::runtime_error(LastErrorText("ImageList_Create"));
}

int TImageList::Count() const { return ::ImageList_GetImageCount(list_.get()); }

int TImageList::AddMasked(HBITMAP bitmap, COLORREF mask) {
    if (!bitmap) return -1;
    return ::ImageList_AddMasked(list_.get(), bitmap, mask);
}

int TImageList::AddResource(HINSTANCE module, const std::string& name, COLORREF mask) {
    const std::wstring wide = ToWide(name);
    UniqueGdiObject bitmap(::LoadImageW(module, wide.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) return -1;
    HBITMAP h = static_cast<HBITMAP>(bitmap.get());
    return AddMasked(h, mask == CLR_DEFAULT ? BottomLeftColor(h) : mask);
}

void TImageList::Clear() { ::ImageList_RemoveAll(list_.get()); }

void TImageList::Draw(HDC dc, int x, int y, int index) const {
    ::ImageList_Draw(list_.get(), index, dc, x, y, ILD_TRANSPARENT);
}

}  // namespace omb::forms
