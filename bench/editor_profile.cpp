// Where the editor's time goes with 1,000 rules: the editor's own code run
// in this process, step by step as the program runs it (reading the file,
// building the model, opening the window and filling the tree, the first
// paint, the idle pass), then a selection (set directly, and by the Down
// key through the message loop), an add and a save split into the handler,
// the paint and the idle pass that follow; last what the tree view itself
// costs to repaint, beside a plain one.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "config/about_form.h"
#include "config/cb_app_form.h"
#include "config/detail_panel.h"
#include "config/panels/rule_panels.h"
#include "forms/application.h"
#include "foundation/classes.h"
#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "foundation/xml_storage.h"
#include "model/root.h"
#include "model/window_rules.h"
#include "tests/common/center_harness.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::test;
using namespace omb::forms;

namespace {
constexpr int kRules = 1000, kSelections = 50, kAdds = 20;

double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

// Each step's bounds on the performance counter, for matching a sampling
// profile of the run to its steps ("OMB_PHASES=1" prints them).
unsigned long long CounterNs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (unsigned long long)(double(c.QuadPart) * 1e9 / double(f.QuadPart));
}
std::atomic<const char*> gPhase{nullptr};
template <typename F> double Time(const char* phase, F f) {
    const unsigned long long from = CounterNs();
    const double start = NowMs();
    gPhase = phase;
    f();
    gPhase = nullptr;
    const double took = NowMs() - start;
    if (getenv("OMB_PHASES")) std::printf("phase %s %llu %llu\n", phase, from, CounterNs());
    return took;
}

bool Painted(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    bool painted = true;
    EnumChildWindows(
        window,
        [](HWND w, LPARAM p) noexcept -> BOOL {
            if (IsWindowVisible(w) && GetUpdateRect(w, nullptr, FALSE)) *reinterpret_cast<bool*>(p) = false;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&painted));
    return painted;
}

// Messages sent to the windows of this thread, counted by class and
// message while a step runs (paints dispatched too).
std::map<std::pair<std::string, UINT>, int>* gCounts = nullptr;

// Handles every waiting message (the paint included), without the idle pass.
double gDispatchMs = 0, gCheckMs = 0;
std::map<std::pair<std::string, UINT>, double> gTimes;
int gChecks = 0;
void PumpUntilPainted(HWND window) {
    const double start = NowMs();
    while (NowMs() - start < 10000) {
        MSG m;
        bool any = false;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            char name[64] = {};
            if (gCounts) {
                GetClassNameA(m.hwnd, name, sizeof(name));
                RECT u{}, c{};
                if (m.message == WM_PAINT && GetUpdateRect(m.hwnd, &u, FALSE)) {
                    GetClientRect(m.hwnd, &c);
                    std::printf("    paint %s update %ldx%ld at %ld,%ld of %ldx%ld\n", name, u.right - u.left, u.bottom - u.top, u.left, u.top, c.right, c.bottom);
                }
                ++(*gCounts)[{std::string("posted ") + name, m.message}];
            }
            TranslateMessage(&m);
            const double from = NowMs();
            DispatchMessageW(&m);
            gDispatchMs += NowMs() - from;
            if (gCounts) gTimes[{std::string(name), m.message}] += NowMs() - from;
        }
        const double from = NowMs();
        const bool painted = !any && Painted(window);
        gCheckMs += NowMs() - from;
        ++gChecks;
        if (painted) return;
    }
}


// A sampling profiler of the main thread ("OMB_SAMPLES=1"): every
// millisecond the thread is stopped and its stack walked through the
// modules' unwind tables, which are copied beforehand, so that nothing
// that takes a lock runs while the thread stands; each function of this
// program on the stack counts once per sample, for the step that runs.
struct ModuleTable {
    DWORD64 base = 0, end = 0;
    const RUNTIME_FUNCTION* functions = nullptr;
    size_t count = 0;
};
std::vector<ModuleTable> gModules;
std::map<std::string, std::map<DWORD64, int>> gInclusive;
std::map<std::string, int> gSamples;

