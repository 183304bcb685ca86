// The picture: memory layout, pixel access, format changes, copying, drawing and change events.
#include "image-library/PGraphic.h"

#include "image-library/PGCanvas.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"

#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <sys/mman.h>

namespace {

constexpr int BitCounts[4] = {1, 4, 8, 24};

int64_t RowBytesOf(int Width, uint8_t BitCountNum) {
    return (int64_t(BitCounts[BitCountNum]) * Width + 31) / 32 * 4;
}

constexpr int MaxColorCounts[4] = {2, 16, 256, 0};

// GetDIBSize adds the largest colour table and the file headers to ImageSize, and must stay an Integer.
constexpr int64_t LargestImageSize = INT_MAX - 4 * 256 - 58;

static_assert(alignof(std::max_align_t) >= 16, "calloc must give the 16-byte alignment rows are read with");

} // namespace

TPixelGraphic::TPixelGraphic() : FileGamma(PGDisplayGamma) {}

TPixelGraphic::~TPixelGraphic() {
    FlushPending();
    Canvas.reset();
}

int TPixelGraphic::GetBitCount() const {
    return BitCounts[BitCountNum];
}

int TPixelGraphic::GetMaxColorCount() const {
    return MaxColorCounts[BitCountNum];
}

void TPixelGraphic::SetWidth(int Value) {
    if (Value != Width)
        SetFormat(Value, Height, BitCountNum);
}

void TPixelGraphic::SetHeight(int Value) {
    if (Value != Height)
        SetFormat(Width, Value, BitCountNum);
}

void TPixelBlockDeleter::operator()(uint8_t* p) const {
    if (Mapped)
        munmap(p - Offset, Mapped);
    else
        std::free(p);
}

// The allocator gives blocks of 32 MB and more fresh pages each time, and zeroing those a 4 KB page at a
// time costs more than reading a large picture: such blocks are mapped here and asked for huge pages, which
// come zeroed 2 MB at a time. Smaller blocks the allocator recycles while they are still in the caches.
// Under AddressSanitizer every block comes from the allocator, which it guards.
TPixelBlock TPixelGraphic::AllocatePixels(size_t Size) {
#if !defined(__SANITIZE_ADDRESS__) && defined(MADV_HUGEPAGE)
    constexpr size_t huge = size_t(2) << 20, mappedFrom = size_t(32) << 20;
    if (Size >= mappedFrom) {
        // Blocks that all started on a 2 MB boundary would put the same row of two pictures on the same
        // cache sets, and a copy between them would stall on every row: each block starts a little later.
        static std::atomic<unsigned> blocks{0};
        const size_t offset = size_t(blocks++ % 31 + 1) * 128;
        const size_t mapped = (Size + offset + huge - 1) / huge * huge;
        void* area = mmap(nullptr, mapped + huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED)
            return {};
        // Keep the 2 MB-aligned part, hand the rest back.
        uint8_t* const start = static_cast<uint8_t*>(area);
        uint8_t* const aligned = start + (huge - reinterpret_cast<uintptr_t>(start) % huge) % huge;
        if (aligned > start)
            munmap(start, size_t(aligned - start));
        if (const size_t tail = size_t(start + mapped + huge - (aligned + mapped)))
            munmap(aligned + mapped, tail);
        madvise(aligned, mapped, MADV_HUGEPAGE);
        return TPixelBlock(aligned + offset, TPixelBlockDeleter{mapped, offset});
    }
#endif
    return TPixelBlock(static_cast<uint8_t*>(std::calloc(Size, 1)));
}

void TPixelGraphic::MakeEmpty() {
    if (KeepSpareBits && Bits && !SpareBits) {
        SpareBits = std::move(Bits);
        SpareSize = ImageSize;
    }
    Bits.reset();
    BitmapInfo.reset();
    Width = 0;
    Height = 0;
    RowBytes = 0;
    ImageSize = 0;
}

