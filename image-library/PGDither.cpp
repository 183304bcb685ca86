// Error diffusion onto a picture's colour table: serpentine scan, weights 7, 1, 5 and 3 in sixteenths, and
// the carried error limited through a table with an optional soft knee.
#include "image-library/PGraphic.h"

#include "image-library/PGMath.h"
#include "image-library/PGPixelTransfer.h"
#include "image-library/PGStandardPalettes.h"

#include <algorithm>
#include <typeinfo>

namespace {

constexpr int MaxError = 255;
// A pixel carries at most 7 sixteenths of its error ahead, and a sum collects at most 16 of them, so from
// 16 * 255 on every sum rounds to the largest error. The row loop adds the carry to a sum first kept to
// ErrorSumReach - CarryReach, which is exact: beyond that the true sum saturates as well.
constexpr int CarryReach = 7 * MaxError;
constexpr int ErrorSumReach = 16 * MaxError + 2 * CarryReach;

// The largest error each kind carries: coarse tables need much, fine gray ramps almost none, and the
// viewer's requests are no tables at all.
int AutoErrorLimit(TPaletteIdent kind) {
    switch (kind) {
    case pBlackWhite:
        return 255;
    case pSysGray4:
    case pSys16:
    case pGray4:
        return 128;
    case pGray236:
        return 3;
    case pGray256:
        return 2;
    case pSpecial125:
    case pSpecial252:
        return 104;
    case pSpecial216:
        return 86;
    case pOptimized252Sys16:
    case pSource:
        return 0;
    default: // pNone, pTrueColor, pUnknown, pGray16
        return 32;
    }
}

// A sum of sixteenths rounded to whole steps, halves away from zero, and kept to what the limit table covers.
int RoundedError(int32_t sum) {
    const int e = sum >= 0 ? (sum + 8) / 16 : -((-sum + 8) / 16);
    return std::clamp(e, -MaxError, MaxError);
}

} // namespace

void TPixelGraphic::BeginDither() {
    EndDither();
    const size_t rowSums = size_t(Width + 2) * 3;
    ErrorRowCurrent.assign(rowSums, 0);
    ErrorRowNext.assign(rowSums, 0);
    AllGray = std::all_of(ColorTable.begin(), ColorTable.end(), [](TColor c) {
        return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c);
    });

    const int limit = DitherErrorLimitAuto ? AutoErrorLimit(PaletteIdent) : DitherErrorLimit;
    const bool soft = DitherErrorLimitAuto || DitherErrorLimitSoft;
    ErrorLimitTable.assign(2 * MaxError + 1, 0);
    int32_t* t = ErrorLimitTable.data() + MaxError;
    for (int e = 0; e <= MaxError; ++e)
        t[e] = limit < 255 ? std::min(e, limit) : e;
    // The knee blends from passing errors unchanged to the limit between half and one and a half times it.
    if (soft)
        for (int e = limit / 2; e <= 3 * limit / 2 && e < 255; ++e)
            t[e] = e / 2 + limit / 4;
    for (int e = 1; e <= MaxError; ++e)
        t[-e] = -t[e];
    ErrorSumLimits.resize(2 * ErrorSumReach + 1);
    for (int sum = -ErrorSumReach; sum <= ErrorSumReach; ++sum)
        ErrorSumLimits[size_t(sum + ErrorSumReach)] = int16_t(t[RoundedError(sum)]);
}

TColor TPixelGraphic::EntryColor(int Index) const {
    // IndexToColor without its call where the entry exists.
    return PaletteIdent != pTrueColor && size_t(Index) < ColorTable.size() ? ColorTable[size_t(Index)]
                                                                           : IndexToColor(uint32_t(Index));
}

template <typename Store> void TPixelGraphic::Diffuse(int X, int Y, int R, int G, int B, Store&& store) {
    const int16_t* limit = ErrorSumLimits.data() + ErrorSumReach;
    const int ahead = Y % 2 == 0 ? X + 1 : X - 1;
    const int behind = 2 * X - ahead;
    // Sums of pixel X sit at (X + 1) * 3: the guard pixel comes first.
    int32_t* cur = ErrorRowCurrent.data() + 3;
    int32_t* next = ErrorRowNext.data() + 3;
    auto spread = [&](int channel, int error) {
        cur[ahead * 3 + channel] += error * 7;
        next[ahead * 3 + channel] += error;
        next[X * 3 + channel] += error * 5;
        next[behind * 3 + channel] += error * 3;
    };
    auto wanted = [&](int channel, int component) {
        const int sum = std::clamp(cur[X * 3 + channel], -ErrorSumReach, ErrorSumReach);
        return PGClampTable[limit[sum] + std::clamp(component, 0, 255)];
    };

    if (AllGray) {
        // Gray tables carry one error, kept in the green sums.
        const int v = wanted(1, ColorIntensity(RGB(uint8_t(R), uint8_t(G), uint8_t(B)), WeightedGray) / 3);
        const int index = ColorToIndex(RGB(uint8_t(v), uint8_t(v), uint8_t(v)));
        store(uint32_t(index));
        spread(1, v - GetGValue(EntryColor(index)));
        return;
    }
    const int r = wanted(0, R), g = wanted(1, G), b = wanted(2, B);
    const int index = ColorToIndex(RGB(uint8_t(r), uint8_t(g), uint8_t(b)));
    store(uint32_t(index));
    const TColor chosen = EntryColor(index);
    spread(0, r - GetRValue(chosen));
    spread(1, g - GetGValue(chosen));
    spread(2, b - GetBValue(chosen));
}

