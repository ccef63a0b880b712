// tbhook.dll as the system uses it: what it exports and imports, a test
// center that installs it for the whole desktop while another process opens
// windows, and unloading it while a worker still waits for an answer.
#include "tests/common/hook_dll.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/shared.h"
#include "foundation/winfuncs.h"
#include "tests/common/child_process.h"
#include "tests/common/faults.h"
#include "tests/common/rule_server.h"
#include "tests/common/rule_text.h"

using namespace omb;
using namespace omb::test;
namespace R = omb::test::rule;

namespace {

constexpr UINT kPing = WM_APP + 1;           // answered 42 by the window's own procedure
constexpr UINT kIsSubclassed = WM_APP + 2;   // 1 while another procedure stands in front
constexpr UINT kAttachNotices = WM_APP + 3;  // how many WM_EXTENDER_ATTACHED it received
constexpr UINT kNestConfig = WM_APP + 4;     // the window's procedure sends itself WM_CONFIG_CHANGED
constexpr UINT kSlow = WM_APP + 5;           // the window's procedure signals "InSlow" and takes 1.5 s

// ---- the library file ----

struct PeImage {
    std::vector<uint8_t> bytes;
    const IMAGE_NT_HEADERS64* nt = nullptr;

    explicit PeImage(const std::wstring& path) {
        std::ifstream file(FromWide(path), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return;
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
            size_t(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > bytes.size())
            return;
        nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
        if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
            nt = nullptr;
    }
    const uint8_t* At(DWORD rva) const {
        const auto* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize) {
                const size_t offset = rva - section->VirtualAddress + section->PointerToRawData;
                return offset < bytes.size() ? bytes.data() + offset : nullptr;
            }
        }
        return nullptr;
    }
    const IMAGE_DATA_DIRECTORY& Directory(int i) const { return nt->OptionalHeader.DataDirectory[i]; }
};

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

}  // namespace

TEST(HookDll, ExportsCallProcHookAsOrdinalOneAndImportsSystemLibrariesOnly) {
    const std::wstring path = HookDllPath();
    PeImage image(path);
    ASSERT_TRUE(image.nt) << FromWide(path);
    std::cout << "tbhook.dll: " << image.bytes.size() << " bytes" << std::endl;
    RecordProperty("dll_bytes", int(image.bytes.size()));

    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        image.At(image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress));
    ASSERT_TRUE(exports);
    ASSERT_EQ(exports->NumberOfNames, 1u);
    const auto* names = reinterpret_cast<const DWORD*>(image.At(exports->AddressOfNames));
    const auto* ordinals = reinterpret_cast<const WORD*>(image.At(exports->AddressOfNameOrdinals));
    EXPECT_STREQ(reinterpret_cast<const char*>(image.At(names[0])), "CallProcHook");
    EXPECT_EQ(exports->Base + ordinals[0], 1u);

    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "advapi32.dll", "gdi32.dll",
                                          "msvcrt.dll"};
    const auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        image.At(image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress));
    ASSERT_TRUE(import);
    int libraries = 0;
    for (; import->Name; ++import, ++libraries) {
        const std::string name = Lower(reinterpret_cast<const char*>(image.At(import->Name)));
        EXPECT_TRUE(system.count(name)) << name;
    }
    EXPECT_GE(libraries, 2);

    // Loaded by ordinal or by name: one procedure.
    HookDllCopy copy;
    ASSERT_TRUE(copy);
    HMODULE module = ::LoadLibraryW(copy.Path().c_str());
    ASSERT_TRUE(module);
    EXPECT_TRUE(::GetProcAddress(module, "CallProcHook"));
    EXPECT_EQ(::GetProcAddress(module, MAKEINTRESOURCEA(1)), ::GetProcAddress(module, "CallProcHook"));
    ::FreeLibrary(module);
}

// The runtime of the win32 thread model registers two TLS callbacks (its
// TLS initialisation and the destructors of thread keys); a threads library
// linked in adds one of its own, which every host would then run under the
// loader lock at each thread's start and end.
TEST(HookDll, CarriesNoTlsCallbackOfAThreadsLibrary) {
    const std::wstring path = HookDllPath();
    PeImage image(path);
    ASSERT_TRUE(image.nt) << FromWide(path);
    const IMAGE_DATA_DIRECTORY& entry = image.Directory(IMAGE_DIRECTORY_ENTRY_TLS);
    if (entry.VirtualAddress == 0) return;  // no TLS at all
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY64*>(image.At(entry.VirtualAddress));
    ASSERT_TRUE(tls);
    int callbacks = 0;
    if (tls->AddressOfCallBacks != 0) {
        const ULONGLONG base = image.nt->OptionalHeader.ImageBase;
        ASSERT_GT(tls->AddressOfCallBacks, base);
        const auto* list = reinterpret_cast<const ULONGLONG*>(image.At(DWORD(tls->AddressOfCallBacks - base)));
        ASSERT_TRUE(list);
        while (list[callbacks] != 0 && callbacks < 16) ++callbacks;
    }
    EXPECT_LE(callbacks, 2) << "a threads library is linked in";
}

