#include "extender/application.h"

#include <algorithm>
#include <atomic>

#include "extender/actions.h"
#include "extender/hook_entry.h"
#include "extender/lifetime.h"
#include "extender/module.h"
#include "extender/trace.h"
#include "extender/window_extender.h"
#include "foundation/channel.h"
#include "foundation/crc32.h"
#include "foundation/handles.h"
#include "foundation/shared.h"

namespace omb::ea {

namespace {

constexpr int32_t kRuleCommand = 1;
constexpr int32_t kRuleAnswer = 1;
constexpr int kWorkerAttempts = 5;
constexpr DWORD kSynchronousTimeout = 100;

std::atomic<bool> g_synchronous{false};

// Whether the command center's walk of the top-level windows reaches the
// window: not a child, and not message-only.
bool IsTopLevelWindow(HWND window) {
    return ::GetAncestor(window, GA_PARENT) == ::GetDesktopWindow();
}

// The application object. A plain pointer with a lock of its own: nothing of
// it may run at process exit (the unit's finalisation does the work).
SRWLOCK g_appLock = SRWLOCK_INIT;
TEmbededApplication* g_app = nullptr;

// The running workers.
SRWLOCK g_workersLock = SRWLOCK_INIT;
std::vector<TEAThread*>* g_workers = nullptr;

}  // namespace

// ---- the application object ---------------------------------------------------

TEmbededApplication::TEmbededApplication() : extenders_(new TWindowExtenders()) {
    name_ = "EmbededApplication";
}

TEmbededApplication::~TEmbededApplication() {
    try {
        std::vector<Ref<IWindowExtender>> all;
        {
            SrwExclusive lock(lock_);
            all = AllExtendersLocked();
            if (extenders_) extenders_->Clear();
            handled_.clear();
        }
        all.clear();  // the extenders go outside the lock
    } catch (...) {
    }
}

HRESULT TEmbededApplication::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IEmbededApplication>(this, iid, object) || Offer<IWindowExtenderOwner>(this, iid, object) ||
        Offer<IOwner>(this, iid, object))
        return S_OK;
    return TAbstractItem::QueryImpl(iid, object);
}

TEmbededApplication::Entry* TEmbededApplication::FindEntry(HWND window) {
    for (Entry& e : handled_)
        if (e.window == window) return &e;
    return nullptr;
}

bool TEmbededApplication::RemoveEntry(HWND window) {
    auto it = std::find_if(handled_.begin(), handled_.end(),
                           [window](const Entry& e) { return e.window == window; });
    if (it == handled_.end()) return false;
    handled_.erase(it);
    return true;
}

bool TEmbededApplication::IsCurrentRequest(HWND window, uint32_t request) {
    const Entry* e = FindEntry(window);
    return e && e->request == request;
}

uint32_t TEmbededApplication::NextRequest() {
    if (++lastRequest_ == 0) ++lastRequest_;
    return lastRequest_;
}

Ref<IWindowExtender> TEmbededApplication::FindExtenderLocked(HWND window) {
    if (!extenders_ || !window) return nullptr;
    const int count = extenders_->GetCount();
    for (int i = 0; i < count; ++i) {
        Ref<IWindowExtender> extender = extenders_->Get(Variant(i));
        if (extender && extender->GetWindow() == window) return extender;
    }
    return nullptr;
}

bool TEmbededApplication::ContainsLocked(IWindowExtender* extender) {
    if (!extenders_ || !extender) return false;
    const int i = extenders_->IndexOf(extender->GetName());
    return i >= 0 && extenders_->Get(Variant(i)).get() == extender;
}

bool TEmbededApplication::RemoveExtenderLocked(IWindowExtender* extender) {
    if (!ContainsLocked(extender)) return false;
    // The caller holds a reference: the extender is not released here.
    extenders_->Remove(Variant(extenders_->IndexOf(extender->GetName())));
    return true;
}

bool TEmbededApplication::AttachingLocked(IWindowExtender* extender) const {
    return std::any_of(attaching_.begin(), attaching_.end(),
                       [extender](const Attaching& a) { return a.extender == extender; });
}

bool TEmbededApplication::TakeOutLocked(IWindowExtender* extender) {
    return RemoveExtenderLocked(extender) && !AttachingLocked(extender);
}

