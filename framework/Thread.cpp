// The worker thread base and the pool of worker threads.
#include "framework/Thread.h"

#include <algorithm>
#include <exception>

TThread::~TThread() {
    Stop();
}

void TThread::Resume() {
    const std::lock_guard lock(JoinMutex);
    if (FStarted.exchange(true))
        return;
    Thread = std::thread([this] {
        try {
            Execute();
        } catch (...) {
        }
    });
}

void TThread::WaitFor() {
    const std::lock_guard lock(JoinMutex);
    if (Thread.joinable())
        Thread.join();
}

void TThread::Stop() {
    Terminate();
    WaitFor();
}

// ---- TWorkerPool ----

namespace {

int MachineCores() {
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

// One run's parts: each thread claims the next part until none is left. A worker holds its own reference,
// so the batch outlives the run for a worker that only finds it finished.
struct TWorkerPool::TBatch {
    const std::function<void(int)>* Part;
    int Count;
    std::atomic<int> Next{0};
    std::atomic<bool> Failed{false};
    std::mutex Mutex; // guards Done and Error
    std::condition_variable Finished;
    int Done = 0;
    std::exception_ptr Error;
};

class TWorkerPool::TWorker : public TThread {
public:
    explicit TWorker(TWorkerPool& Pool) : Pool(Pool) {}
    ~TWorker() override { Stop(); }

protected:
    void Execute() override { Pool.Serve(*this); }

private:
    TWorkerPool& Pool;
};

TWorkerPool& TWorkerPool::Instance() {
    static TWorkerPool pool;
    return pool;
}

TWorkerPool::TWorkerPool() : FThreadCount(MachineCores()) {}

TWorkerPool::~TWorkerPool() {
    StopWorkers();
}

void TWorkerPool::SetThreadCount(int Count) {
    FThreadCount.store(Count > 0 ? Count : MachineCores());
    StopWorkers(); // the next run starts as many as it needs
}

void TWorkerPool::StopWorkers() {
    std::vector<std::unique_ptr<TWorker>> workers;
    {
        const std::lock_guard lock(Mutex);
        workers.swap(Workers);
        for (const auto& worker : workers)
            worker->Terminate(); // under the lock, so that no worker misses the wake-up below
    }
    Wake.notify_all();
    workers.clear(); // each waits for its thread
}

void TWorkerPool::Work(TBatch& Batch) {
    for (int i = Batch.Next.fetch_add(1); i < Batch.Count; i = Batch.Next.fetch_add(1)) {
        std::exception_ptr error;
        if (!Batch.Failed.load()) {
            try {
                (*Batch.Part)(i);
            } catch (...) {
                error = std::current_exception();
                Batch.Failed.store(true);
            }
        }
        const std::lock_guard lock(Batch.Mutex);
        if (error && !Batch.Error)
            Batch.Error = error;
        if (++Batch.Done == Batch.Count)
            Batch.Finished.notify_all();
    }
}

void TWorkerPool::Serve(TWorker& Worker) {
    std::unique_lock lock(Mutex);
    for (;;) {
        Wake.wait(lock, [&] { return Worker.Terminated() || !Queue.empty(); });
        if (Worker.Terminated())
            return;
        const std::shared_ptr<TBatch> batch = Queue.front();
        if (batch->Next.load() >= batch->Count) {
            Queue.pop_front(); // every part is taken
            continue;
        }
        lock.unlock();
        Work(*batch);
        lock.lock();
    }
}

void TWorkerPool::Run(int Count, const std::function<void(int)>& Part) {
    const int threads = ThreadCount();
    if (Count <= 0)
        return;
    if (threads <= 1 || Count == 1) {
        for (int i = 0; i < Count; ++i)
            Part(i);
        return;
    }
    auto batch = std::make_shared<TBatch>();
    batch->Part = &Part;
    batch->Count = Count;
    {
        const std::lock_guard lock(Mutex);
        while (int(Workers.size()) < threads - 1) {
            Workers.push_back(std::make_unique<TWorker>(*this));
            Workers.back()->Resume();
        }
        Queue.push_back(batch);
    }
    Wake.notify_all();
    Work(*batch);
    std::unique_lock lock(batch->Mutex);
    batch->Finished.wait(lock, [&] { return batch->Done == batch->Count; });
    if (batch->Error)
        std::rethrow_exception(batch->Error);
}