// ---- a process with windows, for the test center ----

namespace {

UINT g_attachNotices = 0;

// The hook-handle block that the window closes when the attach notice comes
// (the command center withdraws its hook while the window is being attached).
UniqueHandle* g_withdrawAtAttach = nullptr;

LRESULT CALLBACK ChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kPing) return 42;
    if (m == kIsSubclassed)
        return ::GetWindowLongPtrW(w, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&ChildProc);
    if (m == kAttachNotices) return LRESULT(::GetPropW(w, L"OmbAttached"));
    if (m == kNestConfig) {
        // Inside this message the configuration changes, and the library
        // (in lParam) is freed before the message returns through it.
        const LRESULT r = ::SendMessageW(w, WM_CONFIG_CHANGED, 0, 0);
        if (lp) ::FreeLibrary(reinterpret_cast<HMODULE>(lp));
        return r;
    }
    if (m == kSlow) {
        ::SetEvent(reinterpret_cast<HANDLE>(lp));
        ::Sleep(1500);
        return 7;
    }
    if (m == WM_EXTENDER_ATTACHED) {
        ::SetPropW(w, L"OmbAttached", reinterpret_cast<HANDLE>(::GetPropW(w, L"OmbAttached") ? 2 : 1));
        ++g_attachNotices;
        if (g_withdrawAtAttach) g_withdrawAtAttach->reset();
    }
    if (m == WM_DESTROY && ::GetPropW(w, L"OmbQuit")) ::PostQuitMessage(0);
    return ::DefWindowProcW(w, m, wp, lp);
}

void RegisterChildClass(const std::string& name) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &ChildProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    const std::wstring wide = ToWide(name);
    wc.lpszClassName = wide.c_str();
    ::RegisterClassW(&wc);
}

HWND ChildWindow(const std::string& cls, DWORD style, HWND parent, const std::string& caption) {
    return ::CreateWindowExW(0, ToWide(cls).c_str(), ToWide(caption).c_str(), style, 30, 30, 300, 200, parent,
                             nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

// windows TAG: a top-level window (its end ends the process) with a
// child window, a top-level window of an excluded class and one of a class
// the center answers empty at first; then serves messages (at most 20 s).
int WindowsRole(const std::vector<std::string>& args) {
    if (args.empty()) return 90;
    RegisterSharedMessages();
    const std::string& tag = args[0];
    for (const char* stem : {"OmbXTop", "OmbXChild", "OmbXLate"}) RegisterChildClass(stem + tag);
    RegisterChildClass("TPUtilWindow");
    HWND top = ChildWindow("OmbXTop" + tag, WS_OVERLAPPEDWINDOW, nullptr, "top " + tag);
    ::SetPropW(top, L"OmbQuit", reinterpret_cast<HANDLE>(1));
    ChildWindow("OmbXChild" + tag, WS_CHILD | WS_VISIBLE, top, "child " + tag);
    ChildWindow("TPUtilWindow", WS_OVERLAPPEDWINDOW, nullptr, "excluded " + tag);
    ChildWindow("OmbXLate" + tag, WS_OVERLAPPEDWINDOW, nullptr, "late " + tag);
    UniqueHandle ready = NamedEvent(tag + "Ready");
    ::SetEvent(ready.get());
    ::SetTimer(nullptr, 0, 20000, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && !msg.hwnd) return 91;
        ::DispatchMessageW(&msg);
    }
    return 0;
}
OMB_CHILD_ROLE("windows", WindowsRole);

HWND FindByCaption(const std::string& cls, const std::string& caption) {
    return ::FindWindowW(ToWide(cls).c_str(), ToWide(caption).c_str());
}

LRESULT Ask(HWND w, UINT m, WPARAM wp = 0) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(w, m, wp, 0, SMTO_NORMAL, 2000, &result)) return -1;
    return LRESULT(result);
}

