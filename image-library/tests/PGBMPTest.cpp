// BMP reading from hand-built bytes (layouts, compressions, masks and every damaged field the reader must
// refuse or survive), GetInfo's texts, the writer's layout and the progress events of reading.
#include "image-library/PGExceptions.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/tests/BMPTestSupport.h"

#include <QBuffer>
#include <climits>
#include <functional>
#include <vector>

namespace {

QString LoadError(TPixelGraphic& picture, const QByteArray& file) {
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    try {
        picture.LoadFromStream(buffer);
    } catch (const Exception& e) {
        return e.message();
    }
    return {};
}

std::vector<uint32_t> PixelValues(const TPixelGraphic& picture) {
    std::vector<uint32_t> values;
    for (int y = 0; y < picture.GetHeight(); ++y)
        for (int x = 0; x < picture.GetWidth(); ++x)
            values.push_back(picture.GetPixelValue(x, y));
    return values;
}

// A file whose DIB has the given header, table, optional masks and pixel bytes, pixels right behind.
QByteArray File(const TInfoHeader& h, const QByteArray& afterHeader, const QByteArray& pixels) {
    const QByteArray dib = h.Bytes() + afterHeader;
    return BmpFile(dib + pixels, uint32_t(dib.size()));
}

QByteArray GrayTable(int entries) {
    QByteArray table;
    for (int i = 0; i < entries; ++i)
        table += Bytes({i, i, i, 0});
    return table;
}

TInfoHeader Info(int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0,
                 uint32_t sizeImage = 0, uint32_t clrUsed = 0) {
    TInfoHeader h;
    h.Width = width;
    h.Height = height;
    h.BitCount = bits;
    h.Compression = compression;
    h.SizeImage = sizeImage;
    h.ClrUsed = clrUsed;
    return h;
}

QByteArray Masks(uint32_t r, uint32_t g, uint32_t b) {
    return Le32(r) + Le32(g) + Le32(b);
}

const QByteArray Rows24 =
    Bytes({3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0, 13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0});

struct TReadCase {
    const char* Name;
    QByteArray File;
    QString Error; // empty: the load succeeds with the size and values below
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Values = {}; // from the top row, left to right
    int ColorCount = -1;               // -1: not checked
    bool Round16 = true;
};

std::vector<TReadCase> ReadCases() {
    const QString compressionText = QStringLiteral("BMP: BitmapInfoHeader.biCompression invalid");
    const QString endText = QStringLiteral("BMP: Unexpected end of file");
    const QByteArray rle8 = Bytes({3, 5, 0, 0, 0, 1});
    return {
        {"24-bit rows are bottom-up with filler",
         File(Info(3, 2, 24), {}, Rows24),
         {},
         3,
         2,
         {RGB(11, 12, 13), RGB(14, 15, 16), RGB(17, 18, 19), RGB(1, 2, 3), RGB(4, 5, 6), RGB(7, 8, 9)}},
        {"top-down rows",
         File(Info(3, -2, 24), {}, Rows24),
         {},
         3,
         2,
         {RGB(1, 2, 3), RGB(4, 5, 6), RGB(7, 8, 9), RGB(11, 12, 13), RGB(14, 15, 16), RGB(17, 18, 19)}},
        {"core header with 3-byte entries",
         BmpFile(CoreHeader(2, 1, 1) + Bytes({0, 0, 0, 9, 8, 7}) + Bytes({0x40, 0, 0, 0}), 18),
         {},
         2,
         1,
         {0, 1},
         2},
        {"colours used 16 gives 16 entries",
         File(Info(1, 1, 8, 0, 0, 16), GrayTable(16), Bytes({15, 0, 0, 0})),
         {},
         1,
         1,
         {15},
         16},
        {"colours used 0 gives a full table",
         File(Info(1, 1, 8), GrayTable(256), Bytes({200, 0, 0, 0})),
         {},
         1,
         1,
         {200},
         256},
        {"RLE8 run and end of bitmap",
         File(Info(4, 2, 8, 1, 6), GrayTable(256), rle8),
         {},
         4,
         2,
         {0, 0, 0, 0, 5, 5, 5, 0}},
        {"RLE4 run alternates nibbles",
         File(Info(4, 1, 4, 2, 6), GrayTable(16), Bytes({4, 0xAB, 0, 0, 0, 1})),
         {},
         4,
         1,
         {0xA, 0xB, 0xA, 0xB}},
        {"RLE8 absolute run is padded",
         File(Info(6, 1, 8, 1, 10), GrayTable(256), Bytes({0, 3, 7, 8, 9, 0, 2, 4, 0, 1})),
         {},
         6,
         1,
         {7, 8, 9, 4, 4, 0}},
        {"RLE4 absolute run",
         File(Info(4, 1, 4, 2, 6), GrayTable(16), Bytes({0, 3, 0x12, 0x30, 0, 1})),
         {},
         4,
         1,
         {1, 2, 3, 0}},
        {"RLE8 delta moves right and up",
         File(Info(4, 3, 8, 1, 8), GrayTable(256), Bytes({1, 1, 0, 2, 1, 1, 1, 2})),
         {},
         4,
         3,
         {0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 0, 0}},
        {"RLE8 delta cut short ends decoding",
         File(Info(2, 1, 8, 1, 4), GrayTable(256), Bytes({1, 1, 0, 2})),
         {},
         2,
         1,
         {1, 0}},
        {"RLE8 with a negative height", File(Info(4, -2, 8, 1, 6), GrayTable(256), rle8), compressionText},
        {"RLE8 compression with 4 bits", File(Info(4, 2, 4, 1, 6), GrayTable(16), rle8), compressionText},
        {"bit fields with 24 bits", File(Info(1, 1, 24, 3), Masks(1, 2, 4), Bytes({0, 0, 0, 0})),
         compressionText},
        {"16-bit 5-5-5 rounds up",
         File(Info(3, 1, 16), {}, Bytes({0xFF, 0x7F, 0, 0, 0x21, 0x04, 0, 0})),
         {},
         3,
         1,
         {RGB(255, 255, 255), 0, RGB(16, 16, 16)}},
        {"16-bit 5-5-5 without rounding",
         File(Info(3, 1, 16), {}, Bytes({0xFF, 0x7F, 0, 0, 0x21, 0x04, 0, 0})),
         {},
         3,
         1,
         {RGB(248, 248, 248), 0, RGB(8, 8, 8)},
         -1,
         false},
        {"16-bit 5-6-5 bit fields",
         File(Info(1, 1, 16, 3), Masks(0xF800, 0x07E0, 0x001F), Bytes({0xE0, 0x07, 0, 0})),
         {},
         1,
         1,
         {RGB(0, 255, 0)}},
        {"32-bit 8-bit fields keep their bytes",
         File(Info(1, 1, 32, 3), Masks(0xFF0000, 0xFF00, 0xFF), Bytes({0x33, 0x22, 0x11, 0})),
         {},
         1,
         1,
         {RGB(0x11, 0x22, 0x33)}},
        {"32-bit 10-10-10 keeps the top bits",
         File(Info(1, 1, 32, 3), Masks(0x3FF00000, 0x000FFC00, 0x3FF),
              Le32((1023u << 20) | (512u << 10) | 4)),
         {},
         1,
         1,
         {RGB(255, 128, 1)}},
        {"a gap before the pixels",
         BmpFile(Info(1, 1, 8, 0, 0, 2).Bytes() + GrayTable(2) + Bytes({0xEE, 0xEE, 0xEE, 0xEE}) +
                     Bytes({1, 0, 0, 0}),
                 52),
         {},
         1,
         1,
         {1}},
        {"a data offset beyond the stream is ignored",
         FileHeader(5000) + Info(1, 1, 8, 0, 0, 2).Bytes() + GrayTable(2) + Bytes({1, 0, 0, 0}),
         {},
         1,
         1,
         {1}},
        {"short pixel data keep zeros",
         File(Info(2, 2, 8), GrayTable(256), Bytes({4, 5})),
         {},
         2,
         2,
         {0, 0, 4, 5}},
        {"top-down data end after the first row",
         File(Info(2, -3, 8), GrayTable(256), Bytes({4, 5})),
         {},
         2,
         3,
         {4, 5, 0, 0, 0, 0}},
        {"32-bit data end inside a pixel",
         File(Info(2, 1, 32), {}, Bytes({1, 2, 3, 4, 5, 6})),
         {},
         2,
         1,
         {RGB(3, 2, 1), RGB(0, 6, 5)}},
        {"16-bit data end after the first row",
         File(Info(2, 2, 16), {}, Bytes({0x1F, 0, 0x1F, 0})),
         {},
         2,
         2,
         {0, 0, RGB(0, 0, 255), RGB(0, 0, 255)}},
        // A side of 0 gives an empty picture of that size.
        {"16-bit picture without columns", File(Info(0, 5, 16), {}, {}), {}, 0, 5},
        {"picture without rows", File(Info(1, 0, 24), {}, Bytes({0, 0, 0, 0})), {}, 1, 0},
        {"RLE8 picture without rows", File(Info(4, 0, 8, 1, 6), GrayTable(256), rle8), {}, 4, 0, {}, 256},
        {"8-bit picture without rows keeps its table",
         File(Info(3, 0, 8, 0, 0, 2), GrayTable(2), {}),
         {},
         3,
         0,
         {},
         2},
        {"core picture without columns", BmpFile(CoreHeader(0, 1, 24) + Bytes({0, 0, 0, 0}), 12), {}, 0, 1},
        {"core picture without rows",
         BmpFile(CoreHeader(2, 0, 8) + QByteArray(3 * 256, 0), 12),
         {},
         2,
         0,
         {},
         256},
        // Damaged headers and tables.
        {"short header", FileHeader(54) + Info(1, 1, 24).Bytes().left(20), endText},
        {"short colour table", File(Info(1, 1, 8), GrayTable(2), {}), endText},
        {"short masks", File(Info(1, 1, 16, 3), Le32(0xF800), {}), endText},
        {"colours used beyond the data",
         File(Info(1, 1, 8, 0, 0, 0xFFFFFFFF), GrayTable(256), Bytes({1, 0, 0, 0})), endText},
        {"colours used of a 16-bit file overflow 32 bits",
         File(Info(1, 1, 16, 0, 0, 0x40000000), {}, Bytes({0, 0, 0, 0})), endText},
        {"height of -2^31", File(Info(1, INT_MIN, 24), {}, {}),
         QStringLiteral("BMP: BitmapInfoHeader.biHeight invalid")},
        {"zero mask", File(Info(1, 1, 16, 3), Masks(0xF800, 0, 0x1F), Bytes({0, 0, 0, 0})), compressionText},
        {"header of 108 bytes in a file",
         [] {
             TInfoHeader h = Info(1, 1, 24);
             h.Size = 108;
             return File(h, QByteArray(68, 0), Bytes({1, 2, 3, 0}));
         }(),
         QStringLiteral("BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader")},
        {"core planes", BmpFile(CoreHeader(1, 1, 24, 2) + Bytes({0, 0, 0, 0}), 12),
         QStringLiteral("BMP: BitmapCoreHeader.bcPlanes invalid")},
        {"core bit count", BmpFile(CoreHeader(1, 1, 16) + Bytes({0, 0, 0, 0}), 12),
         QStringLiteral("BMP: BitmapCoreHeader.bcBitCount invalid")},
        {"info planes",
         [] {
             TInfoHeader h = Info(1, 1, 24);
             h.Planes = 0;
             return File(h, {}, Bytes({0, 0, 0, 0}));
         }(),
         QStringLiteral("BMP: BitmapInfoHeader.biPlanes invalid")},
        {"info bit count", File(Info(1, 1, 2), {}, Bytes({0, 0, 0, 0})),
         QStringLiteral("BMP: BitmapInfoHeader.biBitCount invalid")},
        {"negative width", File(Info(-1, 1, 24), {}, Bytes({0, 0, 0, 0})), QStringLiteral("Negative width")},
        // Run-length data that lie about their size or run beyond it.
        {"RLE8 image size beyond the stream",
         File(Info(4, 2, 8, 1, 0xFFFFFFFF), GrayTable(256), rle8),
         {},
         4,
         2,
         {0, 0, 0, 0, 5, 5, 5, 0}},
        {"RLE8 image size 0 decodes nothing",
         File(Info(4, 2, 8, 1, 0), GrayTable(256), rle8),
         {},
         4,
         2,
         {0, 0, 0, 0, 0, 0, 0, 0}},
        {"RLE8 absolute run beyond the data",
         File(Info(4, 1, 8, 1, 4), GrayTable(256), Bytes({0, 5, 1, 2})),
         {},
         4,
         1,
         {0, 0, 0, 0}},
        {"RLE4 absolute run beyond the data",
         File(Info(4, 1, 4, 2, 3), GrayTable(16), Bytes({0, 5, 0x12})),
         {},
         4,
         1,
         {0, 0, 0, 0}},
        {"RLE8 runs are clipped to the row",
         File(Info(2, 2, 8, 1, 10), GrayTable(256), Bytes({255, 7, 0, 2, 200, 0, 255, 9, 0, 1})),
         {},
         2,
         2,
         {0, 0, 7, 7}},
        {"RLE8 stops above the top row",
         File(Info(1, 1, 8, 1, 8), GrayTable(256), Bytes({1, 3, 0, 0, 1, 4, 0, 0})),
         {},
         1,
         1,
         {3}},
    };
}

TEST(BMPRead, HandBuiltFilesGiveTheirPixelsOrTheirError) {
    for (const TReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.Name);
        const bool round = PGRound16BitColors;
        PGRound16BitColors = c.Round16;
        TPixelGraphic picture;
        const QString error = LoadError(picture, c.File);
        PGRound16BitColors = round;
        EXPECT_EQ(error.toStdString(), c.Error.toStdString());
        if (!c.Error.isEmpty()) {
            EXPECT_TRUE(picture.GetEmpty());
            EXPECT_EQ(picture.GetWidth(), 0);
            continue;
        }
        EXPECT_EQ(picture.GetWidth(), c.Width);
        EXPECT_EQ(picture.GetHeight(), c.Height);
        EXPECT_EQ(picture.GetEmpty(), c.Width == 0 || c.Height == 0);
        EXPECT_EQ(PixelValues(picture), c.Values);
        if (c.ColorCount >= 0) {
            EXPECT_EQ(picture.GetColorCount(), c.ColorCount);
        }
    }
}