void SnapshotModules() {
    HMODULE modules[512];
    DWORD needed = 0;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof(modules), &needed)) return;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
        auto* base = reinterpret_cast<const BYTE*>(modules[i]);
        auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXCEPTION];
        ModuleTable m;
        m.base = DWORD64(base);
        m.end = m.base + nt->OptionalHeader.SizeOfImage;
        m.functions = reinterpret_cast<const RUNTIME_FUNCTION*>(base + dir.VirtualAddress);
        m.count = dir.VirtualAddress ? dir.Size / sizeof(RUNTIME_FUNCTION) : 0;
        gModules.push_back(m);
    }
}

const RUNTIME_FUNCTION* FindFunction(DWORD64 pc, DWORD64& base) {
    for (const ModuleTable& m : gModules) {
        if (pc < m.base || pc >= m.end) continue;
        base = m.base;
        const DWORD rva = DWORD(pc - m.base);
        size_t lo = 0, hi = m.count;
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (rva < m.functions[mid].BeginAddress) hi = mid;
            else if (rva >= m.functions[mid].EndAddress) lo = mid + 1;
            else return &m.functions[mid];
        }
        return nullptr;
    }
    base = 0;
    return nullptr;
}

DWORD WINAPI Sampler(void* thread) noexcept {
    const DWORD64 exeBase = DWORD64(GetModuleHandleW(nullptr));
    const DWORD64 exeEnd = gModules.empty() ? 0 : gModules.front().end;
    DWORD64 frames[128];
    for (;;) {
        Sleep(1);
        const char* phase = gPhase.load();
        if (phase && std::string(phase) == "end") return 0;
        if (!phase) continue;
        if (SuspendThread(thread) == DWORD(-1)) return 0;
        CONTEXT c{};
        c.ContextFlags = CONTEXT_FULL;
        size_t n = 0;
        if (GetThreadContext(thread, &c)) {
            for (int depth = 0; depth < 128 && c.Rip; ++depth) {
                if (c.Rip >= exeBase && c.Rip < exeEnd && n < 128) frames[n++] = c.Rip;
                DWORD64 base = 0;
                const RUNTIME_FUNCTION* f = FindFunction(c.Rip, base);
                if (!base) break;
                if (!f) {
                    c.Rip = *reinterpret_cast<DWORD64*>(c.Rsp);
                    c.Rsp += 8;
                } else {
                    void* data = nullptr;
                    DWORD64 frame = 0;
                    RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, c.Rip, const_cast<RUNTIME_FUNCTION*>(f), &c, &data,
                                     &frame, nullptr);
                }
            }
        }
        ResumeThread(thread);
        std::map<DWORD64, int>& counts = gInclusive[phase];
        ++gSamples[phase];
        std::vector<DWORD64> seen;
        for (size_t i = 0; i < n; ++i) {
            // One count per function and sample (addresses are mapped to
            // functions afterwards; here the return addresses are kept).
            if (std::find(seen.begin(), seen.end(), frames[i]) != seen.end()) continue;
            seen.push_back(frames[i]);
            ++counts[frames[i]];
        }
    }
}

