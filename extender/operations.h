// Operations: the named things an action can do to its window, each described
// by a parameter string (name, caption, hint, two flags, up to four bitmaps of
// the library's resources), and the collection of one action's operations.
#pragma once

#include <windows.h>

#include "extender/ea_interfaces.h"
#include "extender/items.h"
#include "foundation/handles.h"

namespace omb::ea {

constexpr const char* kOperationType = "OPERATION";

// The parameter strings of the operations the library's actions build.
constexpr const char* kStayOnTopOnOperation =
    "\\NAME=STAYONTOPON\\CAPTION=StayOnTop On\\HINT=StayOnTop On\\IMAGE=STAYONTOPON"
    "\\DOWNIMAGE=STAYONTOPOFF\\IMAGE_SMALL=STAYONTOPON_SMALL\\DOWNIMAGE_SMALL=STAYONTOPOFF_SMALL"
    "\\DEFAULT=yes\\DIRECTCALL=yes";
constexpr const char* kStayOnTopOffOperation =
    "\\NAME=STAYONTOPOFF\\CAPTION=StayOnTop Off\\HINT=StayOnTop Off\\IMAGE=STAYONTOPOFF"
    "\\DOWNIMAGE=STAYONTOPON\\IMAGE_SMALL=STAYONTOPOFF_SMALL\\DOWNIMAGE_SMALL=STAYONTOPON_SMALL"
    "\\DEFAULT=no\\DIRECTCALL=yes";
constexpr const char* kCloseWindowOperation =
    "\\NAME=CLOSEWINDOW\\CAPTION=Close Window\\HINT=Close Window\\DEFAULT=yes\\DIRECTCALL=yes";
constexpr const char* kRunModeOperation =
    "\\NAME=RUNMODE\\CAPTION=Run Mode\\HINT=Run Mode\\DEFAULT=yes\\DIRECTCALL=yes";
constexpr const char* kSaveSizePosOperation =
    "\\NAME=SAVESIZEPOS\\CAPTION=Save size and position\\HINT=Save size and position"
    "\\DEFAULT=yes\\DIRECTCALL=yes";
constexpr const char* kRestoreSizePosOperation =
    "\\NAME=RESTORESIZEPOS\\CAPTION=Restore size and position\\HINT=Restore size and position"
    "\\DEFAULT=no\\DIRECTCALL=yes";
constexpr const char* kCloseQueryOperation =
    "\\NAME=CLOSEQUERY\\CAPTION=Prevent accidental close of window"
    "\\HINT=Prevent accidental close of window\\DEFAULT=yes\\DIRECTCALL=yes";

// Registered as "OPERATION".
class TOperation : public TAbstractParamsItem, public IOperation {
public:
    OMB_IUNKNOWN
    OMB_EA_IITEM

    void Init() override;
    // CAPTION, HINT, DEFAULT, DIRECTCALL, IMAGE, DOWNIMAGE, IMAGE_SMALL and
    // DOWNIMAGE_SMALL (a bitmap resource of the library by name). Drops every
    // failure.
    void ParseParam(const std::string& key, const std::string& value) override;

    std::string GetCaption() override { return caption_; }
    std::string GetHint() override { return hint_; }
    // Each bitmap is loaded when it is first asked for (nothing in a host
    // paints them, so most never are); none when the library has no bitmap
    // of that name.
    HBITMAP GetImage() override { return Bitmap(image_); }
    HBITMAP GetDownImage() override { return Bitmap(downImage_); }
    HBITMAP GetImageSmall() override { return Bitmap(imageSmall_); }
    HBITMAP GetDownImageSmall() override { return Bitmap(downImageSmall_); }
    bool GetDirectCall() override { return directCall_; }
    bool GetDefault() override { return default_; }

    // Operation bitmaps loaded in this process and not yet freed.
    static long LoadedBitmaps();

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    // A bitmap by name, loaded on first use; it owns the bitmap.
    struct Picture {
        std::string name;
        bool tried = false;
        UniqueGdiObject bitmap;
        ~Picture();
        void Reset(const std::string& newName);
    };
    HBITMAP Bitmap(Picture& picture);

    std::string caption_, hint_;
    SRWLOCK picturesLock_ = SRWLOCK_INIT;  // guards the pictures
    Picture image_, downImage_, imageSmall_, downImageSmall_;
    bool directCall_ = false;
    bool default_ = false;
};

// The operations of one action, in the order they were added, by name.
class TOperations : public TTypedCollection<IOperations> {};

// Registers "OPERATION" in the item registry.
void RegisterOperationClasses();

}  // namespace omb::ea