TEST(BMPRead, CoreTableColoursAndIndexRefusal) {
    TPixelGraphic picture;
    ASSERT_EQ(
        LoadError(picture,
                  BmpFile(CoreHeader(2, 1, 1) + Bytes({0, 0, 0, 9, 8, 7}) + Bytes({0x40, 0, 0, 0}), 18)),
        QString());
    EXPECT_EQ(picture.GetPixelColor(1, 0), RGB(7, 8, 9));
    EXPECT_EQ(picture.GetBitCountNum(), 0);

    QBuffer buffer;
    buffer.setData(File(Info(1, 1, 24), {}, Bytes({0, 0, 0, 0})));
    buffer.open(QIODevice::ReadOnly);
    TBMPFileFormatReader reader;
    try {
        reader.Read(buffer, picture, 1);
        ADD_FAILURE() << "Index 1 was read";
    } catch (const EPGBMPFileFormatReader& e) {
        EXPECT_EQ(e.message(), QStringLiteral("BMP: Index invalid"));
    }
    TFileFormatInfo info;
    try {
        reader.GetInfo(buffer, 1, info);
        ADD_FAILURE() << "GetInfo took Index 1";
    } catch (const EPGBMPFileFormatReader& e) {
        EXPECT_EQ(e.message(), QStringLiteral("BMP: Invalid value for Index"));
    }
}

