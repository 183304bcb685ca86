// Random test pictures, the plain per-pixel write, and a format's reading and writing in memory.
#include "image-library/testing/TestPictures.h"

#include "image-library/PGraphic.h"

#include <QBuffer>

std::unique_ptr<TPixelGraphic> RandomPicture(std::mt19937& rng, int w, int h, uint8_t bitCountNum) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, bitCountNum);
    const int maxColors = p->GetMaxColorCount();
    if (bitCountNum != 3) {
        p->SetColorCount(maxColors - 1);
        for (int i = 0; i < maxColors - 1; ++i)
            p->SetPaletteColor(i, TColor(rng() & 0xFFFFFF));
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelValue(
                x, y, bitCountNum == 3 ? uint32_t(rng() & 0xFFFFFF) : uint32_t(rng() % uint32_t(maxColors)));
    return p;
}

std::unique_ptr<TPixelGraphic> RandomTarget(std::mt19937& rng, int w, int h, uint8_t bitCountNum,
                                            bool dither) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, bitCountNum);
    constexpr TPaletteIdent kinds[] = {pBlackWhite, pSys16, pSpecial252, pTrueColor};
    p->SetPaletteIdent(kinds[bitCountNum]);
    const int values = bitCountNum == 3 ? 0x1000000 : p->GetColorCount();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelValue(x, y, uint32_t(rng() % uint32_t(values)));
    p->SetDither(dither);
    return p;
}

void ReferenceWrite(TPixelGraphic& t, bool dithering, int x, int y, TColor c) {
    if (dithering)
        t.DitherPixel(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
    else
        t.SetPixelColor(x, y, c);
}

namespace {

struct TBytesStream : QBuffer {
    explicit TBytesStream(const QByteArray& Bytes) {
        setData(Bytes);
        open(QIODevice::ReadOnly);
    }
};

} // namespace

void ReadFromBytes(const TFileFormatReader& Reader, const QByteArray& Bytes, TPixelGraphic& Picture,
                   int Index) {
    TBytesStream stream(Bytes);
    Reader.Read(stream, Picture, Index);
}

TFileFormatInfo Info(const TFileFormatReader& Reader, const QByteArray& Bytes, int Index) {
    TBytesStream stream(Bytes);
    TFileFormatInfo info;
    Reader.GetInfo(stream, Index, info);
    return info;
}

QByteArray Written(const TFileFormatWriter& Writer, TPixelGraphic& Picture) {
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    Writer.Write(stream, Picture);
    return stream.data();
}

uint64_t Checksum(const void* Bytes, size_t Count, uint64_t Seed) {
    const uint8_t* b = static_cast<const uint8_t*>(Bytes);
    for (size_t i = 0; i < Count; ++i)
        Seed = (Seed ^ b[i]) * 1099511628211ull;
    return Seed;
}

uint64_t PictureChecksum(TPixelGraphic& Picture) {
    const int32_t shape[3] = {Picture.GetWidth(), Picture.GetHeight(), Picture.GetBitCountNum()};
    uint64_t sum = Checksum(shape, sizeof shape);
    for (int i = 0; i < Picture.GetColorCount(); ++i) {
        const TColor c = Picture.IndexToColor(uint32_t(i));
        sum = Checksum(&c, sizeof c, sum);
    }
    return Checksum(Picture.GetBits(), size_t(Picture.GetImageSize()), sum);
}
