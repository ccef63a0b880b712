#include "center/cc_app.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "center/taskbar.h"
#include "foundation/classes.h"
#include "foundation/crc32.h"
#include "foundation/languages.h"
#include "foundation/load_failure.h"
#include "foundation/shared.h"
#include "foundation/strings.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_storage.h"

namespace omb {

TCCApp* CCApp = nullptr;
uint8_t HookAllThreads = 1;

namespace {
// Posted by the worker to the handler window.
constexpr UINT kWindowEnhancedMessage = WM_APP + 1;
constexpr UINT kReloadSettingsMessage = WM_APP + 2;
// Posted by the reload thread: a reload failed, to be said.
constexpr UINT kReloadFailedMessage = WM_APP + 3;
constexpr UINT kAnimationTimer = 1;
// A left click opens the menu once it is sure to be no double click: the menu
// would take the second click of a double click for itself.
constexpr UINT kMenuTimer = 2;
constexpr UINT kMenuClose = 1000, kMenuConfig = 1002, kMenuHelp = 1003;
// How long one window may take to answer before it counts as hung. The hook
// library answers WM_APPLY_RULES by starting a request of its own, at once.
constexpr UINT kNotifyTimeoutMs = 100;
// How long the last notice before the hook goes is waited for, in all: the
// windows are told at once, and answer each on its own thread.
constexpr DWORD kUnhookNotifyBoundMs = 2000;
// How long a command center that is still stopping is waited for at start.
constexpr DWORD kTakeOverBoundMs = 10000;
// A settings file that another program holds without sharing (a scanner, a
// backup, right after a save) is tried again at this pace, within the bound.
constexpr DWORD kHeldFileBoundMs = 5000;
constexpr DWORD kHeldFilePauseMs = 100;
// What a tray balloon's text holds, in bytes.
constexpr size_t kBalloonTextBytes = 255;

LRESULT CALLBACK CCAppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        if (CCApp) return CCApp->WndProc(window, message, wParam, lParam);
    } catch (...) {
    }
    return message == WM_NCCREATE ? TRUE : 0;
}

bool IsOwnWindow(HWND window) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process == ::GetCurrentProcessId();
}

// The notices of one TellWindowsAndWait still unanswered. Answers arrive on
// the main thread only, whenever it looks at its messages, and may come
// after the wait has ended: they count only for the round they belong to.
ULONG_PTR g_noticeRound = 0;
LONG g_noticesLeft = 0;

void CALLBACK NoticeAnswered(HWND, UINT, ULONG_PTR round, LRESULT) noexcept {
    if (round == g_noticeRound && g_noticesLeft > 0) --g_noticesLeft;
}

// Sends the message to every top-level window (the hook library's own ones
// in this process too) at once and waits until each has handled it, or the
// bound has passed, whichever comes first. A busy or hung window costs no
// more than the bound, however many there are. Only sent messages and
// answers are taken in meanwhile: posted ones stay in the queue.
void TellWindowsAndWait(UINT message, DWORD boundMs) {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM param) noexcept -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    const ULONG_PTR round = ++g_noticeRound;
    g_noticesLeft = 0;
    for (HWND window : windows)
        if (::SendMessageCallbackA(window, message, 0, 0, NoticeAnswered, round)) ++g_noticesLeft;
    const ULONGLONG deadline = ::GetTickCount64() + boundMs;
    MSG m;
    for (ULONGLONG now; g_noticesLeft > 0 && (now = ::GetTickCount64()) < deadline;) {
        // Short slices: an answer is taken in even where it does not wake
        // the wait.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min<ULONGLONG>(deadline - now, 20)),
                                    QS_SENDMESSAGE);
        ::PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    ++g_noticeRound;  // later answers belong to no round
}
}  // namespace

TCCApp::TCCApp() : instance_(kCenterInstanceName) {
    AppPath = ModuleFolder(nullptr);
    SettingsFileName = kSettingsFileName;
    taskbarCreated_ = ::RegisterWindowMessageA("TaskbarCreated");
}

TCCApp::~TCCApp() {
    Finalize();
}

