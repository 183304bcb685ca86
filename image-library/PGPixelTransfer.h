// Reading colours from a picture of any format and writing them into a target of any format, with the
// diffusion, scan order and progress events that every operation filling a picture from colours shares.
#pragma once

#include "framework/Colors.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

class TPixelGraphic;

// The raw value of pixel X of a row in pixel format BitCountNum (0 = 1 bit .. 3 = 24 bits): the colour-table
// index, or the colour $00BBGGRR of a 24-bit pixel.
inline uint32_t GetRawValue(const uint8_t* Row, int X, uint8_t BitCountNum) {
    switch (BitCountNum) {
    case 0:
        return (Row[X >> 3] >> (7 - (X & 7))) & 1;
    case 1:
        return (X & 1) ? Row[X >> 1] & 0x0F : Row[X >> 1] >> 4;
    case 2:
        return Row[X];
    default: {
        const uint8_t* p = Row + 3 * ptrdiff_t(X);
        return RGB(p[2], p[1], p[0]);
    }
    }
}

// Stores a raw value as SetPixelValue does (1 bit: set only for 1; 4 bits: the low nibble).
inline void SetRawValue(uint8_t* Row, int X, uint8_t BitCountNum, uint32_t Value) {
    switch (BitCountNum) {
    case 0: {
        const uint8_t mask = uint8_t(0x80 >> (X & 7));
        Row[X >> 3] = Value == 1 ? uint8_t(Row[X >> 3] | mask) : uint8_t(Row[X >> 3] & ~mask);
        break;
    }
    case 1: {
        uint8_t& b = Row[X >> 1];
        b = (X & 1) ? uint8_t((b & 0xF0) | (Value & 0x0F)) : uint8_t((b & 0x0F) | ((Value & 0x0F) << 4));
        break;
    }
    case 2:
        Row[X] = uint8_t(Value);
        break;
    default: {
        uint8_t* p = Row + 3 * ptrdiff_t(X);
        p[0] = GetBValue(Value);
        p[1] = GetGValue(Value);
        p[2] = GetRValue(Value);
    }
    }
}

// Reads pixel colours of one picture. 24-bit pixels are read from their bytes; paletted pixels through a
// table made once, at construction, in which indices beyond the picture's colour table read as the colour
// they are drawn with: the first entry, or black for an empty table. The reader reads the pixel memory as it
// is at the moment of each call, so it may also read a picture that is being written.
class TPGSourceReader {
public:
    explicit TPGSourceReader(TPixelGraphic& Source);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Row Y (0 = top) of the pixel memory; Y must lie inside the picture.
    const uint8_t* Row(int Y) const { return Bits + (ptrdiff_t(FHeight) - 1 - Y) * RowBytes; }
    // The colour of pixel X of a row that Row returned; X must lie inside the picture.
    TColor Color(const uint8_t* Row, int X) const {
        const uint32_t raw = GetRawValue(Row, X, BitCountNum);
        return BitCountNum == 3 ? raw : Colors[raw];
    }
    TColor Color(int X, int Y) const { return Color(Row(Y), X); }
    // The colour a raw value of a paletted source is drawn with.
    TColor IndexColor(uint8_t Index) const { return Colors[Index]; }
    uint8_t GetBitCountNum() const { return BitCountNum; }

private:
    const uint8_t* Bits;
    int FWidth;
    int FHeight;
    int RowBytes;
    uint8_t BitCountNum;
    std::array<TColor, 256> Colors{};
};

// Writes colours into a target picture in the target's format, for one operation.
// Construction opens the diffusion bracket: a paletted target with Dither on starts a diffusion
// (BeginDither), any other target drops buffers left from earlier (EndDither). The destructor ends the
// diffusion, so the buffers are freed also when an exception passes. A typical operation:
//
//     TPGTargetWriter writer(*this);
//     writer.RunRows(Y0, Y1, [&](int Y) {
//         writer.BeginRow(Y);
//         ForEachInScanOrder(Y, X0, X1, [&](int X) { writer.Write(X, colour); });
//         return true; // the row counts as a progress step
//     });
//     writer.Finish();
class TPGTargetWriter {
public:
    // With ConvertColors false the operation moves raw values itself and no diffusion starts.
    explicit TPGTargetWriter(TPixelGraphic& Target, bool ConvertColors = true);
    ~TPGTargetWriter();
    TPGTargetWriter(const TPGTargetWriter&) = delete;
    TPGTargetWriter& operator=(const TPGTargetWriter&) = delete;

