// The real command center, started from a copy of the distribution folder
// with a test configuration; windows of a child process; every effect seen
// from outside.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "foundation/channel.h"
#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/load_failure.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_storage.h"
#include "model/root.h"
#include "model/window_rules.h"
#include "tests/common/center_harness.h"
#include "tests/common/child_process.h"
#include "tests/common/dist_folder.h"
#include "tests/common/window_roles.h"
#include "tests/foundation/xml_test_support.h"
#include "tests/model/script_texts.h"

using namespace omb;
using namespace omb::test;

namespace {
// ---------------------------------------------------------------------------
// The child: one window of a class and caption, until it is destroyed. A
// third argument names the class of a window it opens when, once armed, it
// hears that the configuration changed.

constexpr UINT kBusyMessage = WM_APP + 7;  // the window's thread is busy for wParam ms
constexpr UINT kArmMessage = WM_APP + 8;
std::wstring g_laterClass;
bool g_armed = false;

LRESULT CALLBACK ChildWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_EXTENDER_ATTACHED) SetPropW(w, kAttachedProperty, reinterpret_cast<HANDLE>(1));
    if (m == WM_DESTROY) PostQuitMessage(0);
    if (m == kBusyMessage) Sleep(DWORD(wp));
    if (m == kArmMessage) g_armed = true;
    if (m == WM_CONFIG_CHANGED && g_armed && !g_laterClass.empty()) {
        g_armed = false;
        CreateWindowExW(0, g_laterClass.c_str(), L"later", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 300, 200,
                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    return DefWindowProcW(w, m, wp, lp);
}

int WindowRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 2;
    RegisterSharedMessages();
    const std::wstring className = ToWide(args[0]);
    WNDCLASSW wc{};
    wc.lpfnWndProc = ChildWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className.c_str();
    RegisterClassW(&wc);
    if (args.size() > 2) {
        g_laterClass = ToWide(args[2]);
        wc.lpszClassName = g_laterClass.c_str();
        RegisterClassW(&wc);
    }
    HWND w = CreateWindowExW(0, className.c_str(), ToWide(args[1]).c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             40, 40, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
    if (!w) return 3;
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
OMB_CHILD_ROLE("window", WindowRole);

// ---------------------------------------------------------------------------

struct CenterTest : ::testing::Test {
    void SetUp() override {
        RegisterModelClasses();
        CreateMultiLanguages();
        SelectLanguage("");
        SetMLVariable("appname", "Ombrel");
    }
    void TearDown() override { FreeMultiLanguages(); }
    ComInit com;
};
}  // namespace

TEST_F(CenterTest, RulesTakeEffectOnAnotherProcessesWindows) {
    Installation install;
    Config config;
    config.Action(config.Rule("top", "OmbE2eTop"), "StayOnTop");
    config.Action(config.Rule("max", "OmbE2eMax"), "RunMode", "run_mode", "maximize");
    config.Action(config.Rule("min", "OmbE2eMin"), "RunMode", "run_mode", "minimize");
    config.Action(config.Rule("closer", "OmbE2eClose"), "CloseWindow");
    config.Action(config.Rule("off", "OmbE2ePlain", false), "StayOnTop");
    config.Action(config.Rule("ask", "OmbE2eAsk"), "CloseQuery");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start());

    std::vector<ChildProcess> children;
    for (const char* c : {"OmbE2eTop", "OmbE2eMax", "OmbE2eMin", "OmbE2eClose", "OmbE2ePlain", "OmbE2eAsk"})
        children.push_back(ChildProcess::Start("window", {c, std::string("a ") + c + " window"}));
    for (const char* c : {"OmbE2ePlain", "OmbE2eAsk"})
        ASSERT_TRUE(WaitFor([&] { return WindowOf(c) != nullptr; })) << c;

    EXPECT_TRUE(WaitFor([] { return WindowOf("OmbE2eTop") && TopMost(WindowOf("OmbE2eTop")); }));
    EXPECT_TRUE(WaitFor([] { return WindowOf("OmbE2eMax") && IsZoomed(WindowOf("OmbE2eMax")); }));
    EXPECT_TRUE(WaitFor([] { return WindowOf("OmbE2eMin") && IsIconic(WindowOf("OmbE2eMin")); }));
    EXPECT_TRUE(WaitFor([] { return WindowOf("OmbE2eClose") == nullptr; }));
    EXPECT_TRUE(children[3].Wait(3000));  // its child ended with its only window
    HWND plain = WindowOf("OmbE2ePlain");
    EXPECT_FALSE(TopMost(plain));  // a disabled rule does nothing

    // Command 1 answers byte for byte what the model writes for the window.
    HWND top = WindowOf("OmbE2eTop");
    const int32_t handle = int32_t(reinterpret_cast<INT_PTR>(top));
    std::string reply;
    int32_t code = 0;
    ASSERT_EQ(Installation::Command(1, std::string(reinterpret_cast<const char*>(&handle), 4), &reply, &code),
              0);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(reply, config.TextFor(top));
    ASSERT_EQ(Installation::Command(1, std::string(8, 'x'), &reply, &code), 0);
    EXPECT_EQ(code, -1);
    const int32_t plainHandle = int32_t(reinterpret_cast<INT_PTR>(plain));
    ASSERT_EQ(
        Installation::Command(1, std::string(reinterpret_cast<const char*>(&plainHandle), 4), &reply, &code),
        0);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(reply, "");

    // The close question: No keeps the window, Yes lets it close.
    HWND ask = WindowOf("OmbE2eAsk");
    auto answer = [&](int button) {
        PostMessageA(ask, WM_SYSCOMMAND, SC_CLOSE, 0);
        HWND box = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            box = FindWindowA("#32770", "a OmbE2eAsk window");
            return box != nullptr;
        }));
        if (!box) return;
        char text[256] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
        EXPECT_STREQ(text, "Are you sure you want to close the window?");
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(box, button)));
        WaitFor([&] { return !IsWindow(box); });
    };
    answer(IDNO);
    Sleep(300);
    EXPECT_TRUE(IsWindow(ask));
    answer(IDYES);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(ask); }));

    // Command 3 ends the program; the single instance and the hook go.
    ASSERT_EQ(Installation::Command(3), 0);
    EXPECT_EQ(install.Ended(8000), 0);
    EXPECT_FALSE(BlockExists(kCenterInstanceName));
    EXPECT_FALSE(BlockExists(kHookHandleBlockName));
    // The other program keeps running, its windows working.
    EXPECT_TRUE(children[0].Running());
    EXPECT_TRUE(SendMessageTimeoutA(top, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr));
}

