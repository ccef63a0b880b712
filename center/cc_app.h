// The command center's application object: start-up chain, hidden handler
// window with the tray icon and its menu, the configuration, the worker that
// serves the command channel, and the system-wide hook.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "bom/interfaces.h"
#include "center/control_center_thread.h"
#include "center/reload_thread.h"
#include "foundation/handles.h"
#include "foundation/single_instance.h"
#include "foundation/xml_storage.h"
#include "model/root.h"

namespace omb {

constexpr int TrayAnimationFrames = 3;
// Not 0: the hook covers every thread of the desktop; 0: only the installer's.
extern uint8_t HookAllThreads;
constexpr const char* kHandlerWindowClass = "OMB_CommandCenterHandlerWindow";

class TCCApp final : public IRuleSource {
public:
    TCCApp();
    ~TCCApp();
    TCCApp(const TCCApp&) = delete;
    TCCApp& operator=(const TCCApp&) = delete;

    // The start-up chain; on false it has already finalised, and said why in
    // a message box when the configuration or the hook library was the cause.
    // A command center that is still stopping is waited for, a bounded time.
    bool Initialize();
    // Resumes the worker, tells the windows, runs the message loop.
    void Run();
    // The shutdown sequence; each step acts only on what is held, so it may
    // run any number of times.
    void Finalize();

    bool LoadSettings();
    bool CreateHandlerWindow();
    // On false, the message that says why (StartFailure).
    bool LoadConfiguration();
    bool StartThread();
    // On false, the message that says why (StartFailure).
    bool InstallHook();
    bool ShowTrayIcon();
    void RemoveTrayIcon();
    void UpdateTrayIcon();
    void ShowTrayMenu();
    // Tells every window that the configuration changed, then asks each
    // top-level window for which a rule now applies to fetch it, waiting at
    // most a short while for each. Runs on the reload thread (or wherever
    // no request waits for it); stops early when a newer reload waits.
    void NotifyWindows();
    // NotifyWindows, on the reload thread, keeping account of whether every
    // window has heard of the configuration in force.
    void TellWindows();
    bool WindowHasCommand(HWND window);

    // Called on the worker thread. The tray and its timer belong to the main
    // thread: what touches them is posted to the handler window; a reload is
    // the reload thread's.
    void WindowEnhanced();
    void RequestReload();
    void ReloadSettings();
    void Close();

    // On the reload thread: loads the configuration aside while the old one
    // keeps answering, puts it in its place in one step, frees the old one
    // and tells the windows. A file that another program holds is waited
    // for a short while; a file that does not load leaves the rules in force
    // as they are, and the windows untold, and it is said once (a balloon
    // on the tray icon, a message box when no icon is shown).
    void ReloadConfiguration();

    void RunConfigBuilder();
    void ShowHelp();
    void RemoveHook();
    void StopThread();
    void ReleaseModel();
    void DestroyHandlerWindow();

    // The rule command text for a window; empty for the command center's own
    // windows, while no configuration is loaded and once the stop has begun.
    // Never overlaps a reload.
    std::string FindWindowCommand(HWND window) override;

    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND HandlerWindow() const { return handlerWindow_.load(); }
    // Why the start-up chain stopped, as it is said; empty when it did not
    // stop or stopped without a word.
    const std::string& StartFailure() const { return startFailure_; }
    bool TrayIconShown() const { return trayShown_; }
    bool TrayIconEnabled() const { return trayEnabled_; }
    int AnimationFrame() const { return frame_; }

private:
    std::string Title() const;
    // Loads the settings file into a new model of its own; false (and no
    // model, and why in `failure`) when it does not load. A file that
    // another program holds without sharing is tried again for a short,
    // bounded time (less when a newer reload waits).
    bool LoadModel(Ref<IBOMObjectSlave>& root, Ref<IControlCenter>& center, TXMLLoadError& failure);
    bool LoadModelOnce(Ref<IBOMObjectSlave>& root, Ref<IControlCenter>& center, TXMLLoadError& failure);
    // On the reload thread, whether a newer reload waits or the thread is to end.
    bool ReloadSuperseded() const;
    // Hands a failed reload to the main thread, which says it (ShowReloadFailure).
    void ReportReloadFailure(const TXMLLoadError& failure);
    void ShowReloadFailure();
    // Puts a model in place (or none) and answers the one it replaced.
    Ref<IBOMObjectSlave> ReplaceModel(Ref<IBOMObjectSlave> root, Ref<IControlCenter> center);

    std::atomic<HWND> handlerWindow_{nullptr};
    bool classRegistered_ = false;
    bool trayEnabled_ = true;
    bool trayShown_ = false;
    int frame_ = 0;
    UINT taskbarCreated_ = 0;
    bool comInitialized_ = false;
    TSingleAppInstance instance_;
    bool registered_ = false;
    std::string startFailure_;

    // The failed reload still to be said, handed from the reload thread to
    // the main thread.
    SRWLOCK reportLock_ = SRWLOCK_INIT;
    bool reportPending_ = false;
    TXMLLoadError reloadFailure_;
    bool reportBoxShown_ = false;  // main thread
    // Whether some window may not have heard of the configuration in force:
    // a telling cut short, or none yet (reload thread).
    bool noticeOwed_ = true;

    // The configuration: replaced under the exclusive lock, read under the
    // shared one, so a reload never pulls the model from under a reader.
    SRWLOCK modelLock_ = SRWLOCK_INIT;
    Ref<IBOMObjectSlave> root_;
    Ref<IControlCenter> controlCenter_;

    TControlCenterThread* worker_ = nullptr;
    TReloadThread* reloader_ = nullptr;
    UniqueModule hookLibrary_;
    UniqueHook hook_;
    std::atomic<bool> stopping_{false};  // the stop has begun: no window gets a rule
    UniqueHandle hookBlock_;
    UniqueView hookView_;
};

// The one application object of the program; nullptr outside its life.
extern TCCApp* CCApp;

// Registry key of the command center's settings, under HKEY_CURRENT_USER.
constexpr const char* kCenterSettingsKey = "SOFTWARE\\Quennet\\Ombrel\\Command Center";

}  // namespace omb
