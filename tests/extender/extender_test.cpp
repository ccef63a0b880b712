// The hook library inside one process, as it runs in a foreign program:
// real windows on this thread, a thread hook that calls the hook procedure
// for them, and a stand-in rule service on the real command channel. Each
// test answers the windows of its own class with its own rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "extender/actions.h"
#include "extender/application.h"
#include "extender/close_query_action.h"
#include "extender/hook_entry.h"
#include "extender/library.h"
#include "extender/message_triggers.h"
#include "extender/save_size_pos_action.h"
#include "extender/timer.h"
#include "extender/trace.h"
#include "extender/window_extender.h"
#include "foundation/crc32.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"
#include "tests/common/child_process.h"
#include "tests/common/rule_server.h"
#include "tests/common/rule_text.h"

using namespace omb;
using namespace omb::ea;
using namespace omb::test;
namespace R = omb::test::rule;

namespace {

// ---- the library, as the hook library starts in a process ----

HHOOK g_threadHook = nullptr;

class LibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        LibraryStartup(::GetModuleHandleW(nullptr));
        LibraryReady();
        g_threadHook = ::SetWindowsHookExW(WH_CALLWNDPROC, &CallProcHook, nullptr, ::GetCurrentThreadId());
    }
    void TearDown() override {
        if (g_threadHook) ::UnhookWindowsHookEx(g_threadHook);
        LibraryShutdown(false);
    }
};
const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

// ---- test windows: what reached each window's own procedure ----

struct WindowLog {
    std::vector<UINT> messages;
    int attached = 0;
    ULONGLONG attachedAt = 0;
    int closes = 0;
    int sysCommands = 0;
    bool destroyed = false;
    bool destroyedWithOwnProcedure = false;  // at WM_DESTROY the subclass was gone
    bool topmostAtAttach = false;            // on top before the attach notice reached the window
    ULONGLONG topmostAt = 0;
    bool Saw(UINT m) const {
        for (UINT x : messages)
            if (x == m) return true;
        return false;
    }
};

std::map<HWND, WindowLog>& Logs() {
    static std::map<HWND, WindowLog> logs;
    return logs;
}

// A window with this property counts WM_CLOSE and stays open.
constexpr const wchar_t* kKeepOpen = L"OmbTestKeepOpen";

bool IsTopmost(HWND w) {
    return (::GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

LRESULT CALLBACK TestProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    WindowLog& log = Logs()[w];
    log.messages.push_back(m);
    if (m == WM_EXTENDER_ATTACHED) {
        ++log.attached;
        log.attachedAt = ::GetTickCount64();
        log.topmostAtAttach = IsTopmost(w);
    } else if (m == WM_WINDOWPOSCHANGED && IsTopmost(w) && log.topmostAt == 0) {
        log.topmostAt = ::GetTickCount64();
    } else if (m == WM_CLOSE) {
        ++log.closes;
        if (::GetPropW(w, kKeepOpen)) return 0;
    } else if (m == WM_SYSCOMMAND) {
        ++log.sysCommands;
    } else if (m == WM_DESTROY) {
        log.destroyed = true;
        log.destroyedWithOwnProcedure =
            ::GetWindowLongPtrW(w, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&TestProc);
    }
    return ::DefWindowProcW(w, m, wp, lp);
}

std::string NewClass(const std::string& stem) {
    static int counter = 0;
    const std::string name =
        "OmbExt" + stem + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++counter);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TestProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    const std::wstring wide = ToWide(name);
    wc.lpszClassName = wide.c_str();
    ::RegisterClassW(&wc);
    return name;
}

HWND MakeWindow(const std::string& className, DWORD style = WS_OVERLAPPEDWINDOW, DWORD exStyle = 0,
                HWND parent = nullptr, const wchar_t* caption = L"Ombrel test window") {
    return ::CreateWindowExW(exStyle, ToWide(className).c_str(), caption, style, 40, 40, 320, 200, parent,
                             nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

std::string UniqueRule(const std::string& stem) {
    return UniqueName("rule-" + stem);
}

void DeleteRuleKey(const std::string& ruleName) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(WindowRulesKey(ruleName)).c_str());
}

bool WaitWorkersGone(DWORD ms = 3000) {
    return PumpUntil([] { return RunningWorkers() == 0; }, ms);
}

// ---- the fixture: a rule service on the real channel for this test ----

struct Extender : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(g_threadHook);
        app = ApplicationObject();
        ASSERT_TRUE(app);
        server =
            std::make_unique<RuleServer>([this](HWND w, const std::string& cls) { return Answer(w, cls); });
        ASSERT_TRUE(server->Ready());
    }
    void TearDown() override {
        for (HWND w : windows)
            if (::IsWindow(w)) ::DestroyWindow(w);
        WaitWorkersGone();
        server.reset();
        for (const std::string& rule : rules) DeleteRuleKey(rule);
        SetSynchronousRequests(false);
    }

    // The rule service: this test's classes and their texts.
    RuleAnswer Answer(HWND, const std::string& className) {
        std::lock_guard<std::mutex> lock(mutex);
        RuleAnswer a;
        auto it = texts.find(className);
        if (it != texts.end()) a.text = it->second;
        if (silent.count(className)) a.reply = false;
        return a;
    }
    void Serve(const std::string& className, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        texts[className] = text;
    }

    // A window of a new class that gets the rule.
    HWND Extended(const std::string& ruleText, DWORD style = WS_OVERLAPPEDWINDOW,
                  std::string* classOut = nullptr) {
        const std::string cls = NewClass("W");
        Serve(cls, ruleText);
        HWND w = MakeWindow(cls, style);
        windows.push_back(w);
        PumpUntil([w] { return Logs()[w].attached > 0; }, 3000);
        WaitWorkersGone();  // the attach is over, not only announced
        if (classOut) *classOut = cls;
        return w;
    }
    Ref<IExtenderAction> ActionOf(HWND w, const std::string& name) {
        Ref<IWindowExtender> extender = app->FindExtender(w);
        if (!extender) return nullptr;
        Ref<IActions> actions = extender.As<IWindowHandler>()->GetActions();
        return actions ? actions->Get(Variant(name)) : nullptr;
    }

    Ref<TEmbededApplication> app;
    std::unique_ptr<RuleServer> server;
    std::mutex mutex;
    std::map<std::string, std::string> texts;
    std::set<std::string> silent;
    std::vector<HWND> windows;
    std::vector<std::string> rules;
};

const std::string kOnTopAgent = R::Agent("OnTop", "StayOnTop", "concrete", "STAYONTOPON");

}  // namespace

// ---- the hook procedure's filter ----

TEST(HookFilter, ExcludedClassNamesAreTheThirtyFourEntriesExactly) {
    const std::string text = kExcludedWindowClasses;
    EXPECT_EQ(text.rfind(";OleMainThreadWndClass;;OleMainThreadWndClass 0x######## ;;OleDdeWndClass;", 0),
              0u);
    const std::string tail = ";OfficeTooltip;;tooltips_class32;";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    int entries = 0;
    for (size_t at = 0; at < text.size();) {
        ASSERT_EQ(text[at], ';');
        const size_t end = text.find(';', at + 1);
        ASSERT_NE(end, std::string::npos);
        ++entries;
        at = end + 1;
    }
    EXPECT_EQ(entries, 34);
    for (const char* name : {"IME", "WorkerW", "OleDdeWndClass 0x######## ", "CLIPBRDWNDCLASS 0x######## ",
                             "UmdmSP Class", "#43", "tooltips_class32", ""})
        EXPECT_TRUE(IsExcludedWindowClass(name)) << name;
    for (const char* name : {"ime", "IM", "IMEX", "OleDdeWndClass 0x########", "OleDdeWndClass 0x12345678 ",
                             "Notepad", "Tooltips_class32"})
        EXPECT_FALSE(IsExcludedWindowClass(name)) << name;
}

TEST(HookFilter, StyleTestsOfNewWindows) {
    EXPECT_TRUE(IsNewWindowToHandle(WS_OVERLAPPEDWINDOW, 0));
    EXPECT_TRUE(IsNewWindowToHandle(WS_POPUP, 0));
    EXPECT_FALSE(IsNewWindowToHandle(WS_CHILD | WS_VISIBLE, 0));
    EXPECT_TRUE(IsNewWindowToHandle(WS_CHILD, WS_EX_TOOLWINDOW));
    EXPECT_FALSE(IsNewWindowToHandle(0, 0));
    EXPECT_TRUE(IsNewWindowToHandle(0, WS_EX_TOOLWINDOW));
    EXPECT_FALSE(IsNewWindowToHandle(WS_CHILD, WS_EX_CLIENTEDGE));
}

