// The system's own minimal thread class: one operating-system thread that runs
// the abstract Execute. No synchronisation with a main thread, no priority.
// Built on the runtime's thread start (_beginthreadex), never std::thread, so
// the hook library can keep its threads under its own control.
//
// C++ cannot run a derived class's Execute before the derived constructor has
// finished, so the operating-system thread is always created suspended; a
// thread meant to run at once is made with TThread::Create<T>(false, ...),
// which resumes it once the object is complete.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <utility>

#include "foundation/handles.h"

namespace omb {

class TThread {
public:
    // Builds a T (whose constructor passes nothing to TThread) and resumes it
    // unless createSuspended. With FreeOnTerminate set in T's constructor, a
    // running thread may be gone by the time this returns.
    template <typename T, typename... Args>
    static T* Create(bool createSuspended, Args&&... args) {
        T* thread = new T(std::forward<Args>(args)...);
        if (!createSuspended) thread->Resume();
        return thread;
    }

    // Ends a thread object properly: a running, unfinished thread is asked to
    // terminate and waited for before any destructor runs; a suspended one is
    // neither woken nor waited for. Owners free their threads with this.
    static void Free(TThread* thread);

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    // The same steps as Free; by then a derived part is already gone, so a
    // derived class with state of its own is freed with Free.
    virtual ~TThread();

    void Resume();
    void Suspend();
    // Only sets the flag Execute looks at.
    void Terminate() { terminated_ = true; }
    // Waits until the thread ends and answers its exit code. On the main
    // thread, messages other threads send to it are delivered meanwhile.
    DWORD WaitFor();

    HANDLE Handle() const { return handle_.get(); }  // nullptr when the start failed
    DWORD ThreadId() const { return threadId_; }
    bool Terminated() const { return terminated_; }
    bool Suspended() const { return suspended_; }
    bool Finished() const { return finished_; }
    bool FreeOnTerminate() const { return freeOnTerminate_; }
    void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
    int32_t ReturnValue() const { return returnValue_; }

    // The thread the runtime counts as main: the one that started the
    // program (or loaded the library). Set it when another thread runs the
    // message loop.
    static DWORD MainThreadId();
    static void SetMainThreadId(DWORD id);

protected:
    // The thread is created suspended.
    TThread();
    virtual void Execute() = 0;
    void SetReturnValue(int32_t value) { returnValue_ = value; }
    // A module the thread holds a reference on: when set, the thread ends
    // with FreeLibraryAndExitThread(module) once the object is gone, so that
    // the code it runs stays mapped until its very last instruction. A
    // library's worker threads use it, so that unloading never has to wait
    // for or end them.
    void SetExitModule(HMODULE module) { exitModule_ = module; }

private:
    static unsigned __stdcall ThreadProc(void* parameter) noexcept;
    void StopAndWait();

    UniqueHandle handle_;
    DWORD threadId_ = 0;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{true};
    std::atomic<bool> freeOnTerminate_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int32_t> returnValue_{0};
    std::atomic<int> resuming_{0};
    HMODULE exitModule_ = nullptr;
};

}  // namespace omb