bool IsTopmost(HWND w) {
    return (::GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

}  // namespace

TEST(HookDll, ATestCenterExtendsTheWindowsOfAnotherProcess) {
    RegisterSharedMessages();
    const std::string tag = UniqueName("x");
    const std::string topClass = "OmbXTop" + tag, childClass = "OmbXChild" + tag,
                      lateClass = "OmbXLate" + tag;
    const std::string onTop = R::Rule("Cross " + tag, {R::Action("STAYONTOPACTION", "StayOnTop")},
                                      {R::OnCreate({R::Agent("A", "StayOnTop", "concrete", "STAYONTOPON")})});
    std::mutex mutex;
    std::set<std::string> ruled = {topClass, childClass};
    RuleServer server([&](HWND, const std::string& cls) {
        std::lock_guard<std::mutex> lock(mutex);
        RuleAnswer a;
        if (ruled.count(cls)) a.text = onTop;
        return a;
    });
    ASSERT_TRUE(server.Ready());

    HookDllCopy copy;
    ASSERT_TRUE(copy);
    CenterHook center(copy.Path());
    ASSERT_TRUE(center.Installed());

    UniqueHandle ready = NamedEvent(tag + "Ready");
    ChildProcess child = ChildProcess::Start("windows", {tag});
    ASSERT_TRUE(child);
    ASSERT_TRUE(WaitSignalled(ready.get(), 5000));
    HWND top = FindByCaption(topClass, "top " + tag);
    HWND excluded = FindByCaption("TPUtilWindow", "excluded " + tag);
    HWND late = FindByCaption(lateClass, "late " + tag);
    ASSERT_TRUE(top && excluded && late);
    HWND inner = ::FindWindowExW(top, nullptr, ToWide(childClass).c_str(), nullptr);
    ASSERT_TRUE(inner);

    // The rule took effect inside the other process.
    ASSERT_TRUE(PumpUntil([&] { return IsTopmost(top) && server.Requests(late) == 1; }, 4000));
    EXPECT_EQ(Ask(top, kIsSubclassed), 1);
    EXPECT_EQ(Ask(top, kAttachNotices), 1);
    EXPECT_EQ(server.Requests(top), 1);
    EXPECT_EQ(server.Requests("TPUtilWindow"), 0) << "excluded classes ask nothing";
    EXPECT_EQ(server.Requests(inner), 0) << "child windows ask nothing";
    EXPECT_EQ(server.Malformed(), 0);

    // A second WM_APPLY_RULES for the extended window asks nothing; for the
    // window whose answer was empty, it asks again, and the new rule applies.
    EXPECT_EQ(Ask(top, WM_APPLY_RULES), 0);
    {
        std::lock_guard<std::mutex> lock(mutex);
        ruled.insert(lateClass);
    }
    EXPECT_FALSE(IsTopmost(late));
    Ask(late, WM_APPLY_RULES);
    ASSERT_TRUE(PumpUntil([&] { return IsTopmost(late); }, 3000));
    PumpFor(100);
    EXPECT_EQ(server.Requests(top), 1);
    EXPECT_EQ(server.Requests(late), 2);

    // The configuration changed: every extended window gets its former
    // procedure back.
    ::SendNotifyMessageW(HWND_BROADCAST, WM_CONFIG_CHANGED, 0, 0);
    EXPECT_TRUE(
        PumpUntil([&] { return Ask(top, kIsSubclassed) == 0 && Ask(late, kIsSubclassed) == 0; }, 3000));

    // Unhooked, the other process runs on.
    center.Remove();
    PumpFor(100);
    EXPECT_TRUE(child.Running());
    EXPECT_EQ(Ask(top, kPing), 42);
    EXPECT_EQ(Ask(late, kPing), 42);
    ::PostMessageW(top, WM_CLOSE, 0, 0);
    DWORD exitCode = 99;
    EXPECT_TRUE(child.Wait(5000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

// ---- unloading while a worker waits ----

namespace {

// unload DLL TAG: loads the library, lets it extend one window, leaves a
// worker waiting for an answer that never comes and frees the library: it
// stays while the window is extended, and goes once the window lets go.
int UnloadRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    RegisterSharedMessages();
    const std::wstring dll = ToWide(args[0]);
    const std::string& tag = args[1];
    const std::string ruledClass = "OmbUA" + tag, silentClass = "OmbUB" + tag;
    RegisterChildClass(ruledClass);
    RegisterChildClass(silentClass);
    // The destruction trigger fires when the window lets go.
    const std::string onTop =
        R::Rule("Unload " + tag, {R::Action("STAYONTOPACTION", "StayOnTop")},
                {R::OnCreate({R::Agent("A", "StayOnTop", "concrete", "STAYONTOPON")}),
                 R::OnDestroy({R::Agent("D", "StayOnTop", "concrete", "STAYONTOPOFF")})});
    RuleServer server([&](HWND, const std::string& cls) {
        RuleAnswer a;
        if (cls == ruledClass) a.text = onTop;
        if (cls == silentClass) a.reply = false;
        return a;
    });
    if (!server.Ready()) return 91;
    const int threadsBefore = ProcessThreadCount();

    HMODULE module = ::LoadLibraryW(dll.c_str());
    if (!module) return 92;
    auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(module, "CallProcHook")));
    if (!hook) return 93;

    HWND ruled = ChildWindow(ruledClass, WS_OVERLAPPEDWINDOW, nullptr, "ruled");
    HWND silent = ChildWindow(silentClass, WS_OVERLAPPEDWINDOW, nullptr, "silent");
    CWPSTRUCT record{0, 0, WM_APPLY_RULES, ruled};
    hook(HC_ACTION, 0, reinterpret_cast<LPARAM>(&record));
    if (!PumpUntil([&] { return IsTopmost(ruled) && g_attachNotices == 1; }, 3000)) return 10;
    if (::SendMessageW(ruled, kIsSubclassed, 0, 0) != 1) return 11;
    record.hwnd = silent;
    hook(HC_ACTION, 0, reinterpret_cast<LPARAM>(&record));
    if (!PumpUntil([&] { return server.Requests(silent) == 1; }, 2000)) return 12;

    ::FreeLibrary(module);
    if (::SendMessageW(ruled, kPing, 0, 0) != 42) return 13;
    // The last worker gives up (5 attempts) and ends; the extended window
    // still holds the library.
    if (!PumpUntil([&] { return server.Requests(silent) == 5 && ProcessThreadCount() <= threadsBefore; }, 8000))
        return 14;
    if (::GetModuleHandleW(dll.c_str()) == nullptr) return 15;
    if (::SendMessageW(ruled, kIsSubclassed, 0, 0) != 1) return 16;
    // Told that the configuration changed (as the command center does
    // before it removes its hook), the window lets go, and the library goes.
    ::SendMessageW(ruled, WM_CONFIG_CHANGED, 0, 0);
    if (!PumpUntil([&] { return ::GetModuleHandleW(dll.c_str()) == nullptr; }, 3000)) return 17;
    if (::SendMessageW(ruled, kPing, 0, 0) != 42) return 18;
    if (::SendMessageW(ruled, kIsSubclassed, 0, 0) != 0) return 19;
    if (!PumpUntil([&] { return ProcessThreadCount() <= threadsBefore; }, 2000)) return 20;
    if (server.Requests(silent) != 5) return 21;
    ::DestroyWindow(silent);
    ::DestroyWindow(ruled);
    return 0;
}
OMB_CHILD_ROLE("unload", UnloadRole);

// config-change DLL TAG nested|direct: loads the library, lets it extend a
// window, tells the window that the configuration changed (from inside
// another message of the window, which frees the library before it returns,
// or directly) and answers whether the library stayed loaded (3) or went
// (4) once the window's messages returned; 5 when anything faulted.
int ConfigChangeRole(const std::vector<std::string>& args) {
    if (args.size() < 3) return 90;
    FaultCounter faults;
    RegisterSharedMessages();
    const std::wstring dll = ToWide(args[0]);
    const std::string cls = "OmbCC" + args[1];
    RegisterChildClass(cls);
    const std::string rule = R::Rule("Config " + args[1], {R::Action("STAYONTOPACTION", "StayOnTop")}, {});
    RuleServer server([&](HWND, const std::string& c) {
        RuleAnswer a;
        if (c == cls) a.text = rule;
        return a;
    });
    if (!server.Ready()) return 91;
    HMODULE module = ::LoadLibraryW(dll.c_str());
    if (!module) return 92;
    auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(module, "CallProcHook")));
    if (!hook) return 93;
    HWND w = ChildWindow(cls, WS_OVERLAPPEDWINDOW, nullptr, "config");
    CWPSTRUCT record{0, 0, WM_APPLY_RULES, w};
    hook(HC_ACTION, 0, reinterpret_cast<LPARAM>(&record));
    if (!PumpUntil([&] { return ::SendMessageW(w, kIsSubclassed, 0, 0) == 1 && g_attachNotices == 1; }, 3000))
        return 10;
    const bool nested = args[2] == "nested";
    if (nested)
        ::SendMessageW(w, kNestConfig, 0, reinterpret_cast<LPARAM>(module));
    else
        ::SendMessageW(w, WM_CONFIG_CHANGED, 0, 0);
    // (A worker still finishing the attach lets go of the window itself.)
    if (!PumpUntil([&] { return ::SendMessageW(w, kIsSubclassed, 0, 0) == 0; }, 3000)) return 11;
    if (!nested) ::FreeLibrary(module);
    if (::SendMessageW(w, kPing, 0, 0) != 42) return 12;
    ::DestroyWindow(w);
    const bool gone = PumpUntil([&] { return ::GetModuleHandleW(dll.c_str()) == nullptr; }, 3000);
    if (faults.Count() != 0) return 5;
    return gone ? 4 : 3;
}
OMB_CHILD_ROLE("config-change", ConfigChangeRole);

}  // namespace