TEST_F(Extender, NewWindowsAreAskedAboutOnceAndChildWindowsNot) {
    const std::string rule = R::Rule("NoParts", {}, {});
    const std::string cls = NewClass("Ask");
    Serve(cls, rule);
    HWND top = MakeWindow(cls);
    windows.push_back(top);
    ASSERT_TRUE(PumpUntil([top] { return Logs()[top].attached == 1; }, 3000));
    // An extender with no parts still subclasses and announces itself.
    EXPECT_NE(::GetWindowLongPtrW(top, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&TestProc));
    EXPECT_TRUE(app->IsHandled(top));

    HWND child = MakeWindow(cls, WS_CHILD | WS_VISIBLE, 0, top);
    HWND other = MakeWindow(cls, WS_CHILD, 0, top);
    HWND tool = MakeWindow(cls, WS_CHILD, WS_EX_TOOLWINDOW, top);
    windows.insert(windows.end(), {child, other, tool});
    ASSERT_TRUE(PumpUntil([tool] { return Logs()[tool].attached == 1; }, 3000));
    PumpFor(100);
    EXPECT_EQ(server->Requests(top), 1);
    EXPECT_EQ(server->Requests(child), 0);
    EXPECT_EQ(server->Requests(tool), 1);

    // A second WM_CREATE or WM_APPLY_RULES for an extended window asks nothing.
    CWPSTRUCT record{0, 0, WM_CREATE, top};
    CallProcHook(HC_ACTION, 0, reinterpret_cast<LPARAM>(&record));
    ::SendMessageW(top, WM_APPLY_RULES, 0, 0);
    // WM_APPLY_RULES handles child windows too.
    ::SendMessageW(child, WM_APPLY_RULES, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Logs()[child].attached == 1; }, 3000));
    EXPECT_EQ(server->Requests(top), 1);
    EXPECT_EQ(server->Requests(child), 1);

    // A negative code only goes on.
    CWPSTRUCT again{0, 0, WM_APPLY_RULES, other};
    CallProcHook(-1, 0, reinterpret_cast<LPARAM>(&again));
    PumpFor(100);
    EXPECT_FALSE(app->IsHandled(other));
    EXPECT_EQ(server->Requests(other), 0);
}

TEST_F(Extender, ExcludedClassesAndOtherProcessesWindowsAreNotHandled) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TestProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TPUtilWindow";
    ::RegisterClassW(&wc);
    HWND excluded = MakeWindow("TPUtilWindow");
    windows.push_back(excluded);
    ::SendMessageW(excluded, WM_APPLY_RULES, 0, 0);

    // The desktop window belongs to another process.
    HWND desktop = ::GetDesktopWindow();
    DWORD process = 0;
    ::GetWindowThreadProcessId(desktop, &process);
    ASSERT_NE(process, ::GetCurrentProcessId());
    CWPSTRUCT record{0, 0, WM_APPLY_RULES, desktop};
    CallProcHook(HC_ACTION, 0, reinterpret_cast<LPARAM>(&record));
    PumpFor(200);
    EXPECT_EQ(server->Requests("TPUtilWindow"), 0);
    EXPECT_FALSE(app->IsHandled(excluded));
    EXPECT_EQ(server->Requests(desktop), 0);
    EXPECT_FALSE(app->IsHandled(desktop));
    // Not even a direct application of a text attaches to a foreign window.
    app->ApplyRuleText(desktop, R::Rule("Foreign", {}, {}));
    EXPECT_FALSE(app->FindExtender(desktop));
}

TEST(MessageTriggers, LagSettingsAndAgentType) {
    auto make = [](const std::string& params) {
        return CreateItem(params, "WMCREATEMESSAGETRIGGER").As<IActionsActivator>();
    };
    auto trigger = [](const Ref<IActionsActivator>& t) { return static_cast<TMessageTrigger*>(t.get()); };
    Ref<IActionsActivator> t = make("\\LAG_ENABLED=Yes\\LAG_INTERVAL=500\\AGENT={\\NAME=A\\ACTIONNAME=X}");
    ASSERT_TRUE(t);
    EXPECT_TRUE(trigger(t)->LagEnabled());
    EXPECT_EQ(trigger(t)->LagInterval(), 500);
    ASSERT_EQ(trigger(t)->Agents()->GetCount(), 1);
    EXPECT_TRUE(trigger(t)->Agents()->Get(Variant(0)).As<IMessageActionActivator>())
        << "agents are message agents";
    for (const char* bad : {"abc", "-5", ""}) {
        Ref<IActionsActivator> u = make(std::string("\\LAG_ENABLED=yes\\LAG_INTERVAL=") + bad);
        ASSERT_TRUE(u);
        EXPECT_EQ(trigger(u)->LagInterval(), 0) << bad;
    }
}

TEST(HookHandle, ReadFromTheBlockWithItsSignAndWithdrawnWithIt) {
    EXPECT_EQ(HookHandle(), nullptr) << "no command center: no block";
    {
        UniqueHandle block(
            ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kHookHandleBlockName));
        ASSERT_TRUE(block);
        UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, 4));
        const uint32_t value = 0x80012345u;  // a handle whose bit 31 is set
        std::memcpy(view.get(), &value, 4);
        ReadHookHandle();
        EXPECT_EQ(reinterpret_cast<uintptr_t>(HookHandle()), uintptr_t(intptr_t(int32_t(value))));
        EXPECT_FALSE(HookWithdrawn());
    }
    // The center closed its block: the hook is gone, workers stop asking.
    EXPECT_TRUE(HookWithdrawn());
    // A library that starts while the center stops reads nothing and makes
    // no block: one made there would tell the others the hook is back.
    ReadHookHandle();
    EXPECT_EQ(HookHandle(), nullptr);
    EXPECT_FALSE(UniqueHandle(::OpenFileMappingA(FILE_MAP_READ, FALSE, kHookHandleBlockName)));
    EXPECT_FALSE(HookWithdrawn());
    {
        // A library that came before the center published its hook sees
        // the block later, and its withdrawal then.
        UniqueHandle block(
            ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kHookHandleBlockName));
        UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, 4));
        const uint32_t value = 0x4321;
        std::memcpy(view.get(), &value, 4);
        EXPECT_FALSE(HookWithdrawn());
    }
    EXPECT_TRUE(HookWithdrawn());
    ReadHookHandle();
    EXPECT_EQ(DataToHandle(HandleToData(reinterpret_cast<HWND>(intptr_t(-5)))),
              reinterpret_cast<HWND>(intptr_t(-5)));
}

// ---- stay on top ----

TEST_F(Extender, StayOnTopOnAndOffFollowsTheWindow) {
    HWND w =
        Extended(R::Rule("OnTop", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})}));
    ASSERT_EQ(Logs()[w].attached, 1);
    EXPECT_FALSE(Logs()[w].topmostAtAttach);
    EXPECT_TRUE(IsTopmost(w)) << "the creation trigger runs after the window handled the attach notice";
    Ref<IExtenderAction> action = ActionOf(w, "stayontop");  // names without regard to case
    ASSERT_TRUE(action);
    EXPECT_EQ(action->GetCurrentOperation()->GetName(), "STAYONTOPON");

    EXPECT_TRUE(action->ExecuteNext());
    EXPECT_FALSE(IsTopmost(w));
    EXPECT_TRUE(action->ExecuteNext());
    EXPECT_TRUE(IsTopmost(w));

    // Another program takes the window off the top: the next request puts it
    // back on, from the real state.
    ::SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    EXPECT_EQ(action->GetCurrentOperation()->GetName(), "STAYONTOPOFF");
    EXPECT_TRUE(action->ExecuteNext());
    EXPECT_TRUE(IsTopmost(w));

    EXPECT_FALSE(action->ExecuteOperation("stayontopoff"));  // operation names are exact
    EXPECT_TRUE(IsTopmost(w));
}

TEST_F(Extender, StayOnTopNotifiesItsObservers) {
    struct Counter : TDebugInterfacedObject, IObserver {
        OMB_IUNKNOWN
        int updates = 0;
        void Update(IPublisher*) override { ++updates; }
        void Detached(IPublisher*) override {}
        HRESULT QueryImpl(REFIID iid, void** o) override {
            if (Offer<IObserver>(this, iid, o)) return S_OK;
            return TDebugInterfacedObject::QueryImpl(iid, o);
        }
    };
    HWND w = Extended(R::Rule("Observed", {R::Action("STAYONTOPACTION", "StayOnTop")}, {}));
    Ref<IExtenderAction> action = ActionOf(w, "StayOnTop");
    ASSERT_TRUE(action);
    Ref<Counter> counter(new Counter());
    action->GetPublisher()->Attach(counter.get());
    action->ExecuteOperation("STAYONTOPON");
    EXPECT_GE(counter->updates, 1);
    action->GetPublisher()->Detach(counter.get());
}

// ---- close window and run modes ----