TEST(BMPGetInfo, DescribesEachHeaderKind) {
    struct {
        QByteArray File;
        QString Subformat;
        int Width, Height, Bits;
        QString Colors;
    } const cases[] = {
        {File(Info(3, -2, 24), {}, Rows24), "Windows, RGB, Top-Down", 3, -2, 24, "16.7M"},
        {File(Info(4, 2, 8, 1, 6), GrayTable(256), Bytes({0, 1})), "Windows, RLE8", 4, 2, 8, "256"},
        {File(Info(4, 2, 4, 2, 6), GrayTable(16), Bytes({0, 1})), "Windows, RLE4", 4, 2, 4, "16"},
        {File(Info(5, 6, 16, 3), Masks(0xF800, 0x7E0, 0x1F), {}), "Windows", 5, 6, 16, "64K"},
        {File(Info(5, 6, 32), {}, {}), "Windows, RGB", 5, 6, 32, "16.7M"},
        {BmpFile(CoreHeader(7, 8, 1), 12), "OS/2", 7, 8, 1, "2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Subformat.toStdString());
        QBuffer buffer;
        buffer.setData(c.File);
        buffer.open(QIODevice::ReadOnly);
        TFileFormatInfo info;
        ASSERT_TRUE(GetStreamFileFormatInfo(buffer, QString(), 0, info));
        EXPECT_EQ(buffer.pos(), 0);
        EXPECT_EQ(info.Description, QStringLiteral("Bitmap"));
        EXPECT_EQ(info.Subformat, c.Subformat);
        EXPECT_EQ(info.Width, c.Width);
        EXPECT_EQ(info.Height, c.Height);
        EXPECT_EQ(info.BitsPerPixel, c.Bits);
        EXPECT_EQ(info.Colors, c.Colors);
        EXPECT_EQ(info.PictureCount, 1);
        EXPECT_FALSE(GetStreamFileFormatInfo(buffer, QString(), 1, info));
    }
}

TEST(BMPWrite, HeaderCountsTheTableThatWasWritten) {
    TPixelGraphic picture;
    picture.SetFormat(5, 3, 1);
    picture.SetPaletteIdent(pGray16);
    picture.SetPixelValue(4, 0, 9);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    BMPStreamWriter->Write(buffer, picture);
    const QByteArray file = buffer.data();
    const auto u32 = [&](int at) { return GetLE32(reinterpret_cast<const uint8_t*>(file.constData()) + at); };
    ASSERT_EQ(file.size(), 54 + 64 + picture.GetImageSize());
    EXPECT_EQ(u32(2), uint32_t(file.size()));
    EXPECT_EQ(u32(10), 118u);
    EXPECT_EQ(u32(14 + 32), 16u);
    EXPECT_EQ(u32(14 + 20), uint32_t(picture.GetImageSize()));

    // A paletted picture without a table gets the format's full table, black.
    TPixelGraphic bare;
    bare.SetFormat(3, 1, 2);
    ASSERT_EQ(bare.GetColorCount(), 0);
    QBuffer bareBuffer;
    bareBuffer.open(QIODevice::WriteOnly);
    BMPStreamWriter->Write(bareBuffer, bare);
    const QByteArray bareFile = bareBuffer.data();
    EXPECT_EQ(bareFile.size(), 54 + 1024 + 4);
    EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t*>(bareFile.constData()) + 46), 256u);
    EXPECT_EQ(bareFile.mid(54, 1024), QByteArray(1024, 0));
}

