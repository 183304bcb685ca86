// TPixelGraphic: the picture of the whole system. A bottom-up device-independent bitmap of 1, 4, 8 or 24 bits
// per pixel with a colour table of its own, the options that readers, writers and operations read from it,
// and change and progress events.
#pragma once

#include "framework/Colors.h"
#include "framework/Geometry.h"
#include "framework/Object.h"
#include "image-library/PGTypes.h"

#include <QByteArray>
#include <QImage>
#include <QVector>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

class QIODevice;
class QPainter;
class QTransform;
class TPGCanvas;
class TPGFilter;

// The header that describes the pixel block, as the platform's bitmap header laid it out.
struct TBitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0; // positive: rows are stored bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

// Header plus exactly as many colour entries as the pixel format can index (2, 16, 256, none).
struct TBitmapInfo {
    TBitmapInfoHeader bmiHeader;
    std::vector<TRGBQuad> bmiColors;
};

// Pixel memory: zero-filled and 16-byte aligned; blocks of 32 MB and more are mapped on their own, Mapped
// bytes on 2 MB boundaries, so that the kernel can back them with huge pages.
struct TPixelBlockDeleter {
    size_t Mapped = 0;
    size_t Offset = 0; // of the block in its mapping
    void operator()(uint8_t* p) const;
};
using TPixelBlock = std::unique_ptr<uint8_t, TPixelBlockDeleter>;

class TPixelGraphic : public TObject {
public:
    TPixelGraphic();
    ~TPixelGraphic() override;
    TPixelGraphic(const TPixelGraphic&) = delete;
    TPixelGraphic& operator=(const TPixelGraphic&) = delete;

    // Size and format. A format change discards the pixels; the new ones start as zero bytes.
    void SetFormat(int AWidth, int AHeight, uint8_t ABitCountNum);
    // Whether the pixels of that format stay within the memory limit (PGMaxPixelMemory), so that SetFormat
    // would not refuse it for its size: readers ask before they read what such a picture makes them read.
    static bool FitsPixelMemory(int AWidth, int AHeight, uint8_t ABitCountNum);
    // SetFormat's refusal of pixels it cannot have.
    [[noreturn]] static void RaisePixelMemoryFailure();
    virtual int GetWidth() const { return Width; }
    virtual int GetHeight() const { return Height; }
    virtual void SetWidth(int Value);
    virtual void SetHeight(int Value);
    virtual bool GetEmpty() const { return ImageSize == 0; }
    uint8_t GetBitCountNum() const { return BitCountNum; }
    int GetBitCount() const;
    int GetMaxColorCount() const;
    int GetRowBytes() const { return RowBytes; }
    int GetImageSize() const { return ImageSize; }
    int GetColorCount() const { return int(ColorTable.size()); }
    int GetDIBSize() const { return 4 * GetColorCount() + ImageSize + 58; }
    const TBitmapInfo* GetBitmapInfo() const { return BitmapInfo.get(); }

    // Direct pixel access. Writing through these does not notify: call Changed afterwards.
    uint8_t* GetBits();
    uint8_t* GetScanLine(int Y);

    // X counts columns from the left, Y rows from the top. Outside the picture reads give BackGroundValue
    // and writes are dropped, unless RaiseXYIndexOutOfRange asks for an exception.
    uint32_t GetPixelValue(int X, int Y) const;
    void SetPixelValue(int X, int Y, uint32_t Value);
    TColor GetPixelColor(int X, int Y) const;
    void SetPixelColor(int X, int Y, TColor Color);
    TColor IndexToColor(uint32_t Index) const;
    // The colour every operation gives a raw value of this picture: for 24 bits or the kind pTrueColor the
    // value itself, else its table entry, and beyond the table the first entry, or black for an empty table.
    // Never raises.
    TColor PixelValueColor(uint32_t Value) const;
    TColor GetBackGroundColor() const;
    uint32_t GetBackGroundValue() const { return BackGroundValue; }
    void SetBackGroundValue(uint32_t Value) { BackGroundValue = Value; }
    void Clear();

