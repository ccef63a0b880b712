// The built hook library for tests and benchmarks: where it is, per-run
// copies of it (a system-wide hook keeps its library loaded in every process
// of the session, so each run hooks with a file of its own), and the hook a
// test center installs with it.
#pragma once

#include <windows.h>

#include <string>

#include "foundation/handles.h"

namespace omb::test {

// The build's distribution tbhook.dll; the environment variable OMB_TBHOOK
// overrides it.
std::wstring HookDllPath();

// A copy of the library under a name of its own in the temporary folder;
// empty when it could not be made. The copy is deleted at destruction when
// no process holds it any more.
class HookDllCopy {
public:
    HookDllCopy();
    ~HookDllCopy();
    HookDllCopy(const HookDllCopy&) = delete;
    HookDllCopy& operator=(const HookDllCopy&) = delete;
    const std::wstring& Path() const { return path_; }
    explicit operator bool() const { return !path_.empty(); }

private:
    std::wstring path_;
};

// What the command center does with the library: loads it, installs
// CallProcHook as a call-window-procedure hook for every thread of the
// desktop and publishes the hook handle in the hook-handle block; and, when
// removed, unhooks, broadcasts WM_NULL, closes the block and frees the
// library.
class CenterHook {
public:
    explicit CenterHook(const std::wstring& dllPath);
    ~CenterHook();
    CenterHook(const CenterHook&) = delete;
    CenterHook& operator=(const CenterHook&) = delete;

    bool Installed() const { return hook_ != nullptr; }
    HMODULE Module() const { return module_; }
    void Remove();

private:
    HMODULE module_ = nullptr;
    HHOOK hook_ = nullptr;
    UniqueHandle block_;
    UniqueView view_;
};

// Threads of this process (a tool-help snapshot).
int ProcessThreadCount();

}  // namespace omb::test