TEST(HookDll, AConfigurationChangeInsideALoopOfTheWindowLetsTheLibraryGoOnceTheLoopReturns) {
    // Told directly, the window lets go and the library goes; told inside
    // another message of the window (a menu or move loop, a dialog), that
    // message returns into the library later, and the library goes then.
    for (const char* how : {"direct", "nested"}) {
        HookDllCopy copy;
        ASSERT_TRUE(copy);
        ChildProcess child =
            ChildProcess::Start("config-change", {FromWide(copy.Path()), UniqueName("c"), how});
        ASSERT_TRUE(child);
        DWORD exitCode = 99;
        ASSERT_TRUE(child.Wait(15000, &exitCode));
        EXPECT_EQ(exitCode, 4u) << how;
    }
}

TEST(HookDll, UnloadingWhileAWorkerWaitsEndsNothingForcibly) {
    HookDllCopy copy;
    ASSERT_TRUE(copy);
    ChildProcess child = ChildProcess::Start("unload", {FromWide(copy.Path()), UniqueName("u")});
    ASSERT_TRUE(child);
    DWORD exitCode = 99;
    ASSERT_TRUE(child.Wait(15000, &exitCode));
    EXPECT_EQ(exitCode, 0u) << "see UnloadRole for the step that failed";
}

