// Subclassing real windows: ANSI and Unicode windows keep their texts, the
// owner sees every message, and unhooking never leaves a window with a stale
// procedure, whatever happened to the window meanwhile.
#include "extender/whook.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "extender/module.h"

using namespace omb::ea;

namespace {

constexpr UINT kAnswer42 = WM_APP + 1;  // the window's own procedure answers 42
constexpr UINT kPing = WM_APP + 2;

std::vector<UINT> g_original;  // messages that reached the window's own procedure
std::string g_lastTextA;

// A text in this process's ANSI code page.
std::string Ansi(const wchar_t* text) {
    char buffer[256] = {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof(buffer), nullptr, nullptr);
    return n > 0 ? std::string(buffer) : std::string();
}
std::wstring g_lastTextW;

LRESULT CALLBACK OriginalA(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    g_original.push_back(m);
    if (m == WM_SETTEXT && lp) g_lastTextA = reinterpret_cast<const char*>(lp);
    if (m == kAnswer42) return 42;
    return DefWindowProcA(w, m, wp, lp);
}

LRESULT CALLBACK OriginalW(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    g_original.push_back(m);
    if (m == WM_SETTEXT && lp) g_lastTextW = reinterpret_cast<const wchar_t*>(lp);
    if (m == kAnswer42) return 42;
    return DefWindowProcW(w, m, wp, lp);
}

// Another program's subclass, above ours.
WNDPROC g_thirdSaved = nullptr;
std::vector<UINT> g_third;
LRESULT CALLBACK ThirdParty(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    g_third.push_back(m);
    return CallWindowProcW(g_thirdSaved, w, m, wp, lp);
}

LRESULT CALLBACK Replacement(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(w, m, wp, lp);
}

HWND MakeWindow(bool unicode, DWORD style = WS_OVERLAPPEDWINDOW) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA a{};
        a.lpfnWndProc = OriginalA;
        a.hInstance = GetModuleHandleA(nullptr);
        a.lpszClassName = "OmbrelHookTestA";
        RegisterClassA(&a);
        WNDCLASSW u{};
        u.lpfnWndProc = OriginalW;
        u.hInstance = GetModuleHandleW(nullptr);
        u.lpszClassName = L"OmbrelHookTestW";
        RegisterClassW(&u);
        registered = true;
    }
    return unicode ? CreateWindowExW(0, L"OmbrelHookTestW", L"\u0416\u4e2d", style, 0, 0, 200, 100, nullptr,
                                     nullptr, GetModuleHandleW(nullptr), nullptr)
                   : CreateWindowExA(0, "OmbrelHookTestA", "Caf\xe9", style, 0, 0, 200, 100, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
}

// The owner of a hook: records what it sees and passes messages on.
struct Owner {
    TWHook* hook = nullptr;
    std::vector<UINT> seen;
    std::function<bool(TMessage&)> handle;  // answers true when it dealt with the message

    void WindowProc(TMessage& m) {
        seen.push_back(m.Msg);
        if (handle && handle(m)) return;
        hook->CallDefault(m);
    }
    TWindowMethod Method() { return TWindowMethod::Of<Owner, &Owner::WindowProc>(this); }
    bool Saw(UINT message) const {
        for (UINT m : seen)
            if (m == message) return true;
        return false;
    }
};

bool Contains(const std::vector<UINT>& v, UINT message) {
    for (UINT m : v)
        if (m == message) return true;
    return false;
}

LONG_PTR ProcW(HWND w) {
    return GetWindowLongPtrW(w, GWLP_WNDPROC);
}
LONG_PTR ProcA(HWND w) {
    return GetWindowLongPtrA(w, GWLP_WNDPROC);
}

// Takes the messages of this thread until done() or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    for (const ULONGLONG end = GetTickCount64() + milliseconds; !done(); Sleep(10)) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (GetTickCount64() > end) return done();
    }
    return true;
}

struct Subclassing : ::testing::Test {
    void SetUp() override {
        g_original.clear();
        g_third.clear();
        slots_ = TWHook::SlotsInUse();
        holds_ = LibraryHolds();
    }
    void TearDown() override {
        EXPECT_EQ(TWHook::SlotsInUse(), slots_) << "a slot stayed in use";
        // Every slot left behind goes with its window, whatever passed
        // through it last.
        EXPECT_TRUE(PumpUntil([&] { return LibraryHolds() == holds_; }, 3000)) << "a slot still holds the library";
    }
    int slots_ = 0;
    long holds_ = 0;
};

}  // namespace

