// Loading a large configuration, and finding the rule for live windows when
// the matching rule is the last one.
#include <windows.h>

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
double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1e6 / double(f.QuadPart);
}

std::string RuleXml(const std::string& name, const std::string& className) {
    return "<window_rule name=\"" + name +
           "\" type=\"WINDOWRULE\"><conditions><content><condition name=\"DefaultCondition\"><criterions><content>"
           "<criterion name=\"WINDOWCLASSNAMECRITERION\" type=\"WINDOWCLASSNAMECRITERION\"><params>"
           "<param name=\"window_class_name\">" +
           className +
           "</param></params></criterion></content></criterions></condition></content></conditions>"
           "<actions><content><action name=\"StayOnTop\" type=\"STAYONTOPACTION\"><params>"
           "<param name=\"enabled\">yes</param></params></action></content></actions></window_rule>";
}
}  // namespace

int main() {
    ComInit com;
    CreateClassRegistry();
    RegisterModelClasses();
    CreateMultiLanguages();
    SelectLanguage("");
    const int kRules = 1000, kWindows = 200;

    std::string xml = "<?xml version=\"1.0\"?><tarvel_windows><window_rules><content>";
    for (int i = 0; i < kRules - 1; ++i) xml += RuleXml("rule " + std::to_string(i), "OmbNoSuchClass" + std::to_string(i));
    xml += RuleXml("the last rule", "OmbBenchTarget");
    xml += "</content></window_rules></tarvel_windows>";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "omb_rules_bench.ini";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, xml.data(), DWORD(xml.size()), &written, nullptr);
    CloseHandle(h);

    const double loadStart = Now();
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    storage->LoadFromFile(file);
    Ref<IBOMObjectSlave> root = CreateAbstractObject("TARVILWINDOWS").As<IBOMObjectSlave>();
    storage->LoadObject(root.As<IPersistObject>().get());
    root->SetOwner(nullptr);
    const double loadMs = (Now() - loadStart) / 1000.0;
    storage = nullptr;
    DeleteFileA(file.c_str());

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

    Ref<IControlCenter> center = root->QueryRole("ControlCenter").As<IControlCenter>();
    std::vector<double> us;
    int found = 0;
    for (HWND w : windows) {
        const double start = Now();
        std::string text = center->FindWindowCommand(w);
        us.push_back(Now() - start);
        if (text.rfind("\\WINDOWRULENAME=the last rule\\", 0) == 0) ++found;
    }
    std::sort(us.begin(), us.end());
    for (HWND w : windows) DestroyWindow(w);
    center = nullptr;
    root->Disconnect();
    root = nullptr;

    std::printf("windows matched by the last rule: %d of %d\n", found, kWindows);
    std::printf("rules: rules=%d load_ms=%.1f lookup_us_p50=%.1f lookup_us_max=%.1f\n", kRules, loadMs,
                us[us.size() / 2], us.back());
    FreeMultiLanguages();
    FreeClassRegistry();
    return found == kWindows ? 0 : 1;
}
