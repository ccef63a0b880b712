// The real command center's tray icon, menu and session end, seen from
// outside: the icons of the system tray are windows of the shell's process
// (under Wine's X11 driver, the children "__winex11_tray_icon" of its tray
// window), the menu is read with ombrelctl's menu probe, clicks are real X
// input from xdotool, and the animation is read off the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/load_failure.h"
#include "foundation/shared.h"
#include "foundation/strings.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_storage.h"
#include "model/window_rules.h"
#include "tests/common/center_harness.h"
#include "tests/common/child_process.h"
#include "tests/common/dist_folder.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {

constexpr const char* kTrayIconClass = "__winex11_tray_icon";
constexpr const char* kSettingsKey = "SOFTWARE\\Quennet\\Ombrel\\Command Center";

// The icons in the system tray, shown ones only.
std::vector<HWND> TrayIcons() {
    std::vector<HWND> icons;
    EnumWindows(
        [](HWND top, LPARAM param) -> BOOL {
            auto* found = reinterpret_cast<std::vector<HWND>*>(param);
            HWND icon = nullptr;
            while ((icon = FindWindowExA(top, icon, kTrayIconClass, nullptr)) != nullptr)
                if (IsWindowVisible(icon)) found->push_back(icon);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&icons));
    return icons;
}

// The icons that came since `before` was taken.
std::vector<HWND> NewIcons(const std::vector<HWND>& before) {
    std::vector<HWND> added;
    for (HWND icon : TrayIcons())
        if (std::find(before.begin(), before.end(), icon) == before.end()) added.push_back(icon);
    return added;
}

HWND HandlerWindow() {
    return FindWindowA("OMB_CommandCenterHandlerWindow", nullptr);
}

// Which animation frame the icon shows, read off the screen: the idle
// umbrella is blue, frame N lights the N-th third of its canopy in amber;
// 0 for the idle icon, -1 when nothing of the umbrella shows.
int FrameOf(HWND icon) {
    RECT r{};
    if (!GetWindowRect(icon, &r)) return -1;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return -1;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    auto like = [](int a, int b) { return a - b < 48 && b - a < 48; };
    int minX = w, maxX = -1;
    long amberX = 0, amber = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto* p = static_cast<const BYTE*>(bits) + (size_t(y) * size_t(w) + size_t(x)) * 4;
            const int b = p[0], g = p[1], red = p[2];
            const bool lit = like(red, 0xf0) && like(g, 0xb0) && like(b, 0x20);
            const bool idle = like(red, 0x2c) && like(g, 0x5a) && like(b, 0x9c);
            if (!lit && !idle) continue;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            if (lit) amberX += x, ++amber;
        }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (maxX < 0) return -1;
    if (amber == 0) return 0;
    const double at = (double(amberX) / double(amber) - minX) / double(maxX - minX + 1);
    return at < 1.0 / 3 ? 1 : at < 2.0 / 3 ? 2 : 3;
}

// Runs a host program through the host's shell, waiting for its end.
bool Host(const std::string& command) {
    static int counter = 0;
    const std::string done = "/tmp/omb_tray_" + std::to_string(GetCurrentProcessId()) + "_" +
                             std::to_string(++counter);
    const std::string donePath = WindowsPathOf(done);
    DeleteFileA(donePath.c_str());
    std::string line = "Z:\\bin\\sh -c \"" + command + " >/dev/null 2>&1; echo $? >" + done + ".tmp; mv " + done +
                       ".tmp " + done + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    if (pi.hProcess) CloseHandle(pi.hProcess);
    if (pi.hThread) CloseHandle(pi.hThread);
    std::string code;
    const bool ended = WaitFor([&] {
        std::ifstream in(donePath);
        return in && std::getline(in, code) && !code.empty();
    });
    DeleteFileA(donePath.c_str());
    return ended && code == "0";
}

