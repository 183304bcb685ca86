// Moving whole pictures between memory and the outside: loading through the reader registry with the
// library's gamma correction, saving through the writer registry, form streaming and clipboard blocks.
#include "image-library/PGraphic.h"

#include "framework/FileStreams.h"
#include "framework/MessageBox.h"
#include "framework/Rounding.h"
#include "framework/StreamIO.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGMath.h"
#include "image-library/PGQuantize.h"
#include "image-library/PGSettings.h"
#include "image-library/formats/PGBMP.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace {

// Row C: the colour resolutions tried, in order, for a picture of resolution C; the first one the writer
// can store wins.
constexpr TColorResolution ResolutionPreference[8][8] = {
    {crBlackWhite, cr2Colors, cr16Grays, cr16SystemColors, cr16Colors, cr256Grays, cr256Colors, crTrueColor},
    {cr2Colors, cr16Colors, cr256Colors, crTrueColor, cr16SystemColors, crBlackWhite, cr16Grays, cr256Grays},
    {cr16Grays, cr16Colors, cr256Grays, cr256Colors, crTrueColor, cr16SystemColors, crBlackWhite, cr2Colors},
    {cr16SystemColors, cr16Colors, cr256Colors, crTrueColor, cr16Grays, cr256Grays, crBlackWhite, cr2Colors},
    {cr16Colors, cr256Colors, crTrueColor, cr16SystemColors, cr16Grays, cr256Grays, crBlackWhite, cr2Colors},
    {cr256Grays, cr256Colors, crTrueColor, cr16Grays, cr16Colors, cr16SystemColors, crBlackWhite, cr2Colors},
    {cr256Colors, crTrueColor, cr16Colors, cr16SystemColors, cr256Grays, cr16Grays, crBlackWhite, cr2Colors},
    {crTrueColor, cr256Colors, cr16Colors, cr16SystemColors, cr256Grays, cr16Grays, crBlackWhite, cr2Colors},
};

// Every load starts from, and a failed one ends with, an empty 24-bit picture without a colour table.
void MakeEmptyTrueColor(TPixelGraphic& Picture) {
    Picture.SetFormat(0, 0, 3);
    Picture.SetColorCount(0);
    Picture.SetPaletteIdent(pTrueColor);
}

// Runs Load inside one update bracket, so OnChange fires once at the end, also when loading fails; a
// failure leaves the picture empty rather than half described.
template <class LoadFn> void LoadBracket(TPixelGraphic& Picture, LoadFn Load) {
    Picture.BeginUpdate();
    try {
        Load();
    } catch (...) {
        MakeEmptyTrueColor(Picture);
        Picture.EndUpdate();
        throw;
    }
    Picture.EndUpdate();
}

// Brings a picture stored for another display gamma to this display's. 24-bit pixels change byte by byte
// (the row filler stays); a paletted picture changes only its table.
void CorrectGamma(TPixelGraphic& Picture) {
    const long double ratio = Picture.GetFileGamma() / PGDisplayGamma;
    // A ratio that is not finite and positive (a display gamma of 0) gives no table of bytes.
    if (!PGGammaCorrection || !std::isfinite(ratio) || ratio <= 0 || std::fabs(ratio - 1) <= 0.05L)
        return;
    uint8_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = uint8_t(Round(255 * PGPower(i / 255.0L, ratio)));
    if (Picture.GetBitCountNum() == 3) {
        if (Picture.GetWidth() > 0 && Picture.GetHeight() > 0)
            for (int y = 0; y < Picture.GetHeight(); ++y) {
                uint8_t* row = Picture.GetScanLine(y);
                for (int n = 0; n < 3 * Picture.GetWidth(); ++n)
                    row[n] = table[row[n]];
            }
    } else {
        for (int i = 0; i < Picture.GetColorCount(); ++i) {
            const TColor c = Picture.IndexToColor(uint32_t(i));
            Picture.SetPaletteColor(i, RGB(table[GetRValue(c)], table[GetGValue(c)], table[GetBValue(c)]));
        }
    }
    Picture.SetFileGamma(PGDisplayGamma);
}

// Asks, by the picture's warning action, whether saving may change the colour resolution; a refusal
// raises before anything is written.
void ConfirmResolutionChange(const TFileFormatWriter& Writer, TColorResolution Current,
                             TColorResolution Target, TPGWarningAction Action) {
    bool refused = Action == pgwaRaise;
    if (Action == pgwaOKBox || Action == pgwaOKCancelBox) {
        const QString text =
            PGLangStr(17, Writer.Description, ColorResolutionText(Current), ColorResolutionText(Target));
        const TModalResult answer =
            MessageBox(text, PGLangStr(28), mtWarning, Action == pgwaOKBox ? mbOK : mbOK | mbCancel);
        refused = Action == pgwaOKCancelBox && answer != mrOk;
    }
    if (refused)
        throw EPGCannotWriteColorRes(PGLangStr(18, Writer.Description, ColorResolutionText(Current)));
}

