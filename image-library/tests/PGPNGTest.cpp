// The PNG reader and writer against netpbm, pngcheck and python3-pil, and on files built here chunk by chunk.
#include "image-library/formats/PGPNG.h"

#include "framework/testing/MessageBoxSpy.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/ChildCost.h"
#include "image-library/testing/CountingDevice.h"
#include "image-library/testing/HostileFiles.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/ProgressLog.h"
#include "image-library/testing/TestPictures.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr TColor PictureBackground = RGB(0x20, 0x40, 0x80); // grey files compose over (R + G + B) div 3 = $4A

// Sets a library setting for the test's scope.
template <class T> class TSetting {
public:
    TSetting(T& Variable, T Value) : Variable(Variable), Saved(Variable) { Variable = Value; }
    ~TSetting() { Variable = Saved; }

private:
    T& Variable;
    T Saved;
};

void ReadPng(const QByteArray& png, TPixelGraphic& picture) {
    ReadFromBytes(TPNGFileFormatReader(), png, picture);
}

TFileFormatInfo PngInfo(const QByteArray& png, int index = 0) {
    return Info(TPNGFileFormatReader(), png, index);
}

QByteArray WritePng(TPixelGraphic& picture) {
    return Written(TPNGFileFormatWriter(), picture);
}

// The message of the exception Action raises, or "" when it raises none.
QString RaisedMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const EPGPNGFileFormatReaderWriter& e) {
        return e.message();
    }
    return {};
}

QByteArray Pngtopam(const QByteArray& png, const QStringList& args = {}) {
    return RunTool(QStringLiteral("pngtopam"), args, png).Out;
}

// Test pictures for pnmtopng: grey ramps that use every level, pictures of n distinct colours.
TPnm Gray(int width, int height, int maxVal) {
    TPnm pnm{width, height, 1, maxVal, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pnm.Samples.push_back(uint16_t((x * 37 + y * 11) % (maxVal + 1)));
    return pnm;
}

TPnm FewColors(int width, int height, int n) {
    TPnm pnm{width, height, 3, 255, {}};
    for (int i = 0; i < width * height; ++i) {
        const int k = i % n; // 53 is odd, so the reds and thus the colours are distinct
        pnm.Samples.insert(pnm.Samples.end(),
                           {uint16_t(k * 53 % 256), uint16_t(k * 97 % 256), uint16_t(k * 31 % 256)});
    }
    return pnm;
}

TPnm Photo16(int width, int height) {
    TPnm pnm = GeneratedPhoto(width, height);
    pnm.MaxVal = 65535;
    for (size_t i = 0; i < pnm.Samples.size(); ++i)
        pnm.Samples[i] = uint16_t(pnm.Samples[i] << 8 | (i * 29 % 256));
    return pnm;
}

QByteArray Pnmtopng(const TPnm& pnm, QStringList args = {}, const TPnm* alpha = nullptr) {
    QTemporaryFile alphaFile;
    if (alpha) {
        alphaFile.open();
        alphaFile.write(EncodePnm(*alpha));
        alphaFile.flush();
        args << QStringLiteral("-alpha=") + alphaFile.fileName();
    }
    return RunTool(QStringLiteral("pnmtopng"), args, EncodePnm(pnm)).Out;
}

// python3-pil writes a 9 x 6 picture in the mode named, with alpha from 0 through partial values to 255.
QByteArray PilPng(const QString& mode) {
    return RunPython(QStringLiteral(R"(
import io, sys
from PIL import Image
mode, w, h = sys.argv[1], 9, 6
px = lambda x, y: ((x * 29 + y * 7) % 256, (x * 5 + y * 41) % 256, (x * y * 13) % 256, (x * 32 + y * 16) % 256 if (x + y) % 3 else (0, 255)[y % 2])
if mode == 'P':
    im = Image.new('P', (w, h))
    im.putpalette([c for i in range(6) for c in (i * 40, 255 - i * 40, i * 7)])
    im.putdata([(x + y) % 6 for y in range(h) for x in range(w)])
    im.info['transparency'] = bytes([0, 128, 255, 60, 255, 255])
elif mode == 'I;16':
    im = Image.new('I', (w, h))
    im.putdata([(x * 7919 + y * 6007) % 65536 for y in range(h) for x in range(w)])
    im = im.convert('I;16')
else:
    im = Image.new('RGBA', (w, h))
    im.putdata([px(x, y) for y in range(h) for x in range(w)])
    im = im.convert(mode)
out = io.BytesIO()
im.save(out, 'PNG', **({'transparency': im.info['transparency']} if mode == 'P' else {}))
sys.stdout.buffer.write(out.getvalue())
)"),
                     {mode})
        .Out;
}

// python3-pil's decoding composed over Color ("#rrggbb"), as a PPM.
QByteArray PilOver(const QByteArray& png, const QString& color) {
    return RunPython(QStringLiteral(R"(
import io, sys
from PIL import Image
im = Image.open(io.BytesIO(sys.stdin.buffer.read())).convert('RGBA')
out = io.BytesIO()
Image.alpha_composite(Image.new('RGBA', im.size, sys.argv[1]), im).convert('RGB').save(out, 'PPM')
sys.stdout.buffer.write(out.getvalue())
)"),
                     {color}, png)
        .Out;
}

// PNG files built chunk by chunk, for what no encoder at hand writes.
QByteArray BigEndian(std::initializer_list<uint32_t> values, int bytes = 4) {
    QByteArray out;
    for (uint32_t v : values)
        for (int b = bytes - 1; b >= 0; --b)
            out.append(char(v >> (8 * b)));
    return out;
}

struct TRawPng {
    int Width = 1;
    int Height = 1;
    int BitDepth = 8;
    int ColorType = 0;
    std::vector<uint16_t> Samples;  // row by row, every channel of a pixel
    std::vector<QByteArray> Chunks; // placed between IHDR and IDAT
    int Interlace = 0;              // Adam7 for 1, where ImageData serves only pictures of one pixel
};

QByteArray ImageData(const TRawPng& raw) {
    static constexpr int Channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int perRow = raw.Width * Channels[raw.ColorType];
    QByteArray rows;
    for (int y = 0; y < raw.Height; ++y) {
        rows.append('\0'); // filter type None
        uint32_t bits = 0;
        int count = 0;
        for (int i = 0; i < perRow; ++i) {
            bits = bits << raw.BitDepth | raw.Samples[size_t(y * perRow + i)];
            for (count += raw.BitDepth; count >= 8; count -= 8)
                rows.append(char(bits >> (count - 8)));
        }
        if (count)
            rows.append(char(bits << (8 - count)));
    }
    return qCompress(rows).mid(4); // Qt puts the length before zlib's own stream
}

// Raw's header and chunks with Data as the image data, in IDAT chunks of at most ChunkSize bytes.
QByteArray PngWithData(const TRawPng& raw, const QByteArray& data, qsizetype chunkSize) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png += PngChunk(
        "IHDR",
        BigEndian({uint32_t(raw.Width), uint32_t(raw.Height)}) +
            BigEndian({uint32_t(raw.BitDepth), uint32_t(raw.ColorType), 0, 0, uint32_t(raw.Interlace)}, 1));
    for (const QByteArray& c : raw.Chunks)
        png += c;
    for (qsizetype at = 0; at < data.size(); at += chunkSize)
        png += PngChunk("IDAT", data.mid(at, chunkSize));
    return png + PngChunk("IEND", {});
}