TEST_F(Extender, CloseWindowPostsOneCloseInItsLife) {
    HWND w = Extended(R::Rule("Close", {R::Action("CLOSEWINDOWACTION", "CloseWindow")},
                              {R::OnCreate({R::Agent("A", "CloseWindow", "next")})}));
    ASSERT_TRUE(PumpUntil([w] { return !::IsWindow(w); }, 2000)) << "WM_CLOSE reached the default handling";
    EXPECT_EQ(Logs()[w].closes, 1);

    // Asked twice while the window lives: still one WM_CLOSE.
    const std::string cls = NewClass("Close2");
    Serve(cls, R::Rule("Close2", {R::Action("CLOSEWINDOWACTION", "CloseWindow")}, {}));
    HWND v = MakeWindow(cls);
    windows.push_back(v);
    ASSERT_TRUE(PumpUntil([v] { return Logs()[v].attached == 1; }, 3000));
    Ref<IExtenderAction> action = ActionOf(v, "CloseWindow");
    ASSERT_TRUE(action);
    EXPECT_TRUE(action->ExecuteNext());
    EXPECT_FALSE(action->ExecuteNext());
    EXPECT_FALSE(action->ExecuteOperation("CLOSEWINDOW"));
    PumpFor(100);
    EXPECT_EQ(Logs()[v].closes, 1);
}

TEST_F(Extender, RunModesRespectTheBoxesTheWindowHas) {
    auto rule = [](const std::string& mode) {
        return R::Rule("Run", {R::Action("RUNMODEACTION", "RunMode", false, "\\RUNMODE=" + mode)},
                       {R::OnCreate({R::Agent("A", "RunMode", "next")})});
    };
    HWND minimized = Extended(rule("Minimize"));
    HWND maximized = Extended(rule("MAXIMIZE"));
    HWND noMinBox = Extended(rule("minimize"), WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX);
    HWND noMaxBox = Extended(rule("maximize"), WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX);
    HWND normal = Extended(rule("normal"));
    PumpUntil([&] { return ::IsIconic(minimized) && ::IsZoomed(maximized); }, 2000);
    EXPECT_TRUE(::IsIconic(minimized));
    EXPECT_TRUE(::IsZoomed(maximized));
    EXPECT_FALSE(::IsIconic(noMinBox));
    EXPECT_FALSE(::IsZoomed(noMaxBox));
    EXPECT_EQ(Logs()[noMinBox].sysCommands, 0);
    EXPECT_EQ(Logs()[noMaxBox].sysCommands, 0);
    EXPECT_EQ(Logs()[normal].sysCommands, 1) << "SC_RESTORE whatever the style";
    EXPECT_FALSE(::IsIconic(normal) || ::IsZoomed(normal));

    // Done once: a later request posts nothing either.
    Ref<IExtenderAction> action = ActionOf(noMaxBox, "RunMode");
    ASSERT_TRUE(action);
    EXPECT_FALSE(action->ExecuteNext());
    PumpFor(50);
    EXPECT_FALSE(::IsZoomed(noMaxBox));
}

// ---- size and position ----

TEST_F(Extender, SizeAndPositionSurviveTheWindowUnderTheRuleName) {
    const std::string ruleName = UniqueRule("placement");
    rules.push_back(ruleName);
    const std::string text =
        R::Rule(ruleName, {R::Action("SAVESIZEPOSACTION", "SaveSizePos")},
                {R::OnCreate({R::Agent("Restore", "SaveSizePos", "concrete", "RESTORESIZEPOS")}),
                 R::OnDestroy({R::Agent("Save", "SaveSizePos", "concrete", "SAVESIZEPOS")})});

    // Nothing saved yet: the first window keeps its place.
    HWND first = Extended(text);
    RECT r{};
    ::GetWindowRect(first, &r);
    EXPECT_EQ(r.left, 40);
    ::SetWindowPos(first, nullptr, 123, 77, 350, 260, SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(first, SW_MAXIMIZE);
    ::DestroyWindow(first);

    UniqueRegKey key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, WindowRulesKey(ruleName).c_str(), 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
    for (const char* suffix : kPlacementValueSuffixes) {
        DWORD type = 0, data = 0, size = sizeof(data);
        const std::string value = std::string("SaveSizePos") + suffix;
        EXPECT_EQ(::RegQueryValueExA(key.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                                     &size),
                  ERROR_SUCCESS)
            << value;
        EXPECT_EQ(type, DWORD(REG_DWORD)) << value;
    }
    DWORD showCmd = 0, size = sizeof(showCmd);
    ::RegQueryValueExA(key.get(), "SaveSizePos_showCmdSuffix", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(&showCmd), &size);
    EXPECT_EQ(showCmd, DWORD(SW_SHOWMAXIMIZED));
    key.reset();

    // The next window of the rule reopens maximized, over the saved rectangle.
    HWND second = Extended(text);
    PumpUntil([second] { return ::IsZoomed(second); }, 1000);
    EXPECT_TRUE(::IsZoomed(second));
    WINDOWPLACEMENT p{};
    p.length = sizeof(p);
    ::GetWindowPlacement(second, &p);
    EXPECT_EQ(p.rcNormalPosition.left, 123);
    EXPECT_EQ(p.rcNormalPosition.top, 77);
    EXPECT_EQ(p.rcNormalPosition.right - p.rcNormalPosition.left, 350);

    // One value missing: nothing is applied.
    ::ShowWindow(second, SW_RESTORE);
    ::SetWindowPos(second, nullptr, 10, 10, 200, 150, SWP_NOZORDER | SWP_NOACTIVATE);
    ::DestroyWindow(second);
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, WindowRulesKey(ruleName).c_str(), 0, KEY_WRITE, key.put()),
              ERROR_SUCCESS);
    ::RegDeleteValueA(key.get(), "SaveSizePos_MaxPositionY");
    key.reset();
    HWND third = Extended(text);
    ::GetWindowRect(third, &r);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.right - r.left, 320);

    Ref<IExtenderAction> action = ActionOf(third, "SaveSizePos");
    ASSERT_TRUE(action);
    EXPECT_FALSE(action->ExecuteOperation("RESTORE"));
}

