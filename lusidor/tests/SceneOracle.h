// The simulated board's scene as its documentation states it, for tests that check grabbed frames: the
// five discs with their pixel counts and sums, the background, and the moving marker.
#pragma once

#include "image-library/PGraphic.h"

#include <array>
#include <cstdint>

struct TSceneDisc {
    int Cx, Cy, R;
    uint32_t Level;
    uint64_t Pixels;
    uint64_t Sum; // at the reference exposure with the gain control off
};

inline constexpr std::array<TSceneDisc, 5> SceneDiscs = {{{128, 96, 40, 200, 5025, 1005000},
                                                          {384, 160, 20, 120, 1257, 150840},
                                                          {160, 352, 30, 60, 2821, 169260},
                                                          {400, 380, 10, 240, 317, 76080},
                                                          {300, 250, 5, 12, 81, 972}}};

inline uint32_t SceneBackground(int x, int y) {
    return uint32_t(6 + (x + y) % 4);
}

// Sum of the pixels above `threshold` in the square of half-side r + 2 around the disc: the background
// stays below the threshold, so this is the disc's sum whatever its exact outline.
inline uint64_t DiscSum(const TPixelGraphic& picture, const TSceneDisc& d, uint32_t threshold) {
    uint64_t sum = 0;
    for (int y = d.Cy - d.R - 2; y <= d.Cy + d.R + 2; ++y)
        for (int x = d.Cx - d.R - 2; x <= d.Cx + d.R + 2; ++x)
            if (const uint32_t v = picture.GetPixelValue(x, y); v > threshold)
                sum += v;
    return sum;
}

// Left column of the marker (rows 480-485), or -1 when the picture shows none.
inline int MarkerLeft(const TPixelGraphic& picture) {
    for (int x = 0; x < 511; ++x)
        if (picture.GetPixelValue(x, 482) >= 200)
            return x;
    return -1;
}