std::vector<Ref<IWindowExtender>> TEmbededApplication::AllExtendersLocked() {
    std::vector<Ref<IWindowExtender>> all;
    if (!extenders_) return all;
    const int count = extenders_->GetCount();
    for (int i = 0; i < count; ++i)
        if (Ref<IWindowExtender> extender = extenders_->Get(Variant(i))) all.push_back(extender);
    return all;
}

Ref<IWindowExtender> TEmbededApplication::FindExtender(HWND window) {
    try {
        SrwExclusive lock(lock_);
        return FindExtenderLocked(window);
    } catch (...) {
        return nullptr;
    }
}

void TEmbededApplication::WindowCreated(HWND window) {
    try {
        uint32_t request;
        {
            SrwExclusive lock(lock_);
            if (FindEntry(window)) return;
            request = NextRequest();
            handled_.push_back(Entry{window, request});
        }
        StartRequest(window, request);
    } catch (...) {
    }
}

void TEmbededApplication::WindowRulesRequested(HWND window) {
    try {
        uint32_t request;
        {
            SrwExclusive lock(lock_);
            Entry* entry = FindEntry(window);
            if (entry) {
                // An extender that stays (a reload answered its window with
                // the same rule) is asked about no further; one still being
                // attached is not counted: its request is voided here.
                Ref<IWindowExtender> extender = FindExtenderLocked(window);
                if (extender && !AttachingLocked(extender.get())) return;
                request = entry->request = NextRequest();
            } else {
                request = NextRequest();
                handled_.push_back(Entry{window, request});
            }
        }
        StartRequest(window, request);
    } catch (...) {
    }
}

void TEmbededApplication::StartRequest(HWND window, uint32_t request) {
    if (!g_synchronous.load()) {
        TEAThread* worker = TThread::Create<TEAThread>(true);
        if (worker->Handle()) {
            worker->SetWindow(window);
            worker->SetRequest(request);
            worker->Resume();  // from here on the worker may be gone
            return;
        }
        delete worker;  // never started
    }
    // No worker: ask at once on this thread, with the short waits.
    RequestAnswered(window, request, FetchRuleText(window, kSynchronousTimeout, 1, nullptr, nullptr));
}

void TEmbededApplication::RequestAnswered(HWND window, uint32_t request, const std::string& text) {
    try {
        if (!text.empty()) Apply(window, text, request);
        bool current = false;
        {
            SrwExclusive lock(lock_);
            if (Entry* entry = FindEntry(window)) {
                current = entry->request == request;
                if (current) entry->request = 0;
            }
        }
        // The window's new rule is there (or none answers): a raised mark its
        // former rule left and the new one did not take over goes. A voided
        // request leaves that to the one that voided it.
        if (current) SettleRaisedMark(window);
    } catch (...) {
    }
}

void TEmbededApplication::ConfigurationChanged(HWND window, bool ruleFollows, bool hookWithdrawn) {
    try {
        const bool tellOthers = hookWithdrawn && IsTopLevelWindow(window);
        std::vector<HWND> extended;
        uint32_t askAgain = 0;
        {
            SrwExclusive lock(lock_);
            if (Entry* entry = FindEntry(window)) {
                if (entry->request != 0 && !ruleFollows && !hookWithdrawn)
                    askAgain = entry->request = NextRequest();
                else
                    entry->request = 0;
            }
            if (tellOthers)
                for (const Ref<IWindowExtender>& extender : AllExtendersLocked())
                    if (!AttachingLocked(extender.get()))
                        if (const HWND other = extender->GetWindow()) extended.push_back(other);
        }
        // Each hears it on its own thread (at once when it is this one), as
        // the command center's notice would have told it.
        for (HWND other : extended)
            if (!IsTopLevelWindow(other)) ::SendNotifyMessageW(other, WM_CONFIG_CHANGED, 0, 0);
        if (askAgain != 0) StartRequest(window, askAgain);
    } catch (...) {
    }
}

bool TEmbededApplication::Wants(IItem* item) {
    try {
        Ref<IWindowExtender> extender = QueryAs<IWindowExtender>(item);
        if (!extender) return false;
        {
            SrwExclusive lock(lock_);
            if (!ContainsLocked(extender.get())) return false;
            for (const Attaching& a : attaching_)
                if (a.extender == extender.get() && a.request != 0 && !IsCurrentRequest(a.window, a.request))
                    return false;
        }
        return !LibraryStopping() && !HookWithdrawn();
    } catch (...) {
        return false;
    }
}

void TEmbededApplication::ApplyRuleText(HWND window, const std::string& text) {
    Apply(window, text, 0);
}

