// The tick count and its replaceable source.
#include "framework/TickCount.h"

#include <chrono>

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
