// Operations built from their parameter strings, with the library's bitmaps.
#include "extender/operations.h"

#include <gtest/gtest.h>

#include <string>

#include "extender/module.h"

using namespace omb;
using namespace omb::ea;

namespace {

struct Operations : ::testing::Test {
    void SetUp() override {
        SetLibraryInstance(GetModuleHandleA(nullptr));  // the bitmaps are linked into the test
        FreeItemClasses();
        CreateItemClasses();
        RegisterOperationClasses();
    }
    void TearDown() override { FreeItemClasses(); }

    static Ref<IOperation> Make(const std::string& params) {
        return CreateItem(params, "OPERATION").As<IOperation>();
    }
    static SIZE SizeOf(HBITMAP bitmap) {
        BITMAP b{};
        if (!bitmap || !GetObjectA(bitmap, sizeof b, &b)) return SIZE{0, 0};
        return SIZE{b.bmWidth, b.bmHeight};
    }
};

}  // namespace

TEST_F(Operations, BitmapResourcesAreSixteenColourDibsOfTheirSize) {
    const char* large[] = {"STAYONTOPON",  "STAYONTOPOFF",      "MINTOTRAY",         "WINDOWROLLUP",
                           "WINDOWUNROLL", "MAKETRANSPARENTON", "MAKETRANSPARENTOFF"};
    for (const char* name : large) {
        for (int small = 0; small < 2; ++small) {
            const std::string resource = std::string(name) + (small ? "_SMALL" : "");
            const LONG size = small ? 8 : 12;
            HRSRC found = FindResourceA(LibraryInstance(), resource.c_str(), MAKEINTRESOURCEA(2));
            ASSERT_TRUE(found) << resource;
            const auto* info =
                static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(LibraryInstance(), found)));
            ASSERT_TRUE(info) << resource;
            EXPECT_EQ(info->biWidth, size) << resource;
            EXPECT_EQ(info->biHeight, size) << resource;
            EXPECT_EQ(info->biBitCount, 4) << resource;
            EXPECT_EQ(info->biCompression, DWORD(BI_RGB)) << resource;
        }
    }
}

TEST_F(Operations, TheActionsOperationsAsTheyAreBuilt) {
    Ref<IOperation> on = Make(kStayOnTopOnOperation);
    ASSERT_TRUE(on);
    EXPECT_EQ(on->GetName(), "STAYONTOPON");
    EXPECT_EQ(on->GetCaption(), "StayOnTop On");
    EXPECT_EQ(on->GetHint(), "StayOnTop On");
    EXPECT_TRUE(on->GetDefault());
    EXPECT_TRUE(on->GetDirectCall());
    EXPECT_EQ(SizeOf(on->GetImage()).cx, 12);
    EXPECT_EQ(SizeOf(on->GetDownImage()).cy, 12);
    EXPECT_EQ(SizeOf(on->GetImageSmall()).cx, 8);
    EXPECT_EQ(SizeOf(on->GetDownImageSmall()).cy, 8);
    EXPECT_NE(on->GetImage(), on->GetDownImage());

    Ref<IOperation> off = Make(kStayOnTopOffOperation);
    ASSERT_TRUE(off);
    EXPECT_EQ(off->GetName(), "STAYONTOPOFF");
    EXPECT_FALSE(off->GetDefault());
    EXPECT_TRUE(off->GetDirectCall());

    const struct {
        const char* params;
        const char* name;
        const char* caption;
        bool isDefault;
    } plain[] = {
        {kCloseWindowOperation, "CLOSEWINDOW", "Close Window", true},
        {kRunModeOperation, "RUNMODE", "Run Mode", true},
        {kSaveSizePosOperation, "SAVESIZEPOS", "Save size and position", true},
        {kRestoreSizePosOperation, "RESTORESIZEPOS", "Restore size and position", false},
        {kCloseQueryOperation, "CLOSEQUERY", "Prevent accidental close of window", true},
    };
    for (const auto& p : plain) {
        Ref<IOperation> op = Make(p.params);
        ASSERT_TRUE(op) << p.name;
        EXPECT_EQ(op->GetName(), p.name);
        EXPECT_EQ(op->GetCaption(), p.caption);
        EXPECT_EQ(op->GetHint(), p.caption);
        EXPECT_EQ(op->GetDefault(), p.isDefault) << p.name;
        EXPECT_TRUE(op->GetDirectCall());
        EXPECT_FALSE(op->GetImage());
        EXPECT_FALSE(op->GetImageSmall());
    }
}

