// A small command-line companion of the command center, used by the run
// script and the end-to-end tests: it finds windows and controls, reports
// their state and talks to the command center over the command channel.
//
//   ombrelctl wait <class> <seconds>  wait for a top-level window of the class
//   ombrelctl state <class>           on top, minimized or maximized?
//   ombrelctl rule <class>            the rule text the command center answers
//   ombrelctl stop | reload           commands 3 and 2
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
//   ombrelctl focus                   the window with the keyboard focus in
//                                     the foreground thread: class, shown or
//                                     hidden, text, and its top-level window's
//                                     caption
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

using namespace omb;

namespace {
int Usage() {
    std::fprintf(stderr,
                 "usage: ombrelctl wait <class> <seconds> | state <class> | rule <class> | stop | reload\n"
                 "       ombrelctl control <caption> <class> <text>|#<id> [n] [after <class> <text>]\n"
                 "       ombrelctl button <caption> <text> | button <caption> <bar> <index>\n"
                 "       ombrelctl item <text> | popup | controls <caption> | focus\n");
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

int Focus() {
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
    const std::wstring text = WindowText(focus);
    const std::wstring top = WindowText(::GetAncestor(focus, GA_ROOT));
    std::printf("%ls %s \"%ls\" in \"%ls\"\n", cls.c_str(), Shown(focus) ? "shown" : "hidden", text.c_str(),
                top.c_str());
    return 0;
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
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string verb = argv[1];
    if (verb == "stop") return Command(3, std::string(), nullptr);
    if (verb == "reload") return Command(2, std::string(), nullptr);
    if (verb == "popup") return Popup();
    if (verb == "focus") return Focus();
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
    const char* className = argv[2];
    if (verb == "wait") {
        const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;
        for (int i = 0; i < seconds * 10; ++i) {
            if (HWND w = FindWindowA(className, nullptr)) {
                std::printf("%p\n", static_cast<void*>(w));
                return 0;
            }
            Sleep(100);
        }
        return 1;
    }
    HWND window = FindWindowA(className, nullptr);
    if (!window) {
        std::printf("no window of class \"%s\"\n", className);
        return 1;
    }
    if (verb == "state") {
        const LONG_PTR ex = GetWindowLongPtrA(window, GWL_EXSTYLE);
        std::printf("%s%s%s\n", (ex & WS_EX_TOPMOST) ? "on top" : "not on top",
                    IsIconic(window) ? ", minimized" : "", IsZoomed(window) ? ", maximized" : "");
        return 0;
    }
    if (verb == "rule") {
        const int32_t handle = static_cast<int32_t>(reinterpret_cast<INT_PTR>(window));
        std::string text;
        const int rc = Command(1, std::string(reinterpret_cast<const char*>(&handle), 4), &text);
        std::printf("%s\n", text.empty() ? "(no rule)" : text.c_str());
        return rc;
    }
    return Usage();
}
