#include "tests/common/hook_dll.h"

#include <tlhelp32.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/shared.h"
#include "tests/common/dist_folder.h"

namespace omb::test {

std::wstring HookDllPath() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = ::GetEnvironmentVariableW(L"OMB_TBHOOK", buffer, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) return std::wstring(buffer, n);
    const std::string path = DistFolderFromBuild() + "tbhook.dll";
    return std::wstring(path.begin(), path.end());
}

HookDllCopy::HookDllCopy() {
    static LONG counter = 0;
    wchar_t folder[MAX_PATH];
    const DWORD n = ::GetTempPathW(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH) return;
    std::wstring path = std::wstring(folder, n) + L"tbhook-" + std::to_wstring(::GetCurrentProcessId()) +
                        L"-" + std::to_wstring(::GetTickCount64()) + L"-" +
                        std::to_wstring(::InterlockedIncrement(&counter)) + L".dll";
    if (::CopyFileW(HookDllPath().c_str(), path.c_str(), FALSE)) path_ = path;
}

HookDllCopy::~HookDllCopy() {
    if (!path_.empty()) ::DeleteFileW(path_.c_str());  // fails while a process holds it
}

CenterHook::CenterHook(const std::wstring& dllPath) {
    module_ = ::LoadLibraryW(dllPath.c_str());
    if (!module_) return;
    auto procedure =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(module_, "CallProcHook")));
    if (!procedure) return;
    block_.reset(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kHookHandleBlockName));
    if (!block_) return;
    view_.reset(::MapViewOfFile(block_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 4));
    if (!view_) return;
    hook_ = ::SetWindowsHookExW(WH_CALLWNDPROC, procedure, module_, 0);
    // The block carries the handle's low 32 bits.
    const int32_t value = int32_t(reinterpret_cast<intptr_t>(hook_));
    std::memcpy(view_.get(), &value, sizeof(value));
}

CenterHook::~CenterHook() {
    Remove();
}

void CenterHook::Remove() {
    if (hook_) {
        ::UnhookWindowsHookEx(hook_);
        hook_ = nullptr;
        // Every process passes through its message handling and lets the
        // library go.
        ::SendNotifyMessageW(HWND_BROADCAST, WM_NULL, 0, 0);
    }
    view_.reset();
    block_.reset();
    if (module_) {
        ::FreeLibrary(module_);
        module_ = nullptr;
    }
}

int ProcessThreadCount() {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    return count;
}

}  // namespace omb::test