TEST_F(Operations, FlagsAndImagesFromText) {
    EXPECT_TRUE(Make("\\DEFAULT=Yes")->GetDefault());
    EXPECT_TRUE(Make("\\DEFAULT=YES\\DIRECTCALL=yEs")->GetDirectCall());
    EXPECT_FALSE(Make("\\DEFAULT=1")->GetDefault());
    EXPECT_FALSE(Make("\\DEFAULT=")->GetDefault());
    EXPECT_FALSE(Make("\\DEFAULT=yes\\DEFAULT=no")->GetDefault());  // the last one counts

    // A bitmap the library does not have leaves the picture empty.
    Ref<IOperation> missing = Make("\\NAME=x\\IMAGE=NOSUCHBITMAP\\DOWNIMAGE=\\IMAGE_SMALL=#99");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->GetImage());
    EXPECT_FALSE(missing->GetDownImage());
    EXPECT_FALSE(missing->GetImageSmall());
    EXPECT_EQ(missing->GetName(), "x");

    // The operation owns its bitmaps: a second IMAGE frees the first, and the
    // operation frees the rest when it goes.
    Ref<IOperation> twice = Make("\\IMAGE=MINTOTRAY");
    HBITMAP first = twice->GetImage();
    ASSERT_TRUE(first);
    Ref<IOperation> op = Make("\\IMAGE=MINTOTRAY\\IMAGE=WINDOWROLLUP\\DOWNIMAGE_SMALL=WINDOWROLLUP_SMALL");
    HBITMAP image = op->GetImage(), small = op->GetDownImageSmall();
    EXPECT_EQ(GetObjectType(image), DWORD(OBJ_BITMAP));
    op = nullptr;
    EXPECT_EQ(GetObjectType(image), 0u);
    EXPECT_EQ(GetObjectType(small), 0u);
    EXPECT_EQ(GetObjectType(first), DWORD(OBJ_BITMAP));  // another operation's
}

// Nothing in a host paints the operations' pictures: the stay-on-top
// operations (eight pictures) load none until one is asked for.
TEST_F(Operations, BitmapsAreLoadedOnFirstUse) {
    const long before = TOperation::LoadedBitmaps();
    Ref<IOperation> on = Make(kStayOnTopOnOperation), off = Make(kStayOnTopOffOperation);
    ASSERT_TRUE(on && off);
    EXPECT_EQ(TOperation::LoadedBitmaps(), before);
    HBITMAP image = on->GetImage();
    EXPECT_EQ(GetObjectType(image), DWORD(OBJ_BITMAP));
    EXPECT_EQ(SizeOf(image).cx, SizeOf(off->GetDownImage()).cx);  // the same picture, loaded apart
    EXPECT_EQ(on->GetImage(), image);                           // once
    EXPECT_EQ(TOperation::LoadedBitmaps(), before + 2);
    on = nullptr;
    off = nullptr;
    EXPECT_EQ(TOperation::LoadedBitmaps(), before);
    EXPECT_EQ(GetObjectType(image), 0u);
}

TEST_F(Operations, CollectionByName) {
    Ref<IOperations> ops(new TOperations());
    ops->Add(Make(kStayOnTopOnOperation).get());
    ops->Add(Make(kStayOnTopOffOperation).get());
    ops->Add(Make("\\NAME=stayontopon").get());  // that name is present
    ASSERT_EQ(ops->GetCount(), 2);
    EXPECT_EQ(ops->Get("StayOnTopOff")->GetName(), "STAYONTOPOFF");
    EXPECT_EQ(ops->Get(Variant(0))->GetCaption(), "StayOnTop On");
    EXPECT_EQ(ops->IndexOf("stayontopoff"), 1);
    EXPECT_FALSE(ops->Get("CLOSEWINDOW"));
    EXPECT_TRUE(CreateItemFromString("operation{\\NAME=lower}").As<IOperation>());
}