TEST_F(CenterTest, ASavedConfigurationReachesAWindowAlreadyOpen) {
    Installation install;
    Config config;
    config.Rule("unrelated", "OmbE2eNothing");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start());
    ChildProcess child = ChildProcess::Start("window", {"OmbE2eLate", "late"});
    ASSERT_TRUE(WaitFor([] { return WindowOf("OmbE2eLate") != nullptr; }));
    Sleep(1000);
    EXPECT_FALSE(TopMost(WindowOf("OmbE2eLate")));
    config.Action(config.Rule("late", "OmbE2eLate"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));  // sends command 2
    EXPECT_TRUE(WaitFor([] { return TopMost(WindowOf("OmbE2eLate")); }));
}

// A save whose file changed one rule: the windows of the other rules keep
// what the user made of them since their rules ran (a window restored from
// maximized, one its program hid, the window in front), and the changed rule
// applies to its window.
TEST_F(CenterTest, AReloadChangesOnlyWhatTheUserChanged) {
    Installation install;
    Config config;
    config.Action(config.Rule("max", "OmbE2eReMax"), "RunMode", "run_mode", "maximize");
    config.Action(config.Rule("hide", "OmbE2eReHide"), "SaveSizePos");
    IBOMObject* changed = config.Rule("changed", "OmbE2eReNew");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start());
    std::vector<ChildProcess> children;
    for (const char* c : {"OmbE2eReMax", "OmbE2eReHide", "OmbE2eReNew", "OmbE2eReFront"}) {
        children.push_back(ChildProcess::Start("window", {c, c}));
        ASSERT_TRUE(WaitFor([c] { return WindowOf(c) != nullptr; })) << c;
    }
    HWND max = WindowOf("OmbE2eReMax"), hide = WindowOf("OmbE2eReHide"), front = WindowOf("OmbE2eReFront");
    HWND fresh = WindowOf("OmbE2eReNew");
    ASSERT_TRUE(WaitFor([&] { return IsZoomed(max) && GetPropW(hide, kAttachedProperty) != nullptr; }));
    ASSERT_TRUE(WaitFor([&] { return GetPropW(fresh, kAttachedProperty) != nullptr; }));
    ShowWindow(max, SW_RESTORE);
    ShowWindow(hide, SW_HIDE);
    SetForegroundWindow(front);
    ASSERT_TRUE(
        WaitFor([&] { return !IsZoomed(max) && !IsWindowVisible(hide) && GetForegroundWindow() == front; }));

    config.Action(changed, "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));  // sends command 2
    EXPECT_TRUE(WaitFor([&] { return TopMost(fresh); })) << "the changed rule applies";
    EXPECT_FALSE(WaitFor(
        [&] { return IsZoomed(max) || IsWindowVisible(hide) || GetForegroundWindow() != front; }, 1500))
        << "maximized " << IsZoomed(max) << ", shown " << IsWindowVisible(hide) << ", in front "
        << (GetForegroundWindow() == front);
}