void TEmbededApplication::Apply(HWND window, const std::string& text, uint32_t request) {
    try {
        if (!::IsWindow(window) || !IsOwnProcessWindow(window)) {
            SrwExclusive lock(lock_);
            if (request == 0 || IsCurrentRequest(window, request)) RemoveEntry(window);
            return;
        }
        if (request != 0) {
            // A worker's answer that comes after the library started to go,
            // or after the command center withdrew its hook, extends nothing:
            // no window would ever be let go again.
            if (LibraryStopping() || HookWithdrawn()) return;
            SrwExclusive lock(lock_);
            if (!IsCurrentRequest(window, request)) return;  // the window left the list meanwhile
        }
        Ref<IWindowExtender> extender = CreateItem(text, kWindowExtenderType).As<IWindowExtender>();
        if (!extender) return;
        {
            SrwExclusive lock(lock_);
            if (request != 0 && !IsCurrentRequest(window, request)) return;
            if (FindExtenderLocked(window)) return;  // the window has one already
            // An extender the collection refuses (its name is present) is
            // not attached: nothing could ever take it off again.
            const std::string name = extender->GetName();
            if (extenders_->IndexOf(name) >= 0) return;
            extenders_->Add(extender.get());
            if (!ContainsLocked(extender.get())) return;
            attaching_.push_back(Attaching{extender.get(), window, request});
        }
        extender->SetRuleSum(Crc32(text));
        try {
            extender->SetOwner(static_cast<IWindowExtenderOwner*>(this));
            extender->Start();
            extender->AttachWindow(window);
        } catch (...) {
        }
        const bool windowGone = !::IsWindow(window);
        // The hook was withdrawn while the extender was being attached: the
        // command center's last notice may have passed the window already.
        const bool withdrawn = request != 0 && (LibraryStopping() || HookWithdrawn());
        bool listed;
        {
            SrwExclusive lock(lock_);
            attaching_.erase(
                std::find_if(attaching_.begin(), attaching_.end(),
                             [&extender](const Attaching& a) { return a.extender == extender.get(); }));
            listed = ContainsLocked(extender.get());
            // The window went before the extender knew it (its destruction
            // found no extender of that window yet), a notice or a fresh
            // request voided its request, or the hook went: take it out here.
            if (listed && (windowGone || withdrawn || (request != 0 && !IsCurrentRequest(window, request)))) {
                RemoveExtenderLocked(extender.get());
                listed = false;
            }
        }
        // Taken out while it was being attached (window destroyed,
        // configuration changed): whoever took it out left its leaving to
        // this thread, so that attaching and leaving never overlap.
        if (!listed) Leave(extender.get());
    } catch (...) {
    }
}

void TEmbededApplication::Leave(IWindowExtender* extender) {
    try {
        extender->Stop();
        extender->ClearOwner();
    } catch (...) {
    }
}

void TEmbededApplication::WindowDestroyed(HWND window) {
    try {
        Ref<IWindowExtender> extender;
        {
            SrwExclusive lock(lock_);
            TakeRaisedMark(window);  // forgotten with the window
            if (!RemoveEntry(window)) return;
            extender = FindExtenderLocked(window);
            if (extender && !TakeOutLocked(extender.get())) extender = nullptr;
        }
        if (!extender) return;
        extender->DetachWindow();
        extender->Stop();
        extender->ClearOwner();
    } catch (...) {
    }
}

void TEmbededApplication::NotifyOwner(IItem* item) {
    try {
        Ref<IWindowExtender> extender = QueryAs<IWindowExtender>(item);
        if (!extender) return;
        const HWND window = extender->GetWindow();
        {
            SrwExclusive lock(lock_);
            if (window) RemoveEntry(window);
            if (!TakeOutLocked(extender.get())) return;
        }
        Leave(extender.get());
    } catch (...) {
    }
}

void TEmbededApplication::RemoveWindowExtender(HWND window, IWindowExtender* extender) {
    try {
        Ref<IWindowExtender> held(extender);
        {
            SrwExclusive lock(lock_);
            RemoveEntry(window);
            if (held && !TakeOutLocked(held.get())) return;
        }
        if (held) Leave(held.get());
    } catch (...) {
    }
}

