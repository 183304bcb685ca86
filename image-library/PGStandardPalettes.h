// The library's standard colour tables, built once and shared read-only by every thread.
#pragma once

#include "framework/Colors.h"
#include "image-library/PGTypes.h"

#include <span>

// The table of a standard kind (pBlackWhite .. pSpecial252); empty for every other kind.
std::span<const TColor> StandardPalette(TPaletteIdent Kind);