LRESULT CALLBACK CountMessages(int code, WPARAM wParam, LPARAM lParam) noexcept {
    if (code == HC_ACTION && gCounts) {
        const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
        char name[64] = {};
        GetClassNameA(m->hwnd, name, sizeof(name));
        ++(*gCounts)[{name, m->message}];
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
template <typename F> void CountWhile(const char* what, F f) {
    std::map<std::pair<std::string, UINT>, int> counts;
    // Named marks for a trace of the server's requests.
    UniqueHandle begin(CreateEventA(nullptr, TRUE, FALSE, (std::string("OmbMarkBegin ") + what).c_str()));
    gCounts = &counts;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountMessages, nullptr, GetCurrentThreadId());
    f();
    UnhookWindowsHookEx(hook);
    gCounts = nullptr;
    UniqueHandle end(CreateEventA(nullptr, TRUE, FALSE, (std::string("OmbMarkEnd ") + what).c_str()));
    std::vector<std::pair<int, std::pair<std::string, UINT>>> top;
    int total = 0;
    for (auto& [k, n] : counts) top.push_back({n, k}), total += n;
    std::sort(top.rbegin(), top.rend());
    std::printf("  messages sent during %s: %d;", what, total);
    for (size_t i = 0; i < top.size() && i < 12; ++i)
        std::printf(" %s 0x%04X x%d;", top[i].second.first.c_str(), top[i].second.second, top[i].first);
    std::printf("\n");
    for (auto& [k, ms] : gTimes) std::printf("    dispatched %s 0x%04X %.2f ms\n", k.first.c_str(), k.second, ms);
    gTimes.clear();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}
void PrintSeries(const char* what, const std::vector<double>& v) {
    std::printf("  %-26s median=%7.2f p95=%7.2f max=%7.2f ms\n", what, Percentile(v, 0.5), Percentile(v, 0.95),
                Percentile(v, 1.0));
}
// Repaints two rows of `tree` 20 times; the times of the paints.
std::vector<double> TwoRowPaints(HWND tree) {
    std::vector<double> v;
    for (int i = 0; i < 20; ++i) {
        RECT rows{0, 32, 1000, 64};
        InvalidateRect(tree, &rows, TRUE);
        const double from = NowMs();
        UpdateWindow(tree);
        v.push_back(NowMs() - from);
    }
    return v;
}

// What the tree view itself costs here: two rows of the editor's tree
// repainted, the same in a plain tree of the same size and of 1,000 short
// items, once with a vertical scroll bar only and once narrow enough to
// show a horizontal one too, and the redraw of a scroll bar alone (set
// again as it is, with redrawing asked for).
void TreePaints(HWND editorTree) {
    std::printf("tree paints of two rows:\n");
    PrintSeries("the editor's tree", TwoRowPaints(editorTree));
    RECT r;
    GetWindowRect(editorTree, &r);
    MapWindowPoints(nullptr, GetParent(editorTree), reinterpret_cast<POINT*>(&r), 2);
    const int width = r.right - r.left, height = r.bottom - r.top;
    UniqueWindow window(CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                                        WS_CHILD | WS_VISIBLE | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                                            TVS_SHOWSELALWAYS,
                                        r.left, r.top, width, height, GetParent(editorTree), nullptr,
                                        GetModuleHandleW(nullptr), nullptr));
    if (!window) return;
    const HWND plain = window.get();
    SetWindowPos(plain, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SendMessageW(plain, WM_SETFONT, SendMessageW(editorTree, WM_GETFONT, 0, 0), FALSE);
    TreeView_SetImageList(plain, TreeView_GetImageList(editorTree, TVSIL_NORMAL), TVSIL_NORMAL);
    auto insert = [&](HTREEITEM parent, const std::wstring& text) {
        TVINSERTSTRUCTW item{};
        item.hParent = parent;
        item.hInsertAfter = TVI_LAST;
        item.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        item.item.pszText = const_cast<wchar_t*>(text.c_str());
        item.item.iImage = item.item.iSelectedImage = 1;
        return reinterpret_cast<HTREEITEM>(SendMessageW(plain, TVM_INSERTITEMW, 0, LPARAM(&item)));
    };
    const HTREEITEM top = insert(TVI_ROOT, L"Rules");
    for (int i = 0; i < kRules; ++i) insert(top, L"R" + std::to_wstring(i));
    TreeView_Expand(plain, top, TVE_EXPAND);
    UpdateWindow(plain);
    auto bars = [&] {
        SCROLLBARINFO h{}, v{};
        h.cbSize = v.cbSize = sizeof(SCROLLBARINFO);
        GetScrollBarInfo(plain, OBJID_HSCROLL, &h);
        GetScrollBarInfo(plain, OBJID_VSCROLL, &v);
        return std::string(v.rgstate[0] & STATE_SYSTEM_INVISIBLE ? "" : "vertical") +
               (h.rgstate[0] & STATE_SYSTEM_INVISIBLE ? "" : " horizontal");
    };
    std::string shown = "plain tree, bars: " + bars();
    PrintSeries(shown.c_str(), TwoRowPaints(plain));
    std::vector<double> redraw;
    for (int i = 0; i < 20; ++i) {
        SCROLLINFO info{sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
        GetScrollInfo(plain, SB_VERT, &info);
        const double from = NowMs();
        SetScrollInfo(plain, SB_VERT, &info, TRUE);
        redraw.push_back(NowMs() - from);
    }
    PrintSeries("a scroll bar redrawn", redraw);
    SetWindowPos(plain, nullptr, 0, 0, 40, height, SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(plain);
    shown = "narrow plain tree, bars: " + bars();
    PrintSeries(shown.c_str(), TwoRowPaints(plain));
}
}  // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                              ICC_COOL_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    ComInit com;
    RegisterSharedMessages();
    CreateClassRegistry();
    RegisterModelClasses();
    CreateDetailPanelRegistry();
    config::RegisterEditorPanels();
    CreateMultiLanguages();
    SelectLanguage("");
    SetEditorWindowFactory(&config::CreateEditorWindow);

    TempFolder work;
    {
        Config config;
        for (int i = 0; i < kRules; ++i)
            config.Action(config.Rule("Rule " + std::to_string(i), "BenchClass" + std::to_string(i), i % 7 != 0),
                          "StayOnTop");
        config.Save(work.Path("Ombrel.ini"));
    }
    UniqueHandle sampler;
    HANDLE self = nullptr;
    if (getenv("OMB_SAMPLES")) {
        SnapshotModules();
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        timeBeginPeriod(1);
        sampler.reset(CreateThread(nullptr, 0, Sampler, self, 0, nullptr));
    }
    AppPath = work.Name();
    SettingsFileName = kSettingsFileName;

    std::printf("start-up with %d rules:\n", kRules);
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    std::printf("  %-26s %8.1f ms\n", "read and parse the file",
                Time("parse", [&] { storage->LoadFromFile(AppPath + SettingsFileName); }));
    Ref<IBOMObjectSlave> root;
    std::printf("  %-26s %8.1f ms\n", "build the model", Time("model", [&] {
                    root = CreateAbstractObject("TARVILWINDOWS").As<IBOMObjectSlave>();
                    TRuleLoadScope later(TRuleLoadScope::kReadLater);  // as the editor loads
                    storage->LoadObject(root.As<IPersistObject>().get());
                    root->SetOwner(nullptr);
                }));
    storage = nullptr;
    Ref<IConfigBuilder> builder = root->QueryRole("CongifBuilder").As<IConfigBuilder>();
    std::printf("  %-26s %8.1f ms\n", "open: window, tree, bars", Time("open", [&] { builder->OpenUI(); }));
    auto* form = dynamic_cast<config::TCBAppForm*>(Application().MainForm());
    if (!form) return 1;
    std::printf("  %-26s %8.1f ms\n", "show and first paint", Time("show", [&] {
                    form->Show();
                    PumpUntilPainted(form->WindowHandle());
                }));
    std::printf("  %-26s %8.1f ms\n", "first idle pass", Time("idle", [&] { Application().DoIdle(); }));
    std::printf("  %-26s %8.1f ms\n", "second idle pass", Time("idle", [&] { Application().DoIdle(); }));

    TTreeView* tree = form->TreeView;
    TTreeNode* top = tree->Items().GetFirstNode();
    std::vector<double> handler, paint, idle;
    for (int i = 0; i < kSelections; ++i) {
        TTreeNode* node = top->Item((i * 397 + 501) % kRules);
        handler.push_back(Time("select", [&] { tree->SetSelected(node); }));
        paint.push_back(Time("select-paint", [&] { PumpUntilPainted(form->WindowHandle()); }));
        idle.push_back(Time("idle", [&] { Application().DoIdle(); }));
    }
    std::printf("select (%d): dispatch %.1f ms, checks %.1f ms (%d)\n", kSelections, gDispatchMs, gCheckMs, gChecks);
    PrintSeries("selection handler", handler);
    PrintSeries("paint", paint);
    PrintSeries("idle pass", idle);

    // One rule after another, as the Down key walks the tree.
    handler.clear(), paint.clear(), idle.clear();
    for (int i = 0; i < kSelections; ++i) {
        TTreeNode* node = top->Item(100 + i);
        handler.push_back(Time("next", [&] { tree->SetSelected(node); }));
        paint.push_back(Time("next-paint", [&] { PumpUntilPainted(form->WindowHandle()); }));
        idle.push_back(Time("idle", [&] { Application().DoIdle(); }));
    }
    std::printf("select next (%d):\n", kSelections);
    PrintSeries("selection handler", handler);
    PrintSeries("paint", paint);
    PrintSeries("idle pass", idle);

    // The same walk by the Down key, through the message loop as the
    // program gets it (the form's short-cut check and the dialog keys
    // first); the tree scrolls and repaints itself while it handles the key.
    handler.clear(), paint.clear(), idle.clear();
    SetFocus(tree->WindowHandle());
    for (int i = 0; i < kSelections; ++i) {
        handler.push_back(Time("key", [&] {
            PostMessageW(tree->WindowHandle(), WM_KEYDOWN, VK_DOWN, 1);
            PostMessageW(tree->WindowHandle(), WM_KEYUP, VK_DOWN, LPARAM(0xC0000001));
            Application().ProcessMessages();
        }));
        paint.push_back(Time("key-paint", [&] { PumpUntilPainted(form->WindowHandle()); }));
        idle.push_back(Time("idle", [&] { Application().DoIdle(); }));
    }
    std::printf("down key (%d):\n", kSelections);
    PrintSeries("key handled", handler);
    PrintSeries("paint", paint);
    PrintSeries("idle pass", idle);

    handler.clear(), paint.clear(), idle.clear();
    for (int i = 0; i < kAdds; ++i) {
        handler.push_back(Time("add", [&] { form->ToolBarToolBar->Button(2)->Click(); }));
        paint.push_back(Time("add-paint", [&] { PumpUntilPainted(form->WindowHandle()); }));
        idle.push_back(Time("idle", [&] { Application().DoIdle(); }));
    }
    std::printf("add (%d):\n", kAdds);
    PrintSeries("add command", handler);
    PrintSeries("paint", paint);
    PrintSeries("idle pass", idle);

    CountWhile("one selection", [&] { tree->SetSelected(top->Item(7)); });
    CountWhile("one selection and its paint", [&] {
        tree->SetSelected(top->Item(9));
        PumpUntilPainted(form->WindowHandle());
    });
    CountWhile("the next rule and its paint", [&] {
        tree->SetSelected(top->Item(10));
        PumpUntilPainted(form->WindowHandle());
    });
    CountWhile("one add", [&] { form->ToolBarToolBar->Button(2)->Click(); });
    CountWhile("one idle pass", [&] { Application().DoIdle(); });

    {
        std::map<std::string, std::pair<int, int>> windows;  // class: all, visible
        EnumChildWindows(
            form->WindowHandle(),
            [](HWND w, LPARAM p) noexcept -> BOOL {
                char name[64] = {};
                GetClassNameA(w, name, sizeof(name));
                auto& n = (*reinterpret_cast<std::map<std::string, std::pair<int, int>>*>(p))[name];
                ++n.first;
                if (IsWindowVisible(w)) ++n.second;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&windows));
        std::printf("  windows of the main window:");
        for (auto& [name, n] : windows) std::printf(" %s %d (%d visible);", name.c_str(), n.first, n.second);
        std::printf("\n");
    }
    TreePaints(tree->WindowHandle());
    auto* model = dynamic_cast<TTarvelWindows*>(root.get());
    std::printf("save:\n  %-26s %8.1f ms\n", "save", Time("save", [&] { model && model->Save(); }));

    std::printf("close:\n  %-26s %8.1f ms\n", "close", Time("close", [&] { builder->CloseUI(); }));
    if (sampler) {
        gPhase = "end";
        WaitForSingleObject(sampler.get(), 5000);
        for (auto& [phase, counts] : gInclusive)
            for (auto& [address, n] : counts)
                std::printf("sample %s %d 0x%llx %d\n", phase.c_str(), gSamples[phase], address, n);
        CloseHandle(self);
    }
    builder = nullptr;
    root->Disconnect();
    root = nullptr;
    SetEditorWindowFactory(nullptr);
    FreeMultiLanguages();
    FreeDetailPanelRegistry();
    FreeClassRegistry();
    return 0;
}
