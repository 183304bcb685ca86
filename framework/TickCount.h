// GetTickCount: milliseconds of a steady clock as a wrapping 32-bit count, as the system times its waits,
// and the seam through which tests and benchmarks drive it with a clock of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

using TickSource = std::function<uint32_t()>;

uint32_t GetTickCount();

// Installs `source` (an empty one restores the steady clock) and returns the one it replaces. Only to be
// called while no other thread reads the tick count.
TickSource SetTickSource(TickSource source);

// True while a source other than the steady clock is installed: time is then the test's to drive.
bool TickSourceInstalled();

// Calls Try until it succeeds, for at most WaitMs of the tick count; false when the time ran out. On the
// steady clock it pauses between tries; a test's clock moves on with every read and needs no pause.
bool RetryFor(uint32_t WaitMs, std::chrono::milliseconds Pause, const std::function<bool()>& Try);
