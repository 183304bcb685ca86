// The geometric operations of the picture: resampling, copying and rotating, all in integer arithmetic
// except rotation, which maps every target pixel back into the source. Mirroring is in PGMirror.cpp.
#include "image-library/PGraphic.h"

#include "framework/Rounding.h"
#include "framework/Thread.h"
#include "image-library/PGPixelTransfer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace {

// The operations read their source while they write the target. When the two are one picture, the source
// is read from a copy, so the result is that of working from the unchanged picture.
TPixelGraphic& Unaliased(const TPixelGraphic& Target, TPixelGraphic& Source,
                         std::unique_ptr<TPixelGraphic>& copy) {
    if (&Source != &Target)
        return Source;
    copy = std::make_unique<TPixelGraphic>();
    copy->Assign(&Source);
    return *copy;
}

// Raw values mean the same colours in both pictures: one format, and for paletted ones one colour table.
bool SameColorMeaning(const TPixelGraphic& a, const TPixelGraphic& b) {
    if (a.GetBitCountNum() != b.GetBitCountNum())
        return false;
    if (a.GetBitCountNum() == 3)
        return true;
    if (a.GetColorCount() != b.GetColorCount())
        return false;
    for (int i = 0; i < a.GetColorCount(); ++i)
        if (a.IndexToColor(uint32_t(i)) != b.IndexToColor(uint32_t(i)))
            return false;
    return true;
}

// Inclusive ranges are computed in 64 bits and clamped before they become Integers again: an empty range
// ends as Last = First - 1.
struct TRange {
    int First;
    int Last;
};
TRange Clip(int64_t first, int64_t last, int64_t lowest, int64_t highest) {
    first = std::max(first, lowest);
    last = std::min(last, highest);
    if (first > last)
        return {int(std::min<int64_t>(first, INT32_MAX - 1)),
                int(std::min<int64_t>(first, INT32_MAX - 1)) - 1};
    return {int(first), int(last)};
}

// ---- StretchCopy's sampling along one axis ----

// The source indices First .. Last that one target index samples, their weights, and the divisor that the
// weighted sum is divided by.
struct TAxisEntry {
    int First = 0;
    int Last = 0;
    int64_t FirstWeight = 1;
    int64_t LastWeight = 0;
    int64_t MidWeight = 0;
    int64_t Divisor = 1;
    bool Valid = false;

    int64_t Weight(int i) const { return i == First ? FirstWeight : i == Last ? LastWeight : MidWeight; }
};

enum class TSampling { Nearest, OneToOne, TwoPoint, Area };

TSampling AxisSampling(TStretchMode mode, int64_t S, int64_t D) {
    if (mode == smFast)
        return TSampling::Nearest;
    if (S == D)
        return TSampling::OneToOne;
    const bool shrinking = S > D;
    if (mode == smMedium)
        return shrinking ? TSampling::TwoPoint : TSampling::Area;
    return shrinking ? TSampling::Area : TSampling::TwoPoint;
}

// The divisor of every entry of an axis.
int64_t AxisDivisor(TSampling sampling, int64_t S, int64_t D) {
    return sampling == TSampling::TwoPoint ? 2 * D : sampling == TSampling::Area ? S : 1;
}

// S source size, D target size (both positive), O source origin, N the source picture's size on the axis,
// a the target index relative to the target origin. Products fit 64 bits: every factor is below 2^32.
TAxisEntry AxisEntry(TSampling sampling, int64_t S, int64_t D, int64_t O, int64_t N, int64_t a) {
    TAxisEntry e;
    int64_t first = 0, last = 0;
    switch (sampling) {
    case TSampling::Nearest:
        first = last = O + a * S / D;
        break;
    case TSampling::OneToOne:
        first = last = O + a;
        break;
    case TSampling::TwoPoint: {
        // The two source pixels around the target pixel's centre, in units of 1 / (2D).
        const int64_t centre = S * (2 * a + 1);
        first = O + (centre - D) / (2 * D);
        last = O + (centre + D) / (2 * D);
        if (S < D && ((first < 0 && last >= 0) || (first < N && last >= N))) {
            first = std::clamp<int64_t>(first, 0, N - 1);
            last = std::clamp<int64_t>(last, 0, N - 1);
            e.Valid = true;
        }
        e.Divisor = AxisDivisor(sampling, S, D);
        if (D * (2 * (first - O) + 1) == centre || first == last) {
            e.FirstWeight = 2 * D;
        } else {
            e.FirstWeight = 2 * D - (centre - D * (2 * (first - O) + 1));
            e.LastWeight = 2 * D - (D * (2 * (last - O) + 1) - centre);
        }
        break;
    }
    case TSampling::Area:
        first = O + S * a / D;
        last = O + S * (a + 1) / D - (S * (a + 1) % D == 0 ? 1 : 0);
        e.Divisor = AxisDivisor(sampling, S, D);
        if (first == last) {
            e.FirstWeight = S;
        } else {
            e.FirstWeight = D * (first - O + 1) - S * a;
            e.LastWeight = S * (a + 1) - D * (last - O);
            e.MidWeight = D;
        }
        break;
    }
    e.Valid = e.Valid || (first >= 0 && first < N && last >= 0 && last < N);
    if (e.Valid) {
        e.First = int(first);
        e.Last = int(last);
        if (e.LastWeight == 0 && e.MidWeight == 0)
            e.Last = e.First; // only the first pixel counts
    }
    return e;
}

