// Round sends halves to the even neighbour, as the system's arithmetic always did; Trunc cuts toward zero.
// Both rely on the default rounding mode and must never be built with -ffast-math.
#pragma once

#include <cmath>
#include <cstdint>

inline int64_t Round(long double x) { return std::llrintl(x); }
inline int64_t Trunc(long double x) { return static_cast<int64_t>(x); }