TEST_F(Extender, ARuleNameBeyondASCIINamesItsKeyInUTF16) {
    // "Размер окна 🙂": the key is named with the wide calls from the UTF-8 of
    // the rule text, so a program of any code page opens the same key.
    const std::string unique = UniqueRule("cyr");
    const std::string ruleName =
        u8"\u0420\u0430\u0437\u043c\u0435\u0440 \u043e\u043a\u043d\u0430 \U0001F642 " + unique;
    const std::wstring key =
        L"SOFTWARE\\Quennet\\Ombrel\\WindowRules\\"
        L"\u0420\u0430\u0437\u043c\u0435\u0440 \u043e\u043a\u043d\u0430 \U0001F642 " +
        ToWide(unique);
    rules.push_back(ruleName);
    const std::string text = R::Rule(
        ruleName,
        {R::Action("SAVESIZEPOSACTION", u8"\u041c\u0435\u0441\u0442\u043e"),
         R::Action("STAYONTOPACTION", "StayOnTop", true)},
        {R::OnCreate({R::Agent("Restore", u8"\u041c\u0435\u0441\u0442\u043e", "concrete", "RESTORESIZEPOS")}),
         R::OnDestroy({R::Agent("Save", u8"\u041c\u0435\u0441\u0442\u043e", "concrete", "SAVESIZEPOS")})});
    HWND first = Extended(text);
    ::SetWindowPos(first, nullptr, 111, 66, 333, 244, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(ActionOf(first, "StayOnTop"));
    ActionOf(first, "StayOnTop")->ExecuteOperation("STAYONTOPON");
    ::DestroyWindow(first);

    UniqueRegKey opened;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.put()), ERROR_SUCCESS);
    DWORD type = 0, left = 0, size = sizeof(left);
    // The action's name (here beyond ASCII too) begins each value name.
    EXPECT_EQ(::RegQueryValueExW(opened.get(), L"\u041c\u0435\u0441\u0442\u043e_NormalPositionLeft", nullptr,
                                 &type, reinterpret_cast<BYTE*>(&left), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(left, 111u);
    wchar_t operation[32] = {};
    size = sizeof(operation);
    EXPECT_EQ(::RegQueryValueExW(opened.get(), L"StayOnTop_CurrentOperation", nullptr, &type,
                                 reinterpret_cast<BYTE*>(operation), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_STREQ(operation, L"STAYONTOPON");
    opened.reset();

    HWND second = Extended(text);
    RECT r{};
    ::GetWindowRect(second, &r);
    EXPECT_EQ(r.left, 111);
    EXPECT_EQ(r.right - r.left, 333);
    EXPECT_TRUE(Logs()[second].topmostAtAttach);

    // A name that is not UTF-8 opens no key at all: no lossy conversion
    // ever picks one.
    EXPECT_FALSE(OpenWindowRulesKey("\xC0\xC1 broken", true));
    EXPECT_TRUE(OpenWindowRulesKey(ruleName, false));
}

TEST_F(Extender, CurrentOperationIsSavedAndPerformedAgain) {
    const std::string ruleName = UniqueRule("saved");
    rules.push_back(ruleName);
    const std::string text = R::Rule(ruleName, {R::Action("STAYONTOPACTION", "StayOnTop", true)}, {});
    HWND w = Extended(text);
    EXPECT_FALSE(IsTopmost(w));
    ASSERT_TRUE(ActionOf(w, "StayOnTop"));
    ActionOf(w, "StayOnTop")->ExecuteOperation("STAYONTOPON");
    ::DestroyWindow(w);

    char value[64] = {};
    DWORD size = sizeof(value), type = 0;
    ASSERT_EQ(::RegGetValueA(HKEY_CURRENT_USER, WindowRulesKey(ruleName).c_str(),
                             "StayOnTop_CurrentOperation", RRF_RT_ANY, &type, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_STREQ(value, "STAYONTOPON");

    HWND again = Extended(text);
    EXPECT_TRUE(Logs()[again].topmostAtAttach) << "the saved operation runs when the rule attaches";

    // Let go on a configuration change, the window leaves the top, but what
    // the user chose is what is saved.
    ::SendMessageW(again, WM_CONFIG_CHANGED, 0, 0);
    EXPECT_FALSE(IsTopmost(again));
    size = sizeof(value);
    ASSERT_EQ(::RegGetValueA(HKEY_CURRENT_USER, WindowRulesKey(ruleName).c_str(),
                             "StayOnTop_CurrentOperation", RRF_RT_ANY, &type, value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, "STAYONTOPON");
}

// The saved operation of a rule attached by a worker is performed on the
// window's own thread, when the attach notice gets there: a worker never
// waits for the window's thread.
namespace {
std::vector<DWORD>& AppliedOn() {
    static std::vector<DWORD> threads;
    return threads;
}
class TThreadRecordAction : public TAction {
public:
    bool ApplyOperation(const std::string&) override {
        AppliedOn().push_back(::GetCurrentThreadId());
        return true;
    }

protected:
    void CreateOperations() override {
        Ref<IOperation> op = AddOperation("\\NAME=REC");
        SetOperations(op, op);
    }
};
}  // namespace

TEST_F(Extender, TheSavedOperationIsPerformedOnTheWindowsThread) {
    static bool registered = false;
    if (!registered) RegisterItemClass<TThreadRecordAction>("TESTTHREADACTION");
    registered = true;
    const std::string ruleName = UniqueRule("thread");
    rules.push_back(ruleName);
    {
        UniqueRegKey key = OpenWindowRulesKey(ruleName, true);
        ASSERT_TRUE(key);
        const wchar_t value[] = L"REC";
        ASSERT_EQ(::RegSetValueExW(key.get(), L"T_CurrentOperation", 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value), sizeof(value)),
                  ERROR_SUCCESS);
    }
    AppliedOn().clear();
    HWND w = Extended(R::Rule(ruleName, {R::Action("TESTTHREADACTION", "T", true)}, {}));
    ASSERT_TRUE(app->FindExtender(w));
    EXPECT_EQ(AppliedOn(), std::vector<DWORD>{::GetCurrentThreadId()});
}

// An operation asked for on another thread than the window's (an agent
// fired while a worker lets the window go) never waits for the window's
// thread: a new placement is left out, a z-order change is posted.
TEST_F(Extender, AnotherThreadNeverWaitsForTheWindowsThread) {
    const std::string ruleName = UniqueRule("apart");
    rules.push_back(ruleName);
    HWND w = Extended(R::Rule(ruleName, {R::Action("SAVESIZEPOSACTION", "SaveSizePos"),
                                         R::Action("STAYONTOPACTION", "StayOnTop")}, {}));
    Ref<IExtenderAction> placement = ActionOf(w, "SaveSizePos"), top = ActionOf(w, "StayOnTop");
    ASSERT_TRUE(placement && top);
    ASSERT_TRUE(placement->ExecuteOperation("SAVESIZEPOS"));
    ::MoveWindow(w, 90, 90, 300, 220, TRUE);
    struct Job {
        IExtenderAction* placement;
        IExtenderAction* top;
    } job{placement.get(), top.get()};
    UniqueHandle thread(::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* j = static_cast<Job*>(p);
            j->placement->ExecuteOperation("RESTORESIZEPOS");
            j->top->ExecuteOperation("STAYONTOPON");
            return 0;
        },
        &job, 0, nullptr));
    ASSERT_TRUE(thread);
    // This (the window's) thread takes no message meanwhile.
    const bool finished = ::WaitForSingleObject(thread.get(), 2000) == WAIT_OBJECT_0;
    if (!finished) PumpUntil([&] { return ::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0; }, 5000);
    EXPECT_TRUE(finished) << "the other thread waited for the window's";
    EXPECT_TRUE(PumpUntil([w] { return IsTopmost(w); }, 2000)) << "the posted change arrives";
}

// ---- the close question ----

namespace {

// Finds the question box owned by `owner` and answers it; records what it
// showed.
struct BoxAnswerer {
    HWND owner;
    int answer;
    std::atomic<bool> answered{false};
    std::wstring title, text;
    bool defaultIsNo = false;
    std::thread thread;

    BoxAnswerer(HWND o, int a) : owner(o), answer(a) {
        thread = std::thread([this] { Run(); });
    }
    ~BoxAnswerer() {
        if (thread.joinable()) thread.join();
    }
    void Run() {
        const ULONGLONG end = ::GetTickCount64() + 3000;
        while (::GetTickCount64() < end) {
            HWND box = nullptr;
            ::EnumThreadWindows(
                ::GetWindowThreadProcessId(owner, nullptr),
                [](HWND w, LPARAM self) -> BOOL {
                    auto* me = reinterpret_cast<BoxAnswerer*>(self);
                    wchar_t cls[64] = {};
                    ::GetClassNameW(w, cls, 64);
                    if (std::wstring(cls) == L"#32770" && ::GetWindow(w, GW_OWNER) == me->owner) {
                        me->found = w;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(this));
            box = found;
            if (box && ::IsWindowVisible(box)) {
                wchar_t buffer[256] = {};
                ::GetWindowTextW(box, buffer, 256);
                title = buffer;
                ::EnumChildWindows(
                    box,
                    [](HWND c, LPARAM self) -> BOOL {
                        auto* me = reinterpret_cast<BoxAnswerer*>(self);
                        wchar_t cls[64] = {}, t[256] = {};
                        ::GetClassNameW(c, cls, 64);
                        ::GetWindowTextW(c, t, 256);
                        if (_wcsicmp(cls, L"Static") == 0 && wcslen(t) > 0) me->text = t;
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(this));
                // No is the default button: the one drawn as the default push button.
                defaultIsNo =
                    (::GetWindowLongW(::GetDlgItem(box, IDNO), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON &&
                    (::GetWindowLongW(::GetDlgItem(box, IDYES), GWL_STYLE) & 0x0F) == BS_PUSHBUTTON;
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
                answered = true;
                return;
            }
            ::Sleep(10);
        }
    }
    HWND found = nullptr;
};

}  // namespace

TEST_F(Extender, CloseQuestionAnsweredNoKeepsTheWindowAndYesClosesIt) {
    // The rule text carries the question in UTF-8; the box shows it, and the
    // window's caption, character for character.
    const std::string question =
        u8"Fenster wirklich schlie\u00dfen? \u0417\u0430\u043a\u0440\u044b\u0442\u044c? \U0001F642";
    const std::wstring shown =
        L"Fenster wirklich schlie\u00dfen? \u0417\u0430\u043a\u0440\u044b\u0442\u044c? \U0001F642";
    HWND w = Extended(R::Rule(
        "Ask", {R::Action("CLOSEQUERYACTION", "CloseQuery", false, "\\CLOSE_QUERY_MESSAGE=" + question)},
        {}));
    ::SetWindowTextW(w, L"\u0420\u0435\u0434\u0430\u043a\u0442\u043e\u0440 1 \U0001F600");
    {
        BoxAnswerer no(w, IDNO);
        const LRESULT result = ::SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
        no.thread.join();
        EXPECT_TRUE(no.answered);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(no.title, L"\u0420\u0435\u0434\u0430\u043a\u0442\u043e\u0440 1 \U0001F600");
        EXPECT_EQ(no.text, shown);
        EXPECT_TRUE(no.defaultIsNo);
    }
    EXPECT_TRUE(::IsWindow(w));
    EXPECT_EQ(Logs()[w].sysCommands, 0) << "the window's procedure never saw that SC_CLOSE";

    // Other system commands ask nothing.
    ::SendMessageW(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(Logs()[w].sysCommands, 1);

    {
        BoxAnswerer yes(w, IDYES);
        ::SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
        yes.thread.join();
        EXPECT_TRUE(yes.answered);
    }
    EXPECT_FALSE(::IsWindow(w));
    EXPECT_TRUE(Logs()[w].destroyed);
}

TEST_F(Extender, CloseQuestionDefaultTextAndTheOperationOnlyAsks) {
    HWND w = Extended(R::Rule("Ask2", {R::Action("CLOSEQUERYACTION", "CloseQuery")}, {}));
    Ref<IExtenderAction> action = ActionOf(w, "CloseQuery");
    ASSERT_TRUE(action);
    BoxAnswerer yes(w, IDYES);
    EXPECT_TRUE(action->ExecuteOperation("CLOSEQUERY"));
    yes.thread.join();
    EXPECT_EQ(yes.text, ToWide(kDefaultCloseQuestion));
    PumpFor(50);
    EXPECT_TRUE(::IsWindow(w)) << "the operation reports the answer and closes nothing";
}

TEST_F(Extender, ExtenderDroppedInsideTheQuestionsModalLoopIsKeptUntilItReturns) {
    HWND w = Extended(R::Rule("Modal", {R::Action("CLOSEQUERYACTION", "CloseQuery")}, {}));
    ASSERT_TRUE(app->FindExtender(w));
    // While the box is open, the configuration changes (the extender leaves
    // from inside its own window procedure), then the user answers No.
    std::thread helper([w] {
        for (int i = 0; i < 300; ++i) {
            HWND box = ::FindWindowW(L"#32770", nullptr);
            if (box && ::GetWindow(box, GW_OWNER) == w) {
                ::SendMessageW(w, WM_CONFIG_CHANGED, 0, 0);
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
                return;
            }
            ::Sleep(10);
        }
    });
    ::SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    helper.join();
    EXPECT_TRUE(::IsWindow(w));
    EXPECT_FALSE(app->FindExtender(w));
    EXPECT_FALSE(app->IsHandled(w));
    EXPECT_EQ(::GetWindowLongPtrW(w, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&TestProc));
    EXPECT_FALSE(Logs()[w].Saw(WM_CONFIG_CHANGED));
    // The window works on.
    ::SendMessageW(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(Logs()[w].sysCommands, 1);
}

// ---- triggers ----

TEST_F(Extender, CreationTriggerFiresAtOnceOrAfterItsLag) {
    HWND now = Extended(R::Rule("Now", {R::Action("STAYONTOPACTION", "StayOnTop")},
                                {R::OnCreate({kOnTopAgent}, true, 0)}));  // lag on, interval 0: at once
    EXPECT_TRUE(IsTopmost(now));

    HWND lagged = Extended(
        R::Rule("Lag", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent}, true, 300)}));
    WindowLog& log = Logs()[lagged];
    ASSERT_EQ(log.attached, 1);
    EXPECT_FALSE(IsTopmost(lagged));
    ASSERT_TRUE(PumpUntil([lagged] { return IsTopmost(lagged); }, 2000));
    EXPECT_GE(log.topmostAt - log.attachedAt, 250u);
    EXPECT_LE(log.topmostAt - log.attachedAt, 1000u);
    EXPECT_EQ(server->Requests(kTimerWindowClass), 0) << "the lag timer's own window is never handled";

    // A lag with LAG_ENABLED=no is ignored.
    HWND off = Extended(R::Rule("NoLag", {R::Action("STAYONTOPACTION", "StayOnTop")},
                                {R::OnCreate({kOnTopAgent}, false, 5000)}));
    EXPECT_TRUE(IsTopmost(off));
}

TEST_F(Extender, ALagStillRunningWhenAnotherThreadLetsTheWindowGoEndsWithIt) {
    const long objectsBefore = TDebugInterfacedObject::LiveObjects();
    HWND w = Extended(
        R::Rule("LagGone", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent}, true, 200)}));
    ASSERT_TRUE(app->FindExtender(w));
    ASSERT_FALSE(IsTopmost(w));
    // The extender leaves from another thread, as after a worker's late
    // attach, while its lag timer runs on the window's thread.
    Ref<IWindowExtender> extender = app->FindExtender(w);
    std::thread([&] { app->RemoveWindowExtender(w, extender.get()); }).join();
    extender = nullptr;
    PumpFor(500);
    EXPECT_FALSE(IsTopmost(w)) << "the lag ended with the extender";
    EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), objectsBefore) << "the running lag held nothing back";
}

namespace {
int TimerWindows() {
    int n = 0;
    for (HWND w = nullptr; (w = ::FindWindowExA(HWND_MESSAGE, w, kTimerWindowClass, nullptr)) != nullptr;) ++n;
    return n;
}
}  // namespace

// A destruction trigger with a lag fires when its window goes: nothing of the
// closed window (its extender, the parts, a timer window) stays behind, for
// windows closed one after the other.
TEST_F(Extender, ALaggedDestructionTriggerLeavesNothingOfAClosedWindow) {
    const long objectsBefore = TDebugInterfacedObject::LiveObjects();
    const int timersBefore = TimerWindows();
    const std::string text =
        R::Rule("LagDestroy", {R::Action("STAYONTOPACTION", "StayOnTop")},
                {R::OnCreate({kOnTopAgent}),
                 R::Trigger("WMDESTROYMESSAGETRIGGER", {R::Agent("Off", "StayOnTop", "concrete", "STAYONTOPOFF")},
                            true, 150)});
    for (int i = 0; i < 3; ++i) {
        HWND w = Extended(text);
        ASSERT_TRUE(app->FindExtender(w));
        // Through the extender itself (a WM_DESTROY the hook procedure does
        // not see) and through the hook procedure.
        if (i == 0) {
            app->RemoveWindowExtender(w, nullptr);  // unlisted, still extended
            ASSERT_TRUE(app->FindExtender(w));
        }
        ::DestroyWindow(w);
    }
    PumpFor(400);  // the lag runs out
    EXPECT_EQ(TimerWindows(), timersBefore) << "a timer window of a closed window stayed";
    EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), objectsBefore) << "the lag held its trigger back";
}

