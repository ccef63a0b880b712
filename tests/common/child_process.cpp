#include "tests/common/child_process.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>

namespace omb::test {

namespace {

constexpr const char* kRoleSwitch = "--omb-child=";

std::map<std::string, ChildRoleBody>& Roles() {
    static std::map<std::string, ChildRoleBody> roles;
    return roles;
}

// Children go into a job that ends them when this process ends (also when
// it crashes), so no child outlives a test run.
HANDLE ChildJob() {
    static UniqueHandle job = [] {
        UniqueHandle j(::CreateJobObjectA(nullptr, nullptr));
        if (j) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
            info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            if (!::SetInformationJobObject(j.get(), JobObjectExtendedLimitInformation, &info, sizeof(info)))
                j.reset();
        }
        return j;
    }();
    return job.get();
}

// Arguments are our texts (UTF-8); they cross as UTF-16, so a child keeps
// every character whatever its code page (a test program without the UTF-8
// manifest entry runs under the system's one-byte page).
std::wstring Widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &w[0], n);
    return w;
}

std::string Narrow(const wchar_t* w) {
    const int length = int(std::wcslen(w));
    if (length == 0) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w, length, nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w, length, &s[0], n, nullptr, nullptr);
    return s;
}

// The role's arguments from the wide command line, in UTF-8 (the C
// runtime's argv went through the process's code page).
std::vector<std::string> WideArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    if (wide && count == argc) {
        for (int i = 2; i < count; ++i) args.push_back(Narrow(wide[i]));
    } else {
        args.assign(argv + 2, argv + argc);
    }
    if (wide) ::LocalFree(wide);
    return args;
}

// Quotes one argument for the C runtime's command-line parser.
void AppendArgument(std::wstring& line, const std::wstring& arg) {
    line += L" \"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

}  // namespace

ChildRole::ChildRole(const char* name, ChildRoleBody body) {
    Roles()[name] = body;
}

bool RunChildRole(int argc, char** argv, int& exitCode) {
    if (argc < 2 || std::strncmp(argv[1], kRoleSwitch, std::strlen(kRoleSwitch)) != 0) return false;
    std::string role = argv[1] + std::strlen(kRoleSwitch);
    const std::vector<std::string> args = WideArguments(argc, argv);
    auto it = Roles().find(role);
    exitCode = it == Roles().end() ? 99 : it->second(args);
    return true;
}

ChildProcess ChildProcess::Start(const std::string& role, const std::vector<std::string>& args) {
    wchar_t path[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameW(nullptr, path, DWORD(sizeof(path) / sizeof(path[0])));
    if (n == 0 || n >= sizeof(path) / sizeof(path[0])) return ChildProcess();
    return StartPath(std::wstring(path, n), role, args);
}

ChildProcess ChildProcess::StartProgram(const std::string& program, const std::string& role,
                                        const std::vector<std::string>& args) {
    return StartPath(Widen(program), role, args);
}

ChildProcess ChildProcess::StartPath(const std::wstring& program, const std::string& role,
                                     const std::vector<std::string>& args) {
    ChildProcess child;
    std::wstring line = L"\"" + program + L"\"";
    AppendArgument(line, Widen(kRoleSwitch + role));
    for (const std::string& a : args) AppendArgument(line, Widen(a));

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    // No handles are inherited: a child must not keep the runner's pipes open.
    // A start that fails is tried again: under load, Wine refuses one now
    // and then.
    for (int attempt = 1;; ++attempt) {
        if (::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             nullptr, &si, &pi))
            break;
        std::fprintf(stderr, "child process %s not started (attempt %d): error %lu\n", role.c_str(), attempt,
                     ::GetLastError());
        if (attempt == 3) return child;
        ::Sleep(200);
    }
    UniqueHandle thread(pi.hThread);
    child.process_.reset(pi.hProcess);
    child.id_ = pi.dwProcessId;
    if (HANDLE job = ChildJob()) ::AssignProcessToJobObject(job, pi.hProcess);
    ::ResumeThread(pi.hThread);
    return child;
}

bool ChildProcess::Wait(DWORD milliseconds, DWORD* exitCode) {
    if (!process_ || ::WaitForSingleObject(process_.get(), milliseconds) != WAIT_OBJECT_0) return false;
    if (exitCode && !::GetExitCodeProcess(process_.get(), exitCode)) *exitCode = DWORD(-1);
    return true;
}

bool ChildProcess::Running() const {
    return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill() {
    if (!process_) return;
    if (Running()) {
        ::TerminateProcess(process_.get(), 98);
        ::WaitForSingleObject(process_.get(), 5000);
    }
    process_.reset();
    id_ = 0;
}

UniqueHandle NamedEvent(const std::string& name) {
    return UniqueHandle(::CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
}

bool WaitSignalled(HANDLE handle, DWORD milliseconds) {
    return handle && ::WaitForSingleObject(handle, milliseconds) == WAIT_OBJECT_0;
}

std::string UniqueName(const std::string& stem) {
    static LONG counter = 0;
    return "omb-test-" + stem + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(::InterlockedIncrement(&counter));
}

}  // namespace omb::test
