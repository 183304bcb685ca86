// The source reader and the target writer that the geometric operations and filters fill pictures with.
#include "image-library/PGPixelTransfer.h"

#include "image-library/PGraphic.h"

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
