#include "extender/hook_entry.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "extender/actions.h"
#include "extender/application.h"
#include "extender/library.h"
#include "extender/lifetime.h"
#include "extender/module.h"
#include "extender/timer.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"

namespace omb::ea {

const char* const kExcludedWindowClasses =
    ";OleMainThreadWndClass;"
    ";OleMainThreadWndClass 0x######## ;"
    ";OleDdeWndClass;"
    ";OleDdeWndClass 0x######## ;"
    ";OleObjectRpcWindow;"
    ";CicMarshalWndClass;"
    ";DdeCommonWindowClass;"
    ";DDEMLMom;"
    ";DDEMLEvent;"
    ";CLIPBRDWNDCLASS;"
    ";CLIPBRDWNDCLASS 0x######## ;"
    ";ThorConnWndClass;"
    ";CSpThreadTask Window;"
    ";SapiTipWorkerClassV1.0;"
    ";CSpNotify Notify Window;"
    ";WorkerW;"
    ";URL Moniker Notification Window;"
    ";IMMIF UI;"
    ";IME;"
    ";Internet Explorer_Hidden;"
    ";Ghost;"
    ";TPUtilWindow;"
    ";#43;"
    ";RnaEngClass;"
    ";TapisrvWndClass;"
    ";TapiDllWinClass;"
    ";Tsp3216LWindowClass;"
    ";WAN_Class;"
    ";UmdmSP Class;"
    ";SysFader;"
    ";SysShadow;"
    ";SysDragImage;"
    ";OfficeTooltip;"
    ";tooltips_class32;";

bool IsExcludedWindowClass(const std::string& className) {
    const std::string entry = ";" + className + ";";
    return std::strstr(kExcludedWindowClasses, entry.c_str()) != nullptr;
}

bool IsNewWindowToHandle(LONG style, LONG exStyle) {
    if (style != 0 && (style & WS_CHILD) == 0) return true;
    return exStyle != 0 && (exStyle & WS_EX_TOOLWINDOW) != 0;
}

namespace {

std::atomic<HHOOK> g_hook{nullptr};
std::atomic<bool> g_hookRead{false};  // a non-zero handle was read at start

// Handling a new window: skip the excluded classes (and the library's own
// hidden timer windows), then ask the application.
void HandleNewWindow(HWND window, bool rulesRequested) {
    const std::string className = GetWindowClassName(window);
    if (IsExcludedWindowClass(className) || className == kTimerWindowClass) return;
    Ref<IEmbededApplication> app = Application();
    if (!app) return;
    if (rulesRequested)
        app->WindowRulesRequested(window);
    else
        app->WindowCreated(window);
}

void HandleHookMessage(HWND window, UINT message, WPARAM wParam) {
    if (message == WM_DESTROY) {
        if (Ref<IEmbededApplication> app = Application()) app->WindowDestroyed(window);
        return;
    }
    // The hook may run for windows of other processes (a hook of one bitness
    // serving threads of the other runs in the installer's process): only
    // this process's windows are ours to extend.
    if (!IsOwnProcessWindow(window)) return;
    if (message == WM_CONFIG_CHANGED) {
        // No rule follows for the window (or none can, the hook is gone): a
        // raised mark its former rule left at an earlier reload is settled now.
        const bool withdrawn = HookWithdrawn();
        const bool ruleFollows = wParam == kConfigChangedRuleFollows;
        if (!ruleFollows || withdrawn) SettleRaisedMark(window);
        if (Ref<IEmbededApplication> app = Application())
            app->ConfigurationChanged(window, ruleFollows, withdrawn);
        return;
    }
    if (message == WM_CREATE) {
        const LONG style = ::GetWindowLongA(window, GWL_STYLE);
        const LONG exStyle = ::GetWindowLongA(window, GWL_EXSTYLE);
        if (IsNewWindowToHandle(style, exStyle)) HandleNewWindow(window, false);
    } else {
        HandleNewWindow(window, true);
    }
}

}  // namespace

HHOOK HookHandle() {
    return g_hook.load(std::memory_order_relaxed);
}

void SetHookHandle(HHOOK hook) {
    g_hook = hook;
}

namespace {
// The handle in the block, when the block is there and holds one. Only
// opened, never made: a block made here while the command center stops
// would tell every other process that the hook is still there.
bool ReadBlock(HHOOK& hook) {
    UniqueHandle block(::OpenFileMappingA(FILE_MAP_READ, FALSE, kHookHandleBlockName));
    if (!block) return false;
    UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_READ, 0, 0, 4));
    if (!view) return false;
    int32_t value = 0;
    std::memcpy(&value, view.get(), sizeof(value));
    // Handles are significant in their low 32 bits: widen with the sign.
    hook = reinterpret_cast<HHOOK>(intptr_t(value));
    return value != 0;
}
}  // namespace

void ReadHookHandle() {
    g_hook = nullptr;
    g_hookRead = false;
    HHOOK hook = nullptr;
    if (!ReadBlock(hook)) return;
    g_hook = hook;
    g_hookRead = true;
}

bool HookWithdrawn() {
    if (!g_hookRead.load()) {
        // The library came before the command center had published its
        // hook: the block, once seen, counts from then on.
        HHOOK hook = nullptr;
        if (ReadBlock(hook)) {
            g_hook = hook;
            g_hookRead = true;
        }
        return false;
    }
    UniqueHandle block(::OpenFileMappingA(FILE_MAP_READ, FALSE, kHookHandleBlockName));
    return !block && ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace omb::ea

extern "C" LRESULT CALLBACK CallProcHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    using namespace omb::ea;
    TLibraryCall call;  // the module stays until this call returned (module.h)
    if (code >= 0 && lParam != 0) {
        try {
            if (LibraryReady()) {
                const auto* record = reinterpret_cast<const CWPSTRUCT*>(lParam);
                const UINT message = record->message;
                if (record->hwnd && (message == WM_CREATE || message == WM_DESTROY ||
                                     message == omb::WM_APPLY_RULES || message == omb::WM_CONFIG_CHANGED))
                    HandleHookMessage(record->hwnd, message, record->wParam);
            }
        } catch (...) {
        }
    }
    try {
        return ::CallNextHookEx(HookHandle(), code, wParam, lParam);
    } catch (...) {
        return 0;
    }
}