TBMPFileFormatWriter& StreamWriter() {
    if (!BMPStreamWriter) // the library has not been started
        throw EPGFileFormatWritersEmpty(PGLangStr(16, QStringLiteral("BMPStreamWriter")));
    return *BMPStreamWriter;
}

// Target becomes a copy of Source in the given resolution; Source is not changed.
void ConvertForSaving(TPixelGraphic& Target, TPixelGraphic& Source, TColorResolution Resolution) {
    static constexpr uint8_t formats[8] = {0, 0, 1, 1, 1, 2, 2, 3};
    Target.SetBitCountNum(formats[Resolution]);
    switch (Resolution) {
    case crBlackWhite:
        Target.SetPaletteIdent(pBlackWhite);
        break;
    case cr2Colors:
        BuildOptimizedPalette(Target, Source, 2, false);
        break;
    case cr16Grays:
        Target.SetPaletteIdent(pGray16);
        break;
    case cr16SystemColors:
        Target.SetPaletteIdent(pSys16);
        break;
    case cr16Colors:
        BuildOptimizedPalette(Target, Source, 16, false);
        break;
    case cr256Grays:
        Target.SetPaletteIdent(pGray256);
        break;
    case cr256Colors:
        // Any 8-bit table, a grey one too, is a valid 256-colour table: an 8-bit picture keeps its table, so
        // the copy below moves its values unchanged. Others get 252 colours with the 16 system colours kept.
        if (Source.GetBitCountNum() == 2)
            Target.CopyPalette(&Source);
        else
            BuildOptimizedPalette(Target, Source, 252, true);
        break;
    case crTrueColor:
        break;
    }
    Target.SetWidth(Source.GetWidth());
    Target.SetHeight(Source.GetHeight());
    Target.CopyFrom(Source);
    Target.DetectPaletteIdent();
}

} // namespace

void TPixelGraphic::LoadFromFileIndex(const QString& FileName, int Index) {
    QFile file(FileName);
    OpenFileForReading(file);
    LoadFromStreamIndex(file, FileFormatExtension(FileName), Index);
}

// A load starts by emptying the picture; the block it drops is kept for the picture read, and freed at the
// end when that one has another size.
struct TKeepPixelsForLoad {
    TPixelGraphic& Picture;
    explicit TKeepPixelsForLoad(TPixelGraphic& Picture) : Picture(Picture) { Picture.KeepSpareBits = true; }
    ~TKeepPixelsForLoad() {
        Picture.KeepSpareBits = false;
        Picture.SpareBits.reset();
    }
};

void TPixelGraphic::LoadFromStreamIndex(QIODevice& Stream, const QString& Ext, int Index) {
    FlushPending();
    const TKeepPixelsForLoad keep(*this);
    LoadBracket(*this, [&] {
        // The picture starts over before a reader is looked for, and again for a second reader.
        const auto startOver = [this] {
            MakeEmptyTrueColor(*this);
            FileGamma = PGDisplayGamma;
        };
        startOver();
        const bool found = UseFileFormatReader(Stream, Ext, [&](const TFileFormatReader& Reader) {
            startOver();
            Reader.Read(Stream, *this, Index);
        });
        if (!found)
            throw EPGUnknownFileFormat(PGLangStr(6));
        CorrectGamma(*this);
        DetectPaletteIdent();
    });
}

void TPixelGraphic::SaveToFile(const QString& FileName) {
    SaveToStreamExt(true, FileName, FileFormatExtension(FileName), nullptr);
}

void TPixelGraphic::SaveToFileStream(QIODevice& Stream, const QString& Ext) {
    SaveToStreamExt(false, QString(), Ext, &Stream);
}