// A quotient by a divisor fixed for a call, as a multiplication where that gives the same quotient: with
// M = floor((2^64 - 1) / d) + 1 = ceil(2^64 / d) and e = M * d - 2^64 < d, n * M / 2^64 = n / d + n * e /
// (d * 2^64), which truncates to n / d whenever n * e < 2^64, so for 0 <= n < floor((2^64 - 1) / d). Other
// numerators are divided.
class TQuotient {
public:
    explicit TQuotient(int64_t Divisor)
        : Divisor(Divisor), Limit(~uint64_t(0) / uint64_t(Divisor)), Factor(Limit + 1) {}
    int64_t operator()(int64_t n) const {
        if (Divisor == 1)
            return n;
        if (n >= 0 && uint64_t(n) < Limit)
            return int64_t(uint64_t((unsigned __int128)uint64_t(n) * Factor >> 64));
        return n / Divisor;
    }

private:
    int64_t Divisor;
    uint64_t Limit;
    uint64_t Factor;
};

// The weighted sums of red, green and blue over each column entry of a few source rows, each divided by the
// entry's divisor: every target row that samples a source row adds up the same sums, so a run of target
// rows computes them once per source row.
class TColumnSums {
public:
    // Slots of at least 2: a target row's two source rows are both held.
    TColumnSums(size_t Columns, size_t Slots)
        : Columns(Columns), Rows(std::max<size_t>(Slots, 2), INT_MIN), Sums(Rows.size() * 3 * Columns) {}
    // The sums of source row j; Make(j, sums) computes them when no slot holds them, into the slot of the
    // lowest row (runs go down the picture), so the row asked for just before stays.
    template <typename Make> const int64_t* Row(int j, Make&& make) {
        for (size_t slot = 0; slot < Rows.size(); ++slot)
            if (Rows[slot] == j)
                return Sums.data() + slot * 3 * Columns;
        const size_t slot = size_t(std::min_element(Rows.begin(), Rows.end()) - Rows.begin());
        Rows[slot] = j;
        int64_t* sums = Sums.data() + slot * 3 * Columns;
        make(j, sums);
        return sums;
    }

private:
    size_t Columns;
    std::vector<int> Rows; // INT_MIN: empty
    std::vector<int64_t> Sums;
};

} // namespace

void TPixelGraphic::CopyFrom(TPixelGraphic& Source) {
    StretchCopy(0, 0, Width, Height, 0, 0, Source.GetWidth(), Source.GetHeight(), Source);
}