// Sizes come from files: the arithmetic is 64-bit, and the limit is checked on the row before the product,
// which would overflow even 64 bits.
bool TPixelGraphic::FitsPixelMemory(int AWidth, int AHeight, uint8_t ABitCountNum) {
    const int64_t limit = std::min(PGMaxPixelMemory, LargestImageSize);
    return AHeight <= 0 || RowBytesOf(AWidth, ABitCountNum) <= limit / AHeight;
}

void TPixelGraphic::RaisePixelMemoryFailure() {
    throw EPixelGraphic(PGLangStr(31, QStringLiteral("CreateDIBSection")));
}

void TPixelGraphic::SetFormat(int AWidth, int AHeight, uint8_t ABitCountNum) {
    if (AWidth < 0)
        throw EPGInvalidSize(PGLangStr(22));
    if (AHeight < 0)
        throw EPGInvalidSize(PGLangStr(21));
    if (ABitCountNum > 3)
        throw EPGInvalidBitCountNum(PGLangStr(20, QStringLiteral("BitCountNum")));
    if (AWidth == Width && AHeight == Height && ABitCountNum == BitCountNum) {
        Clear();
        return;
    }

    FlushPending();
    FreeCanvasHandle();
    MakeEmpty();
    BitCountNum = ABitCountNum;

    if (!FitsPixelMemory(AWidth, AHeight, BitCountNum)) {
        Changed(); // the old pixels are gone either way
        RaisePixelMemoryFailure();
    }
    const int64_t rowBytes = RowBytesOf(AWidth, BitCountNum);
    const int64_t imageSize = rowBytes * AHeight;
    if (imageSize > 0) {
        const int maxColors = GetMaxColorCount();
        if (GetColorCount() > maxColors)
            SetColorCount(maxColors);
        if (BitCountNum == 3)
            PaletteIdent = pTrueColor;
        if (SpareBits && SpareSize == imageSize) { // already in memory: clearing it is cheaper
            Bits = std::move(SpareBits);
            std::memset(Bits.get(), 0, size_t(imageSize));
        } else {
            SpareBits.reset();
            Bits = AllocatePixels(size_t(imageSize));
        }
        if (!Bits) {
            Changed();
            RaisePixelMemoryFailure();
        }
    }
    Width = AWidth;
    Height = AHeight;
    RowBytes = int(rowBytes);
    ImageSize = int(imageSize);
    if (ImageSize > 0) {
        BitmapInfo = std::make_unique<TBitmapInfo>();
        TBitmapInfoHeader& h = BitmapInfo->bmiHeader;
        h.biWidth = Width;
        h.biHeight = Height;
        h.biBitCount = uint16_t(GetBitCount());
        h.biSizeImage = uint32_t(ImageSize);
        h.biClrUsed = uint32_t(GetMaxColorCount());
        BitmapInfo->bmiColors.resize(size_t(GetMaxColorCount()));
        FillSectionColors();
    }
    Changed();
}

// The entries describe the table, not the pixel values: a paletted picture of the kind pTrueColor has no
// table, so its entries are black although GetPixelColor gives its values as colours.
void TPixelGraphic::FillSectionColors() {
    for (size_t i = 0; i < BitmapInfo->bmiColors.size(); ++i) {
        const TColor c = TableEntryOrFirst(uint32_t(i));
        BitmapInfo->bmiColors[i] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
    }
}

uint8_t* TPixelGraphic::GetBits() {
    FlushPending();
    return Bits.get();
}

uint8_t* TPixelGraphic::GetScanLine(int Y) {
    FlushPending();
    if (!Bits)
        return nullptr;
    return Bits.get() + ptrdiff_t(Height - 1 - Y) * RowBytes;
}

void TPixelGraphic::RaiseOutOfRange() const {
    throw EPGXYIndexOutOfRange(PGLangStr(1));
}