QByteArray BuildPng(const TRawPng& raw) {
    const QByteArray data = ImageData(raw);
    return PngWithData(raw, data, data.size());
}

// Offset of a chunk's length field.
qsizetype ChunkAt(const QByteArray& png, const char* type) {
    return png.indexOf(type) - 4;
}

struct TReaderCase {
    const char* Name;
    std::function<QByteArray()> MakePng;
    std::function<QByteArray(const QByteArray&)> Oracle; // PNM of the pixels, over the background named
    uint8_t BitCountNum;
    int ColorCount;
    int Tolerance = 0;
};

TEST(PNGReader, DecodesEncodersFilesAsPngtopamDoes) {
    SKIP_UNLESS_TOOL("pnmtopng");
    SKIP_UNLESS_TOOL("pngtopam");
    SKIP_UNLESS_PIL();
    const auto pam = [](QStringList args) {
        return [args](const QByteArray& png) { return Pngtopam(png, args); };
    };
    const auto plain = pam({});
    const auto overPicture = pam({"-mix", "-background=rgb:20/40/80"});
    const auto overPictureGray = pam({"-mix", "-background=rgb:4a/4a/4a"});
    // pngtopam honours an RGB tRNS only for some colours: PIL stands in there.
    const auto pilOver = [](QString color) {
        return [color](const QByteArray& png) { return PilOver(png, color); };
    };
    const TPnm photo = GeneratedPhoto(21, 13);
    const QString firstColor = QStringLiteral("=rgb:%1/%2/%3")
                                   .arg(photo.Samples[0], 2, 16, QLatin1Char('0'))
                                   .arg(photo.Samples[1], 2, 16, QLatin1Char('0'))
                                   .arg(photo.Samples[2], 2, 16, QLatin1Char('0'));
    const TPnm mask = Gray(21, 13, 255);
    TPnm mask16 = mask;
    mask16.MaxVal = 65535;
    for (uint16_t& v : mask16.Samples)
        v = uint16_t(v * 257 + 100);
    const TReaderCase cases[] = {
        {"grey 1 bit", [] { return Pnmtopng(Gray(13, 9, 1)); }, plain, 0, 2},
        {"grey 2 bits, width 5", [] { return Pnmtopng(Gray(5, 9, 3)); }, plain, 1, 4},
        {"grey 4 bits", [] { return Pnmtopng(Gray(13, 9, 15)); }, plain, 1, 16},
        {"grey 8 bits", [] { return Pnmtopng(Gray(13, 9, 255)); }, plain, 2, 256},
        {"palette 1 bit", [] { return Pnmtopng(FewColors(13, 9, 2)); }, plain, 0, 2},
        {"palette 2 bits, 3 entries", [] { return Pnmtopng(FewColors(13, 9, 3)); }, plain, 1, 3},
        {"palette 4 bits", [] { return Pnmtopng(FewColors(13, 9, 16)); }, plain, 1, 16},
        {"palette 8 bits", [] { return Pnmtopng(FewColors(20, 12, 200)); }, plain, 2, 200},
        {"RGB", [&] { return Pnmtopng(photo, {"-force"}); }, plain, 3, 0},
        {"RGB 16 bits", [] { return Pnmtopng(Photo16(21, 13)); }, plain, 3, 0},
        {"RGB interlaced", [&] { return Pnmtopng(photo, {"-interlace"}); }, plain, 3, 0},
        {"grey 2 bits interlaced", [] { return Pnmtopng(Gray(13, 9, 3), {"-interlace"}); }, plain, 1, 4},
        {"gAMA and tIME",
         [&] {
             return Pnmtopng(photo, {"-gamma", "0.45455", "-modtime", "2020-01-01 10:00:00"});
         },
         plain, 3, 0},
        {"RGB with tRNS",
         [&] {
             return Pnmtopng(photo, {"-force", "-transparent", firstColor});
         },
         pilOver("#204080"), 3, 0},
        {"RGB with tRNS and bKGD",
         [&] {
             return Pnmtopng(photo, {"-force", "-transparent", firstColor, "-background", "rgb:ff/00/c0"});
         },
         pilOver("#ff00c0"), 3, 0},
        {"palette with tRNS",
         [] {
             return Pnmtopng(FewColors(13, 9, 16), {"-transparent", "=rgb:00/00/00"});
         },
         plain, 1, 16},
        {"RGB with alpha", [&] { return Pnmtopng(photo, {}, &mask); }, overPicture, 3, 0},
        {"RGB 16 bits with alpha", [&] { return Pnmtopng(Photo16(21, 13), {}, &mask16); }, overPicture, 3, 0,
         1},
        {"grey with alpha", [&] { return Pnmtopng(Gray(21, 13, 251), {"-force"}, &mask); }, overPictureGray,
         2, 256},
        {"grey with alpha and bKGD",
         [&] {
             return Pnmtopng(Gray(21, 13, 251), {"-force", "-background", "rgb:30/30/30"}, &mask);
         },
         pam({"-mix", "-background=rgb:30/30/30"}), 2, 256},
        {"PIL grey 16 bits", [] { return PilPng("I;16"); }, plain, 2, 256},
        {"PIL RGBA", [] { return PilPng("RGBA"); }, overPicture, 3, 0},
        {"PIL LA", [] { return PilPng("LA"); }, overPictureGray, 2, 256},
        {"PIL palette with tRNS", [] { return PilPng("P"); }, plain, 1, 6},
    };
    for (const TReaderCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QByteArray png = c.MakePng();
        ASSERT_TRUE(png.startsWith("\x89PNG"));
        TPixelGraphic picture;
        picture.SetBackGroundValue(PictureBackground);
        ReadPng(png, picture);
        EXPECT_EQ(picture.GetBitCountNum(), c.BitCountNum);
        EXPECT_EQ(picture.GetColorCount(), c.ColorCount);
        EXPECT_LE(LargestDifference(PnmFromPicture(picture), Rgb8FromPnm(c.Oracle(png))), c.Tolerance);
    }
}

