// Random test pictures, the plain per-pixel write, and a format's reading and writing in memory.
#include "image-library/testing/TestPictures.h"

#include "image-library/PGraphic.h"
#include "image-library/testing/Oracles.h"

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

uint64_t PictureHash(const TPixelGraphic& p, uint64_t Hash) {
    auto add = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i, v >>= 8)
            Hash = (Hash ^ (v & 0xFF)) * 1099511628211ull;
    };
    add(uint32_t(p.GetWidth()));
    add(uint32_t(p.GetHeight()));
    add(p.GetBitCountNum());
    add(uint32_t(p.GetColorCount()));
    for (int i = 0; i < p.GetColorCount(); ++i)
        add(p.IndexToColor(uint32_t(i)));
    for (int y = 0; y < p.GetHeight(); ++y)
        for (int x = 0; x < p.GetWidth(); ++x)
            add(p.GetPixelValue(x, y));
    return Hash;
}

std::vector<std::unique_ptr<TPixelGraphic>> ChecksumSources() {
    std::vector<std::unique_ptr<TPixelGraphic>> sources;
    sources.push_back(std::make_unique<TPixelGraphic>());
    PictureFromPnm(GeneratedPhoto(67, 45, 5), *sources.back());
    std::mt19937 rng(33);
    sources.push_back(RandomPicture(rng, 31, 23, 3));
    sources.push_back(RandomPicture(rng, 29, 21, 2));
    sources.push_back(RandomPicture(rng, 17, 13, 1));
    sources.push_back(RandomPicture(rng, 19, 11, 0));
    return sources;
}

const TTargetKind ChecksumTargets[6] = {
    {"24 bits", 3, pTrueColor, false},
    {"8 bits pSpecial252 diffused", 2, pSpecial252, true},
    {"8 bits pSpecial252", 2, pSpecial252, false},
    {"8 bits pGray256 diffused", 2, pGray256, true},
    {"4 bits pSys16 diffused", 1, pSys16, true},
    {"1 bit diffused", 0, pBlackWhite, true},
};

std::unique_ptr<TPixelGraphic> KindTarget(std::mt19937& rng, const TTargetKind& kind, int w, int h) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, kind.BitCountNum);
    p->SetPaletteIdent(kind.Palette);
    const uint32_t values = kind.BitCountNum == 3 ? 0x1000000u : uint32_t(p->GetColorCount());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelValue(x, y, uint32_t(rng() % values));
    p->SetDither(kind.Dither);
    return p;
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

QByteArray ColorMappedTga(const QByteArray& Map, const QByteArray& Pixels) {
    QByteArray tga(18, '\0');
    tga[1] = 1; // colour-mapped, uncompressed
    tga[2] = 1;
    tga[5] = char(Map.size() / 3);
    tga[7] = 24;
    tga[12] = char(Pixels.size());
    tga[14] = 1;
    tga[16] = 8;
    return tga + Map + Pixels;
}