std::string TCCApp::Title() const {
    return GetMLString("AppCCTitle", "%appname%");
}

bool TCCApp::Initialize() {
    startFailure_.clear();
    bool ok = [&] {
        // Single instance: the registration lasts until the program stops.
        // One that is stopping is waited for, and then followed.
        if (instance_.CheckAndRegister(kTakeOverBoundMs)) return false;
        registered_ = true;
        const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (hr != S_OK && hr != S_FALSE) {
            ::MessageBoxA(nullptr,
                          (GetMLString("Error_COMInitialization", "COM initialization error.") + "\n\n" +
                           SystemErrorText(DWORD(hr)))
                              .c_str(),
                          Title().c_str(), MB_OKCANCEL);
            return false;
        }
        comInitialized_ = true;
        return LoadSettings() && CreateHandlerWindow() && LoadConfiguration() && StartThread() &&
               InstallHook() && ShowTrayIcon();
    }();
    if (!ok) {
        Finalize();
        // Said once everything is let go: the box may stay up for long. The
        // handler window's end asked the loop to end: a box would take that
        // for itself and close at once.
        if (!startFailure_.empty()) {
            MSG quit;
            ::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
            ::MessageBoxA(nullptr, startFailure_.c_str(), Title().c_str(),
                          MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
        }
    }
    return ok;
}

void TCCApp::Run() {
    if (worker_) worker_->Resume();
    // The start-up notification runs where reloads run, so the two never
    // overlap.
    if (reloader_) {
        reloader_->Resume();
        reloader_->RequestNotify();
    }
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

void TCCApp::Finalize() {
    // A command center started from here on waits for this one to end.
    if (registered_) instance_.MarkEnding();
    RemoveTrayIcon();
    RemoveHook();
    StopThread();
    ReleaseModel();
    DestroyHandlerWindow();
    if (comInitialized_) {
        comInitialized_ = false;
        ::CoUninitialize();
    }
    // Nothing of this one is left to collide with the next command center.
    if (registered_) {
        registered_ = false;
        instance_.Release();
    }
}

bool TCCApp::LoadSettings() {
    trayEnabled_ = true;
    UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kCenterSettingsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return true;
    DWORD type = 0, value = 0, size = sizeof(value);
    if (::RegQueryValueExA(key.get(), "trayicon", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(value))
        trayEnabled_ = value != 0;
    return true;
}

bool TCCApp::CreateHandlerWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CCAppWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kHandlerWindowClass;
    classRegistered_ = ::RegisterClassA(&wc) != 0;
    const std::string title = Title();
    HWND window = ::CreateWindowExA(0, kHandlerWindowClass, title.c_str(), 0, 0, 0, 0, 0, nullptr, nullptr,
                                    wc.hInstance, nullptr);
    if (!window) return false;
    ::SetWindowTextA(window, title.c_str());
    ::ShowWindow(window, SW_HIDE);
    handlerWindow_ = window;
    return true;
}

bool TCCApp::LoadModel(Ref<IBOMObjectSlave>& root, Ref<IControlCenter>& center, TXMLLoadError& failure) {
    const ULONGLONG deadline = ::GetTickCount64() + kHeldFileBoundMs;
    while (!LoadModelOnce(root, center, failure)) {
        if (!HeldByAnotherProgram(failure) || ::GetTickCount64() >= deadline || ReloadSuperseded())
            return false;
        ::Sleep(kHeldFilePauseMs);
    }
    return true;
}

bool TCCApp::LoadModelOnce(Ref<IBOMObjectSlave>& root, Ref<IControlCenter>& center, TXMLLoadError& failure) {
    root = nullptr;
    center = nullptr;
    failure = TXMLLoadError();
    try {
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        if (!storage->LoadFromFile(AppPath + SettingsFileName)) {
            failure = storage->LoadError();
            return false;
        }
        root = CreateAbstractObject("TARVILWINDOWS").As<IBOMObjectSlave>();
        if (!root) {
            failure.reason = "The configuration could not be loaded.";
            return false;
        }
        // A well-formed file the model refuses throws: it counts as broken.
        storage->LoadObject(root.As<IPersistObject>().get());
        storage = nullptr;  // the document goes before the model is used
        root->SetOwner(nullptr);
        center = root->QueryRole("ControlCenter").As<IControlCenter>();
        // A first lookup here, so that readers on several threads find
        // everything a lookup prepares already in place.
        if (center) center->FindWindowCommand(nullptr);
        return true;
    } catch (const std::exception& e) {
        failure = TXMLLoadError{e.what(), 0, 0};
    } catch (...) {
        failure = TXMLLoadError{"The configuration could not be loaded.", 0, 0};
    }
    if (root) {
        try {
            root->Disconnect();  // a half-loaded tree is freed, not leaked
        } catch (...) {
        }
    }
    root = nullptr;
    center = nullptr;
    return false;
}

Ref<IBOMObjectSlave> TCCApp::ReplaceModel(Ref<IBOMObjectSlave> root, Ref<IControlCenter> center) {
    SrwExclusive lock(modelLock_);
    Ref<IBOMObjectSlave> old = std::move(root_);
    root_ = std::move(root);
    controlCenter_ = std::move(center);
    return old;
}

bool TCCApp::LoadConfiguration() {
    Ref<IBOMObjectSlave> root;
    Ref<IControlCenter> center;
    TXMLLoadError failure;
    if (!LoadModel(root, center, failure)) {
        const std::string file = AppPath + SettingsFileName;
        startFailure_ =
            ConfigurationThere(file)
                ? LoadFailureMessage(file, failure)
                : GetMLString("AppCC_ConfigMissing", "The configuration file was not found:") + "\n" + file;
        return false;
    }
    Ref<IBOMObjectSlave> old = ReplaceModel(root, center);
    if (old) old->Disconnect();
    return true;
}

bool TCCApp::StartThread() {
    try {
        worker_ = TThread::Create<TControlCenterThread>(true, this, this);
        reloader_ = TThread::Create<TReloadThread>(true, this);
        return worker_->Handle() != nullptr && reloader_->Handle() != nullptr;
    } catch (...) {
        return false;
    }
}

bool TCCApp::InstallHook() {
    if (hook_) return true;
    const DWORD thread = HookAllThreads ? 0 : ::GetCurrentThreadId();
    // From the program's own folder, never from elsewhere on the search path.
    const std::string library = AppPath + "tbhook.dll";
    auto failed = [&] {
        const DWORD code = ::GetLastError();
        startFailure_ = GetMLString("AppCC_HookNotInstalled", "The hook library could not be installed:") +
                        "\n" + library + "\n\n" + SystemErrorText(code);
        return false;
    };
    hookLibrary_.reset(::LoadLibraryA(library.c_str()));
    if (!hookLibrary_) return failed();
    // Through the generic function type: the entry's own type is not FARPROC's.
    auto proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(::GetProcAddress(hookLibrary_.get(), "CallProcHook")));
    if (!proc) return failed();
    hook_.reset(::SetWindowsHookExA(WH_CALLWNDPROC, proc, hookLibrary_.get(), thread));
    if (!hook_) return failed();
    hookBlock_.reset(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kHookHandleBlockName));
    if (!hookBlock_) return failed();
    hookView_.reset(::MapViewOfFile(hookBlock_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 4));
    if (!hookView_) {
        failed();
        hookBlock_.reset();
        return false;
    }
    // Hook handles are 32-bit values; the block holds 4 bytes.
    const uint32_t value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hook_.get()));
    std::memcpy(hookView_.get(), &value, sizeof(value));
    return true;
}