    // Colour table.
    virtual void FreeColorLookup();
    virtual void SetFastColorLookup(bool Value);
    virtual void SetColorCount(int Count);
    virtual void SetPaletteIdent(TPaletteIdent Value);
    virtual void SetPaletteColor(int Index, TColor Color);
    virtual void SetWeightedGray(bool Value);
    virtual int ColorToIndex(TColor Color);
    void DetectPaletteIdent();
    TPaletteIdent GetPaletteIdent() const { return PaletteIdent; }
    bool GetAllGray() const { return AllGray; }
    bool GetFastColorLookup() const { return FastColorLookup; }
    bool GetWeightedGray() const { return WeightedGray; }
    // The caches of ColorToIndex: the last colour and its index, and the 64 KB inverse table.
    bool GetLastColorStale() const { return LastColorStale; }
    bool GetLookupTableStale() const { return LookupTableStale; }
    // The logical palette made from the colour table; empty for true colour or an empty table.
    virtual const QVector<QRgb>& GetPalette();

    // Error diffusion onto this picture's table. BeginDither once, then per target row DitherPixel for every
    // pixel (left to right on even rows, right to left on odd ones) and NextDitherRow; EndDither at the end,
    // also after a failure. R, G, B are the wanted colour, 0..255.
    void BeginDither();
    void DitherPixel(int X, int Y, int R, int G, int B);
    // DitherPixel for X = First .. Last of row Y in its scan order, Colors[X - First] the wanted colour.
    void DitherRow(int Y, int First, int Last, const TColor* Colors);
    void NextDitherRow();
    void EndDither();
    // The limits of carried errors, indexed by error + 255; empty outside BeginDither .. EndDither.
    std::span<const int32_t> GetErrorLimitTable() const { return ErrorLimitTable; }

    // Copying.
    virtual void Assign(const TPixelGraphic* Source);
    void CopyPalette(const TPixelGraphic* Source);

    // Loading through the reader registry (PGLoadSave.cpp). A reader is chosen by the data's first bytes and
    // only then by Ext; Index selects a picture in files that hold several. Every load empties the picture
    // first, leaves it empty when it fails, and fires OnChange once either way.
    virtual void LoadFromFile(const QString& FileName) { LoadFromFileIndex(FileName, 0); }
    void LoadFromFileIndex(const QString& FileName, int Index);
    virtual void LoadFromStream(QIODevice& Stream) { LoadFromStreamExt(Stream, QString()); }
    void LoadFromStreamExt(QIODevice& Stream, const QString& Ext) { LoadFromStreamIndex(Stream, Ext, 0); }
    void LoadFromStreamIndex(QIODevice& Stream, const QString& Ext, int Index);

    // Saving through the writer registry, converted on a copy to a colour resolution the writer stores.
    // A file is replaced only after the writer succeeded. SaveToStream writes a BMP file of the picture as
    // it is.
    virtual void SaveToFile(const QString& FileName);
    virtual void SaveToFileStream(QIODevice& Stream, const QString& Ext);
    void SaveToStreamExt(bool ToFile, const QString& FileName, QString Ext, QIODevice* Stream);
    virtual void SaveToStream(QIODevice& Stream);

    // Form streaming: a 4-byte length and a BMP file of that many bytes.
    virtual void WriteData(QIODevice& Stream);
    virtual void ReadData(QIODevice& Stream);

    // Clipboard blocks: packed DIBs (header, colour table, pixels). Format numbers 2 (bitmap) and 8 (DIB)
    // are read alike.
    static constexpr uint16_t CF_BITMAP = 2;
    static constexpr uint16_t CF_DIB = 8;
    virtual void LoadFromClipboardFormat(uint16_t AFormat, const QByteArray& AData);
    virtual void SaveToClipboardFormat(uint16_t& AFormat, QByteArray& AData);

    // The device-independent bitmap at the stream's position (formats/PGBMP.cpp). PixelOffset is the
    // distance from the DIB's start to its pixels when a file header gave one, else 0.
    void ReadDIB(QIODevice& Stream, bool IsCore, int64_t PixelOffset = 0);
    void WriteDIB(QIODevice& Stream);

    void SetBackGroundColor(TColor Color);
    void SetBitCountNum(uint8_t Value);
    // 1, 4, 8, 24 bits give 0, 1, 2, 3; anything else raises EPGInvalidBitCountNum.
    static uint8_t BitCountNumOf(int Bits);

