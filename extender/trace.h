// The library's error trace: every failure caught on a path that reports it
// becomes one text, "Class.Method: Err = " and the failure's message, handed
// to Trace, which keeps nothing (the library writes no log).
#pragma once

#include <exception>
#include <string>

namespace omb::ea {

void Trace(const std::string& text) noexcept;

// Traces where + ": Err = " + the message of the exception being handled.
// Call it only inside a catch block.
void TraceCurrentError(const char* where) noexcept;

// Tests may watch the texts; nullptr (the default) keeps nothing.
using TTraceHook = void (*)(const std::string& text);
void SetTraceHook(TTraceHook hook) noexcept;

}  // namespace omb::ea
