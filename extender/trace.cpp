#include "extender/trace.h"

#include <atomic>
#include <exception>

namespace omb::ea {

namespace {
std::atomic<TTraceHook> g_hook{nullptr};
}

void Trace(const std::string& text) noexcept {
    if (TTraceHook hook = g_hook.load()) {
        try {
            hook(text);
        } catch (...) {
        }
    }
}

void TraceCurrentError(const char* where) noexcept {
    if (!g_hook.load()) return;  // nobody listens: build no text
    try {
        std::string message;
        if (std::exception_ptr current = std::current_exception()) {
            try {
                std::rethrow_exception(current);
            } catch (const std::exception& e) {
                message = e.what();
            } catch (...) {
            }
        }
        Trace(std::string(where) + ": Err = " + message);
    } catch (...) {
    }
}

void SetTraceHook(TTraceHook hook) noexcept {
    g_hook.store(hook);
}

}  // namespace omb::ea