// A click (or two, quickly) on the middle of a window, as the user makes it.
bool ClickOn(HWND window, int clicks = 1) {
    RECT r{};
    if (!GetWindowRect(window, &r)) return false;
    const long x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    return Host("/usr/bin/xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click --repeat " +
                std::to_string(clicks) + " --delay 60 1");
}

// What ombrelctl prints for its arguments.
std::string Ombrelctl(const std::string& args) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return std::string();
    UniqueHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + WindowsPathOf(OMB_OMBRELCTL) + "\" " + args;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return std::string();
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    writer.reset();
    std::string out;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) out.append(buffer, got);
    WaitForSingleObject(pi.hProcess, 5000);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The windows of the program that the center started as its editor: the
// probe program, copied in the editor's place, opens one window captioned
// with its own path when it gets no arguments.
std::vector<HWND> StartedEditors(const std::string& folder) {
    std::vector<HWND> found;
    HWND w = nullptr;
    while ((w = FindWindowExA(nullptr, w, "OmbProbeStarted", nullptr)) != nullptr) {
        char caption[MAX_PATH * 2] = "";
        GetWindowTextA(w, caption, sizeof(caption));
        if (SameTextAZ(caption, folder + "OmbrelConfig.exe")) found.push_back(w);
    }
    return found;
}

void CloseEditors(const std::string& folder) {
    for (HWND w : StartedEditors(folder)) PostMessageA(w, WM_CLOSE, 0, 0);
    WaitFor([&] { return StartedEditors(folder).empty(); });
}

std::string ProbeProgram() {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of("\\/") + 1) + "probe_window64.exe";
}

// The "trayicon" value for the time of a test, put back afterwards.
class TrayIconSetting {
public:
    TrayIconSetting() {
        UniqueRegKey key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            DWORD size = sizeof(old_);
            had_ = RegQueryValueExA(key.get(), "trayicon", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                                    &size) == ERROR_SUCCESS;
        }
    }
    ~TrayIconSetting() {
        UniqueRegKey key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                            nullptr) != ERROR_SUCCESS)
            return;
        if (had_)
            RegSetValueExA(key.get(), "trayicon", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof(old_));
        else
            RegDeleteValueA(key.get(), "trayicon");
    }
    static void Set(DWORD value) {
        UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key.get(), "trayicon", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }

private:
    DWORD old_ = 1;
    bool had_ = false;
};

std::string HandleData(HWND window) {
    const int32_t handle = int32_t(reinterpret_cast<INT_PTR>(window));
    return std::string(reinterpret_cast<const char*>(&handle), 4);
}

// The frames the icon shows from its first frame on until it is idle again
// (at most `ms`), each once in the order they came; `idleAt` gets the tick
// count at which the idle icon came back.
std::vector<int> FramesUntilIdle(HWND icon, DWORD ms, ULONGLONG* idleAt = nullptr) {
    std::vector<int> seen;
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
        const int frame = FrameOf(icon);
        if (seen.empty() && frame != 1) {  // what showed before the answer
            Sleep(5);
            continue;
        }
        if (frame >= 0 && (seen.empty() || seen.back() != frame)) seen.push_back(frame);
        if (frame == 0 && seen.size() > 1) {
            if (idleAt) *idleAt = GetTickCount64();
            break;
        }
        Sleep(10);
    }
    return seen;
}

