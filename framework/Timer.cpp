// The timer and the registry through which its test seam finds the timers that run on the test clock.
#include "framework/Timer.h"

#include "framework/ErrorBox.h"
#include "framework/TickCount.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<TTimer*> TestClockTimers; // enabled timers on the test clock, in the order they started

bool Reached(uint32_t Now, uint32_t Due) {
    return int32_t(Now - Due) >= 0;
}

} // namespace

TTimer::TTimer() {
    Clock.setTimerType(Qt::PreciseTimer);
    Clock.setInterval(IntervalMs);
    QObject::connect(&Clock, &QTimer::timeout, [this] { Fire(); });
}

TTimer::~TTimer() {
    SetEnabled(false);
}

void TTimer::SetEnabled(bool Value) {
    if (Value == IsEnabled)
        return;
    IsEnabled = Value;
    if (Value) {
        Start();
        return;
    }
    Clock.stop();
    std::erase(TestClockTimers, this);
}

void TTimer::SetInterval(int Value) {
    IntervalMs = std::max(Value, 1);
    Clock.setInterval(IntervalMs);
    if (IsEnabled)
        Start();
}

void TTimer::Start() {
    OnTestClock = TickSourceInstalled();
    if (!OnTestClock) {
        Clock.start();
        return;
    }
    Due = GetTickCount() + uint32_t(IntervalMs);
    if (std::find(TestClockTimers.begin(), TestClockTimers.end(), this) == TestClockTimers.end())
        TestClockTimers.push_back(this);
}

void TTimer::Fire() {
    // Nothing of this timer may be touched afterwards: the handler may have destroyed it.
    if (OnTimer)
        CallGuarded([this] { OnTimer(this); });
}

int FireDueTestTimers() {
    const uint32_t now = GetTickCount();
    // A handler may stop or destroy any timer, so each one is looked up again before it fires.
    const std::vector<TTimer*> started = TestClockTimers;
    int fired = 0;
    for (TTimer* timer : started) {
        if (std::find(TestClockTimers.begin(), TestClockTimers.end(), timer) == TestClockTimers.end() ||
            !Reached(now, timer->Due))
            continue;
        timer->Due += uint32_t(timer->IntervalMs);
        if (Reached(now, timer->Due)) // far behind: the missed events are dropped, as a QTimer drops them
            timer->Due = now + uint32_t(timer->IntervalMs);
        timer->Fire();
        ++fired;
    }
    return fired;
}

bool WaitForNextTestTimer() {
    if (TestClockTimers.empty())
        return false;
    const uint32_t now = GetTickCount();
    uint32_t due = TestClockTimers.front()->Due;
    for (const TTimer* timer : TestClockTimers)
        if (int32_t(timer->Due - now) < int32_t(due - now))
            due = timer->Due;
    for (uint32_t previous = now; !Reached(previous, due);) {
        const uint32_t next = GetTickCount();
        if (next == previous)
            return false;
        previous = next;
    }
    return true;
}
