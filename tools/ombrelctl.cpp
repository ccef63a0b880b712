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
//   ombrelctl menu [places]            the items of the open menu, enabled,
//                                      grayed or default (after their places on
//                                      the screen)
//   ombrelctl layout <window>          children outside their parent's client area
//   ombrelctl rule <window>            the rule text the command center answers
//   ombrelctl stop | reload            commands 3 and 2
//
// Screen rectangles ("left top width height") of what a click should hit,
// in a shown top-level window with the given caption:
//   ombrelctl control <caption> <class> <text> [n]
//       the n-th (from 0) shown child window, at any depth, of that class
//       whose text is <text> ("&" access-key marks left out; "*" matches any
//       text, "abc*" any text starting with "abc"); "#id" instead of the
//       text picks the child with that control id
//   ombrelctl control <caption> <class> <text> [n] after <class2> <text2>
//       the same, counted from the first child of class2 and text2 on (a
//       label's field: the field comes after its label)
//   ombrelctl button <caption> <text>
//   ombrelctl button <caption> <bar> <index>
//       the tool-bar button with that caption, or the index-th button of the
//       bar-th shown tool bar (both from 0)
//   ombrelctl item <text>             the item of the dropped-down list of a
//                                     combo box
//   ombrelctl popup                   the shown pop-up menu
//   ombrelctl controls <caption>      lists the shown child windows: class,
//                                     control id, rectangle and text
//   ombrelctl focus [places]          the window with the keyboard focus in
//                                     the foreground thread: class, shown or
//                                     hidden, text, and its top-level window's
//                                     caption (then its screen rectangle)
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
                 "       | menu [places] | layout <window> | rule <window> | stop | reload\n"
                 "       ombrelctl control <caption> <class> <text>|#<id> [n] [after <class> <text>]\n"
                 "       ombrelctl button <caption> <text> | button <caption> <bar> <index>\n"
                 "       ombrelctl item <text> | popup | controls <caption> | focus [places]\n");
    return 2;
}

std::wstring Wide(const char* text) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, &w[0], n);
    w.resize(w.size() - 1);
    return w;
}