// A recording action: every step of its life, in order, into one log.
std::vector<std::string>& Steps() {
    static std::vector<std::string> steps;
    return steps;
}

// While set, a recorder signals the first event and waits for the second
// before it goes on: in its start (before the extender knows its window) or
// in its attach (the window already subclassed).
HANDLE g_recorderAttaching = nullptr;
HANDLE g_recorderGoOn = nullptr;
bool g_recorderWaitsInStart = false;

void RecorderPause(bool inStart) {
    if (!g_recorderAttaching || inStart != g_recorderWaitsInStart) return;
    ::SetEvent(g_recorderAttaching);
    ::WaitForSingleObject(g_recorderGoOn, 5000);
}

class TRecordAction : public TAction {
public:
    bool ApplyOperation(const std::string& name) override {
        Steps().push_back(name_ + ":apply " + name + (Window() ? "" : " (no window)"));
        return true;
    }
    void Start() override { RecorderPause(true); }
    void AttachWindow() override {
        Steps().push_back(name_ + ":attach");
        RecorderPause(false);
        TAction::AttachWindow();
    }
    void DetachWindow() override {
        HWND w = Window();
        const bool subclassed =
            w && ::IsWindow(w) && ::GetWindowLongPtrW(w, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&TestProc);
        Steps().push_back(name_ + ":detach" + (subclassed ? " subclassed" : ""));
        TAction::DetachWindow();
    }
    void ClearOwner() override {
        Steps().push_back(name_ + ":clear");
        TAction::ClearOwner();
    }

protected:
    void CreateOperations() override {
        Ref<IOperation> op = AddOperation("\\NAME=REC");
        SetOperations(op, op);
    }
};

void RegisterRecorder() {
    static bool registered = false;
    if (!registered) {
        RegisterItemClass<TRecordAction>("TESTRECORDACTION");
        registered = true;
    }
}

TEST_F(Extender, DestructionDetachesInOrderBeforeTheWindowSeesWmDestroy) {
    RegisterRecorder();
    const long objectsBefore = TDebugInterfacedObject::LiveObjects();
    HWND w = Extended(R::Rule("Order", {R::Action("TESTRECORDACTION", "Rec")},
                              {R::OnDestroy({R::Agent("Fire", "Rec", "next")})}));
    ASSERT_TRUE(app->FindExtender(w));
    EXPECT_EQ(Steps(), (std::vector<std::string>{"Rec:attach"}));
    Steps().clear();

    ::DestroyWindow(w);
    EXPECT_TRUE(Logs()[w].destroyed);
    EXPECT_TRUE(Logs()[w].destroyedWithOwnProcedure) << "the former procedure was back before WM_DESTROY";
    // Detach: the action first (still subclassed), then the destruction
    // trigger fires; then the owners are cleared, which detaches once more
    // (the window is already given back) and fires the trigger again.
    EXPECT_EQ(Steps(), (std::vector<std::string>{"Rec:detach subclassed", "Rec:apply REC", "Rec:detach",
                                                 "Rec:apply REC (no window)", "Rec:clear"}));
    EXPECT_FALSE(app->IsHandled(w));
    EXPECT_FALSE(app->FindExtender(w));
    EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), objectsBefore) << "every part was released";
    Steps().clear();
}