// The command center stops while a busy window keeps its last notice
// waiting; a window of a ruled class opens meanwhile: it gets no rule, and
// nothing holds it once the command center has ended.
TEST_F(CenterTest, AWindowThatOpensWhileTheCenterStopsIsNotRuled) {
    Installation install;
    Config config;
    config.Action(config.Rule("later", "OmbE2eStopLater"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start());
    ChildProcess busy = ChildProcess::Start("window", {"OmbE2eStopBusy", "busy"});
    ChildProcess opener = ChildProcess::Start("window", {"OmbE2eStopOpener", "opener", "OmbE2eStopLater"});
    ASSERT_TRUE(WaitFor([] { return WindowOf("OmbE2eStopBusy") && WindowOf("OmbE2eStopOpener"); }));
    // Armed only now: the notices of the start are long over.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(WindowOf("OmbE2eStopOpener"), kArmMessage, 0, 0, SMTO_ABORTIFHUNG, 3000,
                                    &answer));
    PostMessageA(WindowOf("OmbE2eStopBusy"), kBusyMessage, 1500, 0);
    ASSERT_EQ(Installation::Command(3), 0);
    ASSERT_TRUE(WaitFor([] { return WindowOf("OmbE2eStopLater") != nullptr; }, 3000));
    EXPECT_EQ(install.Ended(8000), 0);
    HWND later = WindowOf("OmbE2eStopLater");
    EXPECT_FALSE(
        WaitFor([later] { return TopMost(later) || GetPropW(later, kAttachedProperty) != nullptr; }, 1000))
        << "ruled after the command center has gone";
}

TEST_F(CenterTest, PlacementIsRestoredWhenTheWindowOpensAgain) {
    const std::string rule = "placement " + UniqueName("e2e");
    const std::string key = std::string(kRegistryRoot) + "\\WindowRules\\" + rule;
    Installation install;
    Config config;
    config.Action(config.Rule(rule, "OmbE2ePlace"), "SaveSizePos");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start());
    {
        ChildProcess child = ChildProcess::Start("window", {"OmbE2ePlace", "place"});
        ASSERT_TRUE(WaitFor([] { return WindowOf("OmbE2ePlace") != nullptr; }));
        Sleep(500);
        SetWindowPos(WindowOf("OmbE2ePlace"), nullptr, 123, 77, 321, 222, SWP_NOZORDER | SWP_NOACTIVATE);
        PostMessageA(WindowOf("OmbE2ePlace"), WM_CLOSE, 0, 0);
        ASSERT_TRUE(child.Wait(5000));
    }
    ChildProcess again = ChildProcess::Start("window", {"OmbE2ePlace", "place"});
    RECT r{};
    EXPECT_TRUE(WaitFor([&] {
        HWND w = WindowOf("OmbE2ePlace");
        return w && GetWindowRect(w, &r) && r.left == 123 && r.top == 77;
    })) << r.left
        << "," << r.top;
    EXPECT_EQ(r.right - r.left, 321);
    EXPECT_EQ(r.bottom - r.top, 222);
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

TEST_F(CenterTest, ASecondInstanceEndsAtOnce) {
    Installation first;
    Config config;
    config.Rule("any", "OmbE2eAny");
    ASSERT_TRUE(config.Save(first.Path("Ombrel.ini")));
    ASSERT_TRUE(first.Start());
    Installation second;
    ASSERT_TRUE(config.Save(second.Path("Ombrel.ini")));
    second.Start();
    EXPECT_EQ(second.Ended(3000), 0);
    EXPECT_LT(first.Ended(0), 0);  // the first runs on
}

