// What the hook library costs a foreign program.
//
// (a) The hook procedure's filter: tbhook.dll's CallProcHook for a message it
//     does not handle, called directly, against an empty pass-through that
//     only calls the next hook.
// (b) Same-thread SendMessage to a window that carries a window extender with
//     every action and trigger of the default rule switched on, against a
//     plain window of the same class.
//
//   hook_bench [N]      (calls per round, default 200000)
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "extender/actions.h"
#include "extender/application.h"
#include "extender/library.h"
#include "foundation/shared.h"
#include "tests/common/hook_dll.h"
#include "tests/common/rule_text.h"

using namespace omb;
using namespace omb::ea;

namespace {

constexpr UINT kProbe = WM_USER + 1;
constexpr int kRounds = 9;

int64_t Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double NsPerTick() {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return 1e9 / double(f.QuadPart);
}

__attribute__((noinline)) LRESULT CALLBACK EmptyHook(int code, WPARAM wParam, LPARAM lParam) {
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK ProbeProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kProbe) return 1;
    return ::DefWindowProcW(w, m, wp, lp);
}

// Nanoseconds per call of each body: rounds of the two alternate (so that
// neither gets a quieter machine), and each keeps its best round.
template <typename A, typename B>
void Measure(int n, A a, B b, double& aNs, double& bNs) {
    aNs = bNs = 1e300;
    for (int r = 0; r < kRounds; ++r) {
        int64_t start = Now();
        for (int i = 0; i < n; ++i) a();
        aNs = std::min(aNs, double(Now() - start) * NsPerTick() / n);
        start = Now();
        for (int i = 0; i < n; ++i) b();
        bNs = std::min(bNs, double(Now() - start) * NsPerTick() / n);
    }
}

int64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 200000;
    const int filterCalls = std::max(1000, n / 20);  // each call of the next hook asks the window server
    const std::wstring dllPath = test::HookDllPath();

    // ---- (a) the filter ----
    HMODULE dll = ::LoadLibraryW(dllPath.c_str());
    if (!dll) {
        std::fprintf(stderr, "cannot load tbhook.dll\n");
        return 1;
    }
    volatile HOOKPROC filter =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(dll, "CallProcHook")));
    volatile HOOKPROC empty = &EmptyHook;
    CWPSTRUCT record{0, 0, WM_MOUSEMOVE, ::GetDesktopWindow()};
    const LPARAM lp = reinterpret_cast<LPARAM>(&record);
    filter(HC_ACTION, 0, lp);  // the first call registers the messages
    double filterNs = 0, emptyNs = 0;
    Measure(
        filterCalls, [&] { empty(HC_ACTION, 0, lp); }, [&] { filter(HC_ACTION, 0, lp); }, emptyNs, filterNs);
    std::printf("filter: CallProcHook %.1f ns/call, empty pass-through %.1f ns/call\n", filterNs, emptyNs);

    // ---- (b) an extended window ----
    LibraryStartup(::GetModuleHandleW(nullptr));
    LibraryReady();
    WNDCLASSW wc{};
    wc.lpfnWndProc = &ProbeProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OmbrelHookBench";
    ::RegisterClassW(&wc);
    HWND plain = ::CreateWindowExW(0, wc.lpszClassName, L"plain", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                   nullptr, nullptr, wc.hInstance, nullptr);
    HWND extended = ::CreateWindowExW(0, wc.lpszClassName, L"extended", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                      nullptr, nullptr, wc.hInstance, nullptr);
    const std::string ruleName = "hook-bench-" + std::to_string(::GetCurrentProcessId());
    Ref<TEmbededApplication> app = ApplicationObject();
    app->ApplyRuleText(extended, test::rule::DefaultRuleAllActions(ruleName));
    if (!app->FindExtender(extended)) {
        std::fprintf(stderr, "the window got no extender\n");
        return 1;
    }
    double extendedNs = 0, plainNs = 0;
    Measure(
        n, [&] { ::SendMessageW(plain, kProbe, 0, 0); }, [&] { ::SendMessageW(extended, kProbe, 0, 0); },
        plainNs, extendedNs);
    std::printf("send: extended window %.1f ns/message, plain window %.1f ns/message\n", extendedNs, plainNs);

    // The rule posted a close and a restore: take them out unhandled.
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ::DestroyWindow(extended);
    ::DestroyWindow(plain);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, WindowRulesKey(ruleName).c_str());
    app = nullptr;
    LibraryShutdown(false);
    ::FreeLibrary(dll);

    const int64_t dllBytes = FileSize(dllPath);
    std::printf(
        "hook: filter_ns=%.1f empty_ns=%.1f filter_ratio=%.2f extended_ns=%.1f plain_ns=%.1f "
        "extended_ratio=%.2f dll_bytes=%lld\n",
        filterNs, emptyNs, filterNs / emptyNs, extendedNs, plainNs, extendedNs / plainNs,
        static_cast<long long>(dllBytes));
    return 0;
}