void TPixelGraphic::StretchCopy(int DestX, int DestY, int DestWidth, int DestHeight, int SrcX, int SrcY,
                                int SrcWidth, int SrcHeight, TPixelGraphic& Source) {
    FlushPending();
    if (SrcWidth == DestWidth && SrcHeight == DestHeight) {
        CopyRect(DestX, DestY, DestWidth, DestHeight, SrcX, SrcY, Source);
        return;
    }
    // A rectangle side of 0 or less has no sampling: the rules divide by the sizes.
    if (Width <= 0 || Height <= 0 || !Bits || Source.GetWidth() <= 0 || Source.GetHeight() <= 0 ||
        Source.GetEmpty() || DestWidth <= 0 || DestHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0)
        return;
    std::unique_ptr<TPixelGraphic> copy;
    const TPGSourceReader source(Unaliased(*this, Source, copy));
    const TRange columns = Clip(DestX, int64_t(DestX) + DestWidth - 1, 0, Width - 1);
    const TRange rows = Clip(DestY, int64_t(DestY) + DestHeight - 1, 0, Height - 1);

    const TSampling across = AxisSampling(StretchMode, SrcWidth, DestWidth);
    const TSampling down = AxisSampling(StretchMode, SrcHeight, DestHeight);
    const size_t columnCount = size_t(columns.Last - columns.First + 1);
    std::vector<TAxisEntry> columnEntries(columnCount);
    for (size_t k = 0; k < columnCount; ++k)
        columnEntries[k] = AxisEntry(across, SrcWidth, DestWidth, SrcX, source.Width(),
                                     int64_t(columns.First) + int64_t(k) - DestX);
    const TQuotient acrossQuotient(AxisDivisor(across, SrcWidth, DestWidth));
    const TQuotient downQuotient(AxisDivisor(down, SrcHeight, DestHeight));

    // Entries of divisor 1 take one pixel with weight 1: the sums are that pixel's colour.
    const bool pointColumns = std::all_of(columnEntries.begin(), columnEntries.end(),
                                          [](const TAxisEntry& e) { return e.Divisor == 1; });

    auto columnSums = [&](auto source24, int j, int64_t* sums) {
        const uint8_t* row = source.Row(j);
        for (size_t k = 0; k < columnCount; ++k) {
            const TAxisEntry& e = columnEntries[k];
            if (!e.Valid)
                continue;
            int64_t r = 0, g = 0, b = 0;
            for (int i = e.First; i <= e.Last; ++i) {
                const int64_t wx = e.Weight(i);
                if constexpr (decltype(source24)::value) {
                    const uint8_t* p = row + 3 * ptrdiff_t(i);
                    r += p[2] * wx;
                    g += p[1] * wx;
                    b += p[0] * wx;
                } else {
                    const TColor c = source.Color(row, i);
                    r += GetRValue(c) * wx;
                    g += GetGValue(c) * wx;
                    b += GetBValue(c) * wx;
                }
            }
            sums[3 * k] = acrossQuotient(r);
            sums[3 * k + 1] = acrossQuotient(g);
            sums[3 * k + 2] = acrossQuotient(b);
        }
    };
    auto makeSums = [&](int j, int64_t* sums) {
        if (source.GetBitCountNum() == 3)
            columnSums(std::true_type(), j, sums);
        else
            columnSums(std::false_type(), j, sums);
    };
    // The rows one target row samples at most, and one more for the next target row.
    const size_t slotCount = size_t(std::min<int64_t>(8, int64_t(SrcHeight) / DestHeight + 3));

    // Per target row the column sums of its source rows, weighted, are added up and divided once. Put(k,
    // colour) gets the colour of every valid column entry k; false when the row has no source.
    auto resampleRow = [&](int Y, TColumnSums& cache, std::vector<int64_t>& totals, auto&& put) {
        const TAxisEntry down_ =
            AxisEntry(down, SrcHeight, DestHeight, SrcY, source.Height(), int64_t(Y) - DestY);
        if (!down_.Valid)
            return false;
        if (pointColumns && down_.Divisor == 1) {
            const uint8_t* row = source.Row(down_.First);
            for (size_t k = 0; k < columnCount; ++k)
                if (columnEntries[k].Valid)
                    put(k, source.Color(row, columnEntries[k].First));
            return true;
        }
        auto put3 = [&](size_t k, int64_t r, int64_t g, int64_t b) {
            put(k, RGB(uint8_t(downQuotient(r)), uint8_t(downQuotient(g)), uint8_t(downQuotient(b))));
        };
        if (down_.Last - down_.First <= 1) { // one or two source rows: the sums are weighted on the way out
            const int64_t* __restrict first = cache.Row(down_.First, makeSums);
            const int64_t* __restrict last = cache.Row(down_.Last, makeSums);
            const int64_t w0 = down_.Weight(down_.First),
                          w1 = down_.Last > down_.First ? down_.LastWeight : 0;
            for (size_t k = 0; k < columnCount; ++k)
                if (columnEntries[k].Valid)
                    put3(k, first[3 * k] * w0 + last[3 * k] * w1,
                         first[3 * k + 1] * w0 + last[3 * k + 1] * w1,
                         first[3 * k + 2] * w0 + last[3 * k + 2] * w1);
            return true;
        }
        int64_t* __restrict sum = totals.data();
        std::fill(totals.begin(), totals.end(), 0);
        for (int j = down_.First; j <= down_.Last; ++j) {
            const int64_t wy = down_.Weight(j);
            const int64_t* __restrict sums = cache.Row(j, makeSums);
            for (size_t k = 0; k < 3 * columnCount; ++k)
                sum[k] += sums[k] * wy;
        }
        for (size_t k = 0; k < columnCount; ++k)
            if (columnEntries[k].Valid)
                put3(k, sum[3 * k], sum[3 * k + 1], sum[3 * k + 2]);
        return true;
    };

    TPGTargetWriter writer(*this);
    if (BitCountNum == 3) {
        // Every target pixel depends on the source only: runs of rows go to the worker pool.
        writer.RunRowsInParallel(rows.First, rows.Last, [&] {
            return [&, cache = TColumnSums(columnCount, slotCount),
                    totals = std::vector<int64_t>(3 * columnCount)](int Y, uint8_t* row) mutable {
                return resampleRow(Y, cache, totals, [&](size_t k, TColor color) {
                    SetRawValue(row, columns.First + int(k), 3, color);
                });
            };
        });
    } else {
        TColumnSums cache(columnCount, slotCount);
        std::vector<int64_t> totals(3 * columnCount);
        std::vector<TColor> colors(columnCount);
        const bool allColumnsValid = std::all_of(columnEntries.begin(), columnEntries.end(),
                                                 [](const TAxisEntry& e) { return e.Valid; });
        writer.RunRows(rows.First, rows.Last, [&](int Y) {
            writer.BeginRow(Y);
            if (!resampleRow(Y, cache, totals, [&](size_t k, TColor color) { colors[k] = color; }))
                return false;
            if (allColumnsValid)
                writer.WriteRow(columns.First, columns.Last, colors.data());
            else
                ForEachInScanOrder(Y, columns.First, columns.Last, [&](int X) {
                    const size_t k = size_t(X - columns.First);
                    if (columnEntries[k].Valid)
                        writer.Write(X, colors[k]);
                });
            return true;
        });
    }
    writer.Finish();
}