TEST_F(Subclassing, AnsiWindowKeepsAnsiMessages) {
    HWND w = MakeWindow(false);
    ASSERT_TRUE(w);
    const LONG_PTR original = ProcA(w);
    Owner owner;
    TWHook hook(w, owner.Method());
    owner.hook = &hook;
    EXPECT_TRUE(hook.IsHooked());
    EXPECT_TRUE(hook.IsInstalled());
    EXPECT_FALSE(hook.IsUnicode());
    EXPECT_FALSE(IsWindowUnicode(w));
    EXPECT_EQ(ProcA(w), reinterpret_cast<LONG_PTR>(hook.InstanceProcedure()));

    // The owner sees the message, the window's own procedure gets ANSI text:
    // text in this process's ANSI code page (UTF-8 under the programs'
    // manifest, windows-1252 without it), whichever way it was set.
    const std::string naive = Ansi(L"Na\u00efve caf\u00e9"), ete = Ansi(L"\u00e9t\u00e9");
    ASSERT_TRUE(SetWindowTextA(w, naive.c_str()));
    EXPECT_TRUE(owner.Saw(WM_SETTEXT));
    EXPECT_EQ(g_lastTextA, naive);
    char buffer[64] = {};
    GetWindowTextA(w, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), naive);
    SetWindowTextW(w, L"\u00e9t\u00e9");
    EXPECT_EQ(g_lastTextA, ete);
    EXPECT_EQ(SendMessageA(w, kAnswer42, 0, 0), 42);

    hook.Unhook();
    EXPECT_EQ(ProcA(w), original);
    owner.seen.clear();
    EXPECT_EQ(SendMessageA(w, kAnswer42, 0, 0), 42);
    EXPECT_TRUE(owner.seen.empty());
    DestroyWindow(w);
}

TEST_F(Subclassing, UnicodeWindowKeepsTextsThatHaveNoAnsiForm) {
    HWND w = MakeWindow(true);
    ASSERT_TRUE(w);
    const LONG_PTR original = ProcW(w);
    Owner owner;
    TWHook hook(w, owner.Method());
    owner.hook = &hook;
    EXPECT_TRUE(hook.IsUnicode());
    EXPECT_TRUE(IsWindowUnicode(w));

    const std::wstring text = L"\u4e16\u754c \u041f\u0440\u0438\u0432\u0435\u0442 \u03a9";
    ASSERT_TRUE(SetWindowTextW(w, text.c_str()));
    EXPECT_EQ(g_lastTextW, text);
    wchar_t buffer[64] = {};
    GetWindowTextW(w, buffer, 64);
    EXPECT_EQ(std::wstring(buffer), text);
    EXPECT_EQ(SendMessageW(w, kAnswer42, 0, 0), 42);

    hook.Unhook();
    EXPECT_EQ(ProcW(w), original);
    GetWindowTextW(w, buffer, 64);
    EXPECT_EQ(std::wstring(buffer), text);
    DestroyWindow(w);
}

TEST_F(Subclassing, TheOwnerDecidesAndItsResultGoesBack) {
    HWND w = MakeWindow(true);
    Owner owner;
    owner.handle = [](TMessage& m) {
        if (m.Msg != kPing) return false;
        m.Result = 7 + LRESULT(m.WParam) + m.LParam;
        return true;
    };
    TWHook hook(w, owner.Method());
    owner.hook = &hook;
    const LPARAM big = LPARAM(1) << 40;  // all 64 bits travel
    EXPECT_EQ(SendMessageW(w, kPing, 1, big), 8 + big);
    EXPECT_FALSE(Contains(g_original, kPing));

    // A replaced saved procedure is the one CallDefault reaches.
    hook.SetSavedProcedure(Replacement);
    EXPECT_EQ(SendMessageW(w, kAnswer42, 0, 0), 0);
    hook.SetSavedProcedure(OriginalW);
    EXPECT_EQ(SendMessageW(w, kAnswer42, 0, 0), 42);
    hook.Unhook();
    DestroyWindow(w);
}