// A shell's tray window of our own, on a thread of its own, in front of the
// real one: the shell routines of every program hand their icons to the
// first such window they find. It records what each call says, and whether
// the icon's window still existed at that moment.
class FakeTray {
public:
    struct Call {
        ULONG_PTR what;  // NIM_ADD, NIM_MODIFY, NIM_DELETE...
        HWND window;
        bool windowExists;
        std::string data;  // what the shell routine handed over
        // Whether the call carries the text (in UTF-16 or UTF-8, as the
        // shell routine passes it on).
        bool Says(const std::string& text) const {
            const std::wstring wide = ToWide(text);
            const std::string bytes(reinterpret_cast<const char*>(wide.data()),
                                    wide.size() * sizeof(wchar_t));
            return data.find(bytes) != std::string::npos || data.find(text) != std::string::npos;
        }
    };
    FakeTray() {
        ready_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        thread_.reset(CreateThread(nullptr, 0, [](void* self) -> DWORD { return static_cast<FakeTray*>(self)->Run(); },
                                   this, 0, nullptr));
        WaitForSingleObject(ready_.get(), 5000);
    }
    ~FakeTray() {
        if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
        WaitForSingleObject(thread_.get(), 5000);
    }
    bool Ready() const { return window_ != nullptr; }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }

private:
    DWORD Run() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            auto* self = reinterpret_cast<FakeTray*>(GetWindowLongPtrA(w, GWLP_USERDATA));
            if (m == WM_COPYDATA && self) {
                const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
                HWND owner = reinterpret_cast<HWND>(wp);
                std::lock_guard<std::mutex> guard(self->lock_);
                std::string bytes;
                if (data && data->lpData) bytes.assign(static_cast<const char*>(data->lpData), data->cbData);
                self->calls_.push_back(
                    {data ? data->dwData : ~ULONG_PTR(0), owner, IsWindow(owner) != FALSE, std::move(bytes)});
                return TRUE;
            }
            if (m == WM_DESTROY) PostQuitMessage(0);
            return DefWindowProcA(w, m, wp, lp);
        };
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "Shell_TrayWnd";
        RegisterClassA(&wc);
        window_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, wc.hInstance, nullptr);
        if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetEvent(ready_.get());
        MSG m;
        while (window_ && GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
        UnregisterClassA("Shell_TrayWnd", wc.hInstance);
        return 0;
    }

    UniqueHandle ready_, thread_;
    HWND window_ = nullptr;
    std::mutex lock_;
    std::vector<Call> calls_;
};

// Holds a file open without sharing, as a scanner does right after a save,
// from a thread of its own, for a while.
class HeldFile {
public:
    HeldFile(const std::string& path, DWORD milliseconds) : ms_(milliseconds) {
        // Not while the command center reads it.
        WaitFor([&] {
            file_.reset(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            return bool(file_);
        });
        release_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (file_)
            thread_.reset(CreateThread(
                nullptr, 0,
                [](void* param) -> DWORD {
                    auto* self = static_cast<HeldFile*>(param);
                    WaitForSingleObject(self->release_.get(), self->ms_);
                    self->file_.reset();
                    return 0;
                },
                this, 0, nullptr));
    }
    ~HeldFile() {
        SetEvent(release_.get());
        Released(5000);
    }
    bool Held() const { return bool(thread_); }
    bool Released(DWORD milliseconds) const {
        return !thread_ || WaitForSingleObject(thread_.get(), milliseconds) == WAIT_OBJECT_0;
    }

private:
    DWORD ms_;
    UniqueHandle file_, release_, thread_;
};

struct CenterTray : ::testing::Test {
    void SetUp() override {
        RegisterModelClasses();
        CreateMultiLanguages();
        SelectLanguage("");
    }
    void TearDown() override { FreeMultiLanguages(); }
    ComInit com;
    TrayIconSetting setting;
};

}  // namespace