void TPixelGraphic::CopyRect(int DestX, int DestY, int AWidth, int AHeight, int SrcX, int SrcY,
                             TPixelGraphic& Source) {
    FlushPending();
    if (Width <= 0 || Height <= 0 || Source.GetWidth() <= 0 || Source.GetHeight() <= 0)
        return;
    const int64_t shift = int64_t(SrcX) - DestX; // source column = target column + shift
    const TRange columns =
        Clip(std::max<int64_t>(DestX, -shift),
             std::min<int64_t>(int64_t(DestX) + AWidth - 1, Source.GetWidth() - 1 - shift), 0, Width - 1);
    if (columns.First > columns.Last || !Bits || Source.GetEmpty()) {
        Changed();
        return;
    }
    std::unique_ptr<TPixelGraphic> copy;
    TPixelGraphic& from = Unaliased(*this, Source, copy);
    const TPGSourceReader source(from);
    const TRange rows = Clip(DestY, int64_t(DestY) + AHeight - 1, 0, Height - 1);
    const bool raw = SameColorMeaning(*this, from);
    const int count = columns.Last - columns.First + 1;
    const int sourceFirst = int(columns.First + shift);

    TPGTargetWriter writer(*this, !raw);
    std::vector<TColor> colors(raw ? 0 : size_t(count));
    writer.RunRows(rows.First, rows.Last, [&](int Y) {
        const int64_t S = int64_t(Y) - DestY + SrcY;
        if (S < 0 || S >= source.Height())
            return false;
        const uint8_t* sourceRow = source.Row(int(S));
        uint8_t* targetRow = GetScanLine(Y);
        if (BitCountNum == 3 && source.GetBitCountNum() == 3) {
            std::memmove(targetRow + 3 * ptrdiff_t(columns.First), sourceRow + 3 * ptrdiff_t(sourceFirst),
                         3 * size_t(count));
            return false; // whole runs of bytes count as no step
        }
        writer.BeginRow(Y);
        if (raw && BitCountNum == 2)
            std::memmove(targetRow + columns.First, sourceRow + sourceFirst, size_t(count));
        else if (raw)
            for (int k = 0; k < count; ++k)
                SetRawValue(targetRow, columns.First + k, BitCountNum,
                            GetRawValue(sourceRow, sourceFirst + k, BitCountNum));
        else {
            for (int k = 0; k < count; ++k)
                colors[size_t(k)] = source.Color(sourceRow, sourceFirst + k);
            writer.WriteRow(columns.First, columns.Last, colors.data());
        }
        return true;
    });
    writer.Finish();
}

