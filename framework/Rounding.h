// Round sends halves to the even neighbour, as the system's arithmetic always did; Trunc cuts toward zero.
// Both rely on the default rounding mode and must never be built with -ffast-math.
#pragma once

#include <cmath>
#include <cstdint>

// On x86-64 the rounding is the one instruction that llrintl runs, without the call (callers round several
// times a pixel).
inline int64_t Round(long double x) {
#if defined(__x86_64__) && defined(__GNUC__)
    int64_t r;
    __asm__("fistpll %0" : "=m"(r) : "t"(x) : "st");
    return r;
#else
    return std::llrintl(x);
#endif
}
inline int64_t Trunc(long double x) {
    return static_cast<int64_t>(x);
}