// ---- the library's module stays while any of its code may run ----

namespace {

int TimerWindows() {
    int n = 0;
    for (HWND w = nullptr; (w = ::FindWindowExA(HWND_MESSAGE, w, "OmbrelExtenderTimer", nullptr)) != nullptr;) ++n;
    return n;
}

HOOKPROC HookOf(HMODULE module) {
    return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(module, "CallProcHook")));
}

void ApplyRules(HOOKPROC hook, HWND window) {
    CWPSTRUCT record{0, 0, WM_APPLY_RULES, window};
    hook(HC_ACTION, 0, reinterpret_cast<LPARAM>(&record));
}

// busy DLL TAG: a window of thread B is extended; B sits in a long message
// of it while the main thread frees the library. B returns into the library
// and the process runs on; the library goes once the window lets go.
int BusyRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    FaultCounter faults;
    RegisterSharedMessages();
    const std::wstring dll = ToWide(args[0]);
    const std::string cls = "OmbBusy" + args[1];
    RegisterChildClass(cls);
    const std::string rule = R::Rule("Busy " + args[1], {R::Action("STAYONTOPACTION", "StayOnTop")}, {});
    RuleServer server([&](HWND, const std::string& c) {
        RuleAnswer a;
        if (c == cls) a.text = rule;
        return a;
    });
    if (!server.Ready()) return 91;
    HMODULE module = ::LoadLibraryW(dll.c_str());
    if (!module) return 92;
    HOOKPROC hook = HookOf(module);
    if (!hook) return 93;

    struct B {
        std::string cls;
        HWND window = nullptr;
        UniqueHandle ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    } b{cls};
    DWORD bId = 0;
    UniqueHandle thread(::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* b = static_cast<B*>(p);
            b->window = ChildWindow(b->cls, WS_OVERLAPPEDWINDOW, nullptr, "busy");
            ::SetEvent(b->ready.get());
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
            ::DestroyWindow(b->window);
            return 0;
        },
        &b, 0, &bId));
    if (!thread || !WaitSignalled(b.ready.get(), 3000) || !b.window) return 94;
    HWND w = b.window;

    ApplyRules(hook, w);
    if (!PumpUntil([&] { return Ask(w, kIsSubclassed) == 1 && Ask(w, kAttachNotices) == 1; }, 3000)) return 10;
    PumpFor(200);  // the worker ends

    UniqueHandle inSlow(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ::PostMessageW(w, kSlow, 0, reinterpret_cast<LPARAM>(inSlow.get()));
    if (!WaitSignalled(inSlow.get(), 3000)) return 11;
    ::FreeLibrary(module);  // while B is inside the extended window's message
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(w, kPing, 0, 0, SMTO_NORMAL, 5000, &answer) || answer != 42) return 12;
    if (faults.Count() != 0) return 13;
    if (::GetModuleHandleW(dll.c_str()) == nullptr || Ask(w, kIsSubclassed) != 1) return 14;

    Ask(w, WM_CONFIG_CHANGED);
    if (!PumpUntil([&] { return ::GetModuleHandleW(dll.c_str()) == nullptr; }, 3000)) return 15;
    if (Ask(w, kPing) != 42 || Ask(w, kIsSubclassed) != 0) return 16;
    ::PostThreadMessageW(bId, WM_QUIT, 0, 0);
    if (::WaitForSingleObject(thread.get(), 3000) != WAIT_OBJECT_0) return 17;
    return faults.Count() == 0 ? 0 : 18;
}
OMB_CHILD_ROLE("busy", BusyRole);

// The hook-handle block as the command center publishes it (with a handle
// of its hook); the hook is withdrawn when it closes. Empty when not made.
UniqueHandle PublishHookBlock() {
    UniqueHandle block(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kHookHandleBlockName));
    if (!block) return block;
    UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, 4));
    if (!view) return UniqueHandle();
    const int32_t value = 0x5A5A;
    std::memcpy(view.get(), &value, sizeof(value));
    return block;
}