// ---- Turning ----

namespace {

constexpr long double Pi = 3.1415926535897932385L;

// Cosine and sine of a turn in degrees. Whole multiples of 90 degrees get exact values (the 80-bit cosine
// of 90 degrees is -2.5e-20, which grows bounding boxes by a pixel) and their number of quarter turns.
struct TTurn {
    long double Cos;
    long double Sin;
    int Quarters = -1; // 0..3 for whole multiples of 90 degrees
};

TTurn TurnOf(long double Angle) {
    const long double rest = std::fmod(Angle, 360.0L); // exact
    if (rest == std::trunc(rest) && std::fmod(rest, 90.0L) == 0) {
        const int quarters = (int(rest / 90) + 4) % 4;
        constexpr long double cosines[4] = {1, 0, -1, 0};
        constexpr long double sines[4] = {0, 1, 0, -1};
        return {cosines[quarters], sines[quarters], quarters};
    }
    const long double r = Angle * Pi / 180;
    return {std::cos(r), std::sin(r)};
}

// Coordinates far outside any picture are held at a distance that keeps every conversion defined. Floor
// and ceiling are derived from rounding to nearest, which on 80-bit numbers needs no change of the
// processor's rounding mode (such changes cost more than all the rest of a pixel).
constexpr long double FarAway = 1e12L;
int64_t Round64(long double v) {
    return Round(std::clamp(v, -FarAway, FarAway));
}
int64_t Floor64(long double v) {
    const int64_t r = Round64(v);
    return (long double)r > v ? r - 1 : r;
}
int64_t Ceil64(long double v) {
    const int64_t r = Round64(v);
    return (long double)r < v ? r + 1 : r;
}

int64_t FloorHalf(int64_t v) {
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

// Quarter turns move raw values a band of target rows at a time, in tiles of so many target columns.
constexpr int BandRows = 64;
constexpr int TileColumns = 64;

} // namespace

void TPixelGraphic::Transform(int DestCenterX, int DestCenterY, long double Angle, int SrcCenterX,
                              int SrcCenterY, int SrcX, int SrcY, int SrcWidth, int SrcHeight,
                              TPixelGraphic& Source) {
    if (!std::isfinite(Angle))
        return;
    FlushPending();
    const TTurn turn = TurnOf(Angle);
    const long double c = turn.Cos, s = turn.Sin, det = c * c + s * s;

    // The target range from the turned corners of the source rectangle.
    long double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    for (const int64_t x : {int64_t(SrcX), int64_t(SrcX) + SrcWidth})
        for (const int64_t y : {int64_t(SrcY), int64_t(SrcY) + SrcHeight}) {
            const long double dx = x - SrcCenterX, dy = y - SrcCenterY;
            const long double X = dx * c - dy * s + DestCenterX, Y = dx * s + dy * c + DestCenterY;
            minX = std::min(minX, X), maxX = std::max(maxX, X);
            minY = std::min(minY, Y), maxY = std::max(maxY, Y);
        }
    const TRange columns = Clip(Floor64(minX), Ceil64(maxX), 0, Width - 1);
    const TRange rows = Clip(Floor64(minY), Ceil64(maxY), 0, Height - 1);
    if (columns.First > columns.Last || rows.First > rows.Last || !Bits)
        return;

    std::unique_ptr<TPixelGraphic> copy;
    TPixelGraphic& from = Unaliased(*this, Source, copy);
    const TPGSourceReader source(from);
    const TRange sourceColumns = Clip(SrcX, int64_t(SrcX) + SrcWidth - 1, 0, source.Width() - 1);
    const TRange sourceRows = Clip(SrcY, int64_t(SrcY) + SrcHeight - 1, 0, source.Height() - 1);
    auto inside = [&](int64_t x, int64_t y) {
        return x >= sourceColumns.First && x <= sourceColumns.Last && y >= sourceRows.First &&
               y <= sourceRows.Last;
    };
    // Quarter turns sample the nearest pixel whatever Interpolate says; the option itself is left alone.
    const bool bilinear = Interpolate == 1 && turn.Quarters < 0;

    // The inverse map's column terms, each the very product the map forms for its pixel. A determinant of
    // exactly 1 divides nothing: dividing by 1 is exact.
    const size_t columnCount = size_t(columns.Last - columns.First + 1);
    std::vector<long double> columnCos(columnCount), columnSin(columnCount);
    for (size_t k = 0; k < columnCount; ++k) {
        const long double dx = int64_t(columns.First) + int64_t(k) - DestCenterX;
        columnCos[k] = dx * c;
        columnSin[k] = -(dx * s);
    }
    const bool unitDet = det == 1;

    // The colour of target pixel X of row Y (dyS and dyC the row's terms) into Color; false when the pixel
    // stays as it is. Old() gives the colour the target already has there.
    auto turned = [&](int X, long double dyS, long double dyC, auto&& Old, TColor& Color) {
        const size_t k = size_t(X - columns.First);
        long double sx = columnCos[k] + dyS, sy = columnSin[k] + dyC;
        if (!unitDet)
            sx = sx / det, sy = sy / det;
        sx = sx + SrcCenterX, sy = sy + SrcCenterY;
        if (!bilinear) {
            const int64_t rx = Round64(sx), ry = Round64(sy);
            if (!inside(rx, ry))
                return false;
            Color = source.Color(int(rx), int(ry));
            return true;
        }
        const int64_t fx[2] = {Floor64(sx), Ceil64(sx)}, fy[2] = {Floor64(sy), Ceil64(sy)};
        auto column = [&](int64_t x) { return x >= sourceColumns.First && x <= sourceColumns.Last; };
        auto row = [&](int64_t y) { return y >= sourceRows.First && y <= sourceRows.Last; };
        if (!(column(fx[0]) || column(fx[1])) || !(row(fy[0]) || row(fy[1])))
            return false; // none of the four neighbours lies in the source
        const long double wx[2] = {fx[0] == fx[1] ? 0.5L : 1 - (sx - fx[0]),
                                   fx[0] == fx[1] ? 0.5L : 1 - (fx[1] - sx)};
        const long double wy[2] = {fy[0] == fy[1] ? 0.5L : 1 - (sy - fy[0]),
                                   fy[0] == fy[1] ? 0.5L : 1 - (fy[1] - sy)};
        long double sum[3] = {0, 0, 0};
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) {
                const TColor color = inside(fx[i], fy[j]) ? source.Color(int(fx[i]), int(fy[j])) : Old();
                const long double w = wx[i] * wy[j];
                sum[0] += w * GetRValue(color);
                sum[1] += w * GetGValue(color);
                sum[2] += w * GetBValue(color);
            }
        auto channel = [](long double v) { return uint8_t(std::clamp<int64_t>(Round(v), 0, 255)); };
        Color = RGB(channel(sum[0]), channel(sum[1]), channel(sum[2]));
        return true;
    };