TEST(PNGReader, GetInfoDescribesTheHeaders) {
    const std::vector<uint16_t> pixel4{1, 2, 3, 4};
    struct {
        TRawPng Raw;
        const char *Subformat, *Extra;
        int BitsPerPixel;
        const char* Colors;
    } cases[] = {
        {{1,
          1,
          8,
          0,
          {7},
          {PngChunk("gAMA", BigEndian({45455})), PngChunk("tIME", BigEndian({7, 228, 1, 2, 3, 4, 5}, 1))}},
         "GrayScale",
         "(gama, time)",
         8,
         "256"},
        {{1, 1, 16, 0, {7}, {}}, "GrayScale", "", 16, "64K?"},
        {{1, 1, 2, 3, {1}, {PngChunk("PLTE", QByteArray(9, 'x')), PngChunk("bKGD", BigEndian({2}, 1))}},
         "palette",
         "(plte, bkgd)",
         2,
         "4"},
        {{1, 1, 8, 6, pixel4, {}}, "RGB, alpha", "", 32, "16.7M?"},
        {{1, 1, 8, 4, {1, 2}, {}}, "GrayScale, alpha", "", 16, "64K?"},
        {{1,
          1,
          8,
          2,
          {1, 2, 3},
          {PngChunk("gAMA", BigEndian({45455})), PngChunk("sBIT", BigEndian({5, 6, 5}, 1)),
           PngChunk("cHRM", BigEndian({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000})),
           PngChunk("PLTE", QByteArray(6, 'x')), PngChunk("tRNS", BigEndian({1, 2, 3}, 2)),
           PngChunk("bKGD", BigEndian({4, 5, 6}, 2)), PngChunk("hIST", BigEndian({1, 1}, 2)),
           PngChunk("pHYs", BigEndian({2835, 2835}) + BigEndian({1}, 1)),
           PngChunk("oFFs", BigEndian({5, 6}) + BigEndian({0}, 1)),
           PngChunk("tIME", BigEndian({7, 228, 1, 2, 3, 4, 5}, 1))}},
         "RGB",
         "(gama, sbit, chrm, plte, trns, bkgd, hist, phys, offs, time)",
         24,
         "16.7M"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Subformat);
        const TFileFormatInfo info = PngInfo(BuildPng(c.Raw));
        EXPECT_EQ(info.Subformat, c.Subformat);
        EXPECT_EQ(info.Extra, c.Extra);
        EXPECT_EQ(info.BitsPerPixel, c.BitsPerPixel);
        EXPECT_EQ(info.Colors, c.Colors);
        EXPECT_EQ(info.Width, 1);
        EXPECT_EQ(info.PictureCount, 1);
    }
    SKIP_UNLESS_TOOL("pnmtopng");
    const TFileFormatInfo interlaced = PngInfo(Pnmtopng(GeneratedPhoto(5, 3), {"-force", "-interlace"}));
    EXPECT_EQ(interlaced.Subformat, "RGB, interlaced");
    EXPECT_EQ(interlaced.Height, 3);
    const TFileFormatInfo palette = PngInfo(Pnmtopng(FewColors(5, 3, 2)));
    EXPECT_EQ(palette.Subformat, "palette");
    EXPECT_EQ(palette.Extra, "(plte)");
    EXPECT_EQ(palette.Colors, "2");
}

