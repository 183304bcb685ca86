// Process-wide settings of the image library. They are plain variables: applications set them at start-up,
// worker threads only read them.
#pragma once

#include <cstdint>

// Gamma of the display; new pictures take it as their file gamma.
extern long double PGDisplayGamma;

// The most pixel memory one picture may ask for. Picture sizes come from files, and a damaged header must
// not be able to exhaust memory or overflow the row arithmetic.
extern int64_t PGMaxPixelMemory;