    TPGTargetWriter writer(*this);
    if (BitCountNum == 3) {
        // Every pixel depends on the source and on its own earlier colour only: rows go to the worker pool.
        writer.RunRowsInParallel(rows.First, rows.Last, [&] {
            return [&](int Y, uint8_t* row) {
                const long double dy = int64_t(Y) - DestCenterY;
                const long double dyS = dy * s, dyC = dy * c;
                for (int X = columns.First; X <= columns.Last; ++X) {
                    TColor color;
                    if (turned(
                            X, dyS, dyC, [&] { return GetRawValue(row, X, 3); }, color))
                        SetRawValue(row, X, 3, color);
                }
                return true;
            };
        });
    } else {
        const TPGSourceReader target(*this); // what the target already shows, for the border
        writer.RunRows(rows.First, rows.Last, [&](int Y) {
            writer.BeginRow(Y);
            const long double dy = int64_t(Y) - DestCenterY;
            const long double dyS = dy * s, dyC = dy * c;
            ForEachInScanOrder(Y, columns.First, columns.Last, [&](int X) {
                TColor color;
                if (turned(
                        X, dyS, dyC, [&] { return target.Color(X, Y); }, color))
                    writer.Write(X, color);
            });
            return true;
        });
    }
    writer.Finish();
}

