// The timer and ProcessMessages: on a fake clock the timer fires exactly when the tick count has passed
// its due tick, a waiting ProcessMessages lets the clock run to it, and handlers may stop or destroy
// timers; on the steady clock it is a plain QTimer.
#include "framework/Timer.h"
#include "framework/ProcessMessages.h"
#include "framework/testing/FakeClock.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

TEST(Timer, OnTheTestClock_FiresOnlyFromProcessMessagesOncePerPassedInterval) {
    FakeClock clock(1000, 1);
    TTimer timer;
    std::vector<uint32_t> firedAt;
    timer.OnTimer = [&](TObject* sender) {
        EXPECT_EQ(sender, &timer);
        firedAt.push_back(clock.Now);
    };
    timer.SetInterval(100);
    timer.SetEnabled(true); // reads 1000: due at 1100
    for (int i = 0; i < 98; ++i)
        ProcessMessages(); // each pass reads the clock once: 1001..1098
    EXPECT_TRUE(firedAt.empty());
    clock.Now = 1100;
    ProcessMessages();
    ASSERT_EQ(firedAt, std::vector<uint32_t>{1101});
    // Far behind: one event, and the next a whole interval later instead of a burst.
    clock.Now = 5000;
    ProcessMessages();
    ProcessMessages();
    EXPECT_EQ(firedAt.size(), 2u);
    timer.SetEnabled(false);
    clock.Now = 9000;
    ProcessMessages(TIdleWait::UntilNextEvent);
    EXPECT_EQ(firedAt.size(), 2u);
    EXPECT_EQ(clock.Now, 9001u); // an idle wait without a timer does not run the clock
}

TEST(Timer, WaitingPasses_RunTheTestClockToTheNextTimerWithExactCounts) {
    FakeClock clock(0xFFFFFF00u, 1); // wraps during the run
    TTimer fast, slow;
    int fastEvents = 0, slowEvents = 0;
    fast.OnTimer = [&](TObject*) {
        if (++fastEvents == 50)
            fast.SetEnabled(false);
    };
    slow.OnTimer = [&](TObject*) { ++slowEvents; };
    fast.SetInterval(100);
    slow.SetInterval(1000);
    fast.SetEnabled(true);
    slow.SetEnabled(true);
    int passes = 0;
    while (fast.Enabled()) {
        ProcessMessages(TIdleWait::UntilNextEvent);
        ++passes;
    }
    EXPECT_EQ(fastEvents, 50);
    EXPECT_EQ(slowEvents, 5);
    EXPECT_EQ(passes, 50); // the slow timer's events fall on the fast one's ticks
    // A clock the test moves by hand stands still under the wait: the pass returns.
    clock.Step = 0;
    ProcessMessages(TIdleWait::UntilNextEvent);
    EXPECT_EQ(slowEvents, 5);
}

TEST(Timer, Handlers_MayDestroyOtherTimersAndAnIntervalChangeRestarts) {
    FakeClock clock(0, 0);
    auto victim = std::make_unique<TTimer>();
    int victimEvents = 0;
    victim->OnTimer = [&](TObject*) { ++victimEvents; };
    TTimer killer;
    killer.OnTimer = [&](TObject*) { victim.reset(); };
    killer.SetInterval(10);
    victim->SetInterval(10);
    killer.SetEnabled(true); // both due at 10; the killer started first and fires first
    victim->SetEnabled(true);
    clock.Now = 10;
    ProcessMessages();
    EXPECT_EQ(victimEvents, 0);
    EXPECT_EQ(victim, nullptr);

    int events = 0;
    TTimer restarted;
    restarted.OnTimer = [&](TObject*) { ++events; };
    restarted.SetInterval(10);
    restarted.SetEnabled(true); // due at 20
    clock.Now = 15;
    restarted.SetInterval(10); // due at 25
    clock.Now = 20;
    ProcessMessages();
    EXPECT_EQ(events, 0);
    clock.Now = 25;
    ProcessMessages();
    EXPECT_EQ(events, 1);
    restarted.SetInterval(0);
    EXPECT_EQ(restarted.Interval(), 1);
}

TEST(Timer, OnTheSteadyClock_IsAQTimerThatAWaitingPassDelivers) {
    TTimer timer;
    int events = 0;
    timer.OnTimer = [&](TObject*) {
        if (++events == 3)
            timer.SetEnabled(false);
    };
    timer.SetInterval(1);
    timer.SetEnabled(true);
    // Each waiting pass returns after at least one event; the bound only stops a broken timer's test.
    for (int pass = 0; pass < 1000 && timer.Enabled(); ++pass)
        ProcessMessages(TIdleWait::UntilNextEvent);
    EXPECT_EQ(events, 3);
    EXPECT_FALSE(timer.Enabled());
}
