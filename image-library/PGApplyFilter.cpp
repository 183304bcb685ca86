// TPixelGraphic::ApplyFilter: a filter's results over a source written into this picture, through the colour
// table alone where a colour filter allows it, else pixel by pixel with diffusion, scan order and progress.
#include "image-library/PGraphic.h"

#include "image-library/PGExceptions.h"
#include "image-library/PGFilters.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGPixelTransfer.h"

#include <QScopeGuard>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Every pixel of a row through the writer in scan order.
template <typename ColorAt> void WriteRow(TPGTargetWriter& Writer, int Y, int Width, ColorAt&& colorAt) {
    Writer.BeginRow(Y);
    ForEachInScanOrder(Y, 0, Width - 1, [&](int X) { Writer.Write(X, colorAt(X)); });
}

// A table of 256 levels applied to two bytes at a time (128 KB): half the lookups of a byte table, which
// keeps a 24-bit row within a few times the speed of a plain copy.
class TPairTable {
public:
    explicit TPairTable(const TPGFilter::TLevelTable& Levels) : Levels(Levels), Pairs(65536) {
        for (size_t i = 0; i < Pairs.size(); ++i)
            Pairs[i] = uint16_t(Levels[i & 0xFF] | Levels[i >> 8] << 8);
    }
    // Out[i] = Levels[In[i]] for Count bytes; In and Out may be one row.
    void Map(const uint8_t* In, uint8_t* Out, int Count) const {
        const uint16_t* pairs = Pairs.data();
        int i = 0;
        for (; i + 2 <= Count; i += 2) {
            uint16_t v;
            std::memcpy(&v, In + i, 2);
            std::memcpy(Out + i, &pairs[v], 2);
        }
        if (i < Count)
            Out[i] = Levels[In[i]];
    }

private:
    const TPGFilter::TLevelTable& Levels;
    // Loaded and stored in the machine's own byte order, so the first byte maps to the first byte either way.
    std::vector<uint16_t> Pairs;
};

} // namespace

void TPixelGraphic::ApplyFilter(TPGFilter& Filter, TPixelGraphic& Source) {
    const bool colorFilter = Filter.IsColorFilter();
    if (&Source == this && !colorFilter)
        throw EPGFilter(PGLangStr(23));
    if (&Source != this)
        SetFormat(Source.GetWidth(), Source.GetHeight(), BitCountNum);
    if (Width <= 0 || Height <= 0)
        return;

    if (colorFilter && BitCountNum != 3 && BitCountNum >= Source.GetBitCountNum()) {
        // The pixels keep their indices; only the colours they stand for change. No progress here.
        if (&Source != this)
            Assign(&Source);
        if (GetColorCount() > 0) {
            Filter.SetSource(&Source);
            const auto endFilter = qScopeGuard([&] { Filter.EndFilter(); });
            for (int i = 0; i < GetColorCount(); ++i)
                SetPaletteColor(i, Filter.FilterColor(IndexToColor(uint32_t(i))));
        }
        Changed();
        return;
    }

    TPGTargetWriter writer(*this); // the diffusion bracket, closed also when an exception passes
    {
        Filter.SetSource(&Source);
        const auto endFilter = qScopeGuard([&] { Filter.EndFilter(); });
        if (!colorFilter) {
            writer.RunRows(0, Height - 1, [&](int Y) {
                WriteRow(writer, Y, Width, [&](int X) { return Filter.GetPixel(X, Y); });
                return true;
            });
        } else {
            // A colour filter's GetPixel is FilterColor of the pixel's colour, so the colours are read here
            // directly: a paletted source's 256 values are filtered once, and a channel table maps a 24-bit
            // row byte for byte. The pixels are those of the plain per-pixel run.
            const TPGSourceReader reader(Source);
            const uint8_t sourceBits = reader.GetBitCountNum();
            std::optional<TPairTable> table;
            if (BitCountNum == 3 && sourceBits == 3)
                if (const TPGFilter::TLevelTable* levels = Filter.ChannelTable())
                    table.emplace(*levels);
            std::array<TColor, 256> filtered{};
            if (sourceBits != 3)
                for (int i = 0; i < 256; ++i)
                    filtered[size_t(i)] = Filter.FilterColor(reader.IndexColor(uint8_t(i)));
            const int rowBytes = 3 * Width;
            if (!table && BitCountNum == 3 && sourceBits == 3 && Filter.FilterRow(nullptr, nullptr, 0)) {
                writer.RunRowsInParallel(0, Height - 1, [&] {
                    return [&](int Y, uint8_t* row) {
                        // The source row is the target row itself when filtering in place.
                        return Filter.FilterRow(reader.Row(Y), row, Width);
                    };
                });
            } else {
                writer.RunRows(0, Height - 1, [&](int Y) {
                    const uint8_t* in = reader.Row(Y);
                    if (table) {
                        table->Map(in, GetScanLine(Y), rowBytes);
                    } else if (sourceBits == 3) {
                        WriteRow(writer, Y, Width,
                                 [&](int X) { return Filter.FilterColor(GetRawValue(in, X, 3)); });
                    } else {
                        WriteRow(writer, Y, Width,
                                 [&](int X) { return filtered[GetRawValue(in, X, sourceBits)]; });
                    }
                    return true;
                });
            }
        }
    }
    writer.Finish();
}