// The center says why it does not start, a broken file as the editor says
// it, and ends once the message is closed.
TEST_F(CenterTest, AMissingOrBrokenConfigurationIsSaidAndEndsWithoutHooking) {
    {
        Installation install;  // no Ombrel.ini at all
        EXPECT_FALSE(install.Start());
        EXPECT_EQ(CloseMessageBox(GetProcessId(install.Process())),
                  "The configuration file was not found:\n" + install.Path("Ombrel.ini"));
        EXPECT_EQ(install.Ended(3000), 0);
    }
    {
        Installation install;
        const std::string file = install.Path("Ombrel.ini");
        WriteBytes(file, "<tarvel_windows>\n  <window_rules>\n</tarvel_windows>\n");
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        ASSERT_FALSE(storage->LoadFromFile(file));
        ASSERT_GT(storage->LoadError().line, 0);
        EXPECT_FALSE(install.Start());
        EXPECT_EQ(CloseMessageBox(GetProcessId(install.Process())),
                  LoadFailureMessage(file, storage->LoadError()));
        EXPECT_EQ(install.Ended(3000), 0);
    }
    EXPECT_FALSE(BlockExists(kHookHandleBlockName));
    EXPECT_FALSE(BlockExists(kCenterInstanceName));
}

namespace {
// The small windowed program of probe_window.c, built 64-bit always and 32-bit
// when the 32-bit compiler is installed; it lies beside this test binary.
constexpr UINT kProbeBits = WM_APP + 1;
constexpr UINT kProbeHookLoaded = WM_APP + 2;

std::string ProbePath(const char* file) {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of("\\/") + 1) + file;
}

class Probe {
public:
    // Starts the program with a window of the class and caption; false when
    // it could not be started.
    bool Start(const std::string& program, const std::string& className, const std::string& caption) {
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        std::string command = "\"" + program + "\" \"" + className + "\" \"" + caption + "\"";
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        process_.reset(pi.hProcess);
        class_ = className;
        caption_ = caption;
        return true;
    }
    ~Probe() {
        if (Running()) TerminateProcess(process_.get(), 1);
    }
    HWND Window() const { return FindWindowA(class_.c_str(), caption_.c_str()); }
    bool Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    // The window's answer to a probe message, or -1 when it does not answer.
    LONG_PTR Ask(UINT message) const {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(Window(), message, 0, 0, SMTO_ABORTIFHUNG, 3000, &result)) return -1;
        return LONG_PTR(result);
    }
    // Closes the window; the exit code once the program ended, or -1.
    long Close() {
        PostMessageA(Window(), WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return long(code);
    }

private:
    UniqueHandle process_;
    std::string class_, caption_;
};
}  // namespace

