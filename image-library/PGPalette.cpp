// The picture's colour table: its kinds, the standard tables, recognising them, and mapping colours to entries.
#include "image-library/PGraphic.h"

#include "image-library/PGCanvas.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGStandardPalettes.h"

#include <algorithm>

namespace {

int Intensity(TColor c, bool weighted) {
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    return weighted ? 3 * (299 * r + 587 * g + 114 * b) / 1000 : r + g + b;
}

int SquaredDistance(TColor a, TColor b) {
    const int dr = GetRValue(a) - GetRValue(b);
    const int dg = GetGValue(a) - GetGValue(b);
    const int db = GetBValue(a) - GetBValue(b);
    return dr * dr + dg * dg + db * db;
}

// The lowest index among the entries nearest to `color`.
int NearestEntry(const std::vector<TColor>& table, TColor color) {
    int best = 0;
    int bestDistance = INT32_MAX;
    for (size_t i = 0; i < table.size(); ++i) {
        const int d = SquaredDistance(table[i], color);
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return best;
}

} // namespace

void TPixelGraphic::FreeColorLookup() { LookupTableStale = true; }

void TPixelGraphic::SetFastColorLookup(bool Value) {
    if (Value == FastColorLookup)
        return;
    FastColorLookup = Value;
    LastColorStale = true;
    Changed();
}

void TPixelGraphic::SetWeightedGray(bool Value) {
    if (Value == WeightedGray)
        return;
    WeightedGray = Value;
    LastColorStale = true;
}

void TPixelGraphic::SetColorCount(int Count) {
    Count = std::max(Count, 0);
    if (Count != GetColorCount()) {
        FlushPending();
        FreeCanvasHandle();
        ColorTable.resize(size_t(Count), clBlack);
        PaletteIdent = Count > 0 ? pUnknown : pNone;
        LastColorStale = true;
        // The section's header never describes more entries than it holds (a 24-bit picture may carry a table).
        if (BitmapInfo)
            BitmapInfo->bmiHeader.biClrUsed = uint32_t(std::min<size_t>(size_t(Count), BitmapInfo->bmiColors.size()));
    }
    PaletteStale = true;
    FreeColorLookup();
}

void TPixelGraphic::SetPaletteColor(int Index, TColor Color) {
    if (PaletteIdent == pTrueColor || PaletteIdent == pNone)
        throw EPGNoPalette(PGLangStr(2));
    if (Index < 0 || Index >= GetColorCount())
        throw EPGInvalidPaletteIndex(PGLangStr(3));
    FreeCanvasHandle();
    if (BitmapInfo && size_t(Index) < BitmapInfo->bmiColors.size())
        BitmapInfo->bmiColors[size_t(Index)] = {GetBValue(Color), GetGValue(Color), GetRValue(Color), 0};
    ColorTable[size_t(Index)] = Color;
    PaletteIdent = pUnknown;
    LastColorStale = true;
    PaletteStale = true;
    FreeColorLookup();
}

void TPixelGraphic::SetPaletteIdent(TPaletteIdent Value) {
    if (Value == PaletteIdent)
        return;
    switch (Value) {
    case pNone:
    case pTrueColor:
        SetColorCount(0);
        PaletteIdent = Value;
        break;
    case pUnknown:
        PaletteIdent = pUnknown;
        break;
    case pOptimized252Sys16:
    case pSource:
        break;
    default: {
        const std::span<const TColor> table = StandardPalette(Value);
        SetColorCount(int(table.size()));
        for (size_t i = 0; i < table.size(); ++i)
            SetPaletteColor(int(i), table[i]);
        PaletteIdent = Value;
    }
    }
    LastColorStale = true;
    PaletteStale = true;
    FreeColorLookup();
}

void TPixelGraphic::DetectPaletteIdent() {
    AllGray = BitCountNum != 3 && std::all_of(ColorTable.begin(), ColorTable.end(), [](TColor c) {
                  return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c);
              });
    static constexpr TPaletteIdent ruleOrder[] = {pBlackWhite, pGray4,  pSysGray4,   pGray16,     pGray236,
                                                  pGray256,    pSys16, pSpecial216, pSpecial125, pSpecial252};
    for (TPaletteIdent kind : ruleOrder) {
        const std::span<const TColor> table = StandardPalette(kind);
        if (std::equal(ColorTable.begin(), ColorTable.end(), table.begin(), table.end())) {
            PaletteIdent = kind;
            return;
        }
    }
    if (ColorTable.empty())
        PaletteIdent = BitCountNum == 3 ? pTrueColor : pNone;
    else
        PaletteIdent = pUnknown;
}

int TPixelGraphic::ColorToIndex(TColor Color) {
    if (!LastColorStale && Color == LastColor)
        return LastIndex;
    const int I = Intensity(Color, WeightedGray);
    const int R = GetRValue(Color), G = GetGValue(Color), B = GetBValue(Color);
    int index = 0;
    switch (PaletteIdent) {
    case pNone:
        throw EPGNoPalette(PGLangStr(2));
    case pTrueColor:
        index = int(Color);
        break;
    case pBlackWhite:
        index = (I + 1) / 384;
        break;
    case pSysGray4:
        index = I <= 192 ? 0 : I <= 480 ? 1 : I <= 670 ? 2 : 3;
        break;
    case pGray4:
        index = (I + 127) / 255;
        break;
    case pGray16:
        index = (I + 25) / 51;
        break;
    case pGray256:
        index = (I + 1) / 3;
        break;
    case pSpecial125: {
        auto level = [](int v) { return v == 224 ? 4 : (v + 31) / 64; };
        index = level(R) * 25 + level(G) * 5 + level(B);
        break;
    }
    case pSpecial216:
        index = (R + 24) / 51 * 36 + (G + 24) / 51 * 6 + (B + 24) / 51;
        break;
    case pOptimized252Sys16:
    case pSource:
        break;
    default:
        index = NearestEntry(ColorTable, Color);
    }
    // The cache is written only once a result exists, so a raise above leaves no stale entry behind.
    LastColorStale = false;
    LastColor = Color;
    LastIndex = index;
    return index;
}
