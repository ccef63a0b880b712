// Loading a large configuration as the editor saves it, against a bare load
// of the same file into an XML document; the same with five times the rules;
// the memory the loaded model takes; and finding the rule for live windows
// when the matching rule is the last one.
#include <windows.h>
// After windows.h:
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/classes.h"
#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/xml_storage.h"
#include "model/root.h"
#include "model/window_rules.h"

using namespace omb;

namespace {
double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

// The process's private bytes. Wine reports them as the page-file usage and
// leaves PrivateUsage at 0; Windows reports both alike.
size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// Bytes in use in every heap of the process (a figure that freed blocks kept
// by a heap do not blur).
size_t HeapBytes() {
    std::vector<HANDLE> heaps(256);
    DWORD n = GetProcessHeaps(DWORD(heaps.size()), heaps.data());
    size_t used = 0;
    for (DWORD i = 0; i < n && i < heaps.size(); ++i) {
        PROCESS_HEAP_ENTRY entry{};
        if (!HeapLock(heaps[i])) continue;
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return used;
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// One rule element exactly as the editor writes it: a rule from the template
// for windows of one class, kept on top.
std::string SavedRuleElement() {
    Ref<TTarvelWindows> root(dynamic_cast<TTarvelWindows*>(CreateAbstractObject("TARVILWINDOWS").get()));
    root->SetOwner(nullptr);
    Ref<IBOMObjectSlave> rule = CreateBOMObject("WINDOWRULE", "OMBRULENAME");
    root->GetObject("window_rules").As<IBOMCollection>()->AddItem(rule.get());
    auto set = [&](const std::string& path, const char* value) {
        if (Ref<IBOMParam> p = rule->GetObject(path).As<IBOMParam>()) p->SetValue(Variant(value));
    };
    set("conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/window_class_name",
        "OMBCLASSNAME");
    set("actions/StayOnTop/params/enabled", "yes");
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    storage->CreateNew("tarvel_windows");
    storage->SaveObject(static_cast<IPersistObject*>(root.get()));
    std::string xml;
    storage->GetXML(xml);
    root->Disconnect();
    const size_t from = xml.find("<window_rule ");
    const size_t to = xml.rfind("</window_rule>");
    return xml.substr(from, to + 14 - from);
}

std::string WriteConfiguration(const std::string& rule, int rules, const std::string& name) {
    std::string xml = "<?xml version=\"1.0\"?>\r\n<tarvel_windows name=\"\"><window_rules name=\"window_rules\">"
                      "<params><param name=\"name\">window_rules</param></params><content>";
    for (int i = 0; i < rules; ++i) {
        std::string element = rule;
        const bool last = i == rules - 1;
        Replace(element, "OMBRULENAME", last ? std::string("the last rule") : "rule " + std::to_string(i));
        Replace(element, "OMBCLASSNAME", last ? std::string("OmbBenchTarget") : "OmbNoSuchClass" + std::to_string(i));
        xml += element;
    }
    xml += "</content></window_rules></tarvel_windows>\r\n";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + name;
    UniqueHandle h(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(h.get(), xml.data(), DWORD(xml.size()), &written, nullptr);
    return file;
}

// What the command center does to load its configuration.
Ref<IBOMObjectSlave> Load(const std::string& file) {
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    if (!storage->LoadFromFile(file)) return nullptr;
    Ref<IBOMObjectSlave> root = CreateAbstractObject("TARVILWINDOWS").As<IBOMObjectSlave>();
    storage->LoadObject(root.As<IPersistObject>().get());
    root->SetOwner(nullptr);
    return root;
}

double BareLoadMs(const std::string& file) {
    double best = 1e300;
    for (int run = 0; run < 3; ++run) {
        const double start = NowMs();
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        storage->LoadFromFile(file);
        best = std::min(best, NowMs() - start);
    }
    return best;
}

double LoadMs(const std::string& file, int runs) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const double start = NowMs();
        Ref<IBOMObjectSlave> root = Load(file);
        best = std::min(best, NowMs() - start);
        root->Disconnect();
    }
    return best;
}

// Loads the file, asks for every window once (as the command center does
// after a reload) and measures what the loaded model takes: private bytes
// and heap bytes in use, per rule.
struct Measured {
    double privateKb = 0, heapKb = 0;
};
Ref<IBOMObjectSlave> LoadMeasured(const std::string& file, int rules, const std::vector<HWND>& windows,
                                  Measured& m) {
    const size_t privateBefore = PrivateBytes(), heapBefore = HeapBytes();
    Ref<IBOMObjectSlave> root = Load(file);
    Ref<IControlCenter> center = root->QueryRole("ControlCenter").As<IControlCenter>();
    for (HWND w : windows) center->FindWindowCommand(w);
    const size_t privateAfter = PrivateBytes(), heapAfter = HeapBytes();
    m.privateKb = double(privateAfter > privateBefore ? privateAfter - privateBefore : 0) / 1024.0 / rules;
    m.heapKb = double(heapAfter > heapBefore ? heapAfter - heapBefore : 0) / 1024.0 / rules;
    return root;
}
}  // namespace

int main() {
    ComInit com;
    CreateClassRegistry();
    RegisterModelClasses();
    SetKeepUnread(false);  // the rules are served, never saved: nothing unread to keep
    CreateMultiLanguages();
    SelectLanguage("");
    const int kRules = 1000, kWindows = 200;

    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OmbBenchTarget";
    RegisterClassA(&wc);
    std::vector<HWND> windows;
    for (int i = 0; i < kWindows; ++i)
        windows.push_back(CreateWindowExA(0, wc.lpszClassName, ("window " + std::to_string(i)).c_str(),
                                          WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, wc.hInstance,
                                          nullptr));

    const std::string rule = SavedRuleElement();
    const std::string file = WriteConfiguration(rule, kRules, "omb_rules_bench.ini");
    const std::string file5 = WriteConfiguration(rule, 5 * kRules, "omb_rules_bench5.ini");

    // The memory first, before large loads have grown the heaps.
    Measured m1, m5;
    {
        Ref<IBOMObjectSlave> root = LoadMeasured(file5, 5 * kRules, windows, m5);
        root->Disconnect();
    }
    Ref<IBOMObjectSlave> root = LoadMeasured(file, kRules, windows, m1);

    Ref<IControlCenter> center = root->QueryRole("ControlCenter").As<IControlCenter>();
    std::vector<double> us;
    int found = 0;
    for (HWND w : windows) {
        const double start = NowMs();
        std::string text = center->FindWindowCommand(w);
        us.push_back((NowMs() - start) * 1000.0);
        if (text.rfind("\\WINDOWRULENAME=the last rule\\", 0) == 0) ++found;
    }
    std::sort(us.begin(), us.end());
    center = nullptr;
    root->Disconnect();
    root = nullptr;

    const double domMs = BareLoadMs(file);
    const double loadMs = LoadMs(file, 3);
    const double dom5Ms = BareLoadMs(file5);
    const double load5Ms = LoadMs(file5, 3);
    for (HWND w : windows) DestroyWindow(w);
    DeleteFileA(file.c_str());
    DeleteFileA(file5.c_str());

    std::printf("rule element: %zu bytes as saved; files of %d and %d rules\n", rule.size(), kRules, 5 * kRules);
    std::printf("bare loads: %.1f ms and %.1f ms\n", domMs, dom5Ms);
    std::printf("windows matched by the last rule: %d of %d\n", found, kWindows);
    std::printf("memory per rule: %d rules private %.2f KB, heap in use %.2f KB; %d rules private %.2f KB, heap "
                "in use %.2f KB\n",
                kRules, m1.privateKb, m1.heapKb, 5 * kRules, m5.privateKb, m5.heapKb);
    // The summary's memory is the heap in use: the 1,000 rules load into
    // heaps the 5,000 before them grew and left committed, so the private
    // bytes need not move at all.
    std::printf("rules: rules=%d load_ms=%.1f dom_load_ms=%.1f load_ratio=%.2f load5000_ms=%.1f growth=%.2f "
                "kb_per_rule=%.2f lookup_us_p50=%.1f lookup_us_max=%.1f\n",
                kRules, loadMs, domMs, loadMs / domMs, load5Ms, load5Ms / (5 * loadMs), m1.heapKb,
                us[us.size() / 2], us.back());
    FreeMultiLanguages();
    FreeClassRegistry();
    return found == kWindows ? 0 : 1;
}
