// The source reader and the target writer that the geometric operations and filters fill pictures with.
#include "image-library/PGPixelTransfer.h"

#include "framework/Thread.h"
#include "image-library/PGraphic.h"

#include <algorithm>
#include <cstring>
#include <vector>

TPGSourceReader::TPGSourceReader(TPixelGraphic& Source)
    : Bits(Source.GetBits()), FWidth(Source.GetWidth()), FHeight(Source.GetHeight()),
      RowBytes(Source.GetRowBytes()), BitCountNum(Source.GetBitCountNum()) {
    if (BitCountNum == 3)
        return;
    for (size_t i = 0; i < Colors.size(); ++i)
        Colors[i] = Source.PixelValueColor(uint32_t(i));
}

TPGTargetWriter::TPGTargetWriter(TPixelGraphic& Target, bool ConvertColors) : Target(Target) {
    FDithering = ConvertColors && Target.GetBitCountNum() != 3 && Target.GetDither();
    if (FDithering)
        Target.BeginDither();
    else
        Target.EndDither();
}

TPGTargetWriter::~TPGTargetWriter() {
    Target.EndDither();
}

void TPGTargetWriter::BeginRow(int Y) {
    if (FDithering)
        Target.NextDitherRow();
    CurrentY = Y;
    RowBits = Target.GetBitCountNum() == 3 ? Target.GetScanLine(Y) : nullptr;
}

void TPGTargetWriter::WritePaletted(int X, TColor Color) {
    if (FDithering)
        Target.DitherPixel(X, CurrentY, GetRValue(Color), GetGValue(Color), GetBValue(Color));
    else
        Target.SetPixelColor(X, CurrentY, Color);
}

void TPGTargetWriter::WriteRow(int First, int Last, const TColor* Colors) {
    if (FDithering && !RowBits)
        Target.DitherRow(CurrentY, First, Last, Colors);
    else
        ForEachInScanOrder(CurrentY, First, Last, [&](int X) { Write(X, Colors[X - First]); });
}

void TPGTargetWriter::Start() {
    if (const TNotifyEvent& start = Target.GetOnProgressStart())
        start(&Target);
}

bool TPGTargetWriter::Step(int Step, int Max) {
    bool abort = false;
    if (const TPGProgressEvent& progress = Target.GetOnProgress())
        progress(&Target, Step, Max, abort);
    return abort;
}

void TPGTargetWriter::End() {
    if (const TNotifyEvent& end = Target.GetOnProgressEnd())
        end(&Target);
}

void TPGTargetWriter::Finish() {
    Target.EndDither();
    Target.Changed();
}

void TPGTargetWriter::RunRowsInParallel(int First, int Last, const std::function<TRowFill()>& MakeFill) {
    Start();
    TWorkerPool& pool = TWorkerPool::Instance();
    const int threads = pool.ThreadCount();
    const size_t rowBytes = size_t(Target.GetRowBytes());
    // Rows are bottom-up in memory; the pointers are taken here, on the calling thread.
    uint8_t* const bits = Target.GetBits();
    const int height = Target.GetHeight();
    auto targetRow = [&](int Y) { return bits + ptrdiff_t(height - 1 - Y) * ptrdiff_t(rowBytes); };
    const bool aside = bool(Target.GetOnProgress());
    // Without a handler one band covers everything, in a few runs per thread so that a slow thread holds up
    // little; with one, bands of one run per thread.
    const int bandRows = aside ? 16 * threads : Last - First + 1;
    const int runsPerThread = aside ? 1 : 4;
    std::vector<uint8_t> band(aside ? size_t(bandRows) * rowBytes : 0);
    std::vector<uint8_t> steps(static_cast<size_t>(bandRows));
    for (int bandFirst = First; bandFirst <= Last; bandFirst += bandRows) {
        const int count = std::min(bandRows, Last - bandFirst + 1);
        auto rowOf = [&](int Y) {
            return aside ? band.data() + size_t(Y - bandFirst) * rowBytes : targetRow(Y);
        };
        const int parts = std::min(count, runsPerThread * threads);
        pool.Run(parts, [&](int part) {
            const TRowFill Fill = MakeFill();
            for (int Y = bandFirst + int(int64_t(count) * part / parts);
                 Y < bandFirst + int(int64_t(count) * (part + 1) / parts); ++Y) {
                uint8_t* row = rowOf(Y);
                if (aside)
                    std::memcpy(row, targetRow(Y), rowBytes);
                steps[size_t(Y - bandFirst)] = Fill(Y, row);
            }
        });
        for (int Y = bandFirst; Y < bandFirst + count; ++Y) {
            if (aside)
                std::memcpy(targetRow(Y), rowOf(Y), rowBytes);
            if (steps[size_t(Y - bandFirst)] && Step(Y - First, Last - First)) {
                End();
                return;
            }
        }
    }
    End();
}