TEST_F(Extender, AWindowDestroyedWhileItsExtenderIsAttachedIsLeftOnce) {
    RegisterRecorder();
    // The worker is paused before the extender knows its window, then inside
    // the attach (the window already subclassed), when the window goes.
    for (bool inStart : {true, false}) {
        SCOPED_TRACE(inStart ? "destroyed before the attach" : "destroyed during the attach");
        const long objectsBefore = TDebugInterfacedObject::LiveObjects();
        UniqueHandle paused(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        UniqueHandle goOn(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        g_recorderWaitsInStart = inStart;
        g_recorderAttaching = paused.get();
        g_recorderGoOn = goOn.get();
        Steps().clear();

        const std::string cls = NewClass("Mid");
        Serve(cls, R::Rule("Midway", {R::Action("TESTRECORDACTION", "Rec")}, {}));
        HWND w = MakeWindow(cls);
        windows.push_back(w);
        ASSERT_TRUE(PumpUntil([&] { return ::WaitForSingleObject(paused.get(), 0) == WAIT_OBJECT_0; }, 3000));
        g_recorderAttaching = nullptr;
        ::DestroyWindow(w);
        ::SetEvent(goOn.get());
        EXPECT_TRUE(WaitWorkersGone());
        g_recorderGoOn = nullptr;

        // The attaching worker alone took it off: one detach, one clear;
        // nothing of it is left for a later window with the same handle.
        EXPECT_EQ(Steps(), (std::vector<std::string>{"Rec:attach", "Rec:detach", "Rec:clear"}));
        EXPECT_FALSE(app->IsHandled(w));
        EXPECT_FALSE(app->FindExtender(w));
        EXPECT_EQ(app->ExtenderCount(), 0);
        EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), objectsBefore) << "every part was released";
        Steps().clear();
    }
}

// ---- configuration changes and asking again ----

TEST_F(Extender, ConfigurationChangeGivesTheProcedureBackAndApplyRulesAsksAgain) {
    std::string cls;
    HWND w =
        Extended(R::Rule("Cfg", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})}),
                 WS_OVERLAPPEDWINDOW, &cls);
    ASSERT_TRUE(app->FindExtender(w));
    ::SendMessageW(w, WM_CONFIG_CHANGED, 0, 0);
    EXPECT_FALSE(Logs()[w].Saw(WM_CONFIG_CHANGED));
    EXPECT_EQ(::GetWindowLongPtrW(w, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&TestProc));
    EXPECT_FALSE(app->IsHandled(w));
    EXPECT_EQ(app->ExtenderCount(), 0);

    ::SendMessageW(w, WM_APPLY_RULES, 0, 0);
    ASSERT_TRUE(PumpUntil([w] { return Logs()[w].attached == 2; }, 3000));
    EXPECT_EQ(server->Requests(w), 2);
}

// A rule that no longer keeps a window on top must not leave it there; a
// window that went on top by itself is not ours to take down.
TEST_F(Extender, ConfigurationChangeTakesDownOnlyWhatTheRulePutOnTop) {
    HWND raised =
        Extended(R::Rule("Raised", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})}));
    ASSERT_TRUE(IsTopmost(raised));
    ::SendMessageW(raised, WM_CONFIG_CHANGED, 0, 0);
    EXPECT_FALSE(IsTopmost(raised));
    // The same rule again: on top again.
    ::SendMessageW(raised, WM_APPLY_RULES, 0, 0);
    ASSERT_TRUE(PumpUntil([raised] { return Logs()[raised].attached == 2; }, 3000));
    WaitWorkersGone();
    EXPECT_TRUE(IsTopmost(raised));

    HWND own = Extended(R::Rule("Own", {R::Action("STAYONTOPACTION", "StayOnTop")}, {}));
    ASSERT_FALSE(IsTopmost(own));
    ::SetWindowPos(own, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    ::SendMessageW(own, WM_CONFIG_CHANGED, 0, 0);
    EXPECT_TRUE(IsTopmost(own));

    // Put on top by the rule, taken down by the user and put up by the
    // window's own program: the window's choice stays.
    HWND toggled =
        Extended(R::Rule("Toggled", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})}));
    ASSERT_TRUE(ActionOf(toggled, "StayOnTop")->ExecuteOperation("STAYONTOPOFF"));
    ::SetWindowPos(toggled, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    ::SendMessageW(toggled, WM_CONFIG_CHANGED, 0, 0);
    EXPECT_TRUE(IsTopmost(toggled));
}

// What the command center does to a window at a reload: the configuration
// changed, with or without a rule to follow, then the window asks again.
namespace {
void Reload(HWND w, bool ruleFollows) {
    ::SendMessageW(w, WM_CONFIG_CHANGED, ruleFollows ? kConfigChangedRuleFollows : 0, 0);
    if (ruleFollows) ::SendMessageW(w, WM_APPLY_RULES, 0, 0);
}

std::vector<HWND> TopmostOrder(const std::vector<HWND>& windows) {
    std::vector<HWND> order;
    for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT))
        if (std::find(windows.begin(), windows.end(), w) != windows.end()) order.push_back(w);
    return order;
}
}  // namespace

// A reload under which a rule still keeps its windows on top leaves them
// alone: on top, in their order, and the window the user works in keeps the
// keyboard. What the new rule took over it undoes later.
TEST_F(Extender, AReloadLeavesWindowsTheRuleStillKeepsOnTopAlone) {
    const std::string text =
        R::Rule("Kept", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})});
    HWND a = Extended(text), b = Extended(text);
    ASSERT_TRUE(IsTopmost(a) && IsTopmost(b));
    HWND front = MakeWindow(NewClass("Front"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    windows.push_back(front);
    ::SetForegroundWindow(front);
    ::SetActiveWindow(front);
    ASSERT_TRUE(PumpUntil([front] { return ::GetActiveWindow() == front; }, 2000));
    const std::vector<HWND> order = TopmostOrder({a, b});
    ASSERT_EQ(order.size(), 2u);
    const size_t aPositions = std::count(Logs()[a].messages.begin(), Logs()[a].messages.end(), UINT(WM_WINDOWPOSCHANGED));

    for (HWND w : {a, b}) Reload(w, true);
    ASSERT_TRUE(PumpUntil([&] { return Logs()[a].attached == 2 && Logs()[b].attached == 2; }, 3000));
    WaitWorkersGone();
    PumpFor(50);
    EXPECT_TRUE(IsTopmost(a) && IsTopmost(b));
    EXPECT_EQ(::GetActiveWindow(), front) << "a reload activated a window";
    EXPECT_EQ(::GetForegroundWindow(), front);
    EXPECT_EQ(TopmostOrder({a, b}), order) << "the top-most band was reordered";
    EXPECT_EQ(std::count(Logs()[a].messages.begin(), Logs()[a].messages.end(), UINT(WM_WINDOWPOSCHANGED)),
              std::ptrdiff_t(aPositions))
        << "the window was moved at all";

    // The new rule holds the window on top as the old one did: a change
    // with no rule to follow takes it down.
    Reload(a, false);
    EXPECT_FALSE(IsTopmost(a));
    EXPECT_EQ(::GetActiveWindow(), front);
}

// A reload whose new rule no longer keeps the window on top (unticked, or no
// rule at all) takes it down once that answer is there.
TEST_F(Extender, AReloadTakesDownWhatTheNewRuleNoLongerKeepsOnTop) {
    std::string unticked, removed;
    const std::string onTop =
        R::Rule("Unticked", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})});
    HWND a = Extended(onTop, WS_OVERLAPPEDWINDOW, &unticked);
    HWND b = Extended(onTop, WS_OVERLAPPEDWINDOW, &removed);
    ASSERT_TRUE(IsTopmost(a) && IsTopmost(b));
    Serve(unticked, R::Rule("Unticked", {R::Action("CLOSEQUERYACTION", "CloseQuery")}, {}));
    Serve(removed, "");
    Reload(a, true);
    Reload(b, true);
    ASSERT_TRUE(PumpUntil([&] { return Logs()[a].attached == 2 && server->Requests(b) == 2; }, 3000));
    WaitWorkersGone();
    EXPECT_TRUE(PumpUntil([&] { return !IsTopmost(a) && !IsTopmost(b); }, 2000));

    // A window that never got its new rule (the command center ended
    // first) comes down when told that no rule follows.
    HWND c = Extended(onTop);
    ASSERT_TRUE(IsTopmost(c));
    ::SendMessageW(c, WM_CONFIG_CHANGED, kConfigChangedRuleFollows, 0);
    EXPECT_TRUE(IsTopmost(c));
    ::SendMessageW(c, WM_CONFIG_CHANGED, 0, 0);
    EXPECT_FALSE(IsTopmost(c));
}

