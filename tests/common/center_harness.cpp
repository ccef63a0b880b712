#include "tests/common/center_harness.h"

#include <cstdio>

#include "foundation/classes.h"
#include "foundation/winfuncs.h"
#include "tests/common/dist_folder.h"

namespace omb::test {

bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(50))
        if (condition()) return true;
    return condition();
}

std::string DistFolder() {
    return DistFolderFromBuild();
}

bool BlockExists(const char* name) {
    UniqueHandle h(OpenFileMappingA(FILE_MAP_READ, FALSE, name));
    return bool(h);
}

HWND WindowOf(const char* className) {
    return FindWindowA(className, nullptr);
}

HWND WindowOf(const std::string& className, const std::string& caption) {
    return FindWindowW(ToWide(className).c_str(), ToWide(caption).c_str());
}

bool TopMost(HWND window) {
    return (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

HWND MessageBoxOf(DWORD process) {
    struct Search {
        DWORD process;
        HWND found;
    } search{process, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char name[16] = "";
            GetClassNameA(window, name, sizeof(name));
            if (owner != s->process || std::string(name) != "#32770" || !IsWindowVisible(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string CloseMessageBox(DWORD process, DWORD milliseconds) {
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = MessageBoxOf(process)) != nullptr; }, milliseconds))
        return std::string();
    HWND text = GetDlgItem(box, 0xFFFF);  // the static control of the message
    std::wstring wide(size_t(text ? GetWindowTextLengthW(text) : 0) + 1, L'\0');
    wide.resize(text ? size_t(GetWindowTextW(text, &wide[0], int(wide.size()))) : 0);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box); }, 3000);
    return FromWide(wide);
}

// ---------------------------------------------------------------------------

Installation::Installation() {
    for (const char* file : {"OmbrelCenter.exe", "tbhook.dll"})
        CopyFileA((DistFolder() + file).c_str(), folder_.Path(file).c_str(), FALSE);
    CreateDirectoryA(folder_.Path("Languages").c_str(), nullptr);
    for (const std::string& f : FilesMatching(DistFolder() + "Languages\\", "*.lng"))
        CopyFileA((DistFolder() + "Languages\\" + f).c_str(), folder_.Path("Languages\\" + f).c_str(), FALSE);
}

Installation::~Installation() {
    if (process_ && Ended(0) < 0) {
        Command(3);
        if (Ended(5000) < 0) TerminateProcess(process_.get(), 1);
    }
}

bool Installation::Start(bool afterPrevious) {
    // The center of an earlier test may still be going away: a second
    // center would wait for it.
    if (afterPrevious) WaitFor([] { return !BlockExists(kCenterInstanceName); });
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string command = "\"" + Path("OmbrelCenter.exe") + "\"";
    // Under load, Wine refuses a start now and then: tried again.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, Folder().c_str(), &si, &pi))
            break;
        std::fprintf(stderr, "command center not started (attempt %d): error %lu\n", attempt, GetLastError());
        if (attempt == 3) return false;
        Sleep(200);
    }
    CloseHandle(pi.hThread);
    process_.reset(pi.hProcess);
    WaitFor([&] {
        return BlockExists(kHookHandleBlockName) || Ended(0) >= 0 ||
               MessageBoxOf(GetProcessId(process_.get()));
    });
    return BlockExists(kHookHandleBlockName) && Ended(0) < 0;
}

long Installation::Ended(DWORD milliseconds) {
    if (!process_ || WaitForSingleObject(process_.get(), milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return long(code);
}

int Installation::Command(int32_t code, const std::string& data, std::string* reply, int32_t* replyCode) {
    TProcessesCommunication channel(kChannelName);
    channel.SetTimeout(3000);
    int32_t rc = 0;
    std::string text;
    const int result = channel.SendCommand(code, data, rc, text);
    if (reply) *reply = text;
    if (replyCode) *replyCode = rc;
    return result;
}

// ---------------------------------------------------------------------------

Config::Config() {
    root_ = Ref<TTarvelWindows>(dynamic_cast<TTarvelWindows*>(CreateAbstractObject("TARVILWINDOWS").get()));
    root_->SetOwner(nullptr);
}

Config::~Config() {
    root_->Disconnect();
}

IBOMObject* Config::Rule(const std::string& name, const std::string& className, bool enabled) {
    Ref<IBOMObjectSlave> rule = CreateBOMObject("WINDOWRULE", name);
    root_->GetObject("window_rules").As<IBOMCollection>()->AddItem(rule.get());
    Set(rule.get(),
        "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/window_class_name",
        className);
    if (!enabled) Set(rule.get(), "params/enabled", "no");
    return rule.get();  // the collection holds it
}

IBOMObject* Config::CaptionRule(const std::string& name, const std::string& caption, bool exact) {
    IBOMObject* rule = Rule(name, "");
    const std::string criterion = "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/";
    Set(rule, criterion + "enabled", "yes");
    Set(rule, criterion + "window_caption", caption);
    Set(rule, criterion + "exact_search", exact ? "yes" : "no");
    return rule;
}

void Config::Set(IBOMObject* object, const std::string& path, const std::string& value) {
    if (Ref<IBOMParam> p = object->GetObject(path).As<IBOMParam>()) p->SetValue(Variant(value));
}

void Config::Action(IBOMObject* rule, const char* action, const char* param, const char* value) {
    Set(rule, std::string("actions/") + action + "/params/enabled", "yes");
    if (param) Set(rule, std::string("actions/") + action + "/params/" + param, value);
}

bool Config::Save(const std::string& file) {
    root_->SetModified(true);
    return root_->SaveConfiguration(file);
}

}  // namespace omb::test
