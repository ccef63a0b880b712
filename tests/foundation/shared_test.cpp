#include <gtest/gtest.h>

#include <climits>

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

TEST(WindowRoutines, ACaptionThatGrowsAfterItsLengthIsReadWhole) {
    // The length it answers is half of the text's, as when the text grew
    // between the two questions.
    WNDCLASSW wc{};
    wc.lpfnWndProc = [](HWND w, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        const LRESULT result = DefWindowProcW(w, message, wParam, lParam);
        return message == WM_GETTEXTLENGTH ? result / 2 : result;
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OmbGrowingCaption";
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND w = CreateWindowExW(0, wc.lpszClassName, L"A caption that grew while it was read", 0, 0, 0, 10, 10,
                             HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetWindowCaption(w), "A caption that grew while it was read");
    SetWindowTextW(w, L"x");  // its length answered as 0
    EXPECT_EQ(GetWindowCaption(w), "x");
    DestroyWindow(w);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);

    // A length near the largest int is read in a buffer of the largest size.
    wc.lpfnWndProc = [](HWND w, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        return message == WM_GETTEXTLENGTH ? INT_MAX : DefWindowProcW(w, message, wParam, lParam);
    };
    wc.lpszClassName = L"OmbHugeCaption";
    ASSERT_TRUE(RegisterClassW(&wc));
    w = CreateWindowExW(0, wc.lpszClassName, L"Short", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetWindowCaption(w), "Short");
    DestroyWindow(w);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

TEST(WindowRoutines, ClassNamesAndCaptionsKeepEveryCharacter) {
    // Beyond every one-byte code page: Cyrillic, Greek, CJK, emoji.
    const wchar_t* wideClass = L"\u041e\u043a\u043d\u043e \u03a9 \u7a97";
    const wchar_t* wideCaption =
        L"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642 \u0393\u03b5\u03b9\u03ac \u4f60\u597d";
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = wideClass;
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND w = CreateWindowExW(0, wideClass, wideCaption, 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, wc.hInstance,
                             nullptr);
    ASSERT_NE(w, nullptr);
    const WindowText className = ReadWindowClassName(w), caption = ReadWindowCaption(w);
    EXPECT_TRUE(className.exact);
    EXPECT_EQ(className.text, u8"\u041e\u043a\u043d\u043e \u03a9 \u7a97");
    EXPECT_TRUE(caption.exact);
    EXPECT_EQ(caption.text,
              u8"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642 \u0393\u03b5\u03b9\u03ac \u4f60\u597d");
    EXPECT_EQ(GetWindowCaption(w), caption.text);

    // An unpaired surrogate has no UTF-8 form: the text holds U+FFFD and is
    // marked as lost, and two such captions that differ read the same.
    SetWindowTextW(w, L"\xD800 x");
    const WindowText lost = ReadWindowCaption(w);
    EXPECT_FALSE(lost.exact);
    EXPECT_EQ(lost.text, u8"\uFFFD x");
    SetWindowTextW(w, L"\xDC00 x");
    EXPECT_EQ(ReadWindowCaption(w).text, lost.text);
    EXPECT_FALSE(ReadWindowCaption(w).exact);
    DestroyWindow(w);
    UnregisterClassW(wideClass, wc.hInstance);
}

TEST(WideText, UTF8BothWaysWhateverTheCodePage) {
    const std::string ascii = "plain ASCII \\{}";
    EXPECT_EQ(ToWide(ascii), L"plain ASCII \\{}");
    EXPECT_EQ(FromWide(ToWide(ascii)), ascii);
    EXPECT_EQ(ToWide(""), L"");
    EXPECT_EQ(FromWide(L""), "");

    const std::string text =
        u8"\u0430\u0431\u0432\u0433\u0434\u0435 \U0001F600 \u03b1\u03b2\u03b3 \u6f22\u5b57 caf\u00e9";
    const std::wstring wide =
        L"\u0430\u0431\u0432\u0433\u0434\u0435 \U0001F600 \u03b1\u03b2\u03b3 \u6f22\u5b57 caf\u00e9";
    EXPECT_EQ(ToWide(text), wide);
    EXPECT_EQ(FromWide(wide), text);
    std::wstring exactWide;
    EXPECT_TRUE(ToWideExact(text, exactWide));
    EXPECT_EQ(exactWide, wide);
    std::string exact;
    EXPECT_TRUE(FromWideExact(wide.data(), wide.size(), exact));
    EXPECT_EQ(exact, text);

    // What is not UTF-8 (or not UTF-16) is marked, never silently replaced.
    EXPECT_FALSE(ToWideExact("caf\xE9", exactWide));
    EXPECT_EQ(exactWide, L"caf\uFFFD");
    EXPECT_FALSE(FromWideExact(L"a\xD800", 2, exact));
    EXPECT_EQ(exact, u8"a\uFFFD");

    // A one-byte code page: what it holds converts exactly, the rest is
    // reported (its used-default flag).
    EXPECT_TRUE(ToCodePageExact(1252, L"caf\u00e9 \u20ac", 6, exact));
    EXPECT_EQ(exact, "caf\xE9 \x80");
    EXPECT_FALSE(ToCodePageExact(1252, L"\u041f\u0440\u0438", 3, exact));
    EXPECT_FALSE(ToCodePageExact(1252, L"\U0001F642", 2, exact));
    EXPECT_FALSE(ToCodePageExact(1252, L"\u0100", 1, exact)) << "no best-fit mapping of A with macron to A";
    EXPECT_TRUE(ToCodePageExact(1251, L"\u041f\u0440\u0438", 3, exact));
    EXPECT_EQ(exact, "\xCF\xF0\xE8");
}

TEST(Manifest, OurProgramsRunWithTheUTF8CodePage) {
    // resources/app.manifest: this test program carries it, as every program does.
    EXPECT_EQ(GetACP(), UINT(CP_UTF8));
    const std::string text = u8"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642";
    HWND w =
        CreateWindowExA(0, "STATIC", text.c_str(), 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    char buffer[64] = {};
    GetWindowTextA(w, buffer, sizeof(buffer));
    EXPECT_EQ(std::string(buffer), text) << "the A calls keep every character";
    EXPECT_EQ(ReadWindowCaption(w).text, text);
    DestroyWindow(w);
}