TEST(PNGReader, ComposesOverTheRightBackgroundInTheRowsScale) {
    const std::vector<uint16_t> rgba16{0x1111, 0x2222, 0x3333, 0, 0xAAAA, 0xBBBB, 0xCCCC, 0xFFFF};
    const QByteArray bkgd16 = PngChunk("bKGD", BigEndian({0x1234, 0xFF00, 0x00FF}, 2));
    const QByteArray palette = PngChunk("PLTE", BigEndian({10, 20, 30, 40, 50, 60, 70, 80, 90}, 1));
    struct {
        const char* Name;
        TRawPng Raw;
        bool UseFileBackground;
        TColor Before; // the picture's background colour when reading starts
        std::vector<TColor> Colors;
        uint32_t BackGroundValue; // afterwards: a colour at 24 bits, else an index
    } cases[] = {
        {"8-bit RGBA over the picture's colour",
         {2, 1, 8, 6, {1, 2, 3, 0, 4, 5, 6, 255}, {}},
         true,
         PictureBackground,
         {PictureBackground, RGB(4, 5, 6)},
         PictureBackground},
        {"16-bit RGBA over its bKGD",
         {2, 1, 16, 6, rgba16, {bkgd16}},
         true,
         PictureBackground,
         {RGB(0x12, 0xFF, 0x00), RGB(0xAA, 0xBB, 0xCC)},
         RGB(0x12, 0xFF, 0x00)},
        {"16-bit RGBA with the file's background off",
         {2, 1, 16, 6, rgba16, {bkgd16}},
         false,
         PictureBackground,
         {PictureBackground, RGB(0xAA, 0xBB, 0xCC)},
         PictureBackground},
        {"8-bit grey with tRNS over its bKGD",
         {2, 1, 8, 0, {9, 10}, {PngChunk("tRNS", BigEndian({9}, 2)), PngChunk("bKGD", BigEndian({0x40}, 2))}},
         true,
         PictureBackground,
         {RGB(0x40, 0x40, 0x40), RGB(10, 10, 10)},
         0x40},
        {"4-bit grey with tRNS over its bKGD",
         {2, 1, 4, 0, {9, 10}, {PngChunk("tRNS", BigEndian({9}, 2)), PngChunk("bKGD", BigEndian({5}, 2))}},
         true,
         PictureBackground,
         {RGB(85, 85, 85), RGB(170, 170, 170)},
         5},
        // Grey 1 of 3 becomes white, 3; the neighbours in the same byte keep their values.
        {"2-bit grey with tRNS over white",
         {4, 1, 2, 0, {0, 1, 2, 3}, {PngChunk("tRNS", BigEndian({1}, 2))}},
         true,
         clWhite,
         {RGB(0, 0, 0), RGB(255, 255, 255), RGB(170, 170, 170), RGB(255, 255, 255)},
         clWhite},
        {"palette with tRNS keeps its entries and takes an index",
         {2,
          1,
          8,
          3,
          {0, 2},
          {palette, PngChunk("tRNS", BigEndian({0, 0, 0}, 1)), PngChunk("bKGD", BigEndian({1}, 1))}},
         true,
         PictureBackground,
         {RGB(10, 20, 30), RGB(70, 80, 90)},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TSetting useFile(PGPNGUseFileBackground, c.UseFileBackground);
        TPixelGraphic picture;
        picture.SetBackGroundValue(c.Before);
        ReadPng(BuildPng(c.Raw), picture);
        for (int x = 0; x < c.Raw.Width; ++x)
            EXPECT_EQ(picture.GetPixelColor(x, 0), c.Colors[size_t(x)]) << x;
        EXPECT_EQ(picture.GetBackGroundValue(), c.BackGroundValue);
    }
    // The picture's background is an index into its old table, which the file's shorter one replaces.
    TPixelGraphic paletted;
    paletted.SetFormat(1, 1, 2);
    paletted.SetPaletteIdent(pGray256);
    paletted.SetBackGroundValue(200);
    ReadPng(BuildPng({2, 1, 8, 3, {0, 2}, {palette, PngChunk("tRNS", BigEndian({0}, 1))}}), paletted);
    EXPECT_EQ(paletted.GetPixelColor(1, 0), RGB(70, 80, 90));
}

TEST(PNGReader, TakesFileGammaFromGamaOnly) {
    const QByteArray srgb = PngChunk("sRGB", BigEndian({0}, 1));
    const QByteArray badProfile =
        PngChunk("iCCP", QByteArray("name\0\0", 6) + qCompress("no profile").mid(4));
    struct {
        const char* Name;
        std::vector<QByteArray> Chunks;
        long double FileGamma;
    } cases[] = {
        {"none", {}, 1.8L},
        {"gAMA 0.45455", {PngChunk("gAMA", BigEndian({45455}))}, 2.2L},
        {"sRGB only", {srgb}, 1.8L},
        {"gAMA 1.0 with sRGB", {PngChunk("gAMA", BigEndian({100000})), srgb}, 1.0L},
        {"bad iCCP", {badProfile}, 1.8L},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QByteArray png = BuildPng({1, 1, 8, 0, {7}, c.Chunks});
        TPixelGraphic picture;
        picture.SetReadWarningAction(pgwaRaise);
        picture.SetFileGamma(3);
        ReadPng(png, picture);
        EXPECT_NEAR(double(picture.GetFileGamma()), double(c.FileGamma), 1e-4);
        EXPECT_EQ(PngInfo(png).Extra, c.Chunks.size() == 2 || c.FileGamma == 2.2L ? "(gama)" : "");
    }
}

TEST(PNGLoading, LoadsAndSavesThroughTheRegistriesCorrectingTheFileGamma) {
    // The test main started the library, which registered both.
    ASSERT_TRUE(dynamic_cast<const TPNGFileFormatWriter*>(FindFileFormatWriter("png")));
    ASSERT_EQ(FindFileFormatWriter("png")->CanWriteResolutions, 255);
    QTemporaryDir dir;
    const QString path = dir.filePath("x.png");
    // Grey 128 of a file for gamma 2.2 shows on the 1.8 display as 255 * (128 / 255)^(2.2 / 1.8).
    const int corrected = int(std::lrint(255 * std::pow(128 / 255.0, 2.2 / 1.8)));
    struct {
        const char* Name;
        std::vector<QByteArray> Chunks;
        int Gray;
    } cases[] = {
        {"no gAMA", {}, 128},
        {"gAMA 0.45455", {PngChunk("gAMA", BigEndian({45455}))}, corrected},
        {"sRGB only", {PngChunk("sRGB", BigEndian({0}, 1))}, 128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(BuildPng({1, 1, 8, 0, {128}, c.Chunks}));
        file.close();
        TPixelGraphic picture;
        picture.LoadFromFile(path);
        EXPECT_EQ(picture.GetPixelColor(0, 0), RGB(uint8_t(c.Gray), uint8_t(c.Gray), uint8_t(c.Gray)));
        EXPECT_EQ(double(picture.GetFileGamma()), 1.8);
    }

    TPixelGraphic photo;
    PictureFromPnm(GeneratedPhoto(17, 5), photo);
    photo.SaveToFile(path);
    TPixelGraphic back;
    back.LoadFromFile(path);
    EXPECT_EQ(PnmFromPicture(back), PnmFromPicture(photo));
}

// The log of a run that reports steps 0 .. Count - 1 against Max, after what Before logged.
std::string Steps(int count, int max, std::string before = {}) {
    std::string text = before + "S";
    for (int step = 0; step < count; ++step)
        text.append("p").append(std::to_string(step)).append("/").append(std::to_string(max));
    return text + "E";
}

TEST(PNGProgress, ReportsEveryRowOfEveryPassAndStopsOnAbort) {
    SKIP_UNLESS_TOOL("pnmtopng");
    const QByteArray interlaced = Pnmtopng(GeneratedPhoto(9, 10), {"-force", "-interlace"});
    {
        TPixelGraphic picture;
        TProgressLog log(picture);
        const TPNGFileFormatReader reader;
        QBuffer buffer;
        buffer.setData(interlaced);
        buffer.open(QIODevice::ReadOnly);
        reader.Read(buffer, picture, 0);
        EXPECT_EQ(log.Text, Steps(70, 70, "C")); // the change is SetFormat's
        EXPECT_EQ(log.Sender, &reader);
    }
    // Cut right after the image data: reading on to the end would fail, so an abort must not read on.
    const QByteArray cut = interlaced.left(ChunkAt(interlaced, "IEND"));
    struct {
        const char* Name;
        QByteArray Png;
        int AbortAt;
    } cases[] = {
        {"first row, interlaced", cut, 0},
        {"2-bit grey, row 2", Pnmtopng(Gray(9, 10, 3)), 2},
        {"2-bit grey, interlaced, first pass", Pnmtopng(Gray(9, 10, 3), {"-interlace"}), 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic full;
        ReadPng(c.AbortAt ? c.Png : interlaced, full);
        const bool interlacedFile = c.AbortAt != 2;
        TPixelGraphic picture;
        TProgressLog log(picture);
        log.AbortAt = c.AbortAt;
        ReadPng(c.Png, picture);
        EXPECT_EQ(log.Text, Steps(c.AbortAt + 1, c.AbortAt == 2 ? 10 : 70, "C"));
        // Non-interlaced rows arrive whole; the first pass of an interlaced file brings every eighth pixel of
        // every eighth row.
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 9; ++x) {
                const bool delivered = y <= c.AbortAt && (!interlacedFile || (y % 8 == 0 && x % 8 == 0));
                EXPECT_EQ(picture.GetPixelValue(x, y), delivered ? full.GetPixelValue(x, y) : 0u)
                    << x << "," << y;
            }
    }
}

// The picture's colours, black for indices beyond its table.
TPnm ExpectedColors(const TPixelGraphic& picture) {
    TPnm pnm{picture.GetWidth(), picture.GetHeight(), 3, 255, {}};
    for (int y = 0; y < pnm.Height; ++y)
        for (int x = 0; x < pnm.Width; ++x) {
            const uint32_t v = picture.GetPixelValue(x, y);
            const TColor color = picture.GetBitCountNum() == 3           ? v
                                 : v < uint32_t(picture.GetColorCount()) ? picture.IndexToColor(v)
                                                                         : picture.IndexToColor(0);
            pnm.Samples.insert(pnm.Samples.end(), {GetRValue(color), GetGValue(color), GetBValue(color)});
        }
    return pnm;
}

struct TWriterCase {
    const char* Name;
    uint8_t BitCountNum;
    TPaletteIdent Ident; // pUnknown: a table of Colors entries of our own
    int Colors;
    TColorResolution Resolution;
    const char* PngType;
};

TEST(PNGWriter, WritesEveryResolutionThatOthersReadBack) {
    SKIP_UNLESS_TOOL("pngcheck");
    SKIP_UNLESS_TOOL("pngtopam");
    const TWriterCase cases[] = {
        {"black and white", 0, pBlackWhite, 2, crBlackWhite, "1-bit palette"},
        {"two colours", 0, pUnknown, 2, cr2Colors, "1-bit palette"},
        {"16 greys", 1, pGray16, 16, cr16Grays, "4-bit palette"},
        {"16 system colours", 1, pSys16, 16, cr16SystemColors, "4-bit palette"},
        {"16 colours", 1, pUnknown, 16, cr16Colors, "4-bit palette"},
        {"256 greys", 2, pGray256, 256, cr256Grays, "8-bit grayscale"},
        {"256 colours", 2, pUnknown, 256, cr256Colors, "8-bit palette"},
        {"true colour", 3, pTrueColor, 0, crTrueColor, "24-bit RGB"},
        // Pixels beyond a short table: the palette grows to cover them with the first entry's colour.
        {"short table", 1, pUnknown, 3, cr16Colors, "4-bit palette"},
    };
    for (const TWriterCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        if (c.BitCountNum == 3)
            PictureFromPnm(GeneratedPhoto(23, 7), picture);
        else {
            picture.SetFormat(23, 7, c.BitCountNum);
            if (c.Ident == pUnknown) {
                picture.SetColorCount(c.Colors);
                for (int i = 0; i < c.Colors; ++i)
                    picture.SetPaletteColor(i, RGB(uint8_t(i * 53), uint8_t(i * 97), uint8_t(255 - i)));
            } else
                picture.SetPaletteIdent(c.Ident);
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 23; ++x)
                    picture.SetPixelValue(x, y, uint32_t((x * 7 + y * 3) % (picture.GetMaxColorCount())));
        }
        ASSERT_EQ(ColorResolutionOf(picture), c.Resolution);
        const QByteArray png = WritePng(picture);

        const QString check = QString::fromUtf8(RunTool("pngcheck", {"-v", "-"}, png).Out);
        EXPECT_TRUE(check.contains(QStringLiteral("23 x 7 image, %1, non-interlaced").arg(c.PngType)))
            << check.toStdString();
        EXPECT_TRUE(check.contains("No errors detected")) << check.toStdString();
        EXPECT_TRUE(check.contains(QRegularExpression("chunk gAMA .*length 4: 0.55556")))
            << check.toStdString();
        QStringList chunks;
        for (const auto& m : QRegularExpression("chunk (\\w{4})").globalMatch(check))
            chunks << m.captured(1);
        EXPECT_EQ(chunks.join(" "), c.BitCountNum == 3 || c.Ident == pGray256 ? "IHDR gAMA IDAT IEND"
                                                                              : "IHDR gAMA PLTE IDAT IEND");

        const TPnm colors = ExpectedColors(picture);
        EXPECT_EQ(Rgb8FromPnm(Pngtopam(png)), colors);
        TPixelGraphic back;
        ReadPng(png, back);
        EXPECT_EQ(PnmFromPicture(back), colors);
        back.DetectPaletteIdent(); // as loading does
        EXPECT_EQ(ColorResolutionOf(back), c.Resolution);
    }
}

TEST(PNGWriter, ReportsEveryRowAndWritesNoGammaWhenTold) {
    TSetting writeGamma(PGPNGWriteGamma, false);
    TPixelGraphic picture;
    picture.SetFormat(3, 100, 3);
    TProgressLog log(picture);
    log.AbortAt = 5;
    const TPNGFileFormatWriter writer;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writer.Write(buffer, picture);
    EXPECT_EQ(log.Text, Steps(100, 99)); // the abort asked for at row 5 does not stop writing
    EXPECT_EQ(log.Sender, &writer);
    EXPECT_FALSE(buffer.data().contains("gAMA"));
    EXPECT_TRUE(buffer.data().endsWith(PngChunk("IEND", {})));
}

TEST(PNGErrors, DamagedFilesAndRefusedCallsRaiseWithTheFormatsTag) {
    const QByteArray good = BuildPng({5, 4, 8, 2, std::vector<uint16_t>(60, 99), {}});
    const qsizetype idat = ChunkAt(good, "IDAT");
    auto flip = [&](qsizetype at) {
        QByteArray bad = good;
        bad[at] = char(bad[at] ^ 0x55);
        return bad;
    };
    QByteArray badZlib = good;
    badZlib.replace(idat, good.size() - idat, PngChunk("IDAT", "\x78\x9c garbage") + PngChunk("IEND", {}));
    struct {
        const char* Name;
        QByteArray Png;
        const char* Message;
    } cases[] = {
        {"bad IHDR checksum", flip(29), "PNG: IHDR: CRC error"},
        {"bad IDAT checksum", flip(ChunkAt(good, "IEND") - 1), "PNG: IDAT: CRC error"},
        {"cut in the image data", good.left(idat + 12), "PNG: Read Error"},
        {"no IEND", good.left(ChunkAt(good, "IEND")), "PNG: Read Error"},
        {"bad zlib data", badZlib, "PNG: IDAT: invalid"},
        {"empty", {}, "PNG: Read Error"},
        {"not a PNG", QByteArray("GIF89a and more bytes"), "PNG: Not a PNG file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        EXPECT_TRUE(RaisedMessage([&] { ReadPng(c.Png, picture); }).startsWith(c.Message));
    }
    EXPECT_TRUE(RaisedMessage([&] { PngInfo(flip(29)); }).startsWith("PNG: IHDR: CRC error"));
    TPixelGraphic picture;
    EXPECT_EQ(RaisedMessage([&] {
                  QBuffer buffer;
                  buffer.open(QIODevice::ReadOnly);
                  TPNGFileFormatReader().Read(buffer, picture, 1);
              }),
              "PNG: Index invalid");
    EXPECT_EQ(RaisedMessage([&] { PngInfo(good, 1); }), "PNG: Invalid value for Index");
    picture.SetFormat(2, 2, 3);
    EXPECT_EQ(RaisedMessage([&] {
                  QBuffer readOnly;
                  readOnly.open(QIODevice::ReadOnly);
                  TPNGFileFormatWriter().Write(readOnly, picture);
              }),
              "PNG: Write Error");

    const TPNGFileFormatReader reader;
    TFileFormatHeader header{};
    std::copy_n(good.begin(), 8, header.begin());
    EXPECT_TRUE(reader.IsFormat(header));
    header[7] = 0;
    EXPECT_FALSE(reader.IsFormat(header));
}

// Each way the read warning action answers a codec warning of the given text: the boxes shown, and what the
// read raises (nothing when it goes on).
struct TWarningCase {
    TPGWarningAction Action;
    TModalResult Answer;
    size_t Boxes;
    QString Message;
};
std::vector<TWarningCase> WarningCases(const QString& warning) {
    return {{pgwaIgnore, mrOk, 0, {}},
            {pgwaOKBox, mrCancel, 1, {}},
            {pgwaOKCancelBox, mrOk, 1, {}},
            {pgwaOKCancelBox, mrCancel, 1, "PNG: Operation aborted on user request"},
            {pgwaRaise, mrOk, 0, "PNG: " + warning}};
}

TEST(PNGErrors, WarningsFollowTheReadWarningAction) {
    // A damaged ancillary chunk is only worth a warning.
    QByteArray text = PngChunk("tEXt", QByteArray("Title\0x", 7));
    text[text.size() - 1] = char(text[text.size() - 1] ^ 1);
    const QByteArray png = BuildPng({1, 1, 8, 0, {7}, {text}});
    for (const TWarningCase& c : WarningCases("tEXt: CRC error")) {
        SCOPED_TRACE(int(c.Action) * 10 + c.Answer);
        MessageBoxSpy boxes(c.Answer);
        TPixelGraphic picture;
        picture.SetReadWarningAction(c.Action);
        EXPECT_EQ(RaisedMessage([&] { ReadPng(png, picture); }), c.Message);
        ASSERT_EQ(boxes.Requests.size(), c.Boxes);
        if (c.Boxes) {
            EXPECT_EQ(boxes.Requests[0].Caption, "PNG Warning");
            EXPECT_EQ(boxes.Requests[0].Text, "tEXt: CRC error");
            EXPECT_EQ(boxes.Requests[0].Type, mtWarning);
            EXPECT_EQ(boxes.Requests[0].Buttons, c.Action == pgwaOKBox ? mbOK : mbOK | mbCancel);
        }
    }
    EXPECT_EQ(RaisedMessage([&] { PngInfo(png); }), "PNG: tEXt: CRC error");
}

// A 43-byte file whose ancillary chunk declares 0x7FFFFFFF bytes: reading it must cost almost nothing,
// whatever the reader does with the codec's warning about the length.
TEST(PNGErrors, HugeDeclaredChunksCostNoMemory) {
    const QByteArray start = BuildPng({1, 1, 8, 0, {7}, {}}).left(33); // signature and IHDR
    for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "pCAL", "sCAL"})
        for (TPGWarningAction action : {pgwaIgnore, pgwaOKBox, pgwaOKCancelBox, pgwaRaise}) {
            SCOPED_TRACE(std::string(type) + " " + std::to_string(int(action)));
            const QByteArray png = start + BigEndian({0x7FFFFFFF}) + QByteArray(type, 4) + "ab";
            ASSERT_EQ(png.size(), 43);
            MessageBoxSpy boxes(mrOk);
            const std::optional<TChildCost> cost = RunInChild(
                [&] {
                    TPixelGraphic picture;
                    picture.SetReadWarningAction(action);
                    ReadPng(png, picture);
                    return std::string();
                },
                256);
            if (!cost)
                GTEST_SKIP() << "the peak memory cannot be reset here (/proc/self/clear_refs)";
            EXPECT_TRUE(cost->Finished);
            EXPECT_LT(cost->PeakGrowthMB, 20);
            TPixelGraphic picture;
            picture.SetReadWarningAction(action);
            EXPECT_TRUE(RaisedMessage([&] { ReadPng(png, picture); }).startsWith("PNG: "))
                << "the file is cut short";
        }
}

