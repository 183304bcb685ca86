#include "framework/Thread.h"
#include "framework/ScreenCaps.h"

#include <QSignalSpy>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Counts its runs; with Loop it runs until terminated, with Throw it fails.
class TCountingThread : public TThread {
public:
    explicit TCountingThread(bool Loop = false, bool Throw = false) : Loop(Loop), Throw(Throw) {}
    ~TCountingThread() override { Stop(); }

    std::atomic<int> Runs{0};
    std::atomic<bool> SawTerminated{false};

protected:
    void Execute() override {
        ++Runs;
        if (Throw)
            throw std::runtime_error("worker failed");
        while (Loop && !Terminated())
            std::this_thread::yield();
        SawTerminated = Terminated();
    }

private:
    const bool Loop;
    const bool Throw;
};

} // namespace

TEST(TThread, RunsOnlyAfterResumeAndOnceAndWaitsAtOnceWhenNeverStarted) {
    TCountingThread suspended;
    suspended.WaitFor(); // never started: returns at once
    EXPECT_FALSE(suspended.Started());
    EXPECT_EQ(suspended.Runs, 0);
    suspended.Resume();
    suspended.Resume();
    suspended.WaitFor();
    suspended.WaitFor();
    EXPECT_EQ(suspended.Runs, 1);

    auto running = CreateThread<TCountingThread>(false);
    running->WaitFor();
    EXPECT_EQ(running->Runs, 1);
    EXPECT_FALSE(running->Terminated()) << "a normal end does not set the flag";
}

TEST(TThread, TerminateSticksInEveryStateAndEndsALoopingThread) {
    TCountingThread before(true);
    before.Terminate();
    before.Resume();
    before.WaitFor();
    EXPECT_TRUE(before.SawTerminated);
    EXPECT_TRUE(before.Terminated());

    auto looping = CreateThread<TCountingThread>(false, true);
    looping->Stop();
    EXPECT_TRUE(looping->SawTerminated);
    looping->Terminate(); // after the end: still allowed
    EXPECT_TRUE(looping->Terminated());

    // Destroying a running thread stops and joins it.
    auto destroyed = CreateThread<TCountingThread>(false, true);
    destroyed.reset();

    // Never started and terminated: the destructor does not wait for anything.
    TCountingThread never(true);
    never.Terminate();
}

TEST(TThread, AnExceptionStaysInsideTheThread) {
    auto failing = CreateThread<TCountingThread>(false, false, true);
    failing->WaitFor();
    EXPECT_EQ(failing->Runs, 1);
}

TEST(TScreenCaps, DepthIsSetByTestsAndEveryChangeIsAnnounced) {
    TScreenCaps& caps = TScreenCaps::Instance();
    const int original = caps.BitsPerPixel();
    QSignalSpy changes(&caps, &TScreenCaps::DisplayChanged);
    caps.SetBitsPerPixel(8);
    caps.SetBitsPerPixel(8);
    caps.SetBitsPerPixel(7); // not a screen depth: ignored
    EXPECT_EQ(ScreenBitsPerPixel(), 8);
    caps.SetBitsPerPixel(4);
    EXPECT_EQ(ScreenBitsPerPixel(), 4);
    caps.SetBitsPerPixel(original);
    EXPECT_EQ(changes.count(), original == 4 ? 2 : 3);
}

TEST(TWorkerPool, RunsEveryPartOnceFromManyCallersAndPassesTheFirstFailureOn) {
    TWorkerPool pool;
    for (const int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        pool.SetThreadCount(threads);
        EXPECT_EQ(pool.ThreadCount(), threads);
        // Several callers at once, each also running a nested run inside its parts.
        std::vector<std::vector<std::atomic<int>>> counts(4);
        for (auto& c : counts)
            c = std::vector<std::atomic<int>>(50);
        std::vector<std::thread> callers;
        for (size_t k = 0; k < counts.size(); ++k)
            callers.emplace_back([&, k] {
                pool.Run(10, [&](int i) { pool.Run(5, [&](int j) { ++counts[k][size_t(5 * i + j)]; }); });
            });
        for (std::thread& t : callers)
            t.join();
        for (const auto& c : counts)
            for (const std::atomic<int>& n : c)
                EXPECT_EQ(n.load(), 1);

        // One thread runs every part on the caller's thread, in order.
        std::vector<int> order;
        const std::thread::id caller = std::this_thread::get_id();
        if (threads == 1)
            pool.Run(4, [&](int i) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                order.push_back(i);
            });
        EXPECT_EQ(order, threads == 1 ? std::vector<int>({0, 1, 2, 3}) : std::vector<int>());

        std::atomic<int> ran{0};
        EXPECT_THROW(pool.Run(200,
                              [&](int i) {
                                  ++ran;
                                  if (i == 0)
                                      throw std::runtime_error("part failed");
                              }),
                     std::runtime_error);
        EXPECT_TRUE(threads > 1 || ran.load() == 1); // one thread skips the parts after the failing one
        pool.Run(3, [&](int) { ++ran; });            // the pool works on after a failure
    }
    pool.SetThreadCount(0);
    EXPECT_EQ(pool.ThreadCount(), int(std::max(1u, std::thread::hardware_concurrency())));
}
