#include "extender/operations.h"

#include <atomic>

#include "extender/module.h"

namespace omb::ea {

HRESULT TOperation::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IOperation>(this, iid, object)) return S_OK;
    return TAbstractParamsItem::QueryImpl(iid, object);
}

namespace {
std::atomic<long> g_loadedBitmaps{0};
}

long TOperation::LoadedBitmaps() {
    return g_loadedBitmaps.load();
}

TOperation::Picture::~Picture() {
    Reset(std::string());
}

void TOperation::Picture::Reset(const std::string& newName) {
    if (bitmap) --g_loadedBitmaps;
    bitmap.reset();
    tried = false;
    name = newName;
}

HBITMAP TOperation::Bitmap(Picture& picture) {
    SrwExclusive lock(picturesLock_);
    if (!picture.tried && !picture.name.empty()) {
        picture.tried = true;
        picture.bitmap.reset(::LoadBitmapA(LibraryInstance(), picture.name.c_str()));
        if (picture.bitmap) ++g_loadedBitmaps;
    }
    return static_cast<HBITMAP>(picture.bitmap.get());
}

void TOperation::Init() {
    TAbstractParamsItem::Init();
    SrwExclusive lock(picturesLock_);
    for (Picture* picture : {&image_, &downImage_, &imageSmall_, &downImageSmall_}) picture->Reset(std::string());
}

void TOperation::ParseParam(const std::string& key, const std::string& value) {
    try {
        TAbstractParamsItem::ParseParam(key, value);
        if (key == "CAPTION") caption_ = value;
        if (key == "HINT") hint_ = value;
        if (key == "DEFAULT") default_ = IsYes(value);
        if (key == "DIRECTCALL") directCall_ = IsYes(value);
        Picture* picture = key == "IMAGE"             ? &image_
                           : key == "DOWNIMAGE"       ? &downImage_
                           : key == "IMAGE_SMALL"     ? &imageSmall_
                           : key == "DOWNIMAGE_SMALL" ? &downImageSmall_
                                                      : nullptr;
        if (picture) {
            SrwExclusive lock(picturesLock_);
            picture->Reset(value);
        }
    } catch (...) {
    }
}

void RegisterOperationClasses() {
    RegisterItemClass<TOperation>(kOperationType);
}

}  // namespace omb::ea