TEST_F(Subclassing, ALaterSubclassSurvivesOurUnhook) {
    HWND w = MakeWindow(true);
    Owner owner;
    auto hook = std::make_unique<TWHook>(w, owner.Method());
    owner.hook = hook.get();
    const LONG_PTR ours = reinterpret_cast<LONG_PTR>(hook->InstanceProcedure());
    g_thirdSaved = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ThirdParty)));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(g_thirdSaved), ours);

    hook.reset();  // unhooks: the window's procedure is not ours any more
    EXPECT_EQ(ProcW(w), reinterpret_cast<LONG_PTR>(&ThirdParty));
    EXPECT_EQ(TWHook::SlotsInUse(), slots_ + 1);  // ours stays as a pass-through

    owner.seen.clear();
    EXPECT_EQ(SendMessageW(w, kAnswer42, 0, 0), 42);
    EXPECT_TRUE(Contains(g_third, kAnswer42));
    EXPECT_TRUE(Contains(g_original, kAnswer42));
    EXPECT_TRUE(owner.seen.empty());

    // The other program leaves; the pass-through still leads to the window.
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_thirdSaved));
    EXPECT_EQ(SendMessageW(w, kAnswer42, 0, 0), 42);
    DestroyWindow(w);  // the pass-through sees WM_NCDESTROY and frees its slot
}

TEST_F(Subclassing, TwoOfOursInOneChainStayApart) {
    HWND w = MakeWindow(false);
    Owner first, second;
    TWHook lower(w, first.Method());
    first.hook = &lower;
    TWHook upper(w, second.Method());
    second.hook = &upper;
    EXPECT_NE(lower.InstanceProcedure(), upper.InstanceProcedure());
    EXPECT_EQ(upper.SavedProcedure(), lower.InstanceProcedure());

    EXPECT_EQ(SendMessageA(w, kAnswer42, 0, 0), 42);
    EXPECT_TRUE(first.Saw(kAnswer42));
    EXPECT_TRUE(second.Saw(kAnswer42));

    lower.Unhook();  // not on top: becomes a pass-through
    first.seen.clear();
    second.seen.clear();
    EXPECT_EQ(SendMessageA(w, kAnswer42, 0, 0), 42);
    EXPECT_FALSE(first.Saw(kAnswer42));
    EXPECT_TRUE(second.Saw(kAnswer42));

    upper.Unhook();  // on top: puts back what it replaced, the pass-through
    EXPECT_EQ(ProcA(w), reinterpret_cast<LONG_PTR>(upper.SavedProcedure()));
    EXPECT_EQ(SendMessageA(w, kAnswer42, 0, 0), 42);
    DestroyWindow(w);
}

TEST_F(Subclassing, UnhookingTwiceWritesOnce) {
    HWND w = MakeWindow(true);
    Owner owner;
    TWHook hook(w, owner.Method());
    owner.hook = &hook;
    const LONG_PTR original = reinterpret_cast<LONG_PTR>(hook.SavedProcedure());
    hook.Unhook();
    EXPECT_FALSE(hook.IsHooked());
    EXPECT_EQ(ProcW(w), original);
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Replacement));
    hook.Unhook();
    EXPECT_EQ(ProcW(w), reinterpret_cast<LONG_PTR>(&Replacement));
    SetWindowLongPtrW(w, GWLP_WNDPROC, original);

    // Hooking again works, and hooking twice does nothing more.
    hook.Hook();
    const WNDPROC again = hook.InstanceProcedure();
    hook.Hook();
    EXPECT_EQ(hook.InstanceProcedure(), again);
    EXPECT_EQ(ProcW(w), reinterpret_cast<LONG_PTR>(again));
    hook.Unhook();
    EXPECT_EQ(ProcW(w), original);
    DestroyWindow(w);
}

// What a recycled handle looks like from here: the handle names a window whose
// procedure is not ours. Unhooking must not write our saved procedure into it.
TEST_F(Subclassing, AWindowThatIsNoLongerOursKeepsItsProcedure) {
    HWND w = MakeWindow(true);
    Owner owner;
    TWHook hook(w, owner.Method());
    owner.hook = &hook;
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Replacement));
    hook.Unhook();
    EXPECT_EQ(ProcW(w), reinterpret_cast<LONG_PTR>(&Replacement));
    DestroyWindow(w);  // the leftover slot is never called; it is reclaimed later

    // A window destroyed while hooked: unhooking touches nothing.
    HWND gone = MakeWindow(false);
    Owner owner2;
    TWHook hook2(gone, owner2.Method());
    owner2.hook = &hook2;
    DestroyWindow(gone);
    EXPECT_TRUE(owner2.Saw(WM_NCDESTROY));
    hook2.Unhook();
    EXPECT_FALSE(hook2.IsHooked());
}