bool TCCApp::ShowTrayIcon() {
    if (trayShown_ || !trayEnabled_) return true;
    HICON icon = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), TrayDefaultIconName, IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (!icon) return true;
    trayShown_ = true;
    TaskBarAddIcon(HandlerWindow(), 0, icon, WM_TRAY_CALLBACK, ProductName);
    return true;
}

void TCCApp::RemoveTrayIcon() {
    if (!trayShown_) return;
    trayShown_ = false;
    TaskBarDeleteIcon(HandlerWindow(), 0);
}

void TCCApp::UpdateTrayIcon() {
    if (!trayShown_) return;
    const std::string name = frame_ == 0 ? std::string(TrayDefaultIconName)
                                         : std::string(TraySelectedIconName) + std::to_string(frame_);
    auto load = [](const std::string& n) {
        return static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), n.c_str(), IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXSMICON),
                                               ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    };
    HICON icon = load(name);
    if (!icon) icon = load(TrayDefaultIconName);
    if (icon) TaskBarModifyIcon(HandlerWindow(), 0, NIF_ICON, icon, std::string());
}

void TCCApp::ShowTrayMenu() {
    HWND window = HandlerWindow();
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    auto add = [&](UINT position, UINT id, const std::string& text) {
        MENUITEMINFOA item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_ID | MIIM_TYPE;
        item.fType = text.empty() ? MFT_SEPARATOR : MFT_STRING;
        item.wID = id;
        item.dwTypeData = const_cast<char*>(text.c_str());
        ::InsertMenuItemA(menu.get(), position, TRUE, &item);
    };
    add(0, kMenuClose, GetMLString("AppCCMenu_Close", "Close"));
    add(1, 0, std::string());
    add(2, kMenuHelp, GetMLString("AppCCMenu_HelpContent", "Help"));
    add(3, 0, std::string());
    add(4, kMenuConfig, GetMLString("AppCCMenu_Config", "Configure..."));
    ::SetMenuDefaultItem(menu.get(), kMenuConfig, FALSE);
    POINT at{};
    ::GetCursorPos(&at);
    ::SetForegroundWindow(window);
    ::TrackPopupMenu(menu.get(), TPM_CENTERALIGN, at.x, at.y, 0, window, nullptr);
    ::PostMessageA(window, WM_NULL, 0, 0);
}