    bool Dithering() const { return FDithering; }

    // Starts target row Y (which must lie inside the target): the next diffusion row when dithering.
    void BeginRow(int Y);
    // Writes pixel X of the row begun last, which must lie inside the target: the bytes of a 24-bit target,
    // DitherPixel when dithering, else the nearest entry of the target's table (SetPixelColor).
    void Write(int X, TColor Color) {
        if (RowBits) {
            uint8_t* p = RowBits + 3 * ptrdiff_t(X);
            p[0] = GetBValue(Color);
            p[1] = GetGValue(Color);
            p[2] = GetRValue(Color);
        } else {
            WritePaletted(X, Color);
        }
    }

    // Write for X = First .. Last in scan order, Colors[X - First] the colour of pixel X.
    void WriteRow(int First, int Last, const TColor* Colors);

    // Progress of the rows First .. Last: OnProgressStart; for each row Y, Row(Y) and, when it returns
    // true, OnProgress(Y - First, Last - First) with Abort, which stops after that row; then OnProgressEnd,
    // also after an abort. An exception passes on without OnProgressEnd.
    template <typename RowFunction> void RunRows(int First, int Last, RowFunction&& Row) {
        Start();
        for (int Y = First; Y <= Last; ++Y)
            if (Row(Y) && Step(Y - First, Last - First))
                break;
        End();
    }
    // RunRows for a 24-bit target whose rows depend only on the source and on their own earlier pixels, with
    // runs of neighbouring rows shared among the worker pool's threads. MakeFill makes the fill of one run
    // (so a run may keep what its rows share); Fill(Y, Row) writes target row Y into Row, which holds the
    // row's pixels as they were, and tells whether the row counts as a step. The events fire on the calling
    // thread in row order. When a handler may abort, a band of rows at a time is filled aside and each row
    // is stored just before its event, so an abort leaves the rows after it as they were.
    using TRowFill = std::function<bool(int Y, uint8_t* Row)>;
    void RunRowsInParallel(int First, int Last, const std::function<TRowFill()>& MakeFill);
    // The same events one by one, for operations whose steps are not target rows. Step returns true when
    // the handler asked to stop.
    void Start();
    bool Step(int Step, int Max);
    void End();
    // Ends the diffusion and fires the target's Changed: the last act of an operation that did not fail.
    void Finish();

private:
    void WritePaletted(int X, TColor Color);

    TPixelGraphic& Target;
    bool FDithering = false;
    int CurrentY = 0;
    uint8_t* RowBits = nullptr; // the current row of a 24-bit target
};

// Calls F(X) for X = First .. Last in the order the diffusion expects: left to right on even rows Y, right to
// left on odd ones.
template <typename F> void ForEachInScanOrder(int Y, int First, int Last, F&& f) {
    if (Y % 2 == 0)
        for (int X = First; X <= Last; ++X)
            f(X);
    else
        for (int X = Last; X >= First; --X)
            f(X);
}

// Copies count pixels of Bytes bytes to consecutive places from places step bytes apart. The pictures never
// overlap here (the source itself as source is read from a copy).
template <int Bytes>
inline void GatherPixels(uint8_t* __restrict to, const uint8_t* __restrict from, int count, ptrdiff_t step) {
    for (int k = 0; k < count; ++k, to += Bytes, from += step)
        std::memcpy(to, from, Bytes);
}

// Three-byte pixels move faster as four bytes. The fourth byte read lies inside the picture memory unless the
// pixel is the last one in memory, which only the first or the last of the run can be, as the addresses
// change in one direction; the fourth byte written is the next pixel's, written right after. So the first
// and the last pixel move exactly three bytes.
template <>
inline void GatherPixels<3>(uint8_t* __restrict to, const uint8_t* __restrict from, int count,
                            ptrdiff_t step) {
    if (count <= 0)
        return;
    std::memcpy(to, from, 3);
    for (int k = 1; k < count - 1; ++k) {
        to += 3, from += step;
        uint32_t pixel;
        std::memcpy(&pixel, from, 4);
        std::memcpy(to, &pixel, 4);
    }
    if (count > 1)
        std::memcpy(to + 3, from + step, 3);
}