// A 1 x 1 picture whose image data run on with a gibibyte of zeros, a file of 1 MB: it takes no more of the
// file than a 1 x 1 picture, and the rest is the codec's warning through the warning action, not a gibibyte
// inflated. Image data that end as they should give no warning, in chunks down to single bytes.
TEST(PNGReader, ImageDataAfterTheLastRowCostNothing) {
    const TRawPng gray{1, 1, 8, 0, {7}, {}};
    const QByteArray row("\0\7", 2);
    const QByteArray exact = ZlibWithZeros(row, 0);
    const QByteArray runOn = ZlibWithZeros(row, 1024);
    ASSERT_LT(runOn.size(), 2 << 20);
    const auto counted = [](const QByteArray& png, TPixelGraphic& picture) {
        auto device = std::make_unique<TCountingDevice>(png);
        TPNGFileFormatReader().Read(*device, picture, 0);
        return device;
    };
    TPixelGraphic onePixel;
    const auto genuine = counted(PngWithData(gray, exact, exact.size()), onePixel);
    const TRawPng photo{5, 4, 8, 2, std::vector<uint16_t>(60, 99), {}};
    const TRawPng interlaced{1, 1, 8, 0, {7}, {}, 1}; // only the first pass has a row
    const struct {
        const char* Name;
        TRawPng Raw;
        QByteArray Png;
        bool RunsOn;
    } files[] = {
        {"a gibibyte of zeros after the row", gray, PngWithData(gray, runOn, runOn.size()), true},
        {"the same in chunks of 4 KiB", gray, PngWithData(gray, runOn, 4096), true},
        {"the same interlaced", interlaced, PngWithData(interlaced, runOn, runOn.size()), true},
        {"a 1 x 1 picture in chunks of one byte", gray, PngWithData(gray, exact, 1), false},
        {"a 5 x 4 picture in chunks of one byte", photo, PngWithData(photo, ImageData(photo), 1), false},
    };
    for (const auto& f : files)
        for (const TWarningCase& a : WarningCases("IDAT: Too much image data")) {
            SCOPED_TRACE(std::string(f.Name) + ", action " + std::to_string(int(a.Action) * 10 + a.Answer));
            MessageBoxSpy boxes(a.Answer);
            TPixelGraphic picture;
            picture.SetReadWarningAction(a.Action);
            std::unique_ptr<TCountingDevice> device;
            const QString message = RaisedMessage([&] { device = counted(f.Png, picture); });
            EXPECT_EQ(message, f.RunsOn ? a.Message : QString());
            ASSERT_EQ(boxes.Requests.size(), f.RunsOn ? a.Boxes : 0u);
            if (!boxes.Requests.empty()) {
                EXPECT_EQ(boxes.Requests[0].Text, "IDAT: Too much image data");
            }
            if (message.isEmpty()) {
                const uint8_t last = uint8_t(f.Raw.Samples.back());
                EXPECT_EQ(picture.GetPixelColor(f.Raw.Width - 1, f.Raw.Height - 1), RGB(last, last, last));
            }
            if (f.RunsOn && device) {
                EXPECT_LE(device->Reads, genuine->Reads + 1);
                EXPECT_LE(device->BytesRead, 32 << 10);
            }
        }
}

} // namespace