// withdrawn DLL TAG: the library starts while a hook is published; a worker
// is still waiting for its answer when the hook is withdrawn. The answer
// then extends nothing, and once the library is freed the worker's end lets
// it go.
int WithdrawnRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    FaultCounter faults;
    RegisterSharedMessages();
    const std::wstring dll = ToWide(args[0]);
    const std::string cls = "OmbWd" + args[1];
    RegisterChildClass(cls);
    const std::string rule = R::Rule("Withdrawn " + args[1], {R::Action("STAYONTOPACTION", "StayOnTop")}, {});
    UniqueHandle answerNow(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE answerEvent = answerNow.get();
    RuleServer server([&](HWND, const std::string& c) {
        RuleAnswer a;
        if (c == cls) {
            ::WaitForSingleObject(answerEvent, 3000);  // the answer comes late
            a.text = rule;
        }
        return a;
    });
    if (!server.Ready()) return 91;

    UniqueHandle block = PublishHookBlock();
    if (!block) return 92;
    HMODULE module = ::LoadLibraryW(dll.c_str());
    if (!module) return 93;
    HOOKPROC hook = HookOf(module);
    if (!hook) return 93;
    const int threadsBefore = ProcessThreadCount();

    HWND w = ChildWindow(cls, WS_OVERLAPPEDWINDOW, nullptr, "withdrawn");
    ApplyRules(hook, w);
    if (!PumpUntil([&] { return server.Requests(w) == 1; }, 3000)) return 10;
    block.reset();  // the hook is withdrawn
    ::SetEvent(answerEvent);
    // The worker ends without extending the window.
    if (!PumpUntil([&] { return ProcessThreadCount() < threadsBefore + 1; }, 3000)) return 11;
    PumpFor(100);
    if (Ask(w, kIsSubclassed) != 0 || Ask(w, kAttachNotices) != 0) return 12;
    ::FreeLibrary(module);
    if (!PumpUntil([&] { return ::GetModuleHandleW(dll.c_str()) == nullptr; }, 3000)) return 13;
    if (Ask(w, kPing) != 42) return 14;
    ::DestroyWindow(w);
    return faults.Count() == 0 ? 0 : 15;
}
OMB_CHILD_ROLE("withdrawn", WithdrawnRole);

// lag DLL TAG: a window whose rule has a destruction trigger with a lag is
// destroyed, and the library is freed at once, inside the lag. Nothing of
// the window stays, and the process runs on past the lag.
int LagRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    FaultCounter faults;
    RegisterSharedMessages();
    const std::wstring dll = ToWide(args[0]);
    const std::string cls = "OmbLag" + args[1];
    RegisterChildClass(cls);
    const std::string rule = R::Rule(
        "Lag " + args[1], {R::Action("STAYONTOPACTION", "StayOnTop")},
        {R::OnCreate({R::Agent("A", "StayOnTop", "concrete", "STAYONTOPON")}),
         R::Trigger("WMDESTROYMESSAGETRIGGER", {R::Agent("D", "StayOnTop", "concrete", "STAYONTOPOFF")}, true, 300)});
    RuleServer server([&](HWND, const std::string& c) {
        RuleAnswer a;
        if (c == cls) a.text = rule;
        return a;
    });
    if (!server.Ready()) return 91;
    const int timersBefore = TimerWindows();
    HMODULE module = ::LoadLibraryW(dll.c_str());
    if (!module) return 92;
    HOOKPROC hook = HookOf(module);
    if (!hook) return 93;
    HWND w = ChildWindow(cls, WS_OVERLAPPEDWINDOW, nullptr, "lag");
    ApplyRules(hook, w);
    if (!PumpUntil([&] { return IsTopmost(w) && Ask(w, kAttachNotices) == 1; }, 3000)) return 10;
    PumpFor(200);  // the worker ends
    ::DestroyWindow(w);
    ::FreeLibrary(module);
    PumpFor(600);  // past the lag
    if (TimerWindows() != timersBefore) return 11;
    if (!PumpUntil([&] { return ::GetModuleHandleW(dll.c_str()) == nullptr; }, 3000)) return 12;
    PumpFor(100);
    return faults.Count() == 0 ? 0 : 13;
}
OMB_CHILD_ROLE("lag", LagRole);

// box DLL TAG: a window's rule asks the close question from a lagged
// creation trigger, so the question's box runs inside a tick of the lag
// timer. While the box is up the configuration changes (the extender and
// its lag timer go) and the library is freed. The library stays while the
// box is up, goes once the box returned, and nothing faults.
int BoxRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    FaultCounter faults;
    RegisterSharedMessages();
    const std::wstring dll = ToWide(args[0]);
    const std::string cls = "OmbBox" + args[1], caption = "box " + args[1];
    RegisterChildClass(cls);
    const std::string rule = R::Rule("Box " + args[1], {R::Action("CLOSEQUERYACTION", "CloseQuery")},
                                     {R::OnCreate({R::Agent("Q", "CloseQuery", "concrete", "CLOSEQUERY")}, true, 100)});
    RuleServer server([&](HWND, const std::string& c) {
        RuleAnswer a;
        if (c == cls) a.text = rule;
        return a;
    });
    if (!server.Ready()) return 91;
    HMODULE module = ::LoadLibraryW(dll.c_str());
    if (!module) return 92;
    HOOKPROC hook = HookOf(module);
    if (!hook) return 93;
    HWND w = ChildWindow(cls, WS_OVERLAPPEDWINDOW, nullptr, caption);

    // Another thread acts while the box is up, as the command center and the
    // user would.
    struct Driver {
        HWND window;
        HMODULE module;
        std::wstring dll, caption;
        std::atomic<int> step{0};  // 1: no box, 2: the library went under the box, 3: done
    } d{w, module, dll, ToWide(caption)};
    UniqueHandle driver(::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* d = static_cast<Driver*>(p);
            const auto until = [](const std::function<bool()>& done, DWORD ms) {
                for (const ULONGLONG end = ::GetTickCount64() + ms; !done(); ::Sleep(10))
                    if (::GetTickCount64() > end) return false;
                return true;
            };
            HWND box = nullptr;
            if (!until([&] { return (box = ::FindWindowW(L"#32770", d->caption.c_str())) != nullptr; }, 5000)) {
                d->step = 1;
                return 0;
            }
            ::SendMessageW(d->window, WM_CONFIG_CHANGED, 0, 0);
            ::FreeLibrary(d->module);
            // The library stays while the box is up, however long that is.
            const bool went = until([&] { return ::GetModuleHandleW(d->dll.c_str()) == nullptr; }, 1500);
            d->step = went ? 2 : 3;
            ::PostMessageW(box, WM_COMMAND, IDNO, 0);
            return 0;
        },
        &d, 0, nullptr));
    if (!driver) return 94;
    ApplyRules(hook, w);
    if (!PumpUntil([&] { return d.step != 0; }, 8000)) return 10;
    if (d.step == 1) return 11;
    if (d.step == 2) return 12;
    if (!PumpUntil([&] { return ::GetModuleHandleW(dll.c_str()) == nullptr; }, 3000)) return 13;
    ::WaitForSingleObject(driver.get(), 3000);
    if (Ask(w, kPing) != 42) return 14;
    ::DestroyWindow(w);
    return faults.Count() == 0 ? 0 : 15;
}
OMB_CHILD_ROLE("box", BoxRole);

