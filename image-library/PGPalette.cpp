// The picture's colour table: its kinds, the standard tables, recognising them, and mapping colours to
// entries.
#include "image-library/PGraphic.h"

#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGMath.h"
#include "image-library/PGStandardPalettes.h"

#include <algorithm>
#include <climits>

namespace {

int SquaredDistance(TColor a, TColor b) {
    const int dr = GetRValue(a) - GetRValue(b);
    const int dg = GetGValue(a) - GetGValue(b);
    const int db = GetBValue(a) - GetBValue(b);
    return dr * dr + dg * dg + db * db;
}

// Of the `count` table entries that `candidate` lists, the first unless a later one is strictly nearer to
// `color`.
template <typename Candidate>
int NearestOf(size_t count, Candidate candidate, std::span<const TColor> table, TColor color) {
    int best = 0;
    int bestDistance = INT_MAX;
    for (size_t n = 0; n < count; ++n) {
        const int i = candidate(n);
        const int d = SquaredDistance(table[size_t(i)], color);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int NearestOf(std::span<const uint8_t> candidates, std::span<const TColor> table, TColor color) {
    return NearestOf(
        candidates.size(), [&](size_t n) { return int(candidates[n]); }, table, color);
}

// The inverse table's grid: 32 red, 64 green and 32 blue steps.
constexpr int LookupCells = 32 * 64 * 32;
constexpr int LookupCell(int j, int k, int l) {
    return j * 2048 + k * 32 + l;
}
int LookupCell(TColor c) {
    return LookupCell(GetRValue(c) / 8, GetGValue(c) / 4, GetBValue(c) / 8);
}

// Marks cell c in the fill map; true when it was not marked before.
bool Claim(uint8_t* bitmap, int c) {
    uint8_t& byte = bitmap[size_t(c / 8)];
    const uint8_t bit = uint8_t(1 << (c % 8));
    const bool free = !(byte & bit);
    byte = uint8_t(byte | bit);
    return free;
}

// Entries are bytes in the inverse table, so it serves tables of at most this many entries.
constexpr size_t LookupTableEntries = 256;

} // namespace

void TPixelGraphic::FreeColorLookup() {
    LookupTableStale = true;
    LookupTable.reset();
    LookupBitmap.reset();
}

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
        // The section's header never describes more entries than it holds (a 24-bit picture may carry a
        // table).
        if (BitmapInfo) {
            BitmapInfo->bmiHeader.biClrUsed =
                uint32_t(std::min<size_t>(size_t(Count), BitmapInfo->bmiColors.size()));
            FillSectionColors();
        }
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
    ColorTable[size_t(Index)] = Color;
    if (BitmapInfo)
        FillSectionColors();
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
    static constexpr TPaletteIdent ruleOrder[] = {pBlackWhite, pGray4, pSysGray4,   pGray16,     pGray236,
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

// The lowest index among the entries nearest to Color (0 for an empty table, which only a caller's explicit
// pUnknown can leave behind).
int TPixelGraphic::NearestIndex(TColor Color) const {
    return NearestOf(
        ColorTable.size(), [](size_t n) { return int(n); }, ColorTable, Color);
}

// Claims, for each entry in index order, the cells at growing distance d around the entry's own cell, one
// shell a pass, so a cell near entries goes to the one whose shell reaches it first. Cells beyond four steps
// are left for LookupIndex to fill with the exact answer on first use.
void TPixelGraphic::BuildLookupTable() {
    LookupTable = std::make_unique<uint8_t[]>(LookupCells);
    LookupBitmap = std::make_unique<uint8_t[]>(LookupCells / 8);
    auto claimBox = [this](int n, int j0, int j1, int k0, int k1, int l0, int l1) {
        for (int j = std::max(j0, 0); j <= std::min(j1, 31); ++j)
            for (int k = std::max(k0, 0); k <= std::min(k1, 63); ++k)
                for (int l = std::max(l0, 0); l <= std::min(l1, 31); ++l) {
                    const int c = LookupCell(j, k, l);
                    if (Claim(LookupBitmap.get(), c))
                        LookupTable[size_t(c)] = uint8_t(n);
                }
    };
    for (int d = 0; d <= 4; ++d)
        for (size_t n = 0; n < ColorTable.size(); ++n) {
            const TColor e = ColorTable[n];
            const int j = GetRValue(e) / 8, k = GetGValue(e) / 4, l = GetBValue(e) / 8;
            // The six faces of the cube of half-width d: red faces, then green, then blue.
            claimBox(int(n), j - d, j - d, k - d, k + d, l - d, l + d);
            claimBox(int(n), j + d, j + d, k - d, k + d, l - d, l + d);
            claimBox(int(n), j - d, j + d, k - d, k - d, l - d, l + d);
            claimBox(int(n), j - d, j + d, k + d, k + d, l - d, l + d);
            claimBox(int(n), j - d, j + d, k - d, k + d, l - d, l - d);
            claimBox(int(n), j - d, j + d, k - d, k + d, l + d, l + d);
        }
    LookupTableStale = false;
}

int TPixelGraphic::LookupIndex(TColor Color) {
    if (LookupTableStale)
        BuildLookupTable();
    const int c = LookupCell(Color);
    if (Claim(LookupBitmap.get(), c))
        LookupTable[size_t(c)] = uint8_t(NearestIndex(Color));
    return LookupTable[size_t(c)];
}

int TPixelGraphic::ColorToIndex(TColor Color) {
    if (!LastColorStale && Color == LastColor)
        return LastIndex;
    auto intensity = [&] { return ColorIntensity(Color, WeightedGray); };
    const int R = GetRValue(Color), G = GetGValue(Color), B = GetBValue(Color);
    int index = 0;
    switch (PaletteIdent) {
    case pNone:
        throw EPGNoPalette(PGLangStr(2));
    case pTrueColor:
        index = int(Color);
        break;
    case pUnknown:
        index = FastColorLookup && ColorTable.size() <= LookupTableEntries ? LookupIndex(Color)
                                                                           : NearestIndex(Color);
        break;
    case pBlackWhite:
        index = (intensity() + 1) / 384;
        break;
    case pSysGray4: {
        const int I = intensity();
        index = I <= 192 ? 0 : I <= 480 ? 1 : I <= 670 ? 2 : 3;
        break;
    }
    case pSys16:
        index = NearestOf(Sys16Candidates(Color), StandardPalette(pSys16), Color);
        break;
    case pGray4:
        index = (intensity() + 127) / 255;
        break;
    case pGray16:
        index = (intensity() + 25) / 51;
        break;
    case pGray236:
        index = Gray236ByIntensity()[size_t(intensity())];
        break;
    case pGray256:
        index = (intensity() + 1) / 3;
        break;
    case pSpecial125: {
        auto level = [](int v) { return v == 224 ? 4 : (v + 31) / 64; };
        index = level(R) * 25 + level(G) * 5 + level(B);
        break;
    }
    case pSpecial216:
        index = (R + 24) / 51 * 36 + (G + 24) / 51 * 6 + (B + 24) / 51;
        break;
    case pSpecial252:
        index = Special252Nearest(Color);
        break;
    case pOptimized252Sys16:
    case pSource:
        break;
    }
    // The cache is written only once a result exists, so a raise above leaves no stale entry behind.
    LastColorStale = false;
    LastColor = Color;
    LastIndex = index;
    return index;
}
