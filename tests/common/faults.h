// Faults made and faults counted in a test process: a system call made to
// fail for one module by replacing that module's import of it, and the
// processor faults raised meanwhile.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstring>

namespace omb::test {

// Puts `replacement` in place of the module's import of `name` from
// `library` (its name compared without case); answers the former one
// (nullptr when the module does not import it by name). Putting the former
// one back undoes it.
inline void* ReplaceImport(HMODULE module, const char* library, const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), library) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD protection = 0;
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            void* former = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
            return former;
        }
    }
    return nullptr;
}

// Counts the processor faults (access violations and the like) raised in
// the process while it lives, the ones a window procedure or a thread's
// handler swallows included. One at a time.
class FaultCounter {
public:
    FaultCounter() {
        Faults() = 0;
        handler_ = ::AddVectoredExceptionHandler(1, &FaultCounter::Seen);
    }
    ~FaultCounter() { ::RemoveVectoredExceptionHandler(handler_); }
    FaultCounter(const FaultCounter&) = delete;
    FaultCounter& operator=(const FaultCounter&) = delete;
    int Count() const { return Faults(); }

private:
    static std::atomic<int>& Faults() {
        static std::atomic<int> count{0};
        return count;
    }
    static LONG CALLBACK Seen(EXCEPTION_POINTERS* info) {
        if ((info->ExceptionRecord->ExceptionCode & 0xF0000000u) == 0xC0000000u) ++Faults();
        return EXCEPTION_CONTINUE_SEARCH;
    }
    PVOID handler_ = nullptr;
};

}  // namespace omb::test
