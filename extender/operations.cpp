#include "extender/operations.h"

#include "extender/module.h"

namespace omb::ea {

HRESULT TOperation::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IOperation>(this, iid, object)) return S_OK;
    return TAbstractParamsItem::QueryImpl(iid, object);
}

void TOperation::Init() {
    TAbstractParamsItem::Init();
    image_.reset();
    downImage_.reset();
    imageSmall_.reset();
    downImageSmall_.reset();
}

void TOperation::LoadImageInto(UniqueGdiObject& picture, const std::string& name) {
    picture.reset();
    if (name.empty()) return;
    picture.reset(::LoadBitmapA(LibraryInstance(), name.c_str()));
}

void TOperation::ParseParam(const std::string& key, const std::string& value) {
    try {
        TAbstractParamsItem::ParseParam(key, value);
        if (key == "CAPTION") caption_ = value;
        if (key == "HINT") hint_ = value;
        if (key == "DEFAULT") default_ = IsYes(value);
        if (key == "DIRECTCALL") directCall_ = IsYes(value);
        if (key == "IMAGE") LoadImageInto(image_, value);
        if (key == "DOWNIMAGE") LoadImageInto(downImage_, value);
        if (key == "IMAGE_SMALL") LoadImageInto(imageSmall_, value);
        if (key == "DOWNIMAGE_SMALL") LoadImageInto(downImageSmall_, value);
    } catch (...) {
    }
}

void RegisterOperationClasses() {
    RegisterItemClass<TOperation>(kOperationType);
}

}  // namespace omb::ea