TEST_F(CenterTray, TheIconItsMenuAndItsAnimation) {
    TrayIconSetting::Set(1);
    Installation install;
    ASSERT_TRUE(CopyFileA(ProbeProgram().c_str(), install.Path("OmbrelConfig.exe").c_str(), FALSE));
    Config config;
    config.Action(config.Rule("top", "OmbTrayRuled"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    const std::vector<HWND> before = TrayIcons();
    ASSERT_TRUE(install.Start());
    HWND icon = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        const std::vector<HWND> added = NewIcons(before);
        icon = added.size() == 1 ? added[0] : nullptr;
        return icon != nullptr;
    })) << "the center's icon in the tray";
    EXPECT_TRUE(WaitFor([&] { return FrameOf(icon) == 0; })) << "the idle umbrella, frame " << FrameOf(icon);

    // The shell restarted: its tray is empty, and it says so to every window.
    HWND handler = HandlerWindow();
    ASSERT_TRUE(handler);
    NOTIFYICONDATAA gone{};
    gone.cbSize = NOTIFYICONDATAA_V1_SIZE;
    gone.hWnd = handler;
    gone.uID = 0;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone));
    ASSERT_TRUE(WaitFor([&] { return NewIcons(before).empty(); }));
    PostMessageA(handler, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitFor([&] {
        const std::vector<HWND> added = NewIcons(before);
        icon = added.size() == 1 ? added[0] : nullptr;
        return icon != nullptr;
    })) << "the icon is added again";
    ASSERT_TRUE(icon);

    // A click opens the menu: its items, "Configure..." drawn as the default.
    ASSERT_TRUE(ClickOn(icon));
    std::vector<std::string> items;
    EXPECT_TRUE(WaitFor([&] {
        items = Lines(Ombrelctl("menu"));
        return items.size() == 5;
    })) << ::testing::PrintToString(items);
    EXPECT_EQ(items, (std::vector<std::string>{"enabled Close", "separator", "enabled Help", "separator",
                                               "default Configure..."}));
    // Its default item starts the editor from the program's folder.
    std::vector<std::string> places = Lines(Ombrelctl("menu places"));
    ASSERT_EQ(places.size(), 5u);
    long left = 0, top = 0, right = 0, bottom = 0;
    ASSERT_EQ(std::sscanf(places[4].c_str(), "%ld %ld %ld %ld", &left, &top, &right, &bottom), 4) << places[4];
    ASSERT_TRUE(Host("/usr/bin/xdotool mousemove " + std::to_string((left + right) / 2) + " " +
                     std::to_string((top + bottom) / 2) + " click 1"));
    EXPECT_TRUE(WaitFor([&] { return StartedEditors(install.Folder()).size() == 1; })) << "Configure...";
    CloseEditors(install.Folder());

    // A double click starts the editor too, and opens no menu.
    ASSERT_TRUE(ClickOn(icon, 2));
    EXPECT_TRUE(WaitFor([&] { return StartedEditors(install.Folder()).size() == 1; })) << "the double click";
    Sleep(GetDoubleClickTime() + 300);
    EXPECT_EQ(Lines(Ombrelctl("menu")), std::vector<std::string>{"no menu is open"});
    CloseEditors(install.Folder());

    // A rule answered: the canopy lights up third by third, then the idle
    // icon comes back.
    ChildProcess child = ChildProcess::Start("window", {"OmbTrayRuled", "ruled"});
    HWND ruled = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (ruled = WindowOf("OmbTrayRuled")) != nullptr && TopMost(ruled); }));
    EXPECT_TRUE(WaitFor([&] { return FrameOf(icon) == 0; }));
    std::string reply;
    int32_t code = 0;
    ASSERT_EQ(Installation::Command(1, HandleData(ruled), &reply, &code), 0);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(FramesUntilIdle(icon, 3000), (std::vector<int>{1, 2, 3, 0}));
    // An answer in the middle of the animation starts it again.
    ASSERT_EQ(Installation::Command(1, HandleData(ruled), &reply, &code), 0);
    ASSERT_TRUE(WaitFor([&] { return FrameOf(icon) == 2; }, 2000));
    ASSERT_EQ(Installation::Command(1, HandleData(ruled), &reply, &code), 0);
    const ULONGLONG again = GetTickCount64();
    ULONGLONG idleAt = 0;
    const std::vector<int> frames = FramesUntilIdle(icon, 3000, &idleAt);
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 0})) << "restarted at the first frame";
    EXPECT_GE(idleAt - again, 650u) << "the idle icon 750 ms after the second answer";

    // "Close" in the menu ends the program and takes its icon away.
    ASSERT_TRUE(ClickOn(icon));
    places.clear();
    ASSERT_TRUE(WaitFor([&] {
        places = Lines(Ombrelctl("menu places"));
        return places.size() == 5;
    }));
    ASSERT_EQ(std::sscanf(places[0].c_str(), "%ld %ld %ld %ld", &left, &top, &right, &bottom), 4) << places[0];
    ASSERT_TRUE(Host("/usr/bin/xdotool mousemove " + std::to_string((left + right) / 2) + " " +
                     std::to_string((top + bottom) / 2) + " click 1"));
    EXPECT_EQ(install.Ended(8000), 0);
    EXPECT_TRUE(WaitFor([&] { return NewIcons(before).empty(); })) << "the icon went with the program";
}