    // Geometric operations. Except for the mirrors, which work in place, they fill this picture (the target)
    // from a source in the target's own format: colours are diffused onto a paletted target with Dither on,
    // else written as bytes or nearest entries. Between pictures of one format and one colour table,
    // CopyRect, equal-size StretchCopy and quarter turns move raw values. The source may be the target
    // itself; the result is then that of working from an unchanged copy. Progress: OnProgressStart,
    // OnProgress per row, OnProgressEnd (also after Abort, not when an exception passes), then Changed.
    void StretchCopy(int DestX, int DestY, int DestWidth, int DestHeight, int SrcX, int SrcY, int SrcWidth,
                     int SrcHeight, TPixelGraphic& Source);
    // The whole Source resampled onto the whole of this picture, which keeps its size and format.
    void CopyFrom(TPixelGraphic& Source);
    void CopyRect(int DestX, int DestY, int AWidth, int AHeight, int SrcX, int SrcY, TPixelGraphic& Source);
    // The source rectangle turned by Angle degrees (clockwise on the screen) about the source centre, which
    // lands on the target centre; every target pixel in range is mapped back into the source.
    void Transform(int DestCenterX, int DestCenterY, long double Angle, int SrcCenterX, int SrcCenterY,
                   int SrcX, int SrcY, int SrcWidth, int SrcHeight, TPixelGraphic& Source);
    // The whole Source turned about its centre onto this picture's centre; with AdjustSize this picture first
    // takes the size of the turned bounding box.
    void Rotate(bool AdjustSize, TPixelGraphic& Source, long double Angle);
    // Left and right exchanged, and top and bottom exchanged, in place: raw values move, the table stays.
    void MirrorHorizontal();
    void MirrorVertical();

    // The filter's results over Source written into this picture. A distinct source first gives this
    // picture its size, in this picture's own format and table. A colour filter onto a paletted picture of
    // at least the source's format filters the colour table of a copy of the source (no progress events);
    // otherwise pixel by pixel like the geometric operations. Source may be this picture only for a colour
    // filter (EPGFilter otherwise). What an Abort leaves written stays.
    void ApplyFilter(TPGFilter& Filter, TPixelGraphic& Source);

    // Drawing. A reversed destination rectangle draws the picture mirrored.
    virtual void Draw(QPainter& Canvas, const TRect& Rect) { DrawTo(Canvas, Rect); }
    void DrawTo(QPainter& Painter, const TRect& Rect);
    TPGCanvas* GetCanvas();
    void FreeCanvasHandle();

    // Change notification: Changed fires OnChange unless an update bracket is open.
    virtual void Changed();
    void BeginUpdate() { ++UpdateCount; }
    void EndUpdate();

    // Options.
    bool GetDither() const { return Dither; }
    void SetDither(bool Value) { Dither = Value; }
    uint8_t GetDitherErrorLimit() const { return DitherErrorLimit; }
    void SetDitherErrorLimit(uint8_t Value) { DitherErrorLimit = Value; }
    bool GetDitherErrorLimitAuto() const { return DitherErrorLimitAuto; }
    void SetDitherErrorLimitAuto(bool Value) { DitherErrorLimitAuto = Value; }
    bool GetDitherErrorLimitSoft() const { return DitherErrorLimitSoft; }
    void SetDitherErrorLimitSoft(bool Value) { DitherErrorLimitSoft = Value; }
    bool GetFastLoad() const { return FastLoad; }
    void SetFastLoad(bool Value) { FastLoad = Value; }
    long double GetFileGamma() const { return FileGamma; }
    void SetFileGamma(long double Value) { FileGamma = Value; }
    uint8_t GetInterpolate() const { return Interpolate; }
    void SetInterpolate(uint8_t Value) { Interpolate = Value; }
    TStretchMode GetStretchMode() const { return StretchMode; }
    void SetStretchMode(TStretchMode Value) { StretchMode = Value; }
    virtual bool GetTransparent() const { return Transparent; }
    virtual void SetTransparent(bool Value) { Transparent = Value; }
    TPGWarningAction GetReadWarningAction() const { return ReadWarningAction; }
    void SetReadWarningAction(TPGWarningAction Value) { ReadWarningAction = Value; }
    TPGWarningAction GetSaveColorResWarningAction() const { return SaveColorResWarningAction; }
    void SetSaveColorResWarningAction(TPGWarningAction Value) { SaveColorResWarningAction = Value; }
    bool GetRaiseXYIndexOutOfRange() const { return RaiseXYIndexOutOfRange; }
    void SetRaiseXYIndexOutOfRange(bool Value) { RaiseXYIndexOutOfRange = Value; }
    bool SkipRealizePalette = false; // written by the viewer; the stand-in palette needs no realizing