// A reload that answers a window with the same rule leaves its extender in
// place: nothing of the rule runs again (no second maximize, no second
// close). A rule that changed is attached anew and its creation trigger runs.
TEST_F(Extender, AReloadRunsARuleAgainOnlyWhereItChanged) {
    auto rule = [](const std::string& name) {
        return R::Rule(
            name,
            {R::Action("RUNMODEACTION", "RunMode", false, "\\RUNMODE=maximize"),
             R::Action("CLOSEWINDOWACTION", "CloseWindow")},
            {R::OnCreate({R::Agent("Run", "RunMode", "next"), R::Agent("Close", "CloseWindow", "next")})});
    };
    const std::string cls = NewClass("Same");
    Serve(cls, rule("Same"));
    HWND w = MakeWindow(cls);
    ::SetPropW(w, kKeepOpen, reinterpret_cast<HANDLE>(1));
    windows.push_back(w);
    ASSERT_TRUE(PumpUntil([w] { return Logs()[w].closes == 1 && Logs()[w].sysCommands == 1; }, 3000));
    WaitWorkersGone();
    const Ref<IWindowExtender> first = app->FindExtender(w);
    ASSERT_TRUE(first);

    auto reload = [w](const std::string& text) {
        ::SendMessageW(w, WM_CONFIG_CHANGED, kConfigChangedRuleFollows, LPARAM(Crc32(text)));
        ::SendMessageW(w, WM_APPLY_RULES, 0, 0);
    };
    reload(rule("Same"));
    PumpFor(200);
    WaitWorkersGone();
    EXPECT_EQ(app->FindExtender(w).get(), first.get());
    EXPECT_EQ(Logs()[w].attached, 1);
    EXPECT_EQ(Logs()[w].sysCommands, 1);
    EXPECT_EQ(Logs()[w].closes, 1);
    EXPECT_EQ(server->Requests(w), 1);

    Serve(cls, rule("Changed"));
    reload(rule("Changed"));
    ASSERT_TRUE(PumpUntil([w] { return Logs()[w].attached == 2 && Logs()[w].sysCommands == 2; }, 3000));
    WaitWorkersGone();
    Ref<IWindowExtender> second = app->FindExtender(w);
    ASSERT_TRUE(second);
    EXPECT_NE(second.get(), first.get());
    EXPECT_EQ(second.As<IWindowHandler>()->GetRuleName(), "Changed");
}

// A notice voids the request still on its way for the window: its answer
// (of the rules of before) applies nothing, and the window is asked again.
// WM_APPLY_RULES always asks afresh, so an older answer never stands in for
// the one after the reload.
TEST_F(Extender, ANoticeVoidsTheRequestOnItsWayAndApplyRulesAsksAfresh) {
    const std::string cls = NewClass("Flight");
    const std::string before =
        R::Rule("Before", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})});
    const std::string after = R::Rule("After", {}, {});
    struct Held {
        UniqueHandle release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        std::atomic<int> asked{0};
    };
    auto held = std::make_shared<Held>();  // the server's copy of the answerer may outlive the test
    server->SetAnswerer([held, cls, before, after](HWND, const std::string& c) {
        RuleAnswer a;
        if (c != cls) return a;
        // Requests 1 and 3 are held and answer the rule of before; 2 finds
        // no rule, 4 and later the rule of after.
        const int n = ++held->asked;
        if (n == 1 || n == 3) {
            ::WaitForSingleObject(held->release.get(), 5000);
            a.text = before;
        } else if (n >= 4) {
            a.text = after;
        }
        return a;
    });
    std::atomic<int>& asked = held->asked;
    const HANDLE release = held->release.get();
    HWND w = MakeWindow(cls);
    windows.push_back(w);
    ASSERT_TRUE(PumpUntil([&] { return asked.load() == 1; }, 3000));
    ::SendMessageW(w, WM_CONFIG_CHANGED, 0, 0);
    ::SetEvent(release);
    ASSERT_TRUE(PumpUntil([&] { return asked.load() == 2; }, 3000));
    WaitWorkersGone();
    PumpFor(50);
    EXPECT_FALSE(app->FindExtender(w));
    EXPECT_EQ(Logs()[w].attached, 0);
    EXPECT_FALSE(IsTopmost(w));

    ::ResetEvent(release);
    ::SendMessageW(w, WM_APPLY_RULES, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return asked.load() == 3; }, 3000));
    ::SendMessageW(w, WM_APPLY_RULES, 0, 0);
    PumpFor(50);
    ::SetEvent(release);
    ASSERT_TRUE(PumpUntil([&] { return Logs()[w].attached == 1; }, 5000));
    WaitWorkersGone();
    PumpFor(50);
    EXPECT_EQ(asked.load(), 4);
    Ref<IWindowExtender> extender = app->FindExtender(w);
    ASSERT_TRUE(extender);
    EXPECT_EQ(extender.As<IWindowHandler>()->GetRuleName(), "After");
    EXPECT_EQ(Logs()[w].attached, 1);
    EXPECT_FALSE(IsTopmost(w));
}

// At the stop, the command center tells the top-level windows only: an
// extended child tool window and a message-only window hear it through a
// top-level window of their process, once the hook is withdrawn.
TEST_F(Extender, AtTheStopExtendersOnWindowsTheCenterCannotReachLeave) {
    struct HookBlock {
        UniqueHandle block{
            ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kHookHandleBlockName)};
        HookBlock() {
            UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, 4));
            const uint32_t value = 0x1234;
            if (view) std::memcpy(view.get(), &value, 4);
            ReadHookHandle();
        }
        ~HookBlock() {
            block.reset();
            ReadHookHandle();  // no block: nothing read, nothing withdrawn
        }
    } hookBlock;
    ASSERT_FALSE(HookWithdrawn());
    const std::string text = R::Rule("Unreached", {}, {});
    HWND top = Extended(text);
    const std::string cls = NewClass("Unreached");
    Serve(cls, text);
    HWND parent = MakeWindow(NewClass("Parent"));
    HWND tool = MakeWindow(cls, WS_CHILD | WS_VISIBLE, WS_EX_TOOLWINDOW, parent);
    HWND messageOnly = MakeWindow(cls, WS_POPUP, 0, HWND_MESSAGE);
    windows.insert(windows.end(), {tool, messageOnly, parent});
    ASSERT_TRUE(
        PumpUntil([&] { return Logs()[tool].attached == 1 && Logs()[messageOnly].attached == 1; }, 3000));
    WaitWorkersGone();

    hookBlock.block.reset();  // the command center withdrew its hook
    ASSERT_TRUE(HookWithdrawn());
    ::SendMessageW(top, WM_CONFIG_CHANGED, 0, 0);
    PumpUntil([&] { return app->ExtenderCount() == 0; }, 2000);
    EXPECT_FALSE(app->FindExtender(top));
    EXPECT_FALSE(app->FindExtender(tool));
    EXPECT_FALSE(app->FindExtender(messageOnly));
    for (HWND w : {top, tool, messageOnly})
        EXPECT_EQ(::GetWindowLongPtrW(w, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&TestProc));
}

// The window's own program puts it on top while the rule holds it there:
// the rule's undo leaves it on top.
TEST_F(Extender, AWindowItsProgramPutsOnTopStaysOnTopAfterTheUndo) {
    HWND w =
        Extended(R::Rule("Asserted", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})}));
    ASSERT_TRUE(IsTopmost(w));
    ::SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    ::SendMessageW(w, WM_CONFIG_CHANGED, 0, 0);
    EXPECT_TRUE(IsTopmost(w));
}

// Creating the lag timer's window runs hooks on the window's thread, which
// may fire the trigger again: no lock of the trigger is held meanwhile.
TEST_F(Extender, ATriggerFiredWhileItsLagTimerIsCreatedGoesOn) {
    struct Shared {
        std::string cls, text;
        HWND window = nullptr;
        bool reentered = false, topmost = false;
        UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    };
    static Shared* shared = nullptr;
    Shared s;
    s.cls = NewClass("Reenter");
    s.text = R::Rule("Reenter", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent}, true, 100)});
    shared = &s;
    std::thread thread([] {
        HHOOK cbt = ::SetWindowsHookExA(
            WH_CBT,
            [](int code, WPARAM wp, LPARAM lp) -> LRESULT {
                if (code == HCBT_CREATEWND && shared && !shared->reentered) {
                    const char* cls = reinterpret_cast<CBT_CREATEWNDA*>(lp)->lpcs->lpszClass;
                    if (HIWORD(reinterpret_cast<uintptr_t>(cls)) && std::strcmp(cls, kTimerWindowClass) == 0) {
                        shared->reentered = true;
                        ::SendMessageW(shared->window, WM_EXTENDER_ATTACHED, 0, 0);  // fires again
                    }
                }
                return ::CallNextHookEx(nullptr, code, wp, lp);
            },
            nullptr, ::GetCurrentThreadId());
        shared->window = MakeWindow(shared->cls);
        if (Ref<TEmbededApplication> app = ApplicationObject()) app->ApplyRuleText(shared->window, shared->text);
        shared->topmost = PumpUntil([] { return IsTopmost(shared->window); }, 2000);
        ::UnhookWindowsHookEx(cbt);
        ::SetEvent(shared->done.get());
        PumpFor(50);
        ::DestroyWindow(shared->window);
    });
    const bool finished = WaitSignalled(s.done.get(), 5000);
    if (!finished) {
        thread.detach();  // stuck on the trigger's own lock
        FAIL() << "the trigger's thread never came back";
    }
    thread.join();
    shared = nullptr;
    EXPECT_TRUE(s.reentered);
    EXPECT_TRUE(s.topmost);
}

