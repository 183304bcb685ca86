// The four mouse cursors of the viewer, as constant bit planes and as the QCursor the viewer shows.
#pragma once

#include <QCursor>
#include <array>
#include <cstdint>

// The viewer knows the cursors by these numbers.
enum TPGCursorId : int {
    PGCursorMoveImage = 1,   // open hand
    PGCursorMovingImage,     // closed, grabbing hand
    PGCursorCreateSelection, // dashed cross
    PGCursorMoveSelection    // four-headed arrow
};

constexpr int PGCursorSize = 32;

// One row per word, leftmost pixel in the top bit. In the platform's sense: a mask bit of 1 shows the screen,
// an image bit of 1 is white (where the mask is 0).
struct TPGCursorPlanes {
    std::array<uint32_t, PGCursorSize> Mask;
    std::array<uint32_t, PGCursorSize> Image;
    int HotX;
    int HotY;

    constexpr bool ShowsScreen(int X, int Y) const { return (Mask[Y] >> (PGCursorSize - 1 - X)) & 1; }
    constexpr bool IsWhite(int X, int Y) const { return (Image[Y] >> (PGCursorSize - 1 - X)) & 1; }
};

const TPGCursorPlanes& PGCursorPlanes(TPGCursorId Id);
// Made on first request; GUI thread only, while the application exists.
const QCursor& PGCursor(TPGCursorId Id);
// Lets the cursors go; library shutdown calls it while the application still exists.
void ReleasePGCursors();
