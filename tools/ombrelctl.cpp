// A small command-line companion of the command center, used by the run
// script and the end-to-end tests: it finds windows, reports their state and
// what they show, and talks to the command center over the command channel.
//
// A <window> is a top-level window given by its class, by its class and
// caption ("class/caption") or by its handle in hexadecimal ("0x1234").
//
//   ombrelctl wait <window> <seconds>  wait for the window
//   ombrelctl state <window>           on top, minimized, maximized, foreground?
//   ombrelctl texts <window>           its caption, then its children's texts
//   ombrelctl selected <window>        the selected item of its tree view
//   ombrelctl menu [places]            the items of the open menu, enabled or
//                                      grayed (after their places on the screen)
//   ombrelctl layout <window>          children outside their parent's client area
//   ombrelctl rule <window>            the rule text the command center answers
//   ombrelctl stop | reload            commands 3 and 2
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/channel.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"

using namespace omb;

namespace {
int Usage() {
    std::fprintf(stderr,
                 "usage: ombrelctl wait <window> <seconds> | state <window> | texts <window> | selected <window>\n"
                 "       | menu [places] | layout <window> | rule <window> | stop | reload\n");
    return 2;
}

int Command(int32_t code, const std::string& data, std::string* text) {
    TProcessesCommunication channel(kChannelName);
    channel.SetTimeout(2000);
    int32_t replyCode = 0;
    std::string reply;
    const int result = channel.SendCommand(code, data, replyCode, reply);
    if (result != 0) {
        std::printf("no answer from the command center\n");
        return 1;
    }
    if (text) *text = reply;
    return replyCode == 1 ? 0 : 1;
}

// Asked with a time limit: a window that hangs must not hang the tool.
std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                               2000, &copied))
        return {};
    text.resize(copied);
    return FromWide(text);
}

std::string ClassOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return FromWide(name);
}

HWND FindTopLevel(const std::string& spec) {
    if (spec.rfind("0x", 0) == 0) {
        HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoull(spec.c_str() + 2, nullptr, 16)));
        return ::IsWindow(window) ? window : nullptr;
    }
    const size_t slash = spec.find('/');
    const std::wstring className = ToWide(spec.substr(0, slash));
    if (slash == std::string::npos) return ::FindWindowW(className.c_str(), nullptr);
    return ::FindWindowW(className.c_str(), ToWide(spec.substr(slash + 1)).c_str());
}

// Every window below parent, parents before their children.
std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) noexcept -> BOOL {
            try {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
                return TRUE;
            } catch (...) {
                return FALSE;
            }
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// Memory in the process of another window, for the messages whose data the
// system does not carry across processes.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        process_.reset(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
        if (process_) address_ = ::VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_) ::VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    explicit operator bool() const { return address_ != nullptr; }
    char* Address() const { return static_cast<char*>(address_); }
    bool Write(size_t offset, const void* data, size_t size) const {
        return offset + size <= size_ &&
               ::WriteProcessMemory(process_.get(), Address() + offset, data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) const {
        return offset + size <= size_ && ::ReadProcessMemory(process_.get(), Address() + offset, data, size, nullptr);
    }

private:
    UniqueHandle process_;
    void* address_ = nullptr;
    size_t size_;
};

int Selected(HWND window) {
    HWND tree = nullptr;
    for (HWND child : Descendants(window))
        if (ClassOf(child) == WC_TREEVIEWA) tree = child;
    if (!tree) {
        std::printf("no tree view\n");
        return 1;
    }
    auto* item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) {
        std::printf("(nothing selected)\n");
        return 0;
    }
    constexpr size_t kChars = 512;
    RemoteBuffer remote(tree, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
    if (!remote) {
        std::printf("cannot reach the tree's process\n");
        return 1;
    }
    TVITEMW query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = reinterpret_cast<wchar_t*>(remote.Address() + sizeof(TVITEMW));
    query.cchTextMax = kChars;
    const wchar_t empty = 0;
    wchar_t text[kChars] = {};
    if (!remote.Write(0, &query, sizeof(query)) || !remote.Write(sizeof(TVITEMW), &empty, sizeof(empty)) ||
        !::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.Address())) ||
        !remote.Read(sizeof(TVITEMW), text, sizeof(text))) {
        std::printf("the tree did not give the item\n");
        return 1;
    }
    text[kChars - 1] = 0;
    std::printf("%s\n", FromWide(text).c_str());
    return 0;
}

