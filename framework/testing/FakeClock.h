// A tick count owned by a test or benchmark: every read returns Now and then advances it by Step, so the
// system's busy-waits end after a known number of polls and never depend on the wall clock.
#pragma once

#include "framework/TickCount.h"

class FakeClock {
public:
    explicit FakeClock(uint32_t start = 1000, uint32_t step = 1)
        : Now(start), Step(step), Previous(SetTickSource([this] {
              const uint32_t t = Now;
              Now += Step;
              return t;
          })) {}
    ~FakeClock() { SetTickSource(Previous); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    uint32_t Now;
    uint32_t Step;

private:
    TickSource Previous;
};