uint32_t TPixelGraphic::GetPixelValue(int X, int Y) const {
    FlushPending();
    if (X < 0 || X >= Width || Y < 0 || Y >= Height || !Bits) {
        if (RaiseXYIndexOutOfRange)
            RaiseOutOfRange();
        return BackGroundValue;
    }
    const uint8_t* row = Bits.get() + ptrdiff_t(Height - 1 - Y) * RowBytes;
    switch (BitCountNum) {
    case 0:
        return (row[X / 8] & (0x80 >> (X % 8))) ? 1 : 0;
    case 1:
        return X % 2 == 0 ? row[X / 2] >> 4 : row[X / 2] & 0x0F;
    case 2:
        return row[X];
    default: {
        const uint8_t* p = row + 3 * X;
        return RGB(p[2], p[1], p[0]);
    }
    }
}

void TPixelGraphic::SetPixelValue(int X, int Y, uint32_t Value) {
    FlushPending();
    if (X < 0 || X >= Width || Y < 0 || Y >= Height || !Bits) {
        if (RaiseXYIndexOutOfRange)
            RaiseOutOfRange();
        return;
    }
    uint8_t* row = Bits.get() + ptrdiff_t(Height - 1 - Y) * RowBytes;
    switch (BitCountNum) {
    case 0: {
        const uint8_t mask = uint8_t(0x80 >> (X % 8));
        row[X / 8] = Value == 1 ? row[X / 8] | mask : row[X / 8] & ~mask;
        break;
    }
    case 1: {
        uint8_t& b = row[X / 2];
        b = X % 2 == 0 ? uint8_t((b & 0x0F) | ((Value & 0x0F) << 4)) : uint8_t((b & 0xF0) | (Value & 0x0F));
        break;
    }
    case 2:
        row[X] = uint8_t(Value);
        break;
    default: {
        uint8_t* p = row + 3 * X;
        p[0] = uint8_t(Value >> 16);
        p[1] = uint8_t(Value >> 8);
        p[2] = uint8_t(Value);
    }
    }
}

TColor TPixelGraphic::GetPixelColor(int X, int Y) const {
    return PixelValueColor(GetPixelValue(X, Y));
}

void TPixelGraphic::SetPixelColor(int X, int Y, TColor Color) {
    SetPixelValue(X, Y, BitCountNum == 3 ? Color : uint32_t(ColorToIndex(Color)));
}

TColor TPixelGraphic::IndexToColor(uint32_t Index) const {
    if (PaletteIdent == pTrueColor)
        return Index;
    if (Index >= ColorTable.size())
        throw EPGInvalidPaletteIndex(PGLangStr(3));
    return ColorTable[Index];
}

TColor TPixelGraphic::PixelValueColor(uint32_t Value) const {
    // Only a paletted kind has a table to fall back on: a pTrueColor value is the colour itself.
    if (BitCountNum == 3 || PaletteIdent == pTrueColor)
        return Value;
    return TableEntryOrFirst(Value);
}

TColor TPixelGraphic::TableEntryOrFirst(uint32_t Index) const {
    return Index < ColorTable.size() ? ColorTable[Index] : ColorTable.empty() ? clBlack : ColorTable[0];
}

TColor TPixelGraphic::GetBackGroundColor() const {
    return PixelValueColor(BackGroundValue);
}

void TPixelGraphic::Clear() {
    FlushPending();
    if (!Bits || Width == 0 || Height == 0)
        return;
    if (BackGroundValue == 0) {
        std::memset(Bits.get(), 0, size_t(ImageSize));
    } else if (BitCountNum == 2) {
        for (int y = 0; y < Height; ++y)
            std::memset(Bits.get() + ptrdiff_t(y) * RowBytes, uint8_t(BackGroundValue), size_t(Width));
    } else {
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                SetPixelValue(x, y, BackGroundValue);
    }
    Changed();
}