// The 64-bit hook library is loaded into 64-bit programs only. A 32-bit
// program's window of a ruled class is left as it is, and the program runs on
// and answers; the same window in a 64-bit program is ruled.
TEST_F(CenterTest, WindowsOfThirtyTwoBitProgramsAreLeftAlone) {
    const std::string probe32 = ProbePath("probe_window32.exe");
    if (!FileExists(probe32))
        GTEST_SKIP() << "probe_window32.exe was not built: no 32-bit MinGW-w64 compiler "
                        "(i686-w64-mingw32-gcc) was found when the build was configured";
    {
        // Without a command center: can this system run a 32-bit program?
        Probe alone;
        const bool runs = alone.Start(probe32, "OmbE2eBitsAlone", "alone") &&
                          WaitFor([&] { return alone.Window() != nullptr; }, 5000) &&
                          alone.Ask(kProbeBits) == 32;
        if (!runs)
            GTEST_SKIP() << "this system runs no 32-bit Windows program (under Wine: wine32:i386 is not "
                            "installed, the prefix has no 32-bit part, or the kernel refuses 32-bit code)";
        EXPECT_EQ(alone.Close(), 0);
    }

    Installation install;
    Config config;
    config.Action(config.Rule("top", "OmbE2eBits"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start());

    // The 32-bit window first: had its creation been served, it would be
    // topmost before the 64-bit window, created later, is.
    Probe narrow, wide;
    ASSERT_TRUE(narrow.Start(probe32, "OmbE2eBits", "a 32-bit window"));
    ASSERT_TRUE(WaitFor([&] { return narrow.Window() != nullptr; }));
    ASSERT_TRUE(wide.Start(ProbePath("probe_window64.exe"), "OmbE2eBits", "a 64-bit window"));
    ASSERT_TRUE(WaitFor([&] { return wide.Window() && TopMost(wide.Window()); }));
    EXPECT_EQ(wide.Ask(kProbeBits), 64);
    EXPECT_EQ(wide.Ask(kProbeHookLoaded), 1);

    EXPECT_EQ(narrow.Ask(kProbeBits), 32);
    EXPECT_EQ(narrow.Ask(kProbeHookLoaded), 0);
    EXPECT_FALSE(TopMost(narrow.Window()));

    // A saved configuration reaches the windows already open: the 64-bit
    // one only.
    Probe narrowLate, wideLate;
    ASSERT_TRUE(narrowLate.Start(probe32, "OmbE2eBitsLate", "a late 32-bit window"));
    ASSERT_TRUE(wideLate.Start(ProbePath("probe_window64.exe"), "OmbE2eBitsLate", "a late 64-bit window"));
    ASSERT_TRUE(WaitFor([&] { return narrowLate.Window() && wideLate.Window(); }));
    config.Action(config.Rule("late", "OmbE2eBitsLate"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));  // sends command 2
    EXPECT_TRUE(WaitFor([&] { return TopMost(wideLate.Window()); }));
    EXPECT_FALSE(TopMost(narrowLate.Window()));
    EXPECT_EQ(narrowLate.Ask(kProbeBits), 32);
    EXPECT_EQ(narrowLate.Close(), 0);
    EXPECT_EQ(wideLate.Close(), 0);

    // The 32-bit program runs on unharmed, with the center and after it.
    EXPECT_TRUE(narrow.Running());
    EXPECT_EQ(narrow.Ask(kProbeBits), 32);
    ASSERT_EQ(Installation::Command(3), 0);
    EXPECT_EQ(install.Ended(8000), 0);
    EXPECT_EQ(narrow.Ask(kProbeBits), 32);
    EXPECT_EQ(narrow.Close(), 0);
    EXPECT_EQ(wide.Close(), 0);
}

TEST_F(CenterTest, TheSampleConfigurationLoads) {
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    ASSERT_TRUE(storage->LoadFromFile(DistFolder() + "Ombrel.ini"));
    Ref<TTarvelWindows> root(dynamic_cast<TTarvelWindows*>(CreateAbstractObject("TARVILWINDOWS").get()));
    storage->LoadObject(static_cast<IPersistObject*>(root.get()));
    root->SetOwner(nullptr);
    Ref<IBOMCollection> rules = root->GetObject("window_rules").As<IBOMCollection>();
    ASSERT_TRUE(rules);
    EXPECT_GE(rules->Count(), 3);
    // A window of Notepad's class gets the rule that keeps it on top; the
    // disabled rule that asks before closing does not answer.
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Notepad";
    RegisterClassA(&wc);
    UniqueWindow notepad(CreateWindowExA(0, "Notepad", "Untitled - Notepad", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                         100, nullptr, nullptr, wc.hInstance, nullptr));
    const std::string text = root->FindWindowCommand(notepad.get());
    EXPECT_EQ(text.rfind("\\WINDOWRULENAME=Notepad stays on top\\ACTION=STAYONTOPACTION{", 0), 0u) << text;
    EXPECT_EQ(text.find("CLOSEQUERYACTION"), std::string::npos);
    Ref<IBOMObject> ask = root->GetObject("window_rules/Ask before closing Notepad");
    ASSERT_TRUE(ask);
    EXPECT_FALSE(ask->QueryRole("WindowRule").As<IWindowRule>()->IsEnabled());
    notepad.reset();
    UnregisterClassA("Notepad", wc.hInstance);
    root->Disconnect();
}

// ---------------------------------------------------------------------------
// Texts beyond the code page. The foreign program is ansi_process_test.exe,
// built without the UTF-8 manifest entry: it runs under the prefix's
// windows-1252, as Notepad does, while the command center runs with UTF-8.

namespace {
std::string AnsiProgram() {
    return WindowsPathOf(OMB_ANSI_PROGRAM);
}

// Its windows: (class, caption) pairs; empty when they did not open.
ChildProcess ForeignWindows(const std::vector<std::pair<std::string, std::string>>& windows) {
    const std::string ready = UniqueName("ready");
    UniqueHandle event = NamedEvent(ready);
    std::vector<std::string> args = {ready};
    for (const auto& w : windows) {
        args.push_back(w.first);
        args.push_back(w.second);
    }
    ChildProcess child = ChildProcess::StartProgram(AnsiProgram(), "windows", args);
    if (!WaitSignalled(event.get(), 15000)) child.Kill();
    return child;
}

// Command 1 for the window: the rule text the command center answers.
std::string RuleTextFor(HWND window) {
    const int32_t handle = int32_t(reinterpret_cast<INT_PTR>(window));
    std::string reply;
    int32_t code = 0;
    if (Installation::Command(1, std::string(reinterpret_cast<const char*>(&handle), 4), &reply, &code) != 0)
        return "<no answer>";
    return reply;
}

bool BeginsWith(const std::string& text, const std::string& head) {
    return text.rfind(head, 0) == 0;
}
}  // namespace

TEST_F(CenterTest, CaptionsAndClassNamesBeyondTheCodePageRuleOnlyTheirWindows) {
    const std::vector<std::string>& captions =
        ScriptCaptions();  // "абвгде 😀", "Привет 🙂", "?????? ??", "Hello"
    Installation install;
    Config config;
    const std::string exactName = u8"\u0422\u043e\u0447\u043d\u043e \U0001F642";  // "Точно 🙂"
    IBOMObject* exact = config.CaptionRule(exactName, captions[1], true);
    config.Action(exact, "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start());

    std::vector<std::pair<std::string, std::string>> classAndCaption;
    for (const std::string& caption : captions) classAndCaption.emplace_back("OmbE2eScript", caption);
    classAndCaption.emplace_back(kScriptClassA, "class A");
    classAndCaption.emplace_back(kScriptClassB, "class B");
    ChildProcess child = ForeignWindows(classAndCaption);
    ASSERT_TRUE(child);
    std::vector<HWND> windows;
    for (const auto& window : classAndCaption) {
        windows.push_back(WindowOf(window.first, window.second));
        ASSERT_TRUE(windows.back()) << window.first << " / " << window.second;
    }
    // Which windows the command center answers with a rule, as "010000".
    auto ruled = [&] {
        std::string answer;
        for (HWND w : windows) answer += RuleTextFor(w).empty() ? '0' : '1';
        return answer;
    };

    // A whole caption: only its window, which the rule keeps on top.
    EXPECT_EQ(ruled(), "010000");
    EXPECT_TRUE(WaitFor([&] { return TopMost(windows[1]); }));
    Sleep(500);
    for (size_t i = 0; i < windows.size(); ++i) {
        if (i == 1) continue;
        EXPECT_FALSE(TopMost(windows[i])) << i;
    }
    // Command 1 carries the rule's name in UTF-8, as the model writes it.
    const std::string text = RuleTextFor(windows[1]);
    EXPECT_TRUE(BeginsWith(text, "\\WINDOWRULENAME=" + exactName + "\\ACTION=STAYONTOPACTION{")) << text;
    EXPECT_EQ(text, config.TextFor(windows[1]));

    // A part of a caption: only the windows that hold it.
    Config::Set(exact, "params/enabled", "no");
    const std::string partName = u8"\u0427\u0430\u0441\u0442\u044c";  // "Часть"
    IBOMObject* part = config.CaptionRule(partName, u8"\U0001F642", false);
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));  // command 2: the center reloads
    EXPECT_TRUE(WaitFor([&] { return BeginsWith(RuleTextFor(windows[1]), "\\WINDOWRULENAME=" + partName); }));
    EXPECT_EQ(ruled(), "010000");

    // A class name beyond ASCII: only its class (the part rule stays on).
    ASSERT_TRUE(part);
    const std::string className = u8"\u041a\u043b\u0430\u0441\u0441";  // "Класс"
    config.Rule(className, kScriptClassA);
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    EXPECT_TRUE(
        WaitFor([&] { return BeginsWith(RuleTextFor(windows[4]), "\\WINDOWRULENAME=" + className); }));
    EXPECT_EQ(ruled(), "010010");
}