TEST_F(CenterTray, TheSettingShowsAndHidesTheIcon) {
    TrayIconSetting::Set(0);
    Installation install;
    Config config;
    config.Rule("any", "OmbTrayNothing");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    const std::vector<HWND> before = TrayIcons();
    ASSERT_TRUE(install.Start());
    Sleep(500);
    EXPECT_TRUE(NewIcons(before).empty()) << "no icon with \"trayicon\" 0";
    // The shell restarting shows none either.
    PostMessageA(HandlerWindow(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    Sleep(300);
    EXPECT_TRUE(NewIcons(before).empty());

    TrayIconSetting::Set(1);
    ASSERT_EQ(Installation::Command(4), 0);
    EXPECT_TRUE(WaitFor([&] { return NewIcons(before).size() == 1; })) << "command 4 after the value became 1";
    ASSERT_EQ(Installation::Command(4), 0);
    Sleep(300);
    EXPECT_EQ(NewIcons(before).size(), 1u) << "shown once";
    TrayIconSetting::Set(0);
    ASSERT_EQ(Installation::Command(4), 0);
    EXPECT_TRUE(WaitFor([&] { return NewIcons(before).empty(); })) << "command 4 after the value became 0";
    EXPECT_EQ(install.Ended(0), -1);
}

TEST_F(CenterTray, TheSessionEndsOnlyWhenItReallyEnds) {
    TrayIconSetting::Set(1);
    Installation install;
    Config config;
    config.Action(config.Rule("early", "OmbTrayEarly"), "StayOnTop");
    // A rule for the center's own window: the center never rules itself.
    config.Action(config.Rule("itself", "OMB_CommandCenterHandlerWindow"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));

    // A window opened before the center starts gets its rule.
    ChildProcess early = ChildProcess::Start("window", {"OmbTrayEarly", "early"});
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = WindowOf("OmbTrayEarly")) != nullptr; }));
    Sleep(300);
    EXPECT_FALSE(TopMost(window));
    const std::vector<HWND> before = TrayIcons();
    ASSERT_TRUE(install.Start());
    EXPECT_TRUE(WaitFor([&] { return TopMost(window); })) << "the window opened before the center";
    ASSERT_TRUE(WaitFor([&] { return NewIcons(before).size() == 1; }));

    HWND handler = HandlerWindow();
    ASSERT_TRUE(handler);
    std::string reply = "unset";
    int32_t code = 0;
    ASSERT_EQ(Installation::Command(1, HandleData(handler), &reply, &code), 0);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(reply, "") << "the center's own window";
    EXPECT_FALSE(TopMost(handler));

    // A log-off that was called off leaves the center running.
    PostMessageA(handler, WM_ENDSESSION, FALSE, 0);
    Sleep(500);
    EXPECT_EQ(install.Ended(0), -1);
    ASSERT_EQ(Installation::Command(1, HandleData(window), &reply, &code), 0);
    EXPECT_FALSE(reply.empty()) << "still answering";
    EXPECT_EQ(NewIcons(before).size(), 1u);

    // One that happens ends it, with its icon, its hook and its instance.
    PostMessageA(handler, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(install.Ended(5000), 0);
    EXPECT_TRUE(WaitFor([&] { return NewIcons(before).empty(); }));
    EXPECT_FALSE(BlockExists(kHookHandleBlockName));
    EXPECT_FALSE(BlockExists(kCenterInstanceName));
    EXPECT_TRUE(early.Running());
}