void TPixelGraphic::SaveToStreamExt(bool ToFile, const QString& FileName, QString Ext, QIODevice* Stream) {
    FlushPending();
    if (Ext.startsWith(QLatin1Char('.')))
        Ext.remove(0, 1);
    Ext = Ext.toLower();
    if (FileFormatWriters().empty())
        throw EPGFileFormatWritersEmpty(PGLangStr(16, QStringLiteral("FileFormatWriters")));
    const TFileFormatWriter* writer = FindFileFormatWriter(Ext);
    if (!writer)
        throw EPGUnknownExtension(PGLangStr(19, Ext));
    DetectPaletteIdent();
    const TColorResolution current = ColorResolutionOf(*this);
    const TColorResolution* row = ResolutionPreference[current];
    const TColorResolution* target =
        std::find_if(row, row + 8, [writer](TColorResolution r) { return writer->CanWrite(r); });
    if (target == row + 8)
        throw EPGCanWriteResolutionsEmpty(
            PGLangStr(16, QString::fromLatin1(writer->ClassName()) + QStringLiteral(".CanWriteResolutions")));

    // A file is written beside the old one and replaces it only when the writer succeeded, so a refusal or
    // a failed write leaves an existing file as it was and creates none.
    auto write = [&](TPixelGraphic& Picture) {
        if (!ToFile) {
            writer->Write(*Stream, Picture);
            return;
        }
        QSaveFile file(FileName);
        OpenSaveFile(file);
        writer->Write(file, Picture);
        CommitSaveFile(file);
    };
    if (*target == current) {
        DetectPaletteIdent();
        write(*this);
        return;
    }
    ConfirmResolutionChange(*writer, current, *target, SaveColorResWarningAction);
    TPixelGraphic temp;
    temp.SetOnProgress(OnProgress);
    temp.SetOnProgressEnd(OnProgressEnd);
    temp.SetOnProgressStart(OnProgressStart);
    ConvertForSaving(temp, *this, *target);
    write(temp);
}

void TPixelGraphic::SaveToStream(QIODevice& Stream) {
    FlushPending();
    StreamWriter().Write(Stream, *this);
}

void TPixelGraphic::WriteData(QIODevice& Stream) {
    FlushPending();
    const qint64 start = Stream.pos();
    WriteBuffer(Stream, "\0\0\0\0", 4);
    const qint64 bmpStart = Stream.pos();
    StreamWriter().Write(Stream, *this);
    const qint64 end = Stream.pos();
    uint8_t length[4];
    PutLE32(length, uint32_t(end - bmpStart));
    if (!Stream.seek(start))
        throw EWriteError(QStringLiteral("Stream write error"));
    WriteBuffer(Stream, length, 4);
    if (!Stream.seek(end))
        throw EWriteError(QStringLiteral("Stream write error"));
}

void TPixelGraphic::ReadData(QIODevice& Stream) {
    // The record's length decides how many bytes belong to it; the BMP is read from exactly those.
    uint8_t b[4];
    const int32_t length = ReadExact(Stream, b, 4) ? int32_t(GetLE32(b)) : -1;
    const qint64 left = Stream.isSequential() ? Stream.bytesAvailable() : Stream.size() - Stream.pos();
    if (length < 0 || length > left)
        throw EPGBMPFileFormatReader(QStringLiteral("BMP: ") + PGLangStr(32));
    QBuffer record;
    record.setData(Stream.read(length));
    record.open(QIODevice::ReadOnly);
    LoadFromStreamExt(record, QStringLiteral("bmp"));
}

void TPixelGraphic::LoadFromClipboardFormat(uint16_t AFormat, const QByteArray& AData) {
    if ((AFormat != CF_BITMAP && AFormat != CF_DIB) || AData.isEmpty())
        throw EPGUnknownClipboardFormat(PGLangStr(4));
    FlushPending();
    QBuffer block;
    block.setData(AData);
    block.open(QIODevice::ReadOnly);
    LoadBracket(*this, [&] {
        ReadDIB(block, false);
        FileGamma = PGDisplayGamma;
        DetectPaletteIdent();
    });
}

void TPixelGraphic::SaveToClipboardFormat(uint16_t& AFormat, QByteArray& AData) {
    QByteArray block;
    block.reserve(GetDIBSize());
    QBuffer buffer(&block);
    buffer.open(QIODevice::WriteOnly);
    WriteDIB(buffer);
    buffer.close();
    AData = block;
    AFormat = CF_DIB;
}

void TPixelGraphic::SetBackGroundColor(TColor Color) {
    BackGroundValue = BitCountNum == 3 ? Color : uint32_t(ColorToIndex(Color));
}

void TPixelGraphic::SetBitCountNum(uint8_t Value) {
    if (Value != BitCountNum)
        SetFormat(Width, Height, Value);
}

uint8_t TPixelGraphic::BitCountNumOf(int Bits) {
    switch (Bits) {
    case 1:
        return 0;
    case 4:
        return 1;
    case 8:
        return 2;
    case 24:
        return 3;
    default:
        throw EPGInvalidBitCountNum(PGLangStr(20, QStringLiteral("BitCountNum")));
    }
}
