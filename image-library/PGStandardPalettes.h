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

// The pSpecial252 entries that can be the nearest for some colour of Color's grid cell (a component v falls
// in cell (v + 16) div 32), in ascending order, so that the first of equally near candidates is the lowest
// index, as in a search of the whole table.
std::span<const uint8_t> Special252Candidates(TColor Color);