// The items of the open menu (its window has the class "#32768"). Its
// process alone can read them: menu_probe.dll, beside this program, hooks
// the menu's thread for one message and writes them into a shared block.
int OpenMenu(bool places) {
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, L"#32768", nullptr)) != nullptr)
        if (::IsWindowVisible(window)) break;
    if (!window) {
        std::printf("no menu is open\n");
        return 1;
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring probePath(path, length);
    probePath = probePath.substr(0, probePath.find_last_of(L"\\/") + 1) + L"menu_probe.dll";
    UniqueModule probe(::LoadLibraryW(probePath.c_str()));
    FARPROC entry = probe ? ::GetProcAddress(probe.get(), "MenuProbeHook") : nullptr;
    auto* proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(entry));
    if (!proc) {
        std::printf("menu_probe.dll is missing\n");
        return 1;
    }
    constexpr DWORD kBlockSize = 64 * 1024;
    UniqueHandle block(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize,
                                            L"OmbrelctlMenuProbe"));
    UniqueView view(block ? ::MapViewOfFile(block.get(), FILE_MAP_READ, 0, 0, kBlockSize) : nullptr);
    if (!view) {
        std::printf("no shared block\n");
        return 1;
    }
    {
        // Hooked for the one message only.
        struct Hook {
            HHOOK handle;
            ~Hook() {
                if (handle) ::UnhookWindowsHookEx(handle);
            }
        } hook{::SetWindowsHookExW(WH_CALLWNDPROC, proc, probe.get(), ::GetWindowThreadProcessId(window, nullptr))};
        if (!hook.handle) {
            std::printf("the menu's thread cannot be hooked (%lu)\n", ::GetLastError());
            return 1;
        }
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(window, ::RegisterWindowMessageW(L"OmbrelctlMenuProbe"), places ? 1 : 0, 0,
                              SMTO_ABORTIFHUNG, 2000, &ignored);
    }
    const char* text = static_cast<const char*>(view.get());
    if (!*text) {
        std::printf("the menu's items cannot be read\n");
        return 1;
    }
    std::fwrite(text, 1, strnlen(text, kBlockSize), stdout);
    return 0;
}

RECT RectIn(HWND window, HWND parent) {
    RECT r{};
    ::GetWindowRect(window, &r);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Every shown child lies inside its parent's client area.
int Layout(HWND window) {
    int faults = 0, seen = 0;
    for (HWND child : Descendants(window)) {
        if (!::IsWindowVisible(child)) continue;
        ++seen;
        HWND parent = ::GetParent(child);
        RECT area{}, r = RectIn(child, parent);
        ::GetClientRect(parent, &area);
        if (r.left < area.left || r.top < area.top || r.right > area.right || r.bottom > area.bottom) {
            ++faults;
            std::printf("%s \"%s\" (%ld,%ld)-(%ld,%ld) leaves its parent's client area (%ld,%ld)\n",
                        ClassOf(child).c_str(), TextOf(child).c_str(), r.left, r.top, r.right, r.bottom, area.right,
                        area.bottom);
        }
    }
    std::printf("%d windows, %d outside\n", seen, faults);
    return faults == 0 && seen > 0 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string verb = argv[1];
    if (verb == "stop") return Command(3, std::string(), nullptr);
    if (verb == "reload") return Command(2, std::string(), nullptr);
    if (verb == "menu") return OpenMenu(argc > 2 && std::string(argv[2]) == "places");
    if (argc < 3) return Usage();
    const std::string spec = argv[2];
    if (verb == "wait") {
        const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;
        for (int i = 0; i < seconds * 10; ++i) {
            if (HWND w = FindTopLevel(spec)) {
                std::printf("%p\n", static_cast<void*>(w));
                return 0;
            }
            Sleep(100);
        }
        return 1;
    }
    HWND window = FindTopLevel(spec);
    if (!window) {
        std::printf("no window \"%s\"\n", spec.c_str());
        return 1;
    }
    if (verb == "state") {
        const LONG_PTR ex = GetWindowLongPtrA(window, GWL_EXSTYLE);
        std::printf("%s%s%s%s\n", (ex & WS_EX_TOPMOST) ? "on top" : "not on top",
                    IsIconic(window) ? ", minimized" : "", IsZoomed(window) ? ", maximized" : "",
                    GetForegroundWindow() == window ? ", foreground" : "");
        return 0;
    }
    if (verb == "texts") {
        std::printf("%s\n", TextOf(window).c_str());
        for (HWND child : Descendants(window))
            if (::IsWindowVisible(child)) std::printf("%s\n", TextOf(child).c_str());
        return 0;
    }
    if (verb == "selected") return Selected(window);
    if (verb == "layout") return Layout(window);
    if (verb == "rule") {
        const int32_t handle = static_cast<int32_t>(reinterpret_cast<INT_PTR>(window));
        std::string text;
        const int rc = Command(1, std::string(reinterpret_cast<const char*>(&handle), 4), &text);
        std::printf("%s\n", text.empty() ? "(no rule)" : text.c_str());
        return rc;
    }
    return Usage();
}