TEST_F(CenterTray, WithoutItsHookLibraryTheCenterSaysSoAndEnds) {
    Installation install;
    Config config;
    config.Rule("any", "OmbTrayNothing");
    ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
    ASSERT_TRUE(DeleteFileA(install.Path("tbhook.dll").c_str()));
    const std::vector<HWND> before = TrayIcons();
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(install.Start());
    const std::string message = CloseMessageBox(GetProcessId(install.Process()));
    EXPECT_LT(GetTickCount64() - start, 3000u);
    EXPECT_EQ(
        message.rfind("The hook library could not be installed:\n" + install.Path("tbhook.dll") + "\n\n", 0),
        0u)
        << message;
    EXPECT_NE(message.find("(code 126)"), std::string::npos) << message;
    EXPECT_EQ(install.Ended(3000), 0);
    EXPECT_TRUE(NewIcons(before).empty());
    EXPECT_FALSE(BlockExists(kHookHandleBlockName));
    EXPECT_FALSE(BlockExists(kCenterInstanceName));
}

// The shell knows an icon by its window: the icon is taken away while that
// window still exists, whether the program ends by command 3 or with the
// session.
TEST_F(CenterTray, TheIconGoesWhileItsWindowStillExists) {
    TrayIconSetting::Set(1);
    for (const bool bySession : {false, true}) {
        FakeTray tray;
        ASSERT_TRUE(tray.Ready());
        Installation install;
        Config config;
        config.Rule("any", "OmbTrayNothing");
        ASSERT_TRUE(config.Save(install.Path("Ombrel.ini")));
        ASSERT_TRUE(install.Start());
        HWND handler = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            handler = HandlerWindow();
            for (const FakeTray::Call& call : tray.Calls())
                if (call.what == NIM_ADD && call.window == handler) return true;
            return false;
        })) << "the icon was added through the tray in front";
        if (bySession)
            PostMessageA(handler, WM_ENDSESSION, TRUE, 0);
        else
            ASSERT_EQ(Installation::Command(3), 0);
        EXPECT_EQ(install.Ended(8000), 0);
        int deletes = 0;
        for (const FakeTray::Call& call : tray.Calls()) {
            if (call.what != NIM_DELETE || call.window != handler) continue;
            ++deletes;
            EXPECT_TRUE(call.windowExists) << (bySession ? "at the session's end" : "on command 3");
        }
        EXPECT_EQ(deletes, 1) << (bySession ? "at the session's end" : "on command 3");
    }
}

