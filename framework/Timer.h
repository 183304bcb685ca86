// TTimer: the system's timer (Enabled, Interval, OnTimer) over a precise QTimer, and its test seam: while
// a test clock is installed, an enabled timer runs on GetTickCount instead and ProcessMessages fires it.
#pragma once

#include "framework/Object.h"

#include <QTimer>
#include <cstdint>
#include <functional>

class TTimer : public TObject {
public:
    TTimer();
    ~TTimer() override;
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    // A new timer is off; switching it on starts a full interval.
    bool Enabled() const { return IsEnabled; }
    void SetEnabled(bool Value);
    // Milliseconds, at least 1. A change restarts a running timer.
    int Interval() const { return IntervalMs; }
    void SetInterval(int Value);

    // Called with the timer as sender; it may switch the timer off or destroy it.
    std::function<void(TObject* Sender)> OnTimer;

private:
    friend int FireDueTestTimers();
    friend bool WaitForNextTestTimer();

    void Start();
    void Fire();

    QTimer Clock;
    bool IsEnabled = false;
    int IntervalMs = 1000;
    bool OnTestClock = false; // chosen when the timer starts
    uint32_t Due = 0;         // tick count of the next event on the test clock
};

// The test seam's two steps, taken by ProcessMessages. FireDueTestTimers fires, once each, the timers on
// the test clock whose due tick the tick count has reached, and returns how many fired.
int FireDueTestTimers();
// Reads the tick count until the earliest timer on the test clock is due: a sleep in the test's time.
// False when no such timer runs, or the clock stands still (a test that moves it by hand).
bool WaitForNextTestTimer();
