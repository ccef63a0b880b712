#include <gtest/gtest.h>

#include "foundation/shared.h"
#include "foundation/winfuncs.h"

using namespace omb;

TEST(SharedDeclarations, MessagesRegisterByName) {
    EXPECT_EQ(WM_WNDPROC_REPLACED, 0x81E9u);  // fall-back before registration
    RegisterSharedMessages();
    EXPECT_EQ(WM_TRAY_CALLBACK, RegisterWindowMessageA("{C83CAD38-9C2A-46EF-8998-90D4A16FB849}"));
    EXPECT_EQ(WM_WNDPROC_REPLACED, RegisterWindowMessageA("C4C786E5-5A66-4F41-8581-5F80061C52EC"));
    EXPECT_NE(WM_EXTENDER_ATTACHED, WM_APPLY_RULES);
    EXPECT_NE(WM_CONFIG_CHANGED, WM_WNDPROC_REPLACED);
}

TEST(SharedDeclarations, ModuleFolderEndsInBackslash) {
    std::string folder = ModuleFolder(nullptr);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_EQ(std::string(ProductName), "Ombrel");
}

TEST(WindowRoutines, ClassNameAndCaption) {
    HWND w = CreateWindowExA(0, "STATIC", "A caption of some length", 0, 0, 0, 10, 10, HWND_MESSAGE,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetWindowClassName(w), "Static");
    EXPECT_EQ(GetWindowCaption(w), "A caption of some length");
    DestroyWindow(w);
    EXPECT_EQ(GetWindowClassName(w), "");
    EXPECT_EQ(GetWindowCaption(w), "");
}

TEST(WideText, RoundTripThroughTheAnsiCodePage) {
    std::string text = "plain ASCII";
    EXPECT_EQ(FromWide(ToWide(text)), text);
    EXPECT_EQ(ToWide(""), L"");
}
