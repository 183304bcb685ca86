// The library's standard colour tables and the read-only tables that map colours onto them, each built
// once and shared read-only by every thread.
#pragma once

#include "framework/Colors.h"
#include "image-library/PGTypes.h"

#include <array>
#include <span>

// The table of a standard kind (pBlackWhite .. pSpecial252); empty for every other kind.
std::span<const TColor> StandardPalette(TPaletteIdent Kind);

// pSys16 candidates of a colour, in the order they are tried: the first is the answer unless a later one
// is strictly nearer.
std::span<const uint8_t> Sys16Candidates(TColor Color);

// For each intensity 0..765, the pGray236 entry whose gray is nearest to a third of it (the lower on a tie).
const std::array<uint8_t, 766>& Gray236ByIntensity();

// The lowest index among the pSpecial252 entries nearest to Color, as a search of the whole table finds it,
// searched among the few entries that can be the nearest in Color's cell of a grid of 4 values a side.
int Special252Nearest(TColor Color);
// Special252Nearest's answer for every colour of a cell of that grid, (red / 4 * 64 + green / 4) * 64 +
// blue / 4, where the cell has only one candidate; 255 where several compete.
const uint8_t* Special252SingleCandidates();