std::string TCCApp::FindWindowCommand(HWND window) {
    if (!window || stopping_.load() || IsOwnWindow(window)) return std::string();
    SrwShared lock(modelLock_);
    return controlCenter_ ? controlCenter_->FindWindowCommand(window) : std::string();
}

bool TCCApp::WindowHasCommand(HWND window) {
    return !FindWindowCommand(window).empty();
}

void TCCApp::NotifyWindows() {
    struct Ruled {
        HWND window;
        uint32_t sum;  // checksum of the rule command text the window gets
    };
    std::vector<HWND> all;
    std::vector<Ruled> ruled;
    struct Walk {
        TCCApp* app;
        std::vector<HWND>* all;
        std::vector<Ruled>* ruled;
    } walk{this, &all, &ruled};
    ::EnumWindows(
        [](HWND window, LPARAM param) noexcept -> BOOL {
            auto* w = reinterpret_cast<Walk*>(param);
            try {
                w->all->push_back(window);
                const std::string text = w->app->FindWindowCommand(window);
                if (!text.empty()) w->ruled->push_back(Ruled{window, Crc32(text)});
            } catch (...) {
                // This window is left out; the walk goes on.
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    // Every top-level window hears that the rules changed; one that a rule
    // still answers for hears that its new rule follows, with the checksum of
    // that rule's text: a window whose rule is the same text keeps it as it
    // is (nothing of it runs again); another keeps what the old rule did to
    // it (a window kept on top) until the new rule is there, and loses it
    // then only when the new rule does not do it too.
    for (HWND window : all) {
        auto it =
            std::find_if(ruled.begin(), ruled.end(), [window](const Ruled& r) { return r.window == window; });
        if (it == ruled.end())
            ::SendNotifyMessageA(window, WM_CONFIG_CHANGED, 0, 0);
        else
            ::SendNotifyMessageA(window, WM_CONFIG_CHANGED, kConfigChangedRuleFollows, LPARAM(it->sum));
    }
    // One window after the other, as the hook library expects; a window
    // that does not answer in time keeps the notice in its queue.
    for (const Ruled& r : ruled) {
        if (ReloadSuperseded()) break;  // the newer reload tells every window again
        DWORD_PTR result = 0;
        ::SendMessageTimeoutA(r.window, WM_APPLY_RULES, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL,
                              kNotifyTimeoutMs, &result);
    }
}

void TCCApp::WindowEnhanced() {
    if (HWND window = HandlerWindow()) ::PostMessageA(window, kWindowEnhancedMessage, 0, 0);
}

void TCCApp::RequestReload() {
    if (reloader_) reloader_->RequestReload();
}

void TCCApp::TellWindows() {
    noticeOwed_ = false;
    NotifyWindows();
    // Cut short by a newer reload: what it did not reach is owed still,
    // should that reload not load.
    if (ReloadSuperseded()) noticeOwed_ = true;
}

bool TCCApp::ReloadSuperseded() const {
    TReloadThread* reloader = reloader_;
    return reloader && ::GetCurrentThreadId() == reloader->ThreadId() && reloader->Superseded();
}

void TCCApp::ReloadConfiguration() {
    Ref<IBOMObjectSlave> root;
    Ref<IControlCenter> center;
    TXMLLoadError failure;
    if (!LoadModel(root, center, failure)) {
        // The rules in force stay as they are: no window needs telling,
        // unless an earlier telling did not reach every window.
        if (ReloadSuperseded()) return;  // the newer reload follows at once
        ReportReloadFailure(failure);
        if (noticeOwed_) TellWindows();
        return;
    }
    Ref<IBOMObjectSlave> old = ReplaceModel(std::move(root), std::move(center));
    // No reader holds the old model any more: readers use it only under the
    // shared lock, which the replacement waited for.
    try {
        if (old) old->Disconnect();
    } catch (...) {
    }
    old = nullptr;
    TellWindows();
}

void TCCApp::ReportReloadFailure(const TXMLLoadError& failure) {
    {
        SrwExclusive lock(reportLock_);
        reloadFailure_ = failure;
        reportPending_ = true;
    }
    if (HWND window = HandlerWindow()) ::PostMessageA(window, kReloadFailedMessage, 0, 0);
}

void TCCApp::ShowReloadFailure() {
    TXMLLoadError failure;
    {
        SrwExclusive lock(reportLock_);
        if (!reportPending_) return;
        reportPending_ = false;
        failure = reloadFailure_;
    }
    const std::string file = AppPath + SettingsFileName;
    const std::string kept = GetMLString("AppCC_RulesKept", "The rules loaded before stay in force.");
    if (trayShown_) {
        // The balloon holds 255 bytes: the reason is cut to what the file
        // and the line and position leave of them.
        TXMLLoadError shorter = failure;
        shorter.reason.clear();
        const size_t fixed = ConfigLoadFailure(file, shorter).size();
        const size_t room = fixed < kBalloonTextBytes ? kBalloonTextBytes - fixed : 0;
        shorter.reason = failure.reason.size() <= room ? failure.reason
                         : room > 3                    ? TrayText(failure.reason, room - 3) + "..."
                                                       : std::string();
        if (TaskBarBalloon(HandlerWindow(), 0, kept, ConfigLoadFailure(file, shorter))) return;
    }
    // No icon to say it on: a message box, one at a time; a failure while
    // it is up is not said again.
    if (reportBoxShown_) return;
    reportBoxShown_ = true;
    ::MessageBoxA(nullptr, (ConfigLoadFailure(file, failure) + "\n\n" + kept).c_str(), Title().c_str(),
                  MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
    reportBoxShown_ = false;
}

void TCCApp::ReloadSettings() {
    if (HWND window = HandlerWindow()) ::PostMessageA(window, kReloadSettingsMessage, 0, 0);
}

void TCCApp::Close() {
    if (registered_) instance_.MarkEnding();
    if (HWND window = HandlerWindow()) ::PostMessageA(window, WM_CLOSE, 0, 0);
}

void TCCApp::RunConfigBuilder() {
    ::ShellExecuteA(HandlerWindow(), nullptr, (AppPath + "OmbrelConfig.exe").c_str(), nullptr,
                    AppPath.c_str(), SW_SHOW);
}

void TCCApp::ShowHelp() {
    ::ShellExecuteA(HandlerWindow(), nullptr, (AppPath + "Ombrel.chm").c_str(), nullptr, AppPath.c_str(),
                    SW_SHOW);
}

void TCCApp::RemoveHook() {
    // From here on no window gets a rule, and the hook library sees the hook
    // withdrawn before any window hears of it: a window that opens while the
    // windows are told, or an answer still on its way, extends nothing that
    // would outlive the command center.
    stopping_ = true;
    hookView_.reset();
    hookBlock_.reset();
    if (hook_) {
        // Extended windows detach on their own threads while the library is
        // still loaded; busy and hung windows are waited for together, and
        // for a bounded time only.
        TellWindowsAndWait(WM_CONFIG_CHANGED, kUnhookNotifyBoundMs);
        hook_.reset();
    }
    // Wakes every thread, so that each lets go of the library at once.
    ::SendNotifyMessageA(HWND_BROADCAST, WM_NULL, 0, 0);
    hookLibrary_.reset();
}

void TCCApp::StopThread() {
    // The worker first: it hands reloads to the reload thread.
    if (TControlCenterThread* worker = std::exchange(worker_, nullptr)) {
        try {
            TThread::Free(worker);
        } catch (...) {
        }
    }
    if (TReloadThread* reloader = reloader_) {
        try {
            reloader->Stop();
            TThread::Free(reloader);
        } catch (...) {
        }
        reloader_ = nullptr;
    }
}

void TCCApp::ReleaseModel() {
    try {
        SrwExclusive lock(modelLock_);
        controlCenter_ = nullptr;
        if (root_) root_->Disconnect();
        root_ = nullptr;
    } catch (...) {
    }
}

void TCCApp::DestroyHandlerWindow() {
    RemoveTrayIcon();  // before its window goes, when still shown
    if (HWND window = handlerWindow_.exchange(nullptr)) ::DestroyWindow(window);
    if (classRegistered_) {
        classRegistered_ = false;
        ::UnregisterClassA(kHandlerWindowClass, ::GetModuleHandleA(nullptr));
    }
}

LRESULT TCCApp::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        trayShown_ = false;
        ShowTrayIcon();
    } else if (message == WM_TRAY_CALLBACK && wParam == 0) {
        if (lParam == WM_LBUTTONDOWN) {
            ::SetTimer(window, kMenuTimer, ::GetDoubleClickTime(), nullptr);
        } else if (lParam == WM_RBUTTONDOWN) {
            ::KillTimer(window, kMenuTimer);
            ShowTrayMenu();
        } else if (lParam == WM_LBUTTONDBLCLK) {
            ::KillTimer(window, kMenuTimer);
            RunConfigBuilder();
        }
    }
    switch (message) {
        case WM_DESTROY:
            // The icon goes while its window still exists: the shell knows
            // an icon by its window.
            ::KillTimer(window, kAnimationTimer);
            ::KillTimer(window, kMenuTimer);
            RemoveTrayIcon();
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            handlerWindow_.store(nullptr);
            break;
        case WM_ENDSESSION:
            // Only a log-off that really happens ends the program; a
            // cancelled one leaves it running.
            if (wParam) {
                Finalize();
                ::ExitProcess(0);
            }
            return 0;
        case WM_COMMAND:
            if (wParam == kMenuClose) Close();
            if (wParam == kMenuConfig) RunConfigBuilder();
            if (wParam == kMenuHelp) ShowHelp();
            break;
        case WM_TIMER:
            if (wParam == kMenuTimer) {
                ::KillTimer(window, kMenuTimer);
                ShowTrayMenu();
                return 0;
            }
            if (++frame_ > TrayAnimationFrames) {
                frame_ = 0;
                ::KillTimer(window, kAnimationTimer);
            }
            UpdateTrayIcon();
            break;
        case kWindowEnhancedMessage:
            ::KillTimer(window, kAnimationTimer);
            frame_ = 1;
            UpdateTrayIcon();
            ::SetTimer(window, kAnimationTimer, 250, nullptr);
            return 0;
        case kReloadFailedMessage:
            ShowReloadFailure();
            return 0;
        case kReloadSettingsMessage:
            LoadSettings();
            if (trayEnabled_)
                ShowTrayIcon();
            else
                RemoveTrayIcon();
            return 0;
        default:
            break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace omb
