// The geometric operations of the picture: resampling, copying, rotating and mirroring, all in integer
// arithmetic except rotation, which maps every target pixel back into the source.
#include "image-library/PGraphic.h"

#include "image-library/PGPixelTransfer.h"

#include <algorithm>
#include <cstring>
#include <memory>

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
        e.Divisor = 2 * D;
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
        e.Divisor = S;
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

    TPGTargetWriter writer(*this);
    const TSampling across = AxisSampling(StretchMode, SrcWidth, DestWidth);
    const TSampling down = AxisSampling(StretchMode, SrcHeight, DestHeight);
    const size_t columnCount = size_t(columns.Last - columns.First + 1);
    std::vector<TAxisEntry> columnEntries(columnCount);
    for (size_t k = 0; k < columnCount; ++k)
        columnEntries[k] = AxisEntry(across, SrcWidth, DestWidth, SrcX, source.Width(),
                                     int64_t(columns.First) + int64_t(k) - DestX);

    // Per target row the weighted column sums of each source row are added up, then divided once.
    std::vector<int64_t> totals(3 * columnCount);
    writer.RunRows(rows.First, rows.Last, [&](int Y) {
        writer.BeginRow(Y);
        const TAxisEntry down_ =
            AxisEntry(down, SrcHeight, DestHeight, SrcY, source.Height(), int64_t(Y) - DestY);
        if (!down_.Valid)
            return false;
        std::fill(totals.begin(), totals.end(), 0);
        for (int j = down_.First; j <= down_.Last; ++j) {
            const int64_t wy = down_.Weight(j);
            const uint8_t* row = source.Row(j);
            for (size_t k = 0; k < columnCount; ++k) {
                const TAxisEntry& e = columnEntries[k];
                if (!e.Valid)
                    continue;
                int64_t r = 0, g = 0, b = 0;
                for (int i = e.First; i <= e.Last; ++i) {
                    const TColor c = source.Color(row, i);
                    const int64_t wx = e.Weight(i);
                    r += GetRValue(c) * wx;
                    g += GetGValue(c) * wx;
                    b += GetBValue(c) * wx;
                }
                totals[3 * k] += r / e.Divisor * wy;
                totals[3 * k + 1] += g / e.Divisor * wy;
                totals[3 * k + 2] += b / e.Divisor * wy;
            }
        }
        ForEachInScanOrder(Y, columns.First, columns.Last, [&](int X) {
            const size_t k = size_t(X - columns.First);
            if (columnEntries[k].Valid)
                writer.Write(X, RGB(uint8_t(totals[3 * k] / down_.Divisor),
                                    uint8_t(totals[3 * k + 1] / down_.Divisor),
                                    uint8_t(totals[3 * k + 2] / down_.Divisor)));
        });
        return true;
    });
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
        else
            ForEachInScanOrder(Y, columns.First, columns.Last,
                               [&](int X) { writer.Write(X, source.Color(sourceRow, int(X + shift))); });
        return true;
    });
    writer.Finish();
}