void TEmbededApplication::DetachAll() {
    try {
        std::vector<Ref<IWindowExtender>> all;
        {
            SrwExclusive lock(lock_);
            all = AllExtendersLocked();
            // One still being attached leaves from its attaching thread.
            for (auto it = all.begin(); it != all.end();)
                it = AttachingLocked(it->get()) && RemoveExtenderLocked(it->get()) ? all.erase(it) : it + 1;
        }
        for (const Ref<IWindowExtender>& extender : all) Leave(extender.get());
    } catch (...) {
    }
}

bool TEmbededApplication::IsHandled(HWND window) {
    SrwExclusive lock(lock_);
    return FindEntry(window) != nullptr;
}

bool TEmbededApplication::RequestInFlight(HWND window) {
    SrwExclusive lock(lock_);
    const Entry* e = FindEntry(window);
    return e && e->request != 0;
}

int TEmbededApplication::HandledCount() {
    SrwExclusive lock(lock_);
    return int(handled_.size());
}

int TEmbededApplication::ExtenderCount() {
    SrwExclusive lock(lock_);
    return extenders_ ? extenders_->GetCount() : 0;
}

// ---- the process-wide object ------------------------------------------------

Ref<TEmbededApplication> ApplicationObject() {
    SrwExclusive lock(g_appLock);
    return Ref<TEmbededApplication>(g_app);
}

Ref<IEmbededApplication> Application() {
    SrwExclusive lock(g_appLock);
    return Ref<IEmbededApplication>(g_app);
}

void CreateApplication() {
    auto* app = new TEmbededApplication();
    app->AddRef();
    SrwExclusive lock(g_appLock);
    if (g_app)
        app->Release();
    else
        g_app = app;
}

void FreeApplication() {
    TEmbededApplication* app;
    {
        SrwExclusive lock(g_appLock);
        app = std::exchange(g_app, nullptr);
    }
    if (!app) return;
    try {
        app->DetachAll();
    } catch (...) {
        TraceCurrentError("uEmbededApplication.Finalization");
    }
    try {
        app->Release();
    } catch (...) {
        TraceCurrentError("uEmbededApplication.Finalization");
    }
}

void SetSynchronousRequests(bool value) {
    g_synchronous = value;
}

// ---- requests ----------------------------------------------------------------

std::string FetchRuleText(HWND window, DWORD timeout, int attempts, bool (*mayGoOn)(void*), void* context) {
    std::string text;
    TProcessesCommunication channel(kChannelName);
    channel.SetTimeout(timeout);
    const uint32_t data = HandleToData(window);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (mayGoOn && !mayGoOn(context)) break;
        int32_t code = 0;
        std::string reply;
        const int result = channel.SendCommand(kRuleCommand, &data, sizeof(data), code, reply);
        if (result == TProcessesCommunication::Done) {
            if (code == kRuleAnswer) text = std::move(reply);
            break;
        }
        if (result != TProcessesCommunication::TimedOut) break;
    }
    return text;
}

namespace {
bool WorkerMayGoOn(void* context) {
    auto* worker = static_cast<TEAThread*>(context);
    return !worker->Terminated() && !LibraryStopping() && !HookWithdrawn();
}
}  // namespace

TEAThread::TEAThread() {
    SetFreeOnTerminate(true);
    if (Handle()) SetExitModule(ReferenceOwnModule());
}

TEAThread::~TEAThread() {
    try {
        SrwExclusive lock(g_workersLock);
        if (g_workers)
            g_workers->erase(std::remove(g_workers->begin(), g_workers->end(), this), g_workers->end());
    } catch (...) {
    }
}

void TEAThread::Execute() {
    try {
        {
            SrwExclusive lock(g_workersLock);
            if (!g_workers) g_workers = new std::vector<TEAThread*>();
            g_workers->push_back(this);
        }
        const std::string text = FetchRuleText(window_, TProcessesCommunication::kDefaultTimeout,
                                               kWorkerAttempts, &WorkerMayGoOn, this);
        if (LibraryStopping() || HookWithdrawn()) return;
        if (Ref<TEmbededApplication> app = ApplicationObject()) app->RequestAnswered(window_, request_, text);
    } catch (...) {
    }
}

int RunningWorkers() {
    SrwExclusive lock(g_workersLock);
    return g_workers ? int(g_workers->size()) : 0;
}

void FreeWorkerList() {
    std::vector<TEAThread*>* list = nullptr;
    {
        SrwExclusive lock(g_workersLock);
        if (g_workers && g_workers->empty()) list = std::exchange(g_workers, nullptr);
    }
    delete list;
}

}  // namespace omb::ea
