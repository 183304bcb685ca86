// TThread: a worker thread over std::thread with the semantics the system's workers rely on: a terminate
// flag that sticks in any state, a wait that returns at once for a thread that never started, and no
// exception escaping the thread.
#pragma once

#include "framework/Object.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// Lifetime rule. Execute is virtual, so it must never run while a derived object is still being built or
// already being torn down. Therefore:
//  - the constructor never starts the thread: every thread is created suspended and starts with Resume
//    after the object is complete (CreateThread below does both for a thread that should run at once);
//  - every class that overrides Execute, or owns state that Execute reads, calls Stop() first thing in its
//    own destructor. The base destructor stops again, which then finds nothing left to wait for.
class TThread : public TObject {
public:
    TThread() = default;
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts Execute on a new thread; a thread runs at most once, so later calls do nothing.
    void Resume();
    // Asks Execute to end: sets the flag that Terminated reports. Allowed in any state, also before
    // Resume and after the end; the flag is never cleared.
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }
    // Waits until Execute has returned; returns at once for a thread that was never started. Callable
    // repeatedly, from any thread but the worker itself.
    void WaitFor();
    // Terminate, then WaitFor.
    void Stop();
    bool Started() const { return FStarted.load(); }

protected:
    // The thread's work. An exception leaving it is swallowed: a worker reports failures itself.
    virtual void Execute() = 0;

private:
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FStarted{false};
    std::mutex JoinMutex;
    std::thread Thread;
};

// Makes a T (a TThread) from Args and, unless CreateSuspended, starts it once it is complete.
template <class T, class... Args> std::unique_ptr<T> CreateThread(bool CreateSuspended, Args&&... args) {
    auto thread = std::make_unique<T>(std::forward<Args>(args)...);
    if (!CreateSuspended)
        thread->Resume();
    return thread;
}