    // Events.
    void SetOnChange(TNotifyEvent Value) { OnChange = std::move(Value); }
    void SetOnProgress(TPGProgressEvent Value) { OnProgress = std::move(Value); }
    void SetOnProgressStart(TNotifyEvent Value) { OnProgressStart = std::move(Value); }
    void SetOnProgressEnd(TNotifyEvent Value) { OnProgressEnd = std::move(Value); }
    const TPGProgressEvent& GetOnProgress() const { return OnProgress; }
    const TNotifyEvent& GetOnProgressStart() const { return OnProgressStart; }
    const TNotifyEvent& GetOnProgressEnd() const { return OnProgressEnd; }

private:
    friend class TPGCanvas; // draws into the pixels and must see the pending flush

    static TPixelBlock AllocatePixels(size_t Size);
    friend struct TKeepPixelsForLoad;

    // Writes queued canvas drawing back into the pixels before anything touches them directly.
    void FlushPending() const;
    // Leaves a picture with no pixels and no size, keeping the colour table and its kind.
    void MakeEmpty();
    // Colour-table entry Index; beyond the table the first entry, or black for an empty table, whatever the
    // table's kind.
    TColor TableEntryOrFirst(uint32_t Index) const;
    // The one place that writes the section's colour entries: each is TableEntryOrFirst of its index.
    void FillSectionColors();
    // The colour table as drawing uses it.
    QVector<QRgb> DrawColors() const;
    QImage WrapPixels(const QRect& Part);
    QImage WrapPixels() { return WrapPixels(QRect(0, 0, Width, Height)); }
    void DrawFourBits(QPainter& Painter, const QTransform& Place);
    void RaiseOutOfRange() const;
    int NearestIndex(TColor Color) const;
    // One pixel of the diffusion; Store(index) writes the chosen entry.
    template <typename Store> void Diffuse(int X, int Y, int R, int G, int B, Store&& store);
    // DitherRow's pixels inside the picture, for tables that are not all gray.
    void DiffuseColorRow(int Y, int First, int Last, const TColor* Colors, uint8_t* Row);
    // The colour of entry Index as the diffusion subtracts it.
    TColor EntryColor(int Index) const;
    int LookupIndex(TColor Color);
    void BuildLookupTable();

    uint32_t BackGroundValue = 0;
    uint8_t BitCountNum = 3;
    TPixelBlock Bits;
    // While a load runs, the block its first SetFormat drops waits here for a picture of the same size.
    bool KeepSpareBits = false;
    TPixelBlock SpareBits;
    int SpareSize = 0;
    std::unique_ptr<TBitmapInfo> BitmapInfo;
    std::unique_ptr<TPGCanvas> Canvas;
    bool Dither = true;
    uint8_t DitherErrorLimit = 32;
    bool DitherErrorLimitAuto = true;
    std::vector<int32_t> ErrorLimitTable; // 511 limits, error -255 first
    bool DitherErrorLimitSoft = true;
    // Per pixel three error sums in sixteenths, red, green, blue, with a guard pixel at each end.
    std::vector<int32_t> ErrorRowCurrent;
    std::vector<int32_t> ErrorRowNext;
    // Limits of carried errors indexed straight by the sum of sixteenths (sum + ErrorSumReach).
    std::vector<int16_t> ErrorSumLimits;
    bool FastColorLookup = true;
    bool FastLoad = false;
    int Height = 0;
    bool AllGray = false;
    long double FileGamma;
    int ImageSize = 0;
    int RowBytes = 0;
    TNotifyEvent OnChange;
    TPGProgressEvent OnProgress;
    TNotifyEvent OnProgressEnd;
    TNotifyEvent OnProgressStart;
    QVector<QRgb> PaletteHandle;
    // Cell (red div 8) * 2048 + (green div 4) * 32 + blue div 8 holds an entry near the cell's colours.
    std::unique_ptr<uint8_t[]> LookupTable;
    bool LookupTableStale = true;
    TColor LastColor = 0;
    bool LastColorStale = true;
    std::unique_ptr<uint8_t[]> LookupBitmap; // bit c set: LookupTable[c] is filled
    int LastIndex = 0;
    bool PaletteStale = false;
    std::vector<TColor> ColorTable;
    TPaletteIdent PaletteIdent = pTrueColor;
    bool WeightedGray = true;
    uint8_t Interpolate = 1;
    TStretchMode StretchMode = smPrecise;
    bool Transparent = false;
    int UpdateCount = 0;
    TPGWarningAction ReadWarningAction = pgwaOKCancelBox;
    bool RaiseXYIndexOutOfRange = false;
    TPGWarningAction SaveColorResWarningAction = pgwaOKCancelBox;
    mutable bool GdiFlushPending = false;
    int Width = 0;
};