TEST_F(CenterTest, ACyrillicRuleNameKeepsOneRegistryKeyAcrossCodePages) {
    const std::string unique = UniqueName("e2e");
    const std::string rule = u8"\u0420\u0430\u0437\u043c\u0435\u0440 \u043e\u043a\u043d\u0430 " + unique;
    const std::wstring key =
        L"SOFTWARE\\Quennet\\Ombrel\\WindowRules\\"
        L"\u0420\u0430\u0437\u043c\u0435\u0440 \u043e\u043a\u043d\u0430 " +
        ToWide(unique);
    Installation install;
    Config config;
    config.Action(config.Rule(rule, "OmbE2eCyrPlace"), "SaveSizePos");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(install.Start());
    auto placeAndClose = [](ChildProcess& child, int x, int y) {
        HWND w = WindowOf("OmbE2eCyrPlace");
        ASSERT_TRUE(w);
        ASSERT_TRUE(WaitFor([w] { return GetPropW(w, kAttachedProperty) != nullptr; }))
            << "the rule is attached";
        SetWindowPos(w, nullptr, x, y, 321, 222, SWP_NOZORDER | SWP_NOACTIVATE);
        PostMessageW(w, WM_CLOSE, 0, 0);
        ASSERT_TRUE(child.Wait(5000));
    };
    auto placedAt = [](int x, int y) {
        RECT r{};
        const bool at = WaitFor([&] {
            HWND w = WindowOf("OmbE2eCyrPlace");
            return w && GetWindowRect(w, &r) && r.left == x && r.top == y;
        });
        EXPECT_TRUE(at) << r.left << "," << r.top;
        return at;
    };

    // Written by the hook library in a program of windows-1252 ...
    {
        ChildProcess ansi = ForeignWindows({{"OmbE2eCyrPlace", "place"}});
        ASSERT_TRUE(ansi);
        placeAndClose(ansi, 123, 77);
    }
    {
        UniqueRegKey opened;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.put()), ERROR_SUCCESS);
        DWORD left = 0, size = sizeof(left);
        EXPECT_EQ(RegQueryValueExW(opened.get(), L"SaveSizePos_NormalPositionLeft", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&left), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(left, 123u);
    }
    // ... read back in a program of UTF-8, which writes it anew ...
    {
        ChildProcess utf8 = ChildProcess::Start("window", {"OmbE2eCyrPlace", "place"});
        EXPECT_TRUE(placedAt(123, 77));
        placeAndClose(utf8, 200, 150);
    }
    // ... and read back under windows-1252 again.
    {
        ChildProcess ansi = ForeignWindows({{"OmbE2eCyrPlace", "place"}});
        ASSERT_TRUE(ansi);
        EXPECT_TRUE(placedAt(200, 150));
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

// What the command center loads keeps what the file holds: a rule whose name
// an earlier rule took (a hand-edited file) still rules its windows, under
// the first free name; a caption ending in a blank keeps the blank, and so
// rules only the window captioned that way.
TEST_F(CenterTest, RulesOfOneNameAndACaptionsBlankReachTheCenter) {
    Installation install;
    Config config;
    config.Rule("Twin", "OmbE2eTwinA");
    config.Rule("Twin second", "OmbE2eTwinB");
    config.CaptionRule("Blank", "OmbE2e caption ", true);
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    std::string xml = ReadBytes(install.Path("Ombrel.ini"));
    ASSERT_NE(xml.find(">OmbE2e caption <"), std::string::npos);
    for (size_t at; (at = xml.find("Twin second")) != std::string::npos;) xml.replace(at, 11, "Twin");
    WriteBytes(install.Path("Ombrel.ini"), xml);
    ASSERT_TRUE(install.Start());

    ChildProcess child = ForeignWindows({{"OmbE2eTwinA", "a"},
                                         {"OmbE2eTwinB", "b"},
                                         {"OmbE2eBlankA", "OmbE2e caption "},
                                         {"OmbE2eBlankB", "OmbE2e caption"}});
    ASSERT_TRUE(child);
    HWND a = WindowOf("OmbE2eTwinA", "a"), b = WindowOf("OmbE2eTwinB", "b");
    HWND blank = WindowOf("OmbE2eBlankA", "OmbE2e caption "), trimmed = WindowOf("OmbE2eBlankB", "OmbE2e caption");
    ASSERT_TRUE(a && b && blank && trimmed);
    EXPECT_TRUE(BeginsWith(RuleTextFor(a), "\\WINDOWRULENAME=Twin\\")) << RuleTextFor(a);
    EXPECT_TRUE(BeginsWith(RuleTextFor(b), "\\WINDOWRULENAME=Twin (2)\\")) << RuleTextFor(b);
    EXPECT_TRUE(BeginsWith(RuleTextFor(blank), "\\WINDOWRULENAME=Blank\\")) << RuleTextFor(blank);
    EXPECT_EQ(RuleTextFor(trimmed), "");
}
