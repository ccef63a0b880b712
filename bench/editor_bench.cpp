// The editor at work, measured from outside as a user meets it: the real
// OmbrelConfig.exe from a copy of the distribution folder, started until
// its main window is shown, painted and waiting for input, against Wine's
// Notepad started the same way in the same run; then with 1,000 rules; on
// the open editor with 1,000 rules, selecting rules in the tree (key presses
// and jumps), adding a rule (Ctrl+A) and saving (Ctrl+S). The same
// selections in a plain Win32 window of as many rules and a panel of common
// controls (floor_window.exe) give their floor on the same machine.
//
// Every step waits with a bounded poll for what it caused to be seen from
// outside: the tree's selection, the windows painted, the file replaced.
//
// A second line measures how saving grows: the editor with 5,000 rules
// started, one rule added and saved, its save against a fifth of the save
// of 1,000 rules, and the editor's peak private memory by then.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "foundation/classes.h"
#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/winfuncs.h"
#include "model/root.h"
#include "model/window_rules.h"
#include "tests/common/center_harness.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {
constexpr int kStartRuns = 5, kRules = 1000, kScaleRules = 5000, kSelections = 50, kAdds = 20;
constexpr double kTimeoutMs = 30000;

double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

// Polls without pausing (a pause would round every figure up to the
// timer's tick) until the condition holds or the time is up.
bool PollUntil(const std::function<bool()>& condition, double timeoutMs = kTimeoutMs) {
    const double start = NowMs();
    while (NowMs() - start < timeoutMs) {
        if (condition()) return true;
        SwitchToThread();
    }
    return condition();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}
double Median(const std::vector<double>& v) { return Percentile(v, 0.5); }

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

// The visible top-level window of a process that has a caption (not a
// tool tip or the form library's parking window).
HWND MainWindowOf(DWORD processId) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{processId, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) noexcept -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == s->pid && IsWindowVisible(w) && (GetWindowLongW(w, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> Descendants(HWND window) {
    std::vector<HWND> all;
    EnumChildWindows(
        window,
        [](HWND w, LPARAM p) noexcept -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// Nothing of the window waits to be painted.
bool Painted(HWND window) {
    if (!IsWindowVisible(window) || GetUpdateRect(window, nullptr, FALSE)) return false;
    for (HWND child : Descendants(window))
        if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) return false;
    return true;
}

// A program started for a measurement; ended (asked to close, then
// terminated) at destruction.
class Program {
public:
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() { End(); }

    // Starts the program and waits until its main window is shown, painted
    // and the program waits for input; the milliseconds that took, or -1.
    double Start(const std::string& exe, const std::string& folder) {
        End();
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        std::wstring command = L"\"" + ToWide(exe) + L"\"";
        const double start = NowMs();
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, ToWide(folder).c_str(), &si,
                            &pi))
            return -1;
        CloseHandle(pi.hThread);
        process_.reset(pi.hProcess);
        id_ = pi.dwProcessId;
        if (WaitForInputIdle(process_.get(), DWORD(kTimeoutMs)) != 0) return -1;
        if (!PollUntil([&] { return (main_ = MainWindowOf(id_)) != nullptr && Painted(main_); })) return -1;
        return NowMs() - start;
    }
    HWND Main() const { return main_; }
    // The peak of the program's private memory so far, in megabytes; -1
    // when it cannot be read.
    double PeakPrivateMb() const {
        PROCESS_MEMORY_COUNTERS_EX counters{};
        counters.cb = sizeof(counters);
        if (!process_ || !GetProcessMemoryInfo(process_.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                               sizeof(counters)))
            return -1;
        return double(counters.PeakPagefileUsage) / (1024.0 * 1024.0);
    }
    bool Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    // Closes the main window as a user would (nothing is modified, so no
    // question comes); terminates the program when it does not end soon.
    void End() {
        if (!process_) return;
        if (main_) PostMessageW(main_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), 5000);
        }
        process_.reset();
        main_ = nullptr;
    }

private:
    UniqueHandle process_;
    DWORD id_ = 0;
    HWND main_ = nullptr;
};