// A reload that cannot read the file waits a short while for a program that
// holds it; one that still does not load leaves the rules in force and says
// so once: on the tray icon, or in a message box when there is none.
TEST_F(CenterTray, AReloadThatDoesNotLoadKeepsTheRulesAndSaysSoOnce) {
    TrayIconSetting::Set(1);
    FakeTray tray;
    ASSERT_TRUE(tray.Ready());
    Installation install;
    const std::string file = install.Path("Ombrel.ini");
    Config config;
    config.Action(config.Rule("kept", "OmbTrayKept"), "StayOnTop");
    ASSERT_TRUE(config.Save(file));
    ChildProcess keptChild = ChildProcess::Start("window", {"OmbTrayKept", "kept"});
    ChildProcess laterChild = ChildProcess::Start("window", {"OmbTrayLater", "later"});
    HWND kept = nullptr, later = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (later = WindowOf("OmbTrayLater")) != nullptr; }));
    ASSERT_TRUE(install.Start());
    ASSERT_TRUE(WaitFor([&] { return (kept = WindowOf("OmbTrayKept")) != nullptr && TopMost(kept); }));
    const std::string rule = config.TextFor(kept);
    auto balloons = [&] {
        int count = 0;
        for (const FakeTray::Call& call : tray.Calls()) count += call.what == NIM_MODIFY && call.Says(file);
        return count;
    };
    auto stillRuled = [&](const char* what) {
        std::string reply;
        int32_t code = 0;
        EXPECT_EQ(Installation::Command(1, HandleData(kept), &reply, &code), 0) << what;
        EXPECT_EQ(reply, rule) << what;
        EXPECT_TRUE(TopMost(kept)) << what;
    };

    // Held for two seconds just after a save: the new rules come.
    config.Action(config.Rule("later", "OmbTrayLater"), "StayOnTop");
    ASSERT_TRUE(config.Save(install.Path("next.ini")));
    // In one step, while the reload that saving asked for may be reading it.
    ASSERT_TRUE(WaitFor([&] {
        return MoveFileExA(install.Path("next.ini").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) !=
               FALSE;
    }));
    {
        HeldFile held(file, 2000);
        ASSERT_TRUE(held.Held());
        ASSERT_EQ(Installation::Command(2), 0);
        EXPECT_TRUE(WaitFor([&] { return TopMost(later); })) << "the rule added while the file was held";
    }
    stillRuled("after a file held for a moment");
    EXPECT_EQ(balloons(), 0);

    // Held past the time a reload waits: the rules in force stay.
    {
        HeldFile held(file, 8000);
        ASSERT_TRUE(held.Held());
        ASSERT_EQ(Installation::Command(2), 0);
        EXPECT_TRUE(WaitFor([&] { return balloons() == 1; }, 8000)) << "the held file is said";
        stillRuled("while the file is held");
        EXPECT_TRUE(held.Released(8000));
    }
    for (const FakeTray::Call& call : tray.Calls())
        if (call.what == NIM_MODIFY && call.Says(file)) {
            EXPECT_TRUE(call.Says("The rules loaded before stay in force."));
            EXPECT_TRUE(call.Says("Another program is using the file: ")) << "said in words";
            EXPECT_TRUE(call.Says("(code 32)"));  // the sharing violation
        }
    stillRuled("after the held file");
    EXPECT_TRUE(TopMost(later));

    // A broken file: the same, with the place the editor names.
    WriteBytes(file, "<tarvel_windows>\n  <window_rules>\n</tarvel_windows>\n");
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    ASSERT_FALSE(storage->LoadFromFile(file));
    const TXMLLoadError failure = storage->LoadError();
    ASSERT_GT(failure.line, 0);
    ASSERT_EQ(Installation::Command(2), 0);
    EXPECT_TRUE(WaitFor([&] { return balloons() == 2; })) << "the broken file is said";
    bool named = false;
    for (const FakeTray::Call& call : tray.Calls())
        named |= call.what == NIM_MODIFY && call.Says(ConfigLoadFailure(file, failure));
    EXPECT_TRUE(named) << "the editor's words, with line and position";
    stillRuled("after the broken file");
    EXPECT_EQ(balloons(), 2) << "said once";

    // Without the icon, a message box says it.
    TrayIconSetting::Set(0);
    ASSERT_EQ(Installation::Command(4), 0);
    ASSERT_TRUE(WaitFor([&] {
        for (const FakeTray::Call& call : tray.Calls())
            if (call.what == NIM_DELETE) return true;
        return false;
    }));
    ASSERT_EQ(Installation::Command(2), 0);
    EXPECT_EQ(CloseMessageBox(GetProcessId(install.Process())),
              ConfigLoadFailure(file, failure) + "\n\nThe rules loaded before stay in force.");
    stillRuled("after the message box");
    EXPECT_EQ(balloons(), 2);
}