namespace {

// Asks the processor to fetch the source rows of the next tile of a turn by 90 or 270 degrees, which walks
// down source columns where its own prefetching cannot follow. first and last are the source pixels of the
// tile's first target column in the band's first and last row.
void PrefetchTile(std::pair<int, int> first, std::pair<int, int> last, const TPGSourceReader& source,
                  int count, int pixelBytes, ptrdiff_t step) {
    const uint8_t* from = source.Row(first.second) + ptrdiff_t(first.first) * pixelBytes;
    const ptrdiff_t span = (source.Row(last.second) + ptrdiff_t(last.first) * pixelBytes) - from;
    const ptrdiff_t low = std::min<ptrdiff_t>(span, 0), high = std::max<ptrdiff_t>(span, 0) + pixelBytes - 1;
    for (int k = 0; k < count; ++k, from += step)
        for (ptrdiff_t offset = low; offset < high + 64; offset += 64)
            __builtin_prefetch(from + std::min(offset, high));
}

// Rotate's quarter turns: the turned source placed centred on the target (offset (target - turned size) / 2,
// rounded down), which is Transform's own mapping when all sides are odd and keeps every source row when
// sides are even.
void QuarterTurn(TPixelGraphic& Target, TPixelGraphic& Source, int quarters) {
    const int W = Source.GetWidth(), H = Source.GetHeight();
    const int64_t turnedWidth = quarters % 2 ? H : W, turnedHeight = quarters % 2 ? W : H;
    const int64_t offsetX = FloorHalf(Target.GetWidth() - turnedWidth);
    const int64_t offsetY = FloorHalf(Target.GetHeight() - turnedHeight);
    const TRange columns = Clip(offsetX, offsetX + turnedWidth - 1, 0, Target.GetWidth() - 1);
    const TRange rows = Clip(offsetY, offsetY + turnedHeight - 1, 0, Target.GetHeight() - 1);
    if (columns.First > columns.Last || rows.First > rows.Last || Target.GetEmpty() || Source.GetEmpty())
        return;

    // Source pixel of target pixel (X, Y), and how it moves when X grows by one.
    auto sourceOf = [&](int X, int Y) -> std::pair<int, int> {
        const int u = int(X - offsetX), v = int(Y - offsetY);
        switch (quarters) {
        case 0:
            return {u, v};
        case 1:
            return {v, H - 1 - u};
        case 2:
            return {W - 1 - u, H - 1 - v};
        default:
            return {W - 1 - v, u};
        }
    };
    constexpr int stepX[4] = {1, 0, -1, 0}, stepY[4] = {0, -1, 0, 1};

    const TPGSourceReader source(Source);
    const bool raw = SameColorMeaning(Target, Source);
    TPGTargetWriter writer(Target, !raw);
    if (!raw) {
        writer.RunRows(rows.First, rows.Last, [&](int Y) {
            writer.BeginRow(Y);
            ForEachInScanOrder(Y, columns.First, columns.Last, [&](int X) {
                const auto [x, y] = sourceOf(X, Y);
                writer.Write(X, source.Color(x, y));
            });
            return true;
        });
        writer.Finish();
        return;
    }

    // Raw values, a band of target rows at a time. Turns by 90 and 270 degrees read the source in tiles, so
    // that the source columns they walk stay in cache.
    const uint8_t format = Target.GetBitCountNum();
    const int rowBytes = Target.GetRowBytes();
    const int pixelBytes = format == 3 ? 3 : 1;
    const size_t firstByte = format >= 2 ? size_t(columns.First) * size_t(pixelBytes) : 0;
    const size_t runBytes =
        format >= 2 ? size_t(columns.Last - columns.First + 1) * size_t(pixelBytes) : size_t(rowBytes);
    const ptrdiff_t sourceStep = ptrdiff_t(stepX[quarters]) * pixelBytes -
                                 ptrdiff_t(stepY[quarters]) * Source.GetRowBytes(); // rows are bottom-up
    const int tileColumns = quarters % 2 ? TileColumns : columns.Last - columns.First + 1;
    // Fills the target rows bandFirst .. bandLast through rowOf, tile by tile.
    auto fillBand = [&](int bandFirst, int bandLast, auto&& rowOf, bool aside) {
        for (int tile = columns.First; tile <= columns.Last; tile += tileColumns) {
            const int tileLast = std::min(columns.Last, tile + tileColumns - 1);
            if (quarters % 2 && format >= 2 && tileLast < columns.Last)
                PrefetchTile(sourceOf(tileLast + 1, bandFirst), sourceOf(tileLast + 1, bandLast), source,
                             std::min(tileColumns, columns.Last - tileLast), pixelBytes, sourceStep);
            for (int row = bandFirst; row <= bandLast; ++row) {
                uint8_t* to = rowOf(row);
                if (format < 2) { // bytes shared with pixels outside the run: start from the row itself
                    if (aside && tile == columns.First)
                        std::memcpy(to, Target.GetScanLine(row), size_t(rowBytes));
                    for (int X = tile; X <= tileLast; ++X) {
                        const auto [x, y] = sourceOf(X, row);
                        SetRawValue(to, X, format, GetRawValue(source.Row(y), x, format));
                    }
                    continue;
                }
                const auto [x, y] = sourceOf(tile, row);
                const uint8_t* from = source.Row(y) + ptrdiff_t(x) * pixelBytes;
                to += size_t(tile) * size_t(pixelBytes);
                const int count = tileLast - tile + 1;
                if (sourceStep == pixelBytes)
                    std::memcpy(to, from, size_t(count) * size_t(pixelBytes));
                else if (pixelBytes == 1)
                    GatherPixels<1>(to, from, count, sourceStep);
                else
                    GatherPixels<3>(to, from, count, sourceStep);
            }
        }
    };
    if (!Target.GetOnProgress()) {
        // Nobody watches the rows one by one: the bands, each writing rows of its own, go to the worker pool.
        // The row addresses are worked out here, on the calling thread.
        writer.Start();
        uint8_t* const bits = Target.GetBits();
        const int height = Target.GetHeight();
        const auto targetRow = [&](int Y) { return bits + ptrdiff_t(height - 1 - Y) * ptrdiff_t(rowBytes); };
        TWorkerPool::Instance().Run((rows.Last - rows.First) / BandRows + 1, [&](int part) {
            const int first = rows.First + part * BandRows;
            fillBand(first, std::min(rows.Last, first + BandRows - 1), targetRow, false);
        });
        writer.End();
        writer.Finish();
        return;
    }
    // With a handler the band is built aside and copied row by row, so that an abort leaves the rows after
    // it as they were.
    std::vector<uint8_t> band(size_t(BandRows) * size_t(rowBytes));
    int bandFirst = rows.First - BandRows; // no band filled yet
    const auto bandRow = [&](int row) { return band.data() + size_t(row - bandFirst) * size_t(rowBytes); };
    writer.RunRows(rows.First, rows.Last, [&](int Y) {
        if (Y >= bandFirst + BandRows) {
            bandFirst = Y;
            fillBand(bandFirst, std::min(rows.Last, Y + BandRows - 1), bandRow, true);
        }
        std::memcpy(Target.GetScanLine(Y) + firstByte, bandRow(Y) + firstByte, runBytes);
        return true;
    });
    writer.Finish();
}

} // namespace