// A copy of the editor from the distribution folder with a configuration.
struct EditorCopy {
    TempFolder folder;
    explicit EditorCopy(const std::string& settingsFrom) {
        const std::string dist = DistFolder();
        CopyFileA((dist + "OmbrelConfig.exe").c_str(), folder.Path("OmbrelConfig.exe").c_str(), FALSE);
        CreateDirectoryA(folder.Path("Languages").c_str(), nullptr);
        for (const std::string& f : FilesMatching(dist + "Languages\\", "*.lng"))
            CopyFileA((dist + "Languages\\" + f).c_str(), folder.Path("Languages\\" + f).c_str(), FALSE);
        if (!settingsFrom.empty()) CopyFileA(settingsFrom.c_str(), folder.Path("Ombrel.ini").c_str(), FALSE);
    }
    std::string Exe() const { return folder.Path("OmbrelConfig.exe"); }
    std::string Settings() const { return folder.Path("Ombrel.ini"); }
};

// Tree view items through messages that carry no pointer, so that they
// work from another process.
struct Tree {
    HWND window = nullptr;
    HTREEITEM Next(HTREEITEM item, WPARAM how) const {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item), SMTO_NORMAL, 5000,
                                 &result))
            return nullptr;
        return reinterpret_cast<HTREEITEM>(result);
    }
    HTREEITEM Root() const { return Next(nullptr, TVGN_ROOT); }
    HTREEITEM Caret() const { return Next(nullptr, TVGN_CARET); }
    std::vector<HTREEITEM> Children(HTREEITEM parent) const {
        std::vector<HTREEITEM> all;
        for (HTREEITEM i = Next(parent, TVGN_CHILD); i; i = Next(i, TVGN_NEXT)) all.push_back(i);
        return all;
    }
};