void TPixelGraphic::DitherPixel(int X, int Y, int R, int G, int B) {
    // Outside the rows set up by BeginDither there is no pixel to write and no sum to carry.
    if (X < 0 || size_t(X) + 2 >= ErrorRowCurrent.size() / 3)
        return;
    Diffuse(X, Y, R, G, B, [&](uint32_t index) { SetPixelValue(X, Y, index); });
}

void TPixelGraphic::DitherRow(int Y, int First, int Last, const TColor* Colors) {
    FlushPending();
    // Pixels inside the picture are stored straight into the row, as SetPixelValue stores them.
    uint8_t* row = Bits && Y >= 0 && Y < Height ? Bits.get() + ptrdiff_t(Height - 1 - Y) * RowBytes : nullptr;
    const size_t sums = ErrorRowCurrent.size() / 3;
    // Pixels outside the picture do nothing; a picture whose size changed since BeginDither takes the
    // general loop below.
    if (row && !AllGray && sums == size_t(Width) + 2) {
        DiffuseColorRow(Y, std::max(First, 0), std::min(Last, Width - 1),
                        Colors + (std::max(First, 0) - First), row);
        return;
    }
    ForEachInScanOrder(Y, First, Last, [&](int X) {
        if (X < 0 || size_t(X) + 2 >= sums)
            return;
        const TColor c = Colors[X - First];
        if (row && X < Width)
            Diffuse(X, Y, GetRValue(c), GetGValue(c), GetBValue(c),
                    [&](uint32_t index) { SetRawValue(row, X, BitCountNum, index); });
        else
            Diffuse(X, Y, GetRValue(c), GetGValue(c), GetBValue(c),
                    [&](uint32_t index) { SetPixelValue(X, Y, index); });
    });
}

// Diffuse for a run of neighbours, the error carried to the next pixel kept in hand rather than stored in its
// sum and read back: that round trip lay on the chain from one pixel to the next.
void TPixelGraphic::DiffuseColorRow(int Y, int First, int Last, const TColor* Colors, uint8_t* Row) {
    if (First > Last)
        return;
    const int16_t* limit = ErrorSumLimits.data() + ErrorSumReach;
    const int step = Y % 2 == 0 ? 1 : -1;
    int X = step > 0 ? First : Last;
    const int end = (step > 0 ? Last : First) + step;
    int32_t* cur = ErrorRowCurrent.data() + 3;
    int32_t* next = ErrorRowNext.data() + 3;
    // EntryColor without its call where the entry exists.
    const size_t entries = PaletteIdent != pTrueColor ? ColorTable.size() : 0;
    // The standard 252 colours answer most colours from their grid without a search, exactly as
    // ColorToIndex does, unless a derived picture answers in its own way.
    constexpr uint8_t NoSingle = 255;
    const uint8_t* singles = PaletteIdent == pSpecial252 && typeid(*this) == typeid(TPixelGraphic)
                                 ? Special252SingleCandidates()
                                 : nullptr;
    int carryR = 0, carryG = 0, carryB = 0;
    constexpr int held = ErrorSumReach - CarryReach;
    for (; X != end; X += step) {
        const TColor c = Colors[X - First];
        int32_t* sum = cur + X * 3;
        const int r = std::clamp(limit[std::clamp(sum[0], -held, held) + carryR] + int(GetRValue(c)), 0, 255);
        const int g = std::clamp(limit[std::clamp(sum[1], -held, held) + carryG] + int(GetGValue(c)), 0, 255);
        const int b = std::clamp(limit[std::clamp(sum[2], -held, held) + carryB] + int(GetBValue(c)), 0, 255);
        const TColor wanted = RGB(uint8_t(r), uint8_t(g), uint8_t(b));
        const uint8_t single = singles ? singles[(r >> 2) << 12 | (g >> 2) << 6 | b >> 2] : NoSingle;
        const uint32_t index = single != NoSingle ? single : uint32_t(ColorToIndex(wanted));
        const TColor chosen = index < entries ? ColorTable[index] : EntryColor(int(index));
        SetRawValue(Row, X, BitCountNum, index);
        const int eR = r - GetRValue(chosen), eG = g - GetGValue(chosen), eB = b - GetBValue(chosen);
        carryR = eR * 7, carryG = eG * 7, carryB = eB * 7;
        int32_t* below = next + X * 3;
        below[step * 3] += eR, below[step * 3 + 1] += eG, below[step * 3 + 2] += eB;
        below[0] += eR * 5, below[1] += eG * 5, below[2] += eB * 5;
        below[-step * 3] += eR * 3, below[-step * 3 + 1] += eG * 3, below[-step * 3 + 2] += eB * 3;
    }
    // The pixel after the run, if another call diffuses it, finds its carry in the sums as Diffuse leaves it.
    int32_t* after = cur + X * 3;
    after[0] += carryR, after[1] += carryG, after[2] += carryB;
}

void TPixelGraphic::NextDitherRow() {
    std::swap(ErrorRowCurrent, ErrorRowNext);
    std::fill(ErrorRowNext.begin(), ErrorRowNext.end(), 0);
}

void TPixelGraphic::EndDither() {
    // Assigning empty vectors gives the memory back; the buffers exist only while a diffusion runs.
    ErrorLimitTable = {};
    ErrorSumLimits = {};
    ErrorRowCurrent = {};
    ErrorRowNext = {};
}
