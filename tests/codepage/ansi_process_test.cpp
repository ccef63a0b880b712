// A test program built without the UTF-8 active code page of the programs'
// manifest: it runs under the system's one-byte code page (windows-1252 in
// the test prefix), as a foreign program does, and as our programs do on a
// Windows older than 1903, which ignores the manifest entry. Nothing of ours
// may depend on that code page: window texts are read with the wide calls,
// files and rule texts cross as UTF-8, the hook library names its registry
// keys in UTF-16, and a text that lost characters decides no match.
//
// It is also the foreign program of the command center's end-to-end tests
// (role "windows").
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "extender/actions.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_storage.h"
#include "tests/common/child_process.h"
#include "tests/common/window_roles.h"
#include "tests/foundation/xml_test_support.h"
#include "tests/model/script_matching_tests.h"

using namespace omb;
using namespace omb::test;

namespace {

// ---- the foreign program of the end-to-end tests ----

LRESULT CALLBACK QuitWithAnyWindow(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_EXTENDER_ATTACHED) ::SetPropW(w, kAttachedProperty, reinterpret_cast<HANDLE>(1));
    if (m == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcW(w, m, wp, lp);
}

// windows READY CLASS CAPTION [CLASS CAPTION ...]: top-level windows of
// those classes and captions, made with the wide calls at 40,40 (300 x 200);
// signals the event READY, then serves messages until one of its windows is
// destroyed (or for 60 s). A window that a rule extends carries the
// property kAttachedProperty.
int WindowsRole(const std::vector<std::string>& args) {
    if (args.size() < 3 || args.size() % 2 == 0) return 2;
    RegisterSharedMessages();
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (size_t i = 1; i + 1 < args.size(); i += 2) {
        const std::wstring className = ToWide(args[i]);
        WNDCLASSW wc{};
        wc.lpfnWndProc = &QuitWithAnyWindow;
        wc.hInstance = instance;
        wc.lpszClassName = className.c_str();
        ::RegisterClassW(&wc);
        if (!::CreateWindowExW(0, className.c_str(), ToWide(args[i + 1]).c_str(),
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300, 200, nullptr, nullptr, instance,
                               nullptr))
            return 3;
    }
    UniqueHandle ready = NamedEvent(args[0]);
    ::SetEvent(ready.get());
    ::SetTimer(nullptr, 0, 60000, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && !msg.hwnd) return 4;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
OMB_CHILD_ROLE("windows", WindowsRole);

std::string AnsiCaption(HWND w) {
    char buffer[256] = {};
    ::GetWindowTextA(w, buffer, sizeof(buffer));
    return buffer;
}

}  // namespace

// ---- the process's code page, and what it does to the A calls ----

TEST(OneBytePage, ThisProgramRunsUnderTheSystemsCodePage) {
    EXPECT_NE(GetACP(), UINT(CP_UTF8)) << "built without the manifest entry";
    EXPECT_EQ(GetACP(), 1252u) << "the test prefix's code page";
}

TEST(OneBytePage, TheAnsiCallsLoseWhatTheWideCallsKeep) {
    std::vector<std::unique_ptr<TestWindow>> windows;
    for (const std::string& caption : ScriptCaptions())
        windows.push_back(std::make_unique<TestWindow>("OmbAnsiCaption", caption));
    // The fault: through the one-byte code page three different captions
    // are one text.
    EXPECT_EQ(AnsiCaption(windows[0]->get()), "?????? ??");
    EXPECT_EQ(AnsiCaption(windows[1]->get()), "?????? ??");
    EXPECT_EQ(AnsiCaption(windows[2]->get()), "?????? ??");
    // Read with the wide calls, each is itself, without loss.
    for (size_t i = 0; i < windows.size(); ++i) {
        const WindowText caption = ReadWindowCaption(windows[i]->get());
        EXPECT_TRUE(caption.exact) << i;
        EXPECT_EQ(caption.text, ScriptCaptions()[i]);
    }
    // A conversion through the code page reports what it could not hold.
    std::string ansi;
    const std::wstring privet = ToWide(ScriptCaptions()[1]);
    EXPECT_FALSE(ToCodePageExact(CP_ACP, privet.data(), privet.size(), ansi));
    EXPECT_EQ(ansi, "?????? ??");
    EXPECT_TRUE(ToCodePageExact(CP_ACP, L"Hello caf\u00e9", 10, ansi));
}

// ---- matching: the same answers as under the UTF-8 code page ----
// (the ScriptMatching tests of script_matching_tests.h run here too)

// ---- files ----

TEST(OneBytePage, FilesKeepEveryCharacter) {
    ComInit com;
    TempFolder folder;
    const std::string text = ScriptCaptions()[1] + u8" \u0393\u03b5\u03b9\u03ac \u4f60\u597d caf\u00e9";
    for (const char* declaration : {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>",
                                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"}) {
        SCOPED_TRACE(declaration);
        const std::string file = folder.Path("config.xml");
        WriteBytes(file, std::string(declaration) + "<config/>");
        Ref<TXMLStorage> s = TXMLStorage::Create();
        ASSERT_TRUE(s->LoadFromFile(file));
        s->WriteAttribute("name", text);
        s->WriteChildText("caption", text);
        ASSERT_TRUE(s->SaveToFile(file));
        EXPECT_EQ(ReadBytes(file).rfind(declaration, 0), 0u);
        Ref<TXMLStorage> back = TXMLStorage::Create();
        ASSERT_TRUE(back->LoadFromFile(file));
        EXPECT_EQ(back->ReadAttribute("name", ""), text);
        EXPECT_EQ(back->ReadChildText("caption"), text);
    }
}

// ---- the hook library's registry keys ----

TEST(OneBytePage, TheHookLibraryOpensTheKeyEveryProgramOpens) {
    const std::string unique = UniqueName("key");
    const std::string ruleName = u8"\u0420\u0430\u0437\u043c\u0435\u0440 \u043e\u043a\u043d\u0430 " + unique;
    const std::wstring key =
        L"SOFTWARE\\Quennet\\Ombrel\\WindowRules\\\u0420\u0430\u0437\u043c\u0435\u0440 "
        L"\u043e\u043a\u043d\u0430 " +
        ToWide(unique);
    {
        UniqueRegKey created = ea::OpenWindowRulesKey(ruleName, true);
        ASSERT_TRUE(created);
    }
    UniqueRegKey opened;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.put()), ERROR_SUCCESS);
    opened.reset();
    // The A call would have named another key here: the UTF-8 bytes read as
    // windows-1252 characters.
    EXPECT_NE(
        RegOpenKeyExA(HKEY_CURRENT_USER, ea::WindowRulesKey(ruleName).c_str(), 0, KEY_READ, opened.put()),
        ERROR_SUCCESS);
    EXPECT_FALSE(ea::OpenWindowRulesKey("\xC0\xC1 not UTF-8", true));
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}
