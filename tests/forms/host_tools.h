// Programs of the host system (xdotool, ImageMagick's import) run from a
// test under Wine. Wine starts a host program without a process handle to
// wait on, so it runs through the host's shell, which writes the exit code
// to a file the test polls for (boundedly).
#pragma once

#include <windows.h>

#include <atomic>
#include <fstream>
#include <string>

#include "foundation/winfuncs.h"
#include "tests/forms/forms_test_support.h"

namespace omb::test {

// "/tmp/x" as this process sees it.
inline std::wstring HostPath(const std::string& unixPath) {
    std::wstring p = L"Z:" + ToWide(unixPath);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

inline bool HostHas(const std::string& program) {
    return ::GetFileAttributesW(HostPath("/usr/bin/" + program).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs "/usr/bin/PROGRAM ARGS" (ARGS without double quotes) and waits for
// its end; true when it exited with 0.
inline bool RunHost(const std::string& program, const std::string& args, DWORD timeoutMs = 10000) {
    static std::atomic<unsigned> counter{0};
    const std::string done = "/tmp/omb_host_" + std::to_string(::GetCurrentProcessId()) + "_" +
                             std::to_string(++counter) + ".rc";
    const std::wstring donePath = HostPath(done);
    ::DeleteFileW(donePath.c_str());
    std::wstring cmd = L"Z:\\bin\\sh -c \"/usr/bin/" + ToWide(program) + L" " + ToWide(args) + L" >/dev/null 2>&1; echo $? >" +
                       ToWide(done) + L".tmp; mv " + ToWide(done) + L".tmp " + ToWide(done) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    if (pi.hThread) ::CloseHandle(pi.hThread);
    std::string code;
    const bool finished = PumpUntil(
        [&] {
            std::ifstream in(donePath.c_str());
            return in && std::getline(in, code) && !code.empty();
        },
        timeoutMs);
    ::DeleteFileW(donePath.c_str());
    return finished && code == "0";
}

inline bool Xdo(const std::string& args) { return RunHost("xdotool", args); }

}  // namespace omb::test
