// Real child processes for cross-process tests and benchmarks: a program
// relaunches itself in a named role ("prog --omb-child=ROLE ARGS..."); its
// main calls RunChildRole first, before anything else parses the arguments.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "foundation/handles.h"

namespace omb::test {

// A role's body; its result is the process's exit code.
using ChildRoleBody = int (*)(const std::vector<std::string>& args);

// Registers a role under a name (a static object in the program's own
// sources, not in a library).
struct ChildRole {
    ChildRole(const char* name, ChildRoleBody body);
};
#define OMB_CHILD_ROLE(name, body) static const ::omb::test::ChildRole omb_child_role_##body(name, body)

// When the command line names a role, runs it and returns true with its exit
// code (an unknown role exits with 99).
bool RunChildRole(int argc, char** argv, int& exitCode);

// A child process of this program in a role. Ends the process when it still
// runs at destruction; children also end when this process ends.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&& o) noexcept : process_(std::move(o.process_)), id_(std::exchange(o.id_, 0)) {}
    ChildProcess& operator=(ChildProcess&& o) noexcept {
        if (this != &o) {
            Kill();
            process_ = std::move(o.process_);
            id_ = std::exchange(o.id_, 0);
        }
        return *this;
    }
    ~ChildProcess() { Kill(); }

    // Starts this program as ROLE with the arguments; an empty object when
    // the process could not be started.
    static ChildProcess Start(const std::string& role, const std::vector<std::string>& args = {});
    // The same with another test program (a Windows path) that has the role.
    static ChildProcess StartProgram(const std::string& program, const std::string& role,
                                     const std::vector<std::string>& args = {});

    explicit operator bool() const { return bool(process_); }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_.get(); }

    // Waits at most `milliseconds` for the end; true (with the exit code)
    // when it ended.
    bool Wait(DWORD milliseconds, DWORD* exitCode = nullptr);
    bool Running() const;
    // Ends the process if it still runs and waits (boundedly) for its end.
    void Kill();

private:
    static ChildProcess StartPath(const std::wstring& program, const std::string& role,
                                  const std::vector<std::string>& args);

    UniqueHandle process_;
    DWORD id_ = 0;
};

// A named manual-reset event, created or opened, for handshakes between a
// test and its children.
UniqueHandle NamedEvent(const std::string& name);
// Waits for a handle at most `milliseconds`; true when it is signalled.
bool WaitSignalled(HANDLE handle, DWORD milliseconds);
// A name unique to this process and call, for channels and events of a test.
std::string UniqueName(const std::string& stem);

}  // namespace omb::test
