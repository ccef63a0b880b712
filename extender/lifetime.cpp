#include "extender/lifetime.h"

#include <atomic>

namespace omb::ea {

namespace {
std::atomic<bool> g_stopping{false};
}

bool LibraryStopping() {
    return g_stopping.load(std::memory_order_acquire);
}

void SetLibraryStopping(bool value) {
    g_stopping.store(value, std::memory_order_release);
}

bool IsOwnProcessWindow(HWND window) {
    DWORD process = 0;
    return ::GetWindowThreadProcessId(window, &process) != 0 && process == ::GetCurrentProcessId();
}

bool IsWindowThread(HWND window) {
    return ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId();
}

bool MayWaitForWindow() {
    // While the library stops, nothing waits for a window: the stopping
    // thread holds the loader lock, and a message box or a window change
    // there could wait on any other thread of the process.
    return !LibraryStopping();
}

}  // namespace omb::ea