TEST(BMPRead, ProgressStepsAbortAndEndEvents) {
    struct {
        const char* Name;
        QByteArray File;
        int AbortAt; // 0: never
        std::vector<int> Steps;
        int Max;
        bool Raises;
    } const cases[] = {
        {"uncompressed data in ten reads",
         File(Info(10, 10, 24), {}, QByteArray(320, 7)),
         0,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
         10,
         false},
        {"abort after the third read",
         File(Info(10, 10, 24), {}, QByteArray(320, 7)),
         3,
         {1, 2, 3},
         10,
         false},
        {"16 bits report rows with the height as Max",
         File(Info(1, 3, 16), {}, QByteArray(12, 0)),
         0,
         {0, 1, 2},
         3,
         false},
        {"short run-length data report nothing",
         File(Info(4, 2, 8, 1, 6), GrayTable(256), Bytes({3, 5, 0, 0, 0, 1})),
         0,
         {},
         0,
         false},
        {"a damaged file still ends", File(Info(1, 1, 8), GrayTable(2), {}), 0, {}, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        std::vector<int> steps;
        std::vector<int> maxima;
        int starts = 0, ends = 0;
        picture.SetOnProgressStart([&](TObject*) { ++starts; });
        picture.SetOnProgressEnd([&](TObject*) { ++ends; });
        picture.SetOnProgress([&](TObject* sender, int step, int max, bool& abort) {
            EXPECT_EQ(sender, &picture);
            steps.push_back(step);
            maxima.push_back(max);
            abort = c.AbortAt != 0 && step == c.AbortAt;
        });
        EXPECT_EQ(LoadError(picture, c.File).isEmpty(), !c.Raises);
        EXPECT_EQ(steps, c.Steps);
        EXPECT_EQ(maxima, std::vector<int>(c.Steps.size(), c.Max));
        EXPECT_EQ(starts, 1);
        EXPECT_EQ(ends, 1);
        if (c.AbortAt == 3) { // the rest of the pixels were never read
            EXPECT_EQ(picture.GetPixelValue(0, 0), 0u);
        }
    }
}

} // namespace
