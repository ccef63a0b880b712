// The per-process application of the hook library: the list of the windows
// the process has asked about, their window extenders, and the workers that
// ask the command center for a new window's rule.
//
// Threads: the hook procedure calls in on every thread that owns windows;
// each request runs on a worker of its own, which builds and attaches the
// extender. The list of handled windows and the extenders are guarded by one
// lock, held only while they are read or changed: never while a request is
// made, a message is sent or an extender is called beyond reading its name
// and window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "extender/ea_interfaces.h"
#include "extender/items.h"
#include "extender/thread.h"

namespace omb::ea {

// What the hook procedure and the workers see of the application.
struct IEmbededApplication : IUnknown {
    // A new window (WM_CREATE): asked about once while it is listed.
    virtual void WindowCreated(HWND window) = 0;
    // The window is being destroyed: it leaves the list, and its extender
    // is detached before the window's own procedure sees WM_DESTROY.
    virtual void WindowDestroyed(HWND window) = 0;
    // Takes every extender off its window; they stay in the collection.
    virtual void DetachAll() = 0;
    // Builds and attaches the window extender of a rule command text.
    virtual void ApplyRuleText(HWND window, const std::string& text) = 0;
    // The command center asks the window to fetch its rule (WM_APPLY_RULES):
    // a window not listed is asked about; a listed one is asked about again
    // unless it keeps its extender, with a fresh request that voids one
    // still on its way (that one would bring the rule of before).
    virtual void WindowRulesRequested(HWND window) = 0;
    // The window heard that the configuration changed (WM_CONFIG_CHANGED):
    // a request still on its way for it applies nothing (its answer may be
    // of the rules of before). When no rule follows, the window is asked
    // about afresh in its place (the command center may have seen it before
    // it was complete), unless the hook is withdrawn. Once the hook is
    // withdrawn, a top-level window hearing it also has the extenders told
    // whose windows the command center's walk of the top-level windows does
    // not reach (child and message-only windows).
    virtual void ConfigurationChanged(HWND window, bool ruleFollows, bool hookWithdrawn) = 0;
};

class TEmbededApplication : public TAbstractItem, public IWindowExtenderOwner, public IEmbededApplication {
public:
    TEmbededApplication();
    ~TEmbededApplication() override;

    OMB_IUNKNOWN
    OMB_EA_IITEM

    // IEmbededApplication
    void WindowCreated(HWND window) override;
    void WindowDestroyed(HWND window) override;
    void DetachAll() override;
    void ApplyRuleText(HWND window, const std::string& text) override;
    void WindowRulesRequested(HWND window) override;
    void ConfigurationChanged(HWND window, bool ruleFollows, bool hookWithdrawn) override;

    // IWindowExtenderOwner: an extender leaves on its own (configuration
    // changed, or WM_DESTROY seen by the extender itself).
    void NotifyOwner(IItem* item) override;
    bool Wants(IItem* extender) override;
    // Forgets the window and the extender (nothing in the library calls it).
    void RemoveWindowExtender(HWND window, IWindowExtender* extender);

    // The extender attached to the window, or none.
    Ref<IWindowExtender> FindExtender(HWND window);

    // A worker's answer for the request: applies a non-empty text, then
    // marks the request done. A request that is no longer the window's (the
    // window left the list meanwhile) changes nothing.
    void RequestAnswered(HWND window, uint32_t request, const std::string& text);

    // State, for tests.
    bool IsHandled(HWND window);
    bool RequestInFlight(HWND window);
    int HandledCount();
    int ExtenderCount();

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    struct Entry {
        HWND window;
        uint32_t request;  // the request on its way; 0 when none
    };

    // Under the lock:
    Entry* FindEntry(HWND window);
    bool RemoveEntry(HWND window);
    bool IsCurrentRequest(HWND window, uint32_t request);
    Ref<IWindowExtender> FindExtenderLocked(HWND window);
    bool ContainsLocked(IWindowExtender* extender);
    bool RemoveExtenderLocked(IWindowExtender* extender);
    // Takes the extender out of the list; true when the caller is to see it
    // leave its window, false when it is still being attached (its attaching
    // thread sees it gone and does so when the attach is over).
    bool TakeOutLocked(IWindowExtender* extender);
    bool AttachingLocked(IWindowExtender* extender) const;
    std::vector<Ref<IWindowExtender>> AllExtendersLocked();
    uint32_t NextRequest();

    void StartRequest(HWND window, uint32_t request);
    void Apply(HWND window, const std::string& text, uint32_t request);
    void Leave(IWindowExtender* extender);

    SRWLOCK lock_ = SRWLOCK_INIT;  // guards the fields below
    std::vector<Entry> handled_;
    Ref<IWindowExtenders> extenders_;
    struct Attaching {
        IWindowExtender* extender;
        HWND window;
        uint32_t request;  // 0: applied without a request
    };
    std::vector<Attaching> attaching_;  // listed, attach not over yet
    uint32_t lastRequest_ = 0;
};

// The process's application object: empty before CreateApplication and after
// FreeApplication. The reference is read under a lock of its own.
Ref<IEmbededApplication> Application();
Ref<TEmbededApplication> ApplicationObject();
void CreateApplication();
// Detaches every extender and releases the application.
void FreeApplication();

// Asks the command center for a window's rule (command 1 with the 4-byte
// window handle): up to `attempts` tries while the channel times out, each
// only while `mayGoOn` answers true. The rule text, or empty.
std::string FetchRuleText(HWND window, DWORD timeout, int attempts, bool (*mayGoOn)(void*), void* context);

// The 32-bit form of a window handle that requests carry (handles are
// significant in their low 32 bits), and back with sign extension.
inline uint32_t HandleToData(HWND window) {
    return uint32_t(reinterpret_cast<uintptr_t>(window));
}
inline HWND DataToHandle(uint32_t data) {
    return reinterpret_cast<HWND>(intptr_t(int32_t(data)));
}

// The worker that fetches one window's rule. Always created suspended and
// freeing itself at its end. It holds a reference on the library's module
// for its whole life and ends with FreeLibraryAndExitThread, so unloading
// the library never has to wait for it or end it.
class TEAThread : public TThread {
public:
    TEAThread();
    ~TEAThread() override;
    void SetWindow(HWND window) { window_ = window; }
    void SetRequest(uint32_t request) { request_ = request; }
    HWND Window() const { return window_; }

protected:
    void Execute() override;

private:
    HWND window_ = nullptr;
    uint32_t request_ = 0;
};

// Workers started and not yet destroyed.
int RunningWorkers();
// Frees the list of running workers when it is empty (library unload: every
// worker holds a reference on the module, so none runs by then).
void FreeWorkerList();

// Tests: make every request on the calling thread, as when no worker can be
// started.
void SetSynchronousRequests(bool value);

}  // namespace omb::ea

OMB_DECLARE_IID(omb::ea::IEmbededApplication, "{30DDE8EE-6C22-46AD-AD7E-64050503F3C2}")