// Stand-ins the library's imports are pointed at: each fails, and counts.
std::atomic<int> g_failedCalls{0};
BOOL WINAPI RefuseMessage(HWND, UINT, WPARAM, LPARAM) {
    ++g_failedCalls;
    ::SetLastError(ERROR_NOT_ENOUGH_QUOTA);  // as for a full queue
    return FALSE;
}
HANDLE WINAPI FailOpenThread(DWORD, BOOL, DWORD) {
    ++g_failedCalls;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}
DWORD WINAPI FailSuspendThread(HANDLE) {
    ++g_failedCalls;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return DWORD(-1);
}
BOOL WINAPI FailGetThreadContext(HANDLE, CONTEXT*) {
    ++g_failedCalls;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// handed DLL TAG: the command center withdraws its hook while a window of
// thread B is being attached, after the window's creation trigger started
// its lag timer on B. The attaching worker hands the timer to B (its notice
// and post refused, as for a full queue), and B ends without taking another
// message. Though no timer is made or disposed afterwards, the timer and its
// hold go with B's window, and the library leaves once freed.
int HandedRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    FaultCounter faults;
    RegisterSharedMessages();
    const std::wstring dll = ToWide(args[0]);
    const std::string cls = "OmbHand" + args[1];
    RegisterChildClass(cls);
    const std::string rule =
        R::Rule("Handed " + args[1], {R::Action("STAYONTOPACTION", "StayOnTop")},
                {R::OnCreate({R::Agent("A", "StayOnTop", "concrete", "STAYONTOPON")}, true, 10000)});
    RuleServer server([&](HWND, const std::string& c) {
        RuleAnswer a;
        if (c == cls) a.text = rule;
        return a;
    });
    if (!server.Ready()) return 91;
    UniqueHandle block = PublishHookBlock();
    if (!block) return 92;
    const int timersBefore = TimerWindows();
    HMODULE module = ::LoadLibraryW(dll.c_str());
    if (!module) return 93;
    HOOKPROC hook = HookOf(module);
    if (!hook) return 93;

    struct B {
        std::string cls;
        HWND window = nullptr;
        UniqueHandle ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        UniqueHandle end{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    } b{cls};
    UniqueHandle thread(::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* b = static_cast<B*>(p);
            b->window = ChildWindow(b->cls, WS_OVERLAPPEDWINDOW, nullptr, "handed");
            ::SetEvent(b->ready.get());
            PumpUntil([] { return g_attachNotices != 0; }, 5000);
            ::WaitForSingleObject(b->end.get(), 5000);  // takes no message
            return 0;  // its windows go with it
        },
        &b, 0, nullptr));
    if (!thread || !WaitSignalled(b.ready.get(), 3000) || !b.window) return 94;

    void* const refuse = reinterpret_cast<void*>(&RefuseMessage);
    void* notice = ReplaceImport(module, "user32.dll", "SendNotifyMessageA", refuse);
    void* post = ReplaceImport(module, "user32.dll", "PostMessageA", refuse);
    if (!notice || !post) return 95;
    g_withdrawAtAttach = &block;
    ApplyRules(hook, b.window);
    // The notice and the post that hand the timer over were both refused.
    const bool handed = PumpUntil([&] { return g_failedCalls >= 2; }, 5000);
    ReplaceImport(module, "user32.dll", "SendNotifyMessageA", notice);
    ReplaceImport(module, "user32.dll", "PostMessageA", post);
    if (!handed || g_attachNotices != 1) return 10;
    if (TimerWindows() != timersBefore + 1) return 11;  // the lag timer waits for B

    ::FreeLibrary(module);
    ::SetEvent(b.end.get());
    if (::WaitForSingleObject(thread.get(), 5000) != WAIT_OBJECT_0) return 12;
    if (!PumpUntil([&] { return ::GetModuleHandleW(dll.c_str()) == nullptr; }, 3000)) return 13;
    if (TimerWindows() != timersBefore) return 14;
    PumpFor(100);
    return faults.Count() == 0 ? 0 : 15;
}
OMB_CHILD_ROLE("handed", HandedRole);