void TPixelGraphic::Assign(const TPixelGraphic* Source) {
    if (Source == this)
        return;
    BeginUpdate();
    try {
        if (!Source) {
            SetFormat(0, 0, 3);
        } else {
            FlushPending();
            Source->FlushPending();
            SetFormat(Source->Width, Source->Height, Source->BitCountNum);
            if (ImageSize > 0)
                std::memcpy(Bits.get(), Source->Bits.get(), size_t(ImageSize));
            SetPaletteIdent(Source->PaletteIdent);
            SetColorCount(Source->GetColorCount());
            BackGroundValue = Source->BackGroundValue;
            Dither = Source->Dither;
            DitherErrorLimit = Source->DitherErrorLimit;
            DitherErrorLimitAuto = Source->DitherErrorLimitAuto;
            DitherErrorLimitSoft = Source->DitherErrorLimitSoft;
            FastColorLookup = Source->FastColorLookup;
            FileGamma = Source->FileGamma;
            WeightedGray = Source->WeightedGray;
            Interpolate = Source->Interpolate;
            StretchMode = Source->StretchMode;
            ReadWarningAction = Source->ReadWarningAction;
            Transparent = Source->Transparent;
            RaiseXYIndexOutOfRange = Source->RaiseXYIndexOutOfRange;
            SaveColorResWarningAction = Source->SaveColorResWarningAction;
            for (int i = 0; i < GetColorCount(); ++i)
                SetPaletteColor(i, Source->IndexToColor(uint32_t(i)));
            DetectPaletteIdent();
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TPixelGraphic::CopyPalette(const TPixelGraphic* Source) {
    SetColorCount(Source->GetColorCount());
    for (int i = 0; i < GetColorCount(); ++i)
        SetPaletteColor(i, Source->IndexToColor(uint32_t(i)));
    DetectPaletteIdent();
}

const QVector<QRgb>& TPixelGraphic::GetPalette() {
    if (PaletteStale) {
        PaletteHandle.clear();
        if (PaletteIdent != pTrueColor)
            for (TColor c : ColorTable)
                PaletteHandle.append(ColorToQRgb(c));
        PaletteStale = false;
    }
    return PaletteHandle;
}

// Wraps the pixel rows of Part (memory coordinates: rows still bottom-up) in an image that Qt can draw,
// without converting 1, 8 and 24 bits, where Part is the whole picture.
QVector<QRgb> TPixelGraphic::DrawColors() const {
    QVector<QRgb> colors;
    for (const TRGBQuad& q : BitmapInfo->bmiColors)
        colors.append(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
    return colors;
}

QImage TPixelGraphic::WrapPixels(const QRect& Part) {
    const QVector<QRgb> colors = DrawColors();
    QImage image;
    switch (BitCountNum) {
    case 0:
        image = QImage(Bits.get(), Width, Height, RowBytes, QImage::Format_Mono);
        break;
    case 1: // Qt has no 4-bit format: spread the nibbles of the part into bytes
        image = QImage(Part.width(), Part.height(), QImage::Format_Indexed8);
        for (int y = 0; y < Part.height(); ++y) {
            const uint8_t* in = Bits.get() + ptrdiff_t(Part.top() + y) * RowBytes;
            uint8_t* out = image.scanLine(y);
            for (int i = 0, x = Part.left(); i < Part.width(); ++i, ++x)
                out[i] = x % 2 == 0 ? in[x / 2] >> 4 : in[x / 2] & 0x0F;
        }
        break;
    case 2:
        image = QImage(Bits.get(), Width, Height, RowBytes, QImage::Format_Indexed8);
        break;
    default:
        return QImage(Bits.get(), Width, Height, RowBytes, QImage::Format_BGR888);
    }
    image.setColorTable(colors);
    return image;
}

namespace {

// The device pixels the painter can still change: its device, less what the system clip and its own clip
// leave out.
QRectF VisibleDeviceRect(const QPainter& Painter) {
    const QPaintDevice* device = Painter.device();
    QRectF visible(0, 0, device->width(), device->height());
    if (const QPaintEngine* engine = Painter.paintEngine(); engine && !engine->systemClip().isEmpty())
        visible &= QRectF(engine->systemClip().boundingRect());
    if (Painter.hasClipping())
        visible &= Painter.worldTransform().mapRect(Painter.clipBoundingRect());
    return visible;
}

} // namespace

void TPixelGraphic::DrawTo(QPainter& Painter, const TRect& Rect) {
    if (Width <= 0 || Height <= 0)
        return;
    FlushPending();
    if (!Bits)
        return;
    // Memory row 0 is the bottom row: it goes to the rectangle's bottom edge. Reversed edges mirror.
    const QTransform place(double(Rect.Right - Rect.Left) / Width, 0, 0,
                           double(Rect.Top - Rect.Bottom) / Height, Rect.Left, Rect.Bottom);
    Painter.save();
    Painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (BitCountNum == 1 && Painter.device())
        DrawFourBits(Painter, place);
    else {
        Painter.setTransform(place, true);
        Painter.drawImage(0, 0, WrapPixels());
    }
    Painter.restore();
}

// Only a 4-bit picture is converted to be drawn, so only what shows of it is converted: the columns and
// rows that the device and the clips let through, and of a picture drawn smaller than its size only the
// pixels that land on a device pixel, sampled at the pixel centres as the painter's own scaling does.
void TPixelGraphic::DrawFourBits(QPainter& Painter, const QTransform& Place) {
    const QTransform toDevice = Place * Painter.worldTransform();
    bool invertible = false;
    const QTransform toPixels = toDevice.inverted(&invertible);
    const QRectF visible = VisibleDeviceRect(Painter);
    if (!invertible || visible.isEmpty())
        return;
    if (toDevice.type() <= QTransform::TxScale &&
        (std::abs(toDevice.m11()) < 1 || std::abs(toDevice.m22()) < 1)) {
        const QRect target = (toDevice.mapRect(QRectF(0, 0, Width, Height)) & visible).toAlignedRect();
        if (target.isEmpty())
            return;
        const auto sample = [](double scale, double offset, int device, int size) {
            return std::clamp(int(std::floor(scale * (device + 0.5) + offset)), 0, size - 1);
        };
        QImage image(target.size(), QImage::Format_Indexed8);
        for (int j = 0; j < target.height(); ++j) {
            const int y = sample(toPixels.m22(), toPixels.dy(), target.top() + j, Height);
            const uint8_t* in = Bits.get() + ptrdiff_t(y) * RowBytes;
            uint8_t* out = image.scanLine(j);
            for (int i = 0; i < target.width(); ++i) {
                const int x = sample(toPixels.m11(), toPixels.dx(), target.left() + i, Width);
                out[i] = x % 2 == 0 ? in[x / 2] >> 4 : in[x / 2] & 0x0F;
            }
        }
        image.setColorTable(DrawColors());
        Painter.resetTransform();
        Painter.drawImage(target.topLeft(), image);
        return;
    }
    const QRectF part = toPixels.mapRect(visible);
    const QRect grown = QRect(QPoint(int(std::floor(part.left())) - 1, int(std::floor(part.top())) - 1),
                              QPoint(int(std::ceil(part.right())) + 1, int(std::ceil(part.bottom())) + 1)) &
                        QRect(0, 0, Width, Height);
    if (grown.isEmpty())
        return;
    Painter.setTransform(Place, true);
    Painter.drawImage(grown.topLeft(), WrapPixels(grown));
}

TPGCanvas* TPixelGraphic::GetCanvas() {
    if (!Canvas) {
        Canvas = std::make_unique<TPGCanvas>(this);
        Canvas->OnChange = [this](TObject*) { Changed(); };
    }
    GdiFlushPending = true;
    return Canvas.get();
}

void TPixelGraphic::FreeCanvasHandle() {
    if (Canvas)
        Canvas->FreeHandle();
}

void TPixelGraphic::FlushPending() const {
    if (!GdiFlushPending)
        return;
    GdiFlushPending = false;
    if (Canvas)
        Canvas->Flush();
}

void TPixelGraphic::Changed() {
    if (UpdateCount == 0 && OnChange)
        OnChange(this);
}

void TPixelGraphic::EndUpdate() {
    --UpdateCount;
    Changed();
}