void TPixelGraphic::Rotate(bool AdjustSize, TPixelGraphic& Source, long double Angle) {
    if (!std::isfinite(Angle))
        return;
    BeginUpdate();
    struct TEndUpdate {
        TPixelGraphic& Picture;
        ~TEndUpdate() { Picture.EndUpdate(); }
    } endUpdate{*this};

    std::unique_ptr<TPixelGraphic> copy;
    TPixelGraphic& from = Unaliased(*this, Source, copy);
    const int W = from.GetWidth(), H = from.GetHeight();
    const TTurn turn = TurnOf(Angle);
    if (AdjustSize) {
        long double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
        for (const long double x : {0.0L, (long double)W})
            for (const long double y : {0.0L, (long double)H}) {
                const long double X = x * turn.Cos - y * turn.Sin, Y = x * turn.Sin + y * turn.Cos;
                minX = std::min(minX, X), maxX = std::max(maxX, X);
                minY = std::min(minY, Y), maxY = std::max(maxY, Y);
            }
        auto side = [](long double low, long double high) {
            return int(std::min<int64_t>(Ceil64(high) - Floor64(low), INT32_MAX));
        };
        SetFormat(side(minX, maxX), side(minY, maxY), BitCountNum);
    }
    if (turn.Quarters >= 0)
        QuarterTurn(*this, from, turn.Quarters);
    else
        Transform(Width / 2, Height / 2, Angle, W / 2, H / 2, 0, 0, W, H, from);
}
