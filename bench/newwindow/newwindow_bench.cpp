// How soon a new window of another process carries its rule. A test center
// (this process) hooks the desktop with a copy of tbhook.dll and answers the
// rule requests; a child process creates 100 windows one after another, then
// a burst of 50, and measures for each the time from CreateWindowEx returning
// to the window receiving the extender's attach notice.
//
//   newwindow_bench
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"
#include "tests/common/child_process.h"
#include "tests/common/hook_dll.h"
#include "tests/common/rule_server.h"
#include "tests/common/rule_text.h"

using namespace omb;
using namespace omb::test;

namespace {

constexpr int kSequential = 100;
constexpr int kBurst = 50;
constexpr int kWindows = kSequential + kBurst;

struct Results {
    int32_t done;
    int32_t attached[kWindows];
    double latencyMs[kWindows];
};

int64_t Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double MsPerTick() {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return 1e3 / double(f.QuadPart);
}

int64_t g_created[kWindows];
int64_t g_attachedAt[kWindows];

LRESULT CALLBACK BenchProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_EXTENDER_ATTACHED) {
        const LONG_PTR index = ::GetWindowLongPtrW(w, GWLP_USERDATA);
        if (index > 0 && index <= kWindows && g_attachedAt[index - 1] == 0) g_attachedAt[index - 1] = Now();
    }
    return ::DefWindowProcW(w, m, wp, lp);
}

HWND Create(const std::wstring& cls, int index) {
    HWND w = ::CreateWindowExW(0, cls.c_str(), L"bench", WS_OVERLAPPEDWINDOW, 10, 10, 200, 120, nullptr,
                               nullptr, ::GetModuleHandleW(nullptr), nullptr);
    g_created[index] = Now();
    ::SetWindowLongPtrW(w, GWLP_USERDATA, index + 1);
    return w;
}

// bench-windows CLASS BLOCK
int BenchWindowsRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    RegisterSharedMessages();
    const std::wstring cls = ToWide(args[0]);
    UniqueHandle block(::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, args[1].c_str()));
    UniqueView view(block ? ::MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Results))
                          : nullptr);
    if (!view) return 91;
    auto* results = static_cast<Results*>(view.get());
    WNDCLASSW wc{};
    wc.lpfnWndProc = &BenchProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = cls.c_str();
    ::RegisterClassW(&wc);

    std::vector<HWND> windows;
    for (int i = 0; i < kSequential; ++i) {
        windows.push_back(Create(cls, i));
        PumpUntil([i] { return g_attachedAt[i] != 0; }, 3000);
    }
    for (int i = kSequential; i < kWindows; ++i) windows.push_back(Create(cls, i));
    PumpUntil(
        [] {
            for (int i = kSequential; i < kWindows; ++i)
                if (g_attachedAt[i] == 0) return false;
            return true;
        },
        10000);

    const double ms = MsPerTick();
    for (int i = 0; i < kWindows; ++i) {
        results->attached[i] = g_attachedAt[i] != 0;
        results->latencyMs[i] = g_attachedAt[i] ? double(g_attachedAt[i] - g_created[i]) * ms : -1;
    }
    results->done = 1;
    for (HWND w : windows) ::DestroyWindow(w);
    return 0;
}
OMB_CHILD_ROLE("bench-windows", BenchWindowsRole);

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    if (RunChildRole(argc, argv, exitCode)) return exitCode;

    RegisterSharedMessages();
    const std::string tag = UniqueName("nw");
    const std::string cls = "OmbBench" + std::to_string(::GetCurrentProcessId());
    const std::string rule =
        rule::Rule("Bench", {rule::Action("STAYONTOPACTION", "StayOnTop")},
                   {rule::OnCreate({rule::Agent("A", "StayOnTop", "concrete", "STAYONTOPON")})});
    RuleServer server(AnswerClass(cls, rule));
    if (!server.Ready()) {
        std::fprintf(stderr, "cannot serve the channel\n");
        return 1;
    }
    HookDllCopy copy;
    CenterHook center(copy.Path());
    if (!center.Installed()) {
        std::fprintf(stderr, "cannot install the hook\n");
        return 1;
    }
    const std::string blockName = tag + "Results";
    UniqueHandle block(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Results),
                                            blockName.c_str()));
    UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Results)));
    auto* results = static_cast<Results*>(view.get());

    ChildProcess child = ChildProcess::Start("bench-windows", {cls, blockName});
    DWORD childExit = 99;
    if (!child || !child.Wait(60000, &childExit) || childExit != 0 || !results->done) {
        std::fprintf(stderr, "the window process failed (%lu)\n", static_cast<unsigned long>(childExit));
        return 1;
    }
    center.Remove();

    std::vector<double> sequential, burst;
    int burstRuled = 0, sequentialRuled = 0;
    for (int i = 0; i < kWindows; ++i) {
        if (!results->attached[i]) continue;
        if (i < kSequential) {
            sequential.push_back(results->latencyMs[i]);
            ++sequentialRuled;
        } else {
            burst.push_back(results->latencyMs[i]);
            ++burstRuled;
        }
    }
    const double requestsPerWindow = double(server.Requests(cls)) / kWindows;
    std::printf("one after another: %d of %d ruled, p50 %.2f ms, p95 %.2f ms, max %.2f ms\n", sequentialRuled,
                kSequential, Percentile(sequential, 0.5), Percentile(sequential, 0.95),
                Percentile(sequential, 1.0));
    std::printf("burst: %d of %d ruled, p50 %.2f ms, max %.2f ms\n", burstRuled, kBurst,
                Percentile(burst, 0.5), Percentile(burst, 1.0));
    std::printf("requests: %d for %d windows\n", server.Requests(cls), kWindows);
    std::printf(
        "newwindow: p50_ms=%.2f p95_ms=%.2f max_ms=%.2f burst=%d burst_ruled=%d requests_per_window=%.2f\n",
        Percentile(sequential, 0.5), Percentile(sequential, 0.95), Percentile(sequential, 1.0), kBurst,
        burstRuled, requestsPerWindow);
    return 0;
}
