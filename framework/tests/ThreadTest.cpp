#include "framework/Thread.h"
#include "framework/ScreenCaps.h"

#include <QSignalSpy>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>

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
