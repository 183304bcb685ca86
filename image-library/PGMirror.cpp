// Mirroring a picture in place, left to right and top to bottom, with progress and abort as the other
// geometric operations report them.
#include "image-library/PGraphic.h"

#include "image-library/PGPixelTransfer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// A byte's pixels in reverse order: bit reversal for 1-bit pixels, nibble exchange for 4-bit ones.
constexpr std::array<uint8_t, 256> ReversalTable(int bits) {
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
        int r = 0;
        for (int p = 0; p < 8; p += bits)
            r |= ((v >> p) & ((1 << bits) - 1)) << (8 - bits - p);
        t[size_t(v)] = uint8_t(r);
    }
    return t;
}
constexpr std::array<uint8_t, 256> ReversedBits = ReversalTable(1);
constexpr std::array<uint8_t, 256> ReversedNibbles = ReversalTable(4);

// Reverses the pixels of one row of 1- or 4-bit pixels. Output byte k takes the 8 bits that end with input
// pixel Width - 1 - k * (pixels per byte), read from a copy, so padding bits never reach a pixel.
void ReverseSubByteRow(uint8_t* row, int width, int bits, std::vector<uint8_t>& copy) {
    const int usedBytes = (width * bits + 7) / 8;
    std::copy(row, row + usedBytes, copy.begin());
    copy[size_t(usedBytes)] = 0;
    const std::array<uint8_t, 256>& reverse = bits == 1 ? ReversedBits : ReversedNibbles;
    for (int k = 0; k < usedBytes; ++k) {
        const int64_t offset = int64_t(width) * bits - 8 * int64_t(k + 1); // bit offset of the window
        uint8_t window;
        if (offset >= 0) {
            const size_t at = size_t(offset / 8);
            const int shift = int(offset % 8);
            window = uint8_t(copy[at] << shift | (shift ? copy[at + 1] >> (8 - shift) : 0));
        } else {
            window = uint8_t(copy[0] >> -offset); // the row's first pixels; the rest becomes padding
        }
        row[k] = reverse[window];
    }
}

void ReverseRow(uint8_t* row, int width, uint8_t format, std::vector<uint8_t>& copy) {
    switch (format) {
    case 0:
    case 1:
        ReverseSubByteRow(row, width, format == 0 ? 1 : 4, copy);
        break;
    case 2:
        std::reverse(row, row + width);
        break;
    default:
        std::memcpy(copy.data(), row, 3 * size_t(width));
        GatherPixels<3>(row, copy.data() + 3 * ptrdiff_t(width - 1), width, -3);
    }
}

// Columns exchanged between the rows of each mirrored pair, in bands of whole bytes, so that every
// column's progress event can follow soon after its work.
constexpr int MirrorBandBytes = 4096;

} // namespace

void TPixelGraphic::MirrorHorizontal() {
    if (Width <= 0 || Height <= 0 || !GetBits())
        return;
    std::vector<uint8_t> copy(size_t(RowBytes) + 1);
    TPGTargetWriter writer(*this, false);
    writer.RunRows(0, Height - 1, [&](int Y) {
        ReverseRow(GetScanLine(Y), Width, BitCountNum, copy);
        return true;
    });
    writer.Finish();
}

void TPixelGraphic::MirrorVertical() {
    if (Width <= 0 || Height <= 0 || !GetBits())
        return;
    const int bits = GetBitCount();
    // Whole bytes per band; a byte holds 8 / bits pixels of the smaller formats.
    const int bandColumns = bits >= 8 ? MirrorBandBytes / (bits / 8) : MirrorBandBytes * (8 / bits);
    std::vector<uint8_t> buffer(MirrorBandBytes + 1);
    auto exchange = [&](int first, int last) { // swaps columns first .. last of every row pair
        const size_t from = size_t(int64_t(first) * bits / 8),
                     to = size_t((int64_t(last + 1) * bits + 7) / 8);
        for (int y = 0; y < Height / 2;
             ++y) { // through a buffer, so that the moves are the library's fastest
            uint8_t *top = GetScanLine(y) + from, *bottom = GetScanLine(Height - 1 - y) + from;
            std::memcpy(buffer.data(), top, to - from);
            std::memcpy(top, bottom, to - from);
            std::memcpy(bottom, buffer.data(), to - from);
        }
    };
    auto exchangePixels = [&](int first, int last) {
        for (int y = 0; y < Height / 2; ++y) {
            uint8_t *top = GetScanLine(y), *bottom = GetScanLine(Height - 1 - y);
            for (int x = first; x <= last; ++x) {
                const uint32_t v = GetRawValue(top, x, BitCountNum);
                SetRawValue(top, x, BitCountNum, GetRawValue(bottom, x, BitCountNum));
                SetRawValue(bottom, x, BitCountNum, v);
            }
        }
    };
    TPGTargetWriter writer(*this, false);
    writer.Start();
    for (int first = 0; first < Width; first += bandColumns) {
        const int last = std::min(Width - 1, first + bandColumns - 1);
        exchange(first, last);
        bool aborted = false;
        for (int x = first; x <= last && !aborted; ++x)
            if (writer.Step(x, Width - 1)) {
                // Only columns 0 .. x count as mirrored: exchanging the rest of the band again restores it.
                exchangePixels(x + 1, last);
                aborted = true;
            }
        if (aborted)
            break;
    }
    writer.End();
    writer.Finish();
}
