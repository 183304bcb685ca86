// TThread: a worker thread over std::thread with the semantics the system's workers rely on: a terminate
// flag that sticks in any state, a wait that returns at once for a thread that never started, and no
// exception escaping the thread.
#pragma once

#include "framework/Object.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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

// TWorkerPool: the program's few threads for work that splits into independent parts (rows of a picture).
// One pool serves every caller; it has as many threads as the machine has cores, the calling thread
// included, and a thread count of 1 runs every part on the calling thread. Callers arrange their parts so
// that the result does not depend on which thread runs which part.
class TWorkerPool {
public:
    static TWorkerPool& Instance();

    TWorkerPool();
    ~TWorkerPool();
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // The threads a run uses, the calling one included; at least 1.
    int ThreadCount() const { return FThreadCount.load(); }
    // 0 or less: the machine's cores. Runs in flight finish with the threads they have.
    void SetThreadCount(int Count);

    // Calls Part(i) for i = 0 .. Count - 1, spread over the pool's threads and the calling one, and returns
    // when all have returned. When a part throws, the parts not yet begun are skipped and the first
    // exception passes on. Callable from any thread, also from within a part, and by several at once.
    void Run(int Count, const std::function<void(int)>& Part);

private:
    struct TBatch;
    class TWorker;

    void Work(TBatch& Batch);
    void Serve(TWorker& Worker);
    void StopWorkers();

    std::atomic<int> FThreadCount;
    std::mutex Mutex; // guards Queue and Workers
    std::condition_variable Wake;
    std::deque<std::shared_ptr<TBatch>> Queue;
    std::vector<std::unique_ptr<TWorker>> Workers;
};