// unreadable DLL TAG CALL: the library's last hold goes while CALL (the
// opening, the suspension or the reading of a thread's registers) fails for
// every thread. The library stays, however long that lasts, and leaves once
// the call works again.
int UnreadableRole(const std::vector<std::string>& args) {
    if (args.size() < 3) return 90;
    FaultCounter faults;
    RegisterSharedMessages();
    const std::wstring dll = ToWide(args[0]);
    const std::string cls = "OmbUr" + args[1], call = args[2];
    void* failing = call == "OpenThread"         ? reinterpret_cast<void*>(&FailOpenThread)
                    : call == "SuspendThread"    ? reinterpret_cast<void*>(&FailSuspendThread)
                    : call == "GetThreadContext" ? reinterpret_cast<void*>(&FailGetThreadContext)
                                                 : nullptr;
    if (!failing) return 90;
    RegisterChildClass(cls);
    const std::string rule =
        R::Rule("Unreadable " + args[1], {R::Action("STAYONTOPACTION", "StayOnTop")}, {});
    RuleServer server([&](HWND, const std::string& c) {
        RuleAnswer a;
        if (c == cls) a.text = rule;
        return a;
    });
    if (!server.Ready()) return 91;
    HMODULE module = ::LoadLibraryW(dll.c_str());
    if (!module) return 92;
    HOOKPROC hook = HookOf(module);
    if (!hook) return 93;
    HWND w = ChildWindow(cls, WS_OVERLAPPEDWINDOW, nullptr, "unreadable");
    ApplyRules(hook, w);
    if (!PumpUntil([&] { return Ask(w, kIsSubclassed) == 1 && Ask(w, kAttachNotices) == 1; }, 3000)) return 10;
    PumpFor(200);  // the worker ends

    void* former = ReplaceImport(module, "kernel32.dll", call.c_str(), failing);
    if (!former) return 11;
    Ask(w, WM_CONFIG_CHANGED);  // the window lets go: the last hold goes
    ::FreeLibrary(module);
    PumpFor(1000);
    // A library that went already is not written to.
    if (::GetModuleHandleW(dll.c_str()) == nullptr) return 12;
    if (g_failedCalls == 0) return 13;
    ReplaceImport(module, "kernel32.dll", call.c_str(), former);
    if (!PumpUntil([&] { return ::GetModuleHandleW(dll.c_str()) == nullptr; }, 3000)) return 14;
    if (Ask(w, kPing) != 42 || Ask(w, kIsSubclassed) != 0) return 15;
    ::DestroyWindow(w);
    return faults.Count() == 0 ? 0 : 16;
}
OMB_CHILD_ROLE("unreadable", UnreadableRole);

int RunRole(const char* role, const std::string& extra = std::string()) {
    HookDllCopy copy;
    if (!copy) return -1;
    std::vector<std::string> args = {FromWide(copy.Path()), UniqueName(role)};
    if (!extra.empty()) args.push_back(extra);
    ChildProcess child = ChildProcess::Start(role, args);
    if (!child) return -2;
    DWORD exitCode = 99;
    if (!child.Wait(20000, &exitCode)) return -3;
    return int(exitCode);
}

}  // namespace

TEST(HookDll, FreedWhileAnotherThreadIsInsideAnExtendedWindowsMessage) {
    EXPECT_EQ(RunRole("busy"), 0) << "see BusyRole for the step that failed";
}

TEST(HookDll, AWorkerAnsweredAfterTheHookWasWithdrawnExtendsNothing) {
    EXPECT_EQ(RunRole("withdrawn"), 0) << "see WithdrawnRole for the step that failed";
}

TEST(HookDll, FreedInsideALagOfAClosedWindowLeavesNothingRunning) {
    EXPECT_EQ(RunRole("lag"), 0) << "see LagRole for the step that failed";
}

TEST(HookDll, FreedUnderItsOwnMessageBoxLeavesOnceTheBoxReturns) {
    EXPECT_EQ(RunRole("box"), 0) << "see BoxRole for the step that failed";
}

TEST(HookDll, ATimerHandedToAThreadThatEndsUnreadGoesWithItAndTheLibraryLeaves) {
    EXPECT_EQ(RunRole("handed"), 0) << "see HandedRole for the step that failed";
}

TEST(HookDll, AThreadWhoseRegistersCannotBeReadKeepsTheLibraryUntilTheyCanBe) {
    for (const char* call : {"OpenThread", "SuspendThread", "GetThreadContext"})
        EXPECT_EQ(RunRole("unreadable", call), 0) << call << ": see UnreadableRole for the step that failed";
}
