// The tick count and its replaceable source.
#include "framework/TickCount.h"

#include <chrono>
#include <thread>

namespace {

TickSource currentSource;

uint32_t SteadyTicks() {
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    // Only the low 32 bits are kept: callers compare counts by their wrapping difference.
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count());
}

} // namespace

uint32_t GetTickCount() {
    return currentSource ? currentSource() : SteadyTicks();
}

TickSource SetTickSource(TickSource source) {
    std::swap(currentSource, source);
    return source;
}

bool TickSourceInstalled() {
    return bool(currentSource);
}

bool RetryFor(uint32_t WaitMs, std::chrono::milliseconds Pause, const std::function<bool()>& Try) {
    const uint32_t start = GetTickCount();
    while (!Try()) {
        if (uint32_t(GetTickCount() - start) >= WaitMs)
            return false;
        if (!TickSourceInstalled())
            std::this_thread::sleep_for(Pause);
    }
    return true;
}