// Real key presses (the program reads the state of Ctrl itself).
void PressKey(WORD key, bool ctrl) {
    std::vector<INPUT> in;
    auto add = [&](WORD vk, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.wScan = WORD(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (ctrl) add(VK_CONTROL, false);
    add(key, false);
    add(key, true);
    if (ctrl) add(VK_CONTROL, true);
    SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

// The detail area: the largest own-class child of the main window.
HWND DetailAreaOf(HWND main, HWND tree) {
    HWND best = nullptr;
    long bestArea = 0;
    for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        if (c == tree || ClassOf(c) != "OmbFormsControl" || !GetWindowRect(c, &r)) continue;
        const long area = (r.right - r.left) * (r.bottom - r.top);
        if (area > bestArea) bestArea = area, best = c;
    }
    return best;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

struct FileStamp {
    FILETIME written{};
    ULONGLONG size = 0;
    bool operator!=(const FileStamp& o) const {
        return CompareFileTime(&written, &o.written) != 0 || size != o.size;
    }
};
FileStamp StampOf(const std::string& file) {
    FileStamp s;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) {
        s.written = data.ftLastWriteTime;
        s.size = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return s;
}

// Ctrl+S: the milliseconds until the file is replaced by the new one, or -1.
double SaveNow(const EditorCopy& copy) {
    const FileStamp before = StampOf(copy.Settings());
    const double start = NowMs();
    PressKey('S', true);
    // Done when the new file stands in the old one's place (not while the
    // name is briefly free during the replacement).
    if (!PollUntil(
            [&] {
                const FileStamp now = StampOf(copy.Settings());
                return now.size > 0 && now != before;
            },
            120000)) {
        std::printf("Ctrl+S wrote nothing\n");
        return -1;
    }
    const double took = NowMs() - start;
    std::printf("saved: %llu bytes in %.1f ms\n", StampOf(copy.Settings()).size, took);
    return took;
}

// Selections in a program's tree of rules: by the Down key and by jumps.
struct Selections {
    std::vector<double> key, jump;
    int detailShown = 0;  // of them, those after which the detail area showed another panel
};

struct Figures {
    std::vector<double> notepad, start, start1000;
    Selections select, floor;
    std::vector<double> add, floorAdd;
    double save1000 = -1, mem1000 = -1;
    double scaleStart = -1, scaleSave = -1, scalePeak = -1;
};

// The tree of a program's main window and the items under its root.
struct RuleTree {
    Tree tree;
    HTREEITEM root = nullptr;
    std::vector<HTREEITEM> rules;
};

// Selects in the tree of the program's main window, from the first rule
// under its root down one rule after another with the Down key, then by
// jumps across the list; each selection until it is shown. `who` names the
// program in what is printed.
bool MeasureSelections(HWND main, const char* who, RuleTree& found, Selections& out) {
    Tree& tree = found.tree;
    for (HWND c : Descendants(main))
        if (ClassOf(c) == "SysTreeView32") tree.window = c;
    if (!tree.window) {
        std::printf("the %s shows no tree\n", who);
        return false;
    }
    HWND detail = DetailAreaOf(main, tree.window);
    found.root = tree.Root();
    found.rules = tree.Children(found.root);
    const std::vector<HTREEITEM>& rules = found.rules;
    std::printf("%s tree: %zu rules under the root\n", who, rules.size());
    if (rules.size() < size_t(kRules)) return false;

    // Key presses go to the foreground window's focus: the tree.
    SetForegroundWindow(main);
    if (!PollUntil([&] { return GetForegroundWindow() == main; }, 5000)) {
        std::printf("the %s did not come to the foreground\n", who);
        return false;
    }
    if (FocusOf(main) != tree.window) {
        SendMessageW(tree.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageW(tree.window, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        if (!PollUntil([&] { return FocusOf(main) == tree.window; }, 5000)) {
            std::printf("the tree has no keyboard focus\n");
            return false;
        }
    }
    // A selection is done when the tree shows it and every part of the
    // window is painted again, the detail area included.
    auto shown = [&](HTREEITEM target) { return tree.Caret() == target && Painted(main); };
    auto detailChild = [&] { return detail ? GetWindow(detail, GW_CHILD) : nullptr; };

    // Down from the first rule, one rule after another.
    SendMessageW(tree.window, TVM_SELECTITEM, TVGN_CARET, LPARAM(rules[0]));
    PollUntil([&] { return shown(rules[0]); });
    for (int i = 0; i < kSelections / 2; ++i) {
        const HTREEITEM target = tree.Next(tree.Caret(), TVGN_NEXTVISIBLE);
        HWND before = detailChild();
        const double start = NowMs();
        PressKey(VK_DOWN, false);
        if (!PollUntil([&] { return shown(target); })) return false;
        out.key.push_back(NowMs() - start);
        if (detailChild() != before) ++out.detailShown;
    }
    // Jumps across the list, as a click on a far rule after scrolling.
    for (int i = 0; i < kSelections - kSelections / 2; ++i) {
        const HTREEITEM target = rules[size_t((i * 397 + 501) % kRules)];
        HWND before = detailChild();
        const double start = NowMs();
        PostMessageW(tree.window, TVM_SELECTITEM, TVGN_CARET, LPARAM(target));
        if (!PollUntil([&] { return shown(target); })) return false;
        out.jump.push_back(NowMs() - start);
        if (detailChild() != before) ++out.detailShown;
    }
    return true;
}

// Ctrl+A in the program's main window: each time a new rule under the
// root, selected and shown.
bool MeasureAdds(HWND main, const RuleTree& found, std::vector<double>& out) {
    const Tree& tree = found.tree;
    std::set<HTREEITEM> known(found.rules.begin(), found.rules.end());
    for (int i = 0; i < kAdds; ++i) {
        const double start = NowMs();
        PressKey('A', true);
        HTREEITEM added = nullptr;
        if (!PollUntil([&] {
                const HTREEITEM caret = tree.Caret();
                if (!caret || known.count(caret) || tree.Next(caret, TVGN_PARENT) != found.root) return false;
                added = caret;
                return Painted(main);
            })) {
            std::printf("Ctrl+A added no rule\n");
            return false;
        }
        out.push_back(NowMs() - start);
        known.insert(added);
    }
    return true;
}

// The open editor with 1,000 rules: selections, adds and one save.
bool MeasureEditing(Program& editor, const EditorCopy& copy, Figures& out) {
    HWND main = editor.Main();
    RuleTree found;
    if (!MeasureSelections(main, "editor", found, out.select)) return false;
    if (!MeasureAdds(main, found, out.add)) return false;
    out.save1000 = SaveNow(copy);
    return out.save1000 >= 0;
}

// A rule added with Ctrl+A on the open editor, then Ctrl+S: the
// milliseconds from the key press until the file is replaced, or -1.
double AddAndSave(Program& editor, const EditorCopy& copy) {
    HWND main = editor.Main();
    SetForegroundWindow(main);
    if (!PollUntil([&] { return GetForegroundWindow() == main; }, 5000)) return -1;
    HWND tree = nullptr;
    for (HWND c : Descendants(main))
        if (ClassOf(c) == "SysTreeView32") tree = c;
    if (!tree) return -1;
    SendMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    if (!PollUntil([&] { return FocusOf(main) == tree; }, 5000)) return -1;
    const HTREEITEM caret = Tree{tree}.Caret();
    PressKey('A', true);
    if (!PollUntil([&] { return Tree{tree}.Caret() != caret && Painted(main); })) return -1;
    return SaveNow(copy);
}

void PrintSeries(const char* what, const std::vector<double>& v) {
    if (v.empty()) return;
    std::printf("%-22s n=%-3zu min=%7.1f median=%7.1f p95=%7.1f max=%7.1f ms\n", what, v.size(), Percentile(v, 0),
                Median(v), Percentile(v, 0.95), Percentile(v, 1.0));
}
}  // namespace

int main() {
    ComInit com;
    CreateClassRegistry();
    RegisterModelClasses();
    CreateMultiLanguages();
    SelectLanguage("");

    // The configurations: the sample of the distribution folder and ones of
    // 1,000 and 5,000 rules written with the rule model, as the editor
    // writes them.
    // The copies of the program are taken first, so that writing the
    // configurations (which takes a while) sees no later build.
    EditorCopy sample(DistFolder() + "Ombrel.ini"), large(""), scale("");
    TempFolder work;
    auto write = [&](int rules) {
        const std::string file = work.Path("Ombrel" + std::to_string(rules) + ".ini");
        // Each rule is set before it joins the configuration: its changes
        // stop at the rule instead of travelling through every rule so far.
        Ref<TTarvelWindows> root(dynamic_cast<TTarvelWindows*>(CreateAbstractObject("TARVILWINDOWS").get()));
        root->SetOwner(nullptr);
        Ref<IBOMCollection> list = root->GetObject("window_rules").As<IBOMCollection>();
        auto set = [](IBOMObject* object, const std::string& path, const char* value) {
            if (Ref<IBOMParam> p = object->GetObject(path).As<IBOMParam>()) p->SetValue(Variant(std::string(value)));
        };
        for (int i = 0; i < rules; ++i) {
            Ref<IBOMObjectSlave> rule = CreateBOMObject("WINDOWRULE", "Rule " + std::to_string(i));
            set(rule.get(), "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/window_class_name",
                ("BenchClass" + std::to_string(i)).c_str());
            if (i % 7 == 0) set(rule.get(), "params/enabled", "no");
            set(rule.get(), "actions/StayOnTop/params/enabled", "yes");
            list->AddItem(rule.get());
        }
        root->SetModified(true);
        const bool saved = root->SaveConfiguration(file);
        list = nullptr;
        root->Disconnect();
        if (!saved) {
            std::printf("the configuration of %d rules could not be written\n", rules);
            return std::string();
        }
        return file;
    };
    const std::string big = write(kRules), huge = write(kScaleRules);
    if (big.empty() || huge.empty() || !CopyFileA(big.c_str(), large.Settings().c_str(), FALSE) ||
        !CopyFileA(huge.c_str(), scale.Settings().c_str(), FALSE))
        return 1;
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string notepad = std::string(system) + "\\notepad.exe";

    // Interleaved runs, so that the floor and the editor meet the same
    // machine load; the first start of each warms the file cache.
    Figures f;
    bool ok = true;
    for (int run = 0; run <= kStartRuns && ok; ++run) {
        Program p;
        const double n = p.Start(notepad, work.Name());
        p.End();
        const double s = p.Start(sample.Exe(), sample.folder.Name());
        p.End();
        const double l = p.Start(large.Exe(), large.folder.Name());
        p.End();
        std::printf("run %d: notepad %.1f ms, editor %.1f ms, editor with %d rules %.1f ms%s\n", run, n, s, kRules, l,
                    run == 0 ? " (warm-up, not counted)" : "");
        if (n < 0 || s < 0 || l < 0) ok = false;
        if (run == 0) continue;
        f.notepad.push_back(n);
        f.start.push_back(s);
        f.start1000.push_back(l);
    }
    if (ok) {
        Program editor;
        ok = editor.Start(large.Exe(), large.folder.Name()) >= 0 && MeasureEditing(editor, large, f);
        f.mem1000 = editor.PeakPrivateMb();
        editor.End();
    }
    if (ok) {
        Program editor;
        f.scaleStart = editor.Start(scale.Exe(), scale.folder.Name());
        ok = f.scaleStart >= 0 && (f.scaleSave = AddAndSave(editor, scale)) >= 0;
        f.scalePeak = editor.PeakPrivateMb();
        editor.End();
        std::printf("editor with %d rules: start %.1f ms, add and save %.1f ms, peak %.1f MB\n", kScaleRules,
                    f.scaleStart, f.scaleSave, f.scalePeak);
    }
    if (!ok) {
        std::printf("editor: the measurement failed\n");
        return 1;
    }
    // The floor: the same selections in a plain window with a tree of as
    // many rules and a panel of common controls (floor_window.exe, built
    // next to this program).
    bool floorOk = false;
    {
        wchar_t self[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::string folder = FromWide(std::wstring(self, length));
        folder.erase(folder.find_last_of('\\') + 1);
        Program floor;
        RuleTree found;
        floorOk = floor.Start(folder + "floor_window.exe", work.Name()) >= 0 &&
                  MeasureSelections(floor.Main(), "floor window", found, f.floor) &&
                  MeasureAdds(floor.Main(), found, f.floorAdd);
        floor.End();
    }

    PrintSeries("notepad start", f.notepad);
    PrintSeries("editor start", f.start);
    PrintSeries("editor start 1000", f.start1000);
    PrintSeries("select (Down key)", f.select.key);
    PrintSeries("select (jump)", f.select.jump);
    PrintSeries("add (Ctrl+A)", f.add);
    std::printf("detail panels changed on %d of %d selections\n", f.select.detailShown, kSelections);

    auto all = [](const Selections& s) {
        std::vector<double> v = s.key;
        v.insert(v.end(), s.jump.begin(), s.jump.end());
        return v;
    };
    const std::vector<double> select = all(f.select);
    if (floorOk) {
        const std::vector<double> floorSelect = all(f.floor);
        PrintSeries("floor select (Down key)", f.floor.key);
        PrintSeries("floor select (jump)", f.floor.jump);
        PrintSeries("floor add (Ctrl+A)", f.floorAdd);
        std::printf("floor: select_p95_ms=%.1f select_median_ms=%.1f add_p95_ms=%.1f add_median_ms=%.1f\n",
                    Percentile(floorSelect, 0.95), Median(floorSelect), Percentile(f.floorAdd, 0.95),
                    Median(f.floorAdd));
    } else {
        std::printf("floor: the measurement failed\n");
    }
    const double notepadMs = Median(f.notepad), startMs = Median(f.start), start1000Ms = Median(f.start1000);
    const double saveGrowth = (f.scaleSave * kRules / kScaleRules) / f.save1000;
    std::printf("editor_scale: rules=%d start_ms=%.1f save_ms=%.1f save_growth=%.2f peak_mb=%.1f\n", kScaleRules,
                f.scaleStart, f.scaleSave, saveGrowth, f.scalePeak);
    std::printf(
        "editor: start_ms=%.1f notepad_ms=%.1f start_ratio=%.2f start1000_ms=%.1f start1000_ratio=%.2f "
        "select_p95_ms=%.1f add_p95_ms=%.1f save1000_ms=%.1f mem1000_mb=%.1f\n",
        startMs, notepadMs, startMs / notepadMs, start1000Ms, start1000Ms / notepadMs, Percentile(select, 0.95),
        Percentile(f.add, 0.95), f.save1000, f.mem1000);
    FreeMultiLanguages();
    FreeClassRegistry();
    return floorOk ? 0 : 1;
}
