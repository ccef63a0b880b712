#include "extender/library.h"

#include <atomic>

#include "extender/application.h"
#include "extender/close_query_action.h"
#include "extender/hook_entry.h"
#include "extender/lifetime.h"
#include "extender/message_triggers.h"
#include "extender/module.h"
#include "extender/operations.h"
#include "extender/save_size_pos_action.h"
#include "extender/timer.h"
#include "extender/window_extender.h"
#include "foundation/shared.h"

namespace omb::ea {

namespace {
INIT_ONCE g_readyOnce = INIT_ONCE_STATIC_INIT;
std::atomic<bool> g_ready{false};

BOOL CALLBACK MakeReady(PINIT_ONCE, PVOID, PVOID*) {
    try {
        RegisterSharedMessages();
    } catch (...) {
    }
    g_ready.store(true, std::memory_order_release);
    return TRUE;
}
}  // namespace

void RegisterExtenderClasses() {
    RegisterItemClass<TCloseWindowAction>("CLOSEWINDOWACTION");
    RegisterItemClass<TRunModeAction>("RUNMODEACTION");
    RegisterItemClass<TSaveSizePosAction>("SAVESIZEPOSACTION");
    RegisterItemClass<TStayOnTopAction>("STAYONTOPACTION");
    RegisterItemClass<TCloseQueryAction>("CLOSEQUERYACTION");
    RegisterItemClass<TMessageActionActivator>("MESSAGEAGENT");
    RegisterItemClass<TWMCreateMessageTrigger>("WMCREATEMESSAGETRIGGER");
    RegisterItemClass<TWMDestroyMessageTrigger>("WMDESTROYMESSAGETRIGGER");
}

bool LibraryReady() {
    if (g_ready.load(std::memory_order_acquire)) return true;
    ::InitOnceExecuteOnce(&g_readyOnce, &MakeReady, nullptr, nullptr);
    return g_ready.load(std::memory_order_acquire);
}

void LibraryStartup(HINSTANCE instance) {
    try {
        SetLibraryStopping(false);
        if (instance) SetLibraryInstance(instance);
        CreateItemClasses();
        RegisterOperationClasses();
        RegisterWindowExtenderClasses();
        CreateApplication();
        RegisterExtenderClasses();
        ApplicationKind = 0;
        ReadHookHandle();
    } catch (...) {
    }
}

void LibraryShutdown(bool processExit) {
    if (processExit) return;
    SetLibraryStopping(true);
    try {
        FreeApplication();
        FreeWorkerList();
        FreeItemClasses();
        FreeTimerWindowClass();
    } catch (...) {
    }
}

}  // namespace omb::ea