TEST_F(Subclassing, AnUnhookOnAnotherThreadIsLeftToTheWindowsThread) {
    HWND w = MakeWindow(true);
    Owner owner;
    TWHook hook(w, owner.Method());
    owner.hook = &hook;
    const LONG_PTR ours = reinterpret_cast<LONG_PTR>(hook.InstanceProcedure());
    const LONG_PTR original = reinterpret_cast<LONG_PTR>(hook.SavedProcedure());
    HANDLE worker = CreateThread(
        nullptr, 0, [](void* p) -> DWORD { static_cast<TWHook*>(p)->Unhook(); return 0; }, &hook, 0, nullptr);
    ASSERT_TRUE(worker);
    EXPECT_EQ(WaitForSingleObject(worker, 5000), WAIT_OBJECT_0);
    CloseHandle(worker);
    // Nothing was written from there: the slot passes messages through,
    // past its owner, until this thread takes its messages.
    EXPECT_EQ(ProcW(w), ours);
    owner.seen.clear();
    EXPECT_EQ(SendMessageW(w, kAnswer42, 0, 0), 42);
    EXPECT_TRUE(owner.seen.empty());
    EXPECT_TRUE(PumpUntil([&] { return ProcW(w) == original; }, 2000));
    DestroyWindow(w);
}

TEST_F(Subclassing, AWindowOfAnotherProcessCountsAsHooked) {
    HWND desktop = GetDesktopWindow();
    DWORD pid = 0;
    GetWindowThreadProcessId(desktop, &pid);
    if (pid == GetCurrentProcessId()) GTEST_SKIP() << "the desktop window is ours here";
    const LONG_PTR before = ProcW(desktop);
    Owner owner;
    TWHook hook(desktop, owner.Method());
    EXPECT_TRUE(hook.IsHooked());
    EXPECT_FALSE(hook.IsInstalled());
    EXPECT_EQ(hook.InstanceProcedure(), nullptr);
    hook.Unhook();
    EXPECT_EQ(ProcW(desktop), before);
}

TEST_F(Subclassing, TheOwnerMayRemoveTheHookWhileAMessageIsInFlight) {
    HWND w = MakeWindow(true);
    Owner owner;
    TWHook* hook = new TWHook(w, owner.Method());
    owner.hook = hook;
    const LONG_PTR original = reinterpret_cast<LONG_PTR>(hook->SavedProcedure());
    owner.handle = [&](TMessage& m) {
        if (m.Msg != kPing) return false;
        owner.hook->CallDefault(m);
        delete owner.hook;  // unhooks and frees the object whose slot runs this
        owner.hook = nullptr;
        // A nested message already goes straight to the window's procedure.
        m.Result = SendMessageW(w, kAnswer42, 0, 0) + 1;
        return true;
    };
    EXPECT_EQ(SendMessageW(w, kPing, 0, 0), 43);
    EXPECT_EQ(ProcW(w), original);
    owner.seen.clear();
    EXPECT_EQ(SendMessageW(w, kAnswer42, 0, 0), 42);
    EXPECT_TRUE(owner.seen.empty());

    // The order the window extender uses on WM_DESTROY: unhook, then pass on.
    Owner owner2;
    TWHook hook2(w, owner2.Method());
    owner2.hook = &hook2;
    owner2.handle = [&](TMessage& m) {
        if (m.Msg == WM_DESTROY) hook2.Unhook();
        return false;
    };
    g_original.clear();
    DestroyWindow(w);
    EXPECT_TRUE(owner2.Saw(WM_DESTROY));
    EXPECT_FALSE(owner2.Saw(WM_NCDESTROY));
    EXPECT_TRUE(Contains(g_original, WM_DESTROY));
    EXPECT_TRUE(Contains(g_original, WM_NCDESTROY));
}

TEST(WindowStyle, EveryBitMustBeSet) {
    HWND w = MakeWindow(false, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    ASSERT_TRUE(w);
    EXPECT_TRUE(HasWindowStyle(w, WS_MINIMIZEBOX));
    EXPECT_FALSE(HasWindowStyle(w, WS_MAXIMIZEBOX));
    EXPECT_FALSE(HasWindowStyle(w, WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(HasWindowStyle(w, 0));
    DestroyWindow(w);
}