// A text without its access-key marks ("&&" stays one "&").
std::wstring WithoutAccessKeys(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

// "*" matches anything, "abc*" what starts with "abc", anything else itself.
bool TextMatches(const std::wstring& text, const std::wstring& pattern) {
    if (!pattern.empty() && pattern.back() == L'*')
        return text.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return text == pattern;
}

std::wstring WindowText(HWND window) {
    wchar_t buffer[512] = L"";
    ::GetWindowTextW(window, buffer, 512);
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t buffer[256] = L"";
    ::GetClassNameW(window, buffer, 256);
    return buffer;
}

bool Shown(HWND window) { return ::IsWindowVisible(window) != FALSE; }

int PrintRect(const RECT& r) {
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}

// The shown top-level window with the caption that has child windows (its
// message boxes are left out).
HWND TopLevel(const char* caption) {
    struct Search {
        std::wstring caption;
        HWND found = nullptr;
    } search{Wide(caption)};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!Shown(window) || WindowText(window) != s->caption || ClassOf(window) == L"#32770" ||
                !::GetWindow(window, GW_CHILD))
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The shown descendants of a window, in the system's order (depth first).
std::vector<HWND> ShownChildren(HWND parent) {
    std::vector<HWND> all;
    ::EnumChildWindows(
        parent,
        [](HWND window, LPARAM data) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> shown;
    for (HWND w : all)
        if (Shown(w)) shown.push_back(w);
    return shown;
}

bool Matches(HWND window, const char* className, const char* text) {
    if (ClassOf(window) != Wide(className)) return false;
    if (text[0] == '#') return ::GetDlgCtrlID(window) == std::atoi(text + 1);
    return TextMatches(WithoutAccessKeys(WindowText(window)), Wide(text));
}

int Control(HWND top, const char* className, const char* text, int n, const char* afterClass,
            const char* afterText) {
    const std::vector<HWND> children = ShownChildren(top);
    size_t from = 0;
    if (afterClass) {
        while (from < children.size() && !Matches(children[from], afterClass, afterText)) ++from;
        if (from == children.size()) {
            std::printf("no shown %s \"%s\"\n", afterClass, afterText);
            return 1;
        }
    }
    for (size_t i = from; i < children.size(); ++i) {
        if (!Matches(children[i], className, text) || n-- > 0) continue;
        RECT r;
        ::GetWindowRect(children[i], &r);
        return PrintRect(r);
    }
    std::printf("no shown %s \"%s\"\n", className, text);
    return 1;
}

// A block of memory in another process, for the messages whose answer a
// control writes through a pointer (the tool bar's).
class RemoteBlock {
public:
    RemoteBlock(HWND window, size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        process_.reset(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
        if (process_) address_ = ::VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (address_) ::VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    LPARAM Address() const { return reinterpret_cast<LPARAM>(address_); }
    bool Valid() const { return address_ != nullptr; }
    bool Read(void* into, size_t size) const {
        SIZE_T got = 0;
        return size <= size_ && ::ReadProcessMemory(process_.get(), address_, into, size, &got) && got == size;
    }
    bool Clear() const {
        std::vector<char> zeros(size_, 0);
        SIZE_T put = 0;
        return ::WriteProcessMemory(process_.get(), address_, zeros.data(), size_, &put) && put == size_;
    }

private:
    omb::UniqueHandle process_;
    void* address_ = nullptr;
    size_t size_;
};

// The screen rectangle of button `index` of the tool bar (false when none).
bool ButtonRect(HWND bar, int index, RECT& rect) {
    RemoteBlock block(bar, sizeof(RECT));
    if (!block.Valid() || !::SendMessageW(bar, TB_GETITEMRECT, WPARAM(index), block.Address()) ||
        !block.Read(&rect, sizeof(rect)))
        return false;
    ::MapWindowPoints(bar, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return true;
}

std::wstring ButtonText(HWND bar, int index) {
    RemoteBlock button(bar, sizeof(TBBUTTON));
    TBBUTTON info{};
    if (!button.Valid() || !::SendMessageW(bar, TB_GETBUTTON, WPARAM(index), button.Address()) ||
        !button.Read(&info, sizeof(info)))
        return std::wstring();
    constexpr size_t kChars = 256;
    RemoteBlock text(bar, kChars * sizeof(wchar_t));
    if (!text.Valid() || !text.Clear()) return std::wstring();
    const LRESULT n = ::SendMessageW(bar, TB_GETBUTTONTEXTW, WPARAM(info.idCommand), text.Address());
    if (n <= 0 || size_t(n) >= kChars) return std::wstring();
    std::wstring w(size_t(n), L'\0');
    if (!text.Read(&w[0], size_t(n) * sizeof(wchar_t))) return std::wstring();
    return w;
}

std::vector<HWND> ToolBars(HWND top) {
    std::vector<HWND> bars;
    for (HWND w : ShownChildren(top))
        if (ClassOf(w) == TOOLBARCLASSNAMEW) bars.push_back(w);
    return bars;
}

int ButtonByText(HWND top, const char* text) {
    const std::wstring pattern = Wide(text);
    for (HWND bar : ToolBars(top)) {
        const int count = int(::SendMessageW(bar, TB_BUTTONCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            RECT r;
            if (TextMatches(WithoutAccessKeys(ButtonText(bar, i)), pattern) && ButtonRect(bar, i, r))
                return PrintRect(r);
        }
    }
    std::printf("no tool-bar button \"%s\"\n", text);
    return 1;
}

int ButtonByIndex(HWND top, int barIndex, int index) {
    const std::vector<HWND> bars = ToolBars(top);
    RECT r;
    if (barIndex >= 0 && size_t(barIndex) < bars.size() && ButtonRect(bars[size_t(barIndex)], index, r))
        return PrintRect(r);
    std::printf("no button %d on tool bar %d\n", index, barIndex);
    return 1;
}

// The list of a combo box is a top-level window of its own while it is
// dropped down; its texts and item rectangles are asked with the list-box
// messages the system carries between processes.
int ListItem(const char* text) {
    const std::wstring pattern = Wide(text);
    HWND list = nullptr;
    while ((list = ::FindWindowExW(nullptr, list, L"ComboLBox", nullptr)) != nullptr) {
        if (!Shown(list)) continue;
        const int count = int(::SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const LRESULT n = ::SendMessageW(list, LB_GETTEXTLEN, WPARAM(i), 0);
            if (n < 0) continue;
            std::wstring item(size_t(n) + 1, L'\0');
            ::SendMessageW(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(&item[0]));
            item.resize(size_t(n));
            RECT r;
            if (!TextMatches(item, pattern) ||
                ::SendMessageW(list, LB_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r)) == LB_ERR)
                continue;
            ::MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&r), 2);
            return PrintRect(r);
        }
    }
    std::printf("no dropped-down item \"%s\"\n", text);
    return 1;
}

int ListControls(HWND top) {
    for (HWND w : ShownChildren(top)) {
        RECT r;
        ::GetWindowRect(w, &r);
        const std::wstring text = WindowText(w);
        const std::wstring cls = ClassOf(w);
        std::printf("%ls #%d %ld %ld %ld %ld \"%ls\"\n", cls.c_str(), ::GetDlgCtrlID(w), r.left, r.top,
                    r.right - r.left, r.bottom - r.top, text.c_str());
    }
    return 0;
}

int Focus(bool places) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND foreground = ::GetForegroundWindow();
    if (!foreground || !::GetGUIThreadInfo(::GetWindowThreadProcessId(foreground, nullptr), &info) ||
        !info.hwndFocus) {
        std::printf("no focus\n");
        return 1;
    }
    HWND focus = info.hwndFocus;
    const std::wstring cls = ClassOf(focus);
    // Asked of the window itself: an edit field's text is not its caption.
    wchar_t buffer[512] = L"";
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(focus, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                               &copied))
        buffer[0] = L'\0';
    const std::wstring text = buffer;
    const std::wstring top = WindowText(::GetAncestor(focus, GA_ROOT));
    std::printf("%ls %s \"%ls\" in \"%ls\"", cls.c_str(), Shown(focus) ? "shown" : "hidden", text.c_str(),
                top.c_str());
    if (!places) {
        std::printf("\n");
        return 0;
    }
    RECT r;
    ::GetWindowRect(focus, &r);
    std::printf(" at ");
    return PrintRect(r);
}

int Popup() {
    HWND menu = nullptr;
    while ((menu = ::FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr) {
        if (!Shown(menu)) continue;
        RECT r;
        ::GetWindowRect(menu, &r);
        return PrintRect(r);
    }
    std::printf("no pop-up menu\n");
    return 1;
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
        if (GetWindowClassName(child) == WC_TREEVIEWA) tree = child;
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
                        GetWindowClassName(child).c_str(), TextOf(child).c_str(), r.left, r.top, r.right, r.bottom, area.right,
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
    if (verb == "popup") return Popup();
    if (verb == "focus") return Focus(argc > 2 && std::string(argv[2]) == "places");
    if (argc < 3) return Usage();
    if (verb == "item") return ListItem(argv[2]);
    if (verb == "control" || verb == "button" || verb == "controls") {
        if ((verb == "button" && argc < 4) || (verb == "control" && argc < 5)) return Usage();
        HWND top = TopLevel(argv[2]);
        if (!top) {
            std::printf("no shown window \"%s\"\n", argv[2]);
            return 1;
        }
        if (verb == "controls") return ListControls(top);
        if (verb == "control") {
            // [n] [after <class> <text>]
            int next = 5;
            int n = 0;
            if (argc > next && std::strcmp(argv[next], "after") != 0) n = std::atoi(argv[next++]);
            if (argc > next && (std::strcmp(argv[next], "after") != 0 || argc != next + 3)) return Usage();
            const bool after = argc == next + 3;
            return Control(top, argv[3], argv[4], n, after ? argv[next + 1] : nullptr,
                           after ? argv[next + 2] : nullptr);
        }
        return argc > 4 ? ButtonByIndex(top, std::atoi(argv[3]), std::atoi(argv[4])) : ButtonByText(top, argv[3]);
    }
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