TEST_F(Extender, AnEmptyAnswerIsAskedAgainOnApplyRules) {
    const std::string cls = NewClass("Late");
    HWND w = MakeWindow(cls);
    windows.push_back(w);
    ASSERT_TRUE(PumpUntil([&] { return server->Requests(w) == 1 && !app->RequestInFlight(w); }, 3000));
    EXPECT_TRUE(app->IsHandled(w));
    EXPECT_FALSE(app->FindExtender(w));
    // WM_CREATE seen again changes nothing; the rule the user adds now is
    // fetched on WM_APPLY_RULES.
    CWPSTRUCT record{0, 0, WM_CREATE, w};
    CallProcHook(HC_ACTION, 0, reinterpret_cast<LPARAM>(&record));
    PumpFor(50);
    EXPECT_EQ(server->Requests(w), 1);
    Serve(cls, R::Rule("Late", {R::Action("STAYONTOPACTION", "StayOnTop")}, {R::OnCreate({kOnTopAgent})}));
    ::SendMessageW(w, WM_APPLY_RULES, 0, 0);
    ASSERT_TRUE(PumpUntil([w] { return Logs()[w].attached == 1; }, 3000));
    EXPECT_TRUE(IsTopmost(w));
    // Extended now (the attach is over): a further WM_APPLY_RULES asks
    // nothing.
    WaitWorkersGone();
    ::SendMessageW(w, WM_APPLY_RULES, 0, 0);
    PumpFor(100);
    EXPECT_EQ(server->Requests(w), 2);
}

TEST_F(Extender, ARequestMadeOnTheWindowsThreadWhenNoWorkerStarts) {
    SetSynchronousRequests(true);
    const std::string cls = NewClass("Sync");
    Serve(cls, R::Rule("Sync", {}, {}));
    HWND w = MakeWindow(cls);
    windows.push_back(w);
    // Asked and attached before CreateWindowEx returned.
    EXPECT_EQ(server->Requests(w), 1);
    EXPECT_EQ(Logs()[w].attached, 1);
    EXPECT_EQ(RunningWorkers(), 0);
}

TEST_F(Extender, AnExtenderTheCollectionRefusesIsNotAttached) {
    const long objectsBefore = TDebugInterfacedObject::LiveObjects();
    const std::string named = "\\NAME=SameName" + R::Rule("Dup", {R::Action("STAYONTOPACTION", "StayOnTop")},
                                                          {R::OnCreate({kOnTopAgent})});
    HWND first = MakeWindow(NewClass("Dup"));
    HWND second = MakeWindow(NewClass("Dup"));
    windows.insert(windows.end(), {first, second});
    app->ApplyRuleText(first, named);
    app->ApplyRuleText(second, named);
    EXPECT_TRUE(app->FindExtender(first));
    EXPECT_FALSE(app->FindExtender(second));
    EXPECT_EQ(Logs()[second].attached, 0);
    EXPECT_FALSE(IsTopmost(second));
    EXPECT_EQ(::GetWindowLongPtrW(second, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&TestProc));
    ::DestroyWindow(first);
    ::DestroyWindow(second);
    // The refused extender and all its parts are gone too.
    EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), objectsBefore);
}

TEST_F(Extender, ReplacedProcedureNoticeWithANullProcedureIsIgnored) {
    HWND w = Extended(R::Rule("Repl", {}, {}));
    Ref<IWindowExtender> extender = app->FindExtender(w);
    ASSERT_TRUE(extender);
    ::SendMessageW(w, WM_WNDPROC_REPLACED, reinterpret_cast<WPARAM>(&TestProc), 0);
    ::SendMessageW(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(Logs()[w].sysCommands, 1) << "messages still reach the window's procedure";

    // A real notice: the messages go to the announced procedure from now on.
    static std::atomic<int> replacementCalls{0};
    struct Replacement {
        static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
            ++replacementCalls;
            return ::CallWindowProcW(&TestProc, h, m, wp, lp);
        }
    };
    ::SendMessageW(w, WM_WNDPROC_REPLACED, reinterpret_cast<WPARAM>(&TestProc),
                   reinterpret_cast<LPARAM>(&Replacement::Proc));
    const int before = replacementCalls.load();
    ::SendMessageW(w, WM_NULL, 0, 0);
    EXPECT_GT(replacementCalls.load(), before);
    // A notice about another procedure changes nothing.
    ::SendMessageW(w, WM_WNDPROC_REPLACED, reinterpret_cast<WPARAM>(&::DefWindowProcW),
                   reinterpret_cast<LPARAM>(&TestProc));
    const int after = replacementCalls.load();
    ::SendMessageW(w, WM_NULL, 0, 0);
    EXPECT_GT(replacementCalls.load(), after);
}

TEST_F(Extender, TheDefaultRuleTextIsReadWhole) {
    // The complete example of a new rule made from the template.
    const std::string example =
        "\\WINDOWRULENAME=Window Rule 1\\ACTION=STAYONTOPACTION{\\NAME=StayOnTop\\SAVECURRENTOPERATION=no\\}"
        "\\TRIGGER=WMCREATEMESSAGETRIGGER{\\LAG_ENABLED=no\\LAG_INTERVAL=0"
        "\\AGENT={\\NAME=CloseWindowAgent\\ACTIONNAME=CloseWindow\\ACTIONKIND=next\\OPERATIONNAME=}"
        "\\AGENT={\\NAME=RunModeAgent\\ACTIONNAME=RunMode\\ACTIONKIND=next\\OPERATIONNAME=}"
        "\\AGENT={\\NAME=RestoreSizePosAgent\\ACTIONNAME=SaveSizePos\\ACTIONKIND=concrete\\OPERATIONNAME="
        "RESTORESIZEPOS}"
        "\\AGENT={\\NAME=StayOnTopAgent\\ACTIONNAME=StayOnTop\\ACTIONKIND=concrete\\OPERATIONNAME="
        "STAYONTOPON}}"
        "\\TRIGGER=WMDESTROYMESSAGETRIGGER{\\LAG_ENABLED=no\\LAG_INTERVAL=0"
        "\\AGENT={\\NAME=SaveSizePosAgent\\ACTIONNAME=SaveSizePos\\ACTIONKIND=concrete\\OPERATIONNAME="
        "SAVESIZEPOS}}";
    HWND w = Extended(example);
    Ref<IWindowExtender> extender = app->FindExtender(w);
    ASSERT_TRUE(extender);
    auto* impl = static_cast<TWindowExtender*>(extender.As<IWindowHandler>().get());
    EXPECT_EQ(impl->GetRuleName(), "Window Rule 1");
    EXPECT_EQ(impl->GetActions()->GetCount(), 1);
    ASSERT_EQ(impl->GetTriggers()->GetCount(), 2);
    EXPECT_EQ(impl->MessageHandlerCount(), 3);  // the action and both triggers
    EXPECT_TRUE(IsTopmost(w));
    // The agents of actions the rule lacks do nothing; the window lives on.
    EXPECT_TRUE(::IsWindow(w));
    const std::string name = extender->GetName();
    EXPECT_EQ(name.rfind("WindowExtender", 0), 0u);
}

// ---- several window threads at once ----

TEST_F(Extender, WindowThreadsAndWorkersShareTheListsSafely) {
    const long objectsBefore = TDebugInterfacedObject::LiveObjects();
    const std::string cls = NewClass("Many");
    Serve(cls,
          R::Rule("Many", {R::Action("STAYONTOPACTION", "StayOnTop"), R::Action("CLOSEQUERYACTION", "Ask")},
                  {R::OnCreate({kOnTopAgent}), R::OnDestroy({R::Agent("D", "StayOnTop", "next")})}));
    std::atomic<int> attached{0};
    auto body = [&](int seed) {
        HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, &CallProcHook, nullptr, ::GetCurrentThreadId());
        std::vector<HWND> mine;
        for (int i = 0; i < 12; ++i) {
            HWND w = ::CreateWindowExW(0, ToWide(cls).c_str(), L"many", WS_OVERLAPPEDWINDOW, 0, 0, 100, 80,
                                       nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
            mine.push_back(w);
            // Some go at once, racing their own request and attachment.
            if ((i + seed) % 3 == 0) {
                ::DestroyWindow(w);
                mine.back() = nullptr;
            }
            if ((i + seed) % 4 == 1) ::SendMessageW(w, WM_APPLY_RULES, 0, 0);
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        }
        PumpUntil([&] { return RunningWorkers() == 0; }, 4000);
        for (HWND w : mine) {
            if (!w) continue;
            if (app->FindExtender(w)) ++attached;
            if ((reinterpret_cast<uintptr_t>(w) >> 4) % 2) ::SendMessageW(w, WM_CONFIG_CHANGED, 0, 0);
            ::DestroyWindow(w);
        }
        ::UnhookWindowsHookEx(hook);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) threads.emplace_back(body, t);
    for (std::thread& t : threads) t.join();
    ASSERT_TRUE(WaitWorkersGone(4000));
    EXPECT_GT(attached.load(), 10);
    EXPECT_EQ(app->ExtenderCount(), 0);
    EXPECT_EQ(app->HandledCount(), 0);
    EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), objectsBefore);
}
