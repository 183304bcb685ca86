// The TIFF reader and writer against libtiff-tools, netpbm and python3-pil, the writer's layout byte by byte,
// and the damaged files that make-files.py in tests/data/tiff writes.
#include "framework/FileStreams.h"
#include "framework/StreamIO.h"
#include "framework/testing/MessageBoxSpy.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGTIFFRead.h"
#include "image-library/formats/PGTIFFWrite.h"
#include "image-library/testing/CountingDevice.h"
#include "image-library/testing/HostileFiles.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/TestPictures.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <numeric>
#include <random>

// Failures show texts, not their UTF-16 code units.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

const TTIFFileFormatReader Reader;
const TTIFFileFormatWriter Writer;

// Restores every setting the tests change.
struct TiffSettings : ::testing::Test {
    void TearDown() override {
        PGTIFCountPictures = false;
        PGTIFMaxPictures = 1000;
        PGTIFCompression = 1;
        PGTIFCMYK = PGTIFWhiteIsZero = PGTIFBigEndian = false;
    }
};

QByteArray DataFile(const char* name) {
    QFile f(QStringLiteral(TIFF_TEST_DATA "/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

// Runs Fn over the bytes as a stream; the message of the exception it raises, or empty.
template <class Fn> QString Raised(const QByteArray& bytes, Fn fn) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        fn(buffer);
        return {};
    } catch (const EPGTIFFileFormatReader& e) {
        return e.message();
    }
}
QString Read(const QByteArray& bytes, TPixelGraphic& picture, int index = 0) {
    return Raised(bytes, [&](QIODevice& s) { Reader.Read(s, picture, index); });
}
QString Info(const QByteArray& bytes, TFileFormatInfo& info, int index = 0) {
    return Raised(bytes, [&](QIODevice& s) { Reader.GetInfo(s, index, info); });
}

QByteArray Write(TPixelGraphic& picture) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    Writer.Write(buffer, picture);
    return buffer.data();
}

TToolResult Tool(const char* program, const QStringList& args, const QByteArray& input = {}) {
    TToolResult r = RunTool(QLatin1String(program), args, input);
    EXPECT_EQ(r.ExitCode, 0) << program << ": " << r.Err.constData();
    return r;
}

QString SaveFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    return f.fileName();
}

// tiffcp with its arguments on the given files; the result's bytes.
QByteArray TiffCp(const QStringList& args, const std::vector<QByteArray>& inputs) {
    QTemporaryDir dir;
    QStringList files;
    for (const QByteArray& input : inputs)
        files << SaveFile(dir, QStringLiteral("in%1.tif").arg(files.size()), input);
    Tool("tiffcp", args + files + QStringList{dir.filePath("out.tif")});
    QFile f(dir.filePath("out.tif"));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// tifftopnm's picture as RGB samples of maxval 255 (a PBM's 1 is black).
TPnm OracleColors(const QByteArray& tiff) {
    const TToolResult r = Tool("tifftopnm", {}, tiff);
    const std::optional<TPnm> pnm = DecodePnm(r.Out);
    if (!pnm)
        return {};
    const bool bitmap = r.Out.startsWith("P4") || r.Out.startsWith("P1");
    TPnm rgb{pnm->Width, pnm->Height, 3, 255, {}};
    for (int y = 0; y < pnm->Height; ++y)
        for (int x = 0; x < pnm->Width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int s = pnm->At(x, y, pnm->Channels == 3 ? c : 0);
                rgb.Samples.push_back(
                    uint16_t(bitmap ? (s ? 0 : 255) : (s * 255 + pnm->MaxVal / 2) / pnm->MaxVal));
            }
    return rgb;
}

// Source pictures for the tools, of odd sizes so that row ends and filler bits matter: 0 bilevel, 1 grey of
// 4 bits, 2 grey of 8 bits, 3 colour, 4 eight colours.
TPnm Source(int kind) {
    TPnm p = GeneratedPhoto(37, 23, uint32_t(kind + 1));
    if (kind >= 3) {
        for (uint16_t& s : p.Samples)
            s = kind == 3 ? s : s & 0x80 ? 255 : 0;
        return p;
    }
    TPnm g{p.Width, p.Height, 1, kind == 0 ? 1 : kind == 1 ? 15 : 255, {}};
    for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x)
            g.Samples.push_back(uint16_t(p.At(x, y, 1) * g.MaxVal / 255));
    return g;
}

// A picture of the given format with the photo's values: grey levels, or indices into its table.
void MakePicture(TPixelGraphic& picture, int width, int height, uint8_t bitCountNum, TPaletteIdent ident) {
    const TPnm photo = GeneratedPhoto(width, height, 7);
    if (bitCountNum == 3)
        return PictureFromPnm(photo, picture);
    picture.SetFormat(width, height, bitCountNum);
    picture.SetPaletteIdent(ident);
    if (ident == pUnknown) { // a table of its own, shorter than the format's
        picture.SetColorCount(picture.GetMaxColorCount() * 3 / 4);
        for (int i = 0; i < picture.GetColorCount(); ++i)
            picture.SetPaletteColor(i, RGB(uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 13)));
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.SetPixelValue(x, y, uint32_t(photo.At(x, y, 1) * picture.GetColorCount() / 256));
}

uint32_t Le32(const QByteArray& b, uint32_t at) {
    return GetLE32(reinterpret_cast<const uint8_t*>(b.data()) + at);
}
uint16_t Le16(const QByteArray& b, uint32_t at) {
    return GetLE16(reinterpret_cast<const uint8_t*>(b.data()) + at);
}

// The entries of a little-endian file's first directory, by tag, and their offsets in the file.
struct Entry {
    uint16_t Type;
    uint32_t Count, Value, At;
    bool operator==(const Entry& e) const { return Type == e.Type && Count == e.Count && Value == e.Value; }
};
std::map<uint16_t, Entry> Entries(const QByteArray& tiff, std::vector<uint16_t>* order = nullptr) {
    std::map<uint16_t, Entry> entries;
    for (uint32_t i = 0, at = Le32(tiff, 4) + 2; i < Le16(tiff, Le32(tiff, 4)); ++i, at += 12) {
        entries[Le16(tiff, at)] = {Le16(tiff, at + 2), Le32(tiff, at + 4), Le32(tiff, at + 8), at};
        if (order)
            order->push_back(Le16(tiff, at));
    }
    return entries;
}

} // namespace

// Strips out of file order, padded as a writer may pad them, or sharing their bytes cost about what packed
// strips cost: the reader passes over the file once, in reads of the stream as few as packed strips take,
// not a seek and a refill a strip. Abort still stops between rows. The pixels are tifftopnm's.
TEST_F(TiffSettings, Read_StripsInAnyOrder_CostWhatPackedStripsCost) {
    constexpr int Width = 3, Height = 4096;
    std::vector<QByteArray> rows;
    for (int y = 0; y < Height; ++y)
        rows.push_back(QByteArray(1, char(1 + y % 251)) + char(1 + y * 7 % 253) + char(1 + y / 16));
    std::vector<uint32_t> inOrder(Height);
    std::iota(inOrder.begin(), inOrder.end(), 0u);
    std::vector<uint32_t> reversed(inOrder.rbegin(), inOrder.rend());
    std::vector<uint32_t> shuffled = inOrder;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(42));
    const TStripLayout layouts[] = {{"packed", inOrder},
                                    {"padded to four bytes", inOrder, Width % 4 ? 4 - Width % 4 : 0},
                                    {"100 bytes apart", inOrder, 100 - Width},
                                    {"reversed", reversed},
                                    {"shuffled", shuffled},
                                    {"shuffled and padded", shuffled, 1},
                                    {"all sharing one row", inOrder, 0, true}};
    const bool oracle = ToolAvailable("tifftopnm");
    for (bool packBits : {false, true}) {
        const QByteArray packed = StripTiff(rows, packBits, layouts[0]);
        TPixelGraphic reference;
        TCountingDevice packedDevice(packed);
        Reader.Read(packedDevice, reference, 0);
        for (const TStripLayout& layout : layouts) {
            SCOPED_TRACE(std::string(layout.Name) + (packBits ? ", PackBits" : ""));
            const QByteArray tiff = StripTiff(rows, packBits, layout);
            TPixelGraphic picture;
            TCountingDevice device(tiff);
            Reader.Read(device, picture, 0);
            // A pass over the file: the reads and seeks of packed strips, and one more of each for every
            // window's worth of file more.
            const qint64 more = std::max<qint64>(tiff.size() - packed.size(), 0) / 4096 + 2;
            EXPECT_LE(device.Reads, packedDevice.Reads + more);
            EXPECT_LE(device.Seeks, packedDevice.Seeks + more);
            EXPECT_LE(device.BytesRead, 2 * tiff.size());
            for (int y = 0; y < Height; ++y)
                ASSERT_EQ(QByteArray(reinterpret_cast<const char*>(picture.GetScanLine(y)), Width),
                          rows[layout.Shared ? 0 : y])
                    << y;
            if (oracle) {
                EXPECT_EQ(PnmFromPicture(picture), OracleColors(tiff));
            }

            // Stopped at the fifth row, the picture holds the five rows read first.
            TPixelGraphic stopped;
            int steps = 0;
            stopped.SetOnProgress([&](TObject*, int, int, bool& abort) { abort = ++steps == 5; });
            TCountingDevice again(tiff);
            Reader.Read(again, stopped, 0);
            EXPECT_EQ(steps, 5);
            int held = 0;
            for (int y = 0; y < Height; ++y)
                held += stopped.GetPixelValue(0, y) != 0;
            EXPECT_EQ(held, 5);
        }
    }
    if (!oracle)
        GTEST_SKIP()
            << "oracle tifftopnm is not installed (scripts/install-deps --oracles): pixels unchecked";
}

TEST_F(TiffSettings, Read_ToolFiles_MatchTifftopnm) {
    SKIP_UNLESS_TOOL("pnmtotiff");
    SKIP_UNLESS_TOOL("tiffcp");
    SKIP_UNLESS_TOOL("tifftopnm");
    struct Case {
        int Kind;
        QStringList PnmToTiff, TiffCp; // no tiffcp arguments: the file of pnmtotiff itself
        uint8_t BitCountNum;
    };
    const Case cases[] = {{0, {}, {}, 0},
                          {0, {"-packbits"}, {}, 0},
                          {0, {"-miniswhite"}, {}, 0},
                          {1, {}, {}, 1},
                          {1, {"-miniswhite", "-packbits"}, {}, 1},
                          {2, {"-minisblack", "-rowsperstrip=5"}, {}, 2},
                          {2, {"-miniswhite"}, {"-B"}, 2},
                          {2, {}, {"-c", "packbits", "-r", "3"}, 2},
                          {3, {"-rowsperstrip=4"}, {}, 3},
                          {3, {}, {"-B", "-c", "packbits"}, 3},
                          {3, {"-packbits"}, {"-L", "-c", "none", "-r", "7"}, 3},
                          {4, {"-color"}, {}, 2},
                          {4, {"-indexbits=4", "-packbits"}, {}, 1},
                          {4, {"-indexbits=4"}, {"-B", "-r", "2"}, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(
            (QString::number(c.Kind) + c.PnmToTiff.join(' ') + " / " + c.TiffCp.join(' ')).toStdString());
        QByteArray tiff = Tool("pnmtotiff", c.PnmToTiff, EncodePnm(Source(c.Kind))).Out;
        if (!c.TiffCp.isEmpty())
            tiff = TiffCp(c.TiffCp, {tiff});
        TPixelGraphic picture;
        ASSERT_EQ(Read(tiff, picture), QString());
        EXPECT_EQ(picture.GetBitCountNum(), c.BitCountNum);
        EXPECT_EQ(PnmFromPicture(picture), OracleColors(tiff));
    }
}

// RGB with an extra sample, CMYK with K > 0 and python3-pil's one-sample files without SamplesPerPixel come
// out as their raw samples say.
TEST_F(TiffSettings, Read_PilFiles_MatchRawSamples) {
    SKIP_UNLESS_PIL();
    const int w = 19, h = 7;
    const QStringList modes{"L", "RGBA", "CMYK"}, compressions{"raw", "packbits"};
    const TPnm photo = GeneratedPhoto(w, h, 5);
    QByteArray samples;
    for (int i = 0; i < w * h * 9; ++i) // every mode's samples in turn, with K > 0
        samples.append(char(photo.Samples[size_t(i) % photo.Samples.size()] ^ (i * 37)));
    QTemporaryDir dir;
    const TToolResult r = RunPython(
        QStringLiteral(
            "import sys\nfrom PIL import Image\nd, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])\n"
            "data, at = sys.stdin.buffer.read(), 0\nfor m in sys.argv[4].split(','):\n"
            "    for c in sys.argv[5].split(','):\n"
            "        Image.frombytes(m, (w, h), data[at:]).save(f'{d}/{m}-{c}.tif', compression=c)\n"
            "    at += w * h * len(m)\n"),
        {dir.path(), QString::number(w), QString::number(h), modes.join(','), compressions.join(',')},
        samples);
    ASSERT_EQ(r.ExitCode, 0) << r.Err.constData();
    const uint8_t* s = reinterpret_cast<const uint8_t*>(samples.constData());
    for (const QString& mode : modes) {
        for (const QString& compression : compressions) {
            SCOPED_TRACE((mode + " " + compression).toStdString());
            QFile file(dir.filePath(mode + "-" + compression + ".tif"));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            TPixelGraphic picture;
            ASSERT_EQ(Read(file.readAll(), picture), QString());
            const uint8_t* p = s;
            for (int i = 0; i < w * h; ++i, p += mode.size()) {
                const auto cmy = [&](int c) { return uint8_t(std::max(255 - p[c] - p[3], 0)); };
                const TColor expected = mode == "L"      ? RGB(p[0], p[0], p[0])
                                        : mode == "CMYK" ? RGB(cmy(0), cmy(1), cmy(2))
                                                         : RGB(p[0], p[1], p[2]);
                ASSERT_EQ(picture.GetPixelColor(i % w, i / w), expected) << i;
            }
        }
        s += w * h * mode.size();
    }
}

// What the reader cannot read is refused with the format's texts, by GetInfo too where the directory tells.
TEST_F(TiffSettings, Read_UnsupportedToolFiles_AreRefused) {
    SKIP_UNLESS_TOOL("pnmtotiff");
    SKIP_UNLESS_TOOL("tiffcp");
    const QByteArray colour = Tool("pnmtotiff", {}, EncodePnm(Source(3))).Out;
    TPnm deep = Source(2);
    deep.MaxVal = 65535;
    const std::tuple<QByteArray, QString, bool> cases[] = {
        {TiffCp({"-c", "lzw"}, {colour}), "TIFF: Unsupported compression LZW", false},
        {TiffCp({"-p", "separate"}, {colour}), "TIFF: PlanarConfiguration invalid", true},
        {TiffCp({"-t"}, {colour}), "TIFF: Invalid RowsPerStrip", true},
        {Tool("pnmtotiff", {}, EncodePnm(deep)).Out, "TIFF: Invalid SamplesPerPixel", true}};
    for (const auto& [tiff, message, infoRefuses] : cases) {
        TPixelGraphic picture;
        TFileFormatInfo info;
        EXPECT_EQ(Read(tiff, picture), message);
        EXPECT_EQ(Info(tiff, info), infoRefuses ? message : QString());
        if (!infoRefuses) {
            EXPECT_EQ(info.Subformat + info.Extra, "I, LZW, RGB(Unsupported compression)");
        }
    }
}

// Picture Index of a file with two directories, with counting off and on, from where the header is found.
TEST_F(TiffSettings, Read_SecondDirectory_OnlyWhenCounting) {
    SKIP_UNLESS_TOOL("pnmtotiff");
    SKIP_UNLESS_TOOL("tiffcp");
    const QByteArray two = TiffCp({}, {Tool("pnmtotiff", {}, EncodePnm(Source(2))).Out,
                                       Tool("pnmtotiff", {"-packbits"}, EncodePnm(Source(3))).Out});
    TPixelGraphic picture;
    TFileFormatInfo info;
    for (bool counting : {false, true}) {
        PGTIFCountPictures = counting;
        EXPECT_EQ(Read(two, picture, -1), "TIFF: Index invalid");
        EXPECT_EQ(Read(two, picture, 2), "TIFF: Index invalid");
        EXPECT_EQ(Read(two, picture, 1), counting ? QString() : QString("TIFF: Index invalid"));
        EXPECT_EQ(Info(two, info), QString());
        EXPECT_EQ(info.PictureCount, counting ? 2 : 1);
        EXPECT_EQ(info.Subformat + " " + info.Colors, "I, Uncompr., BlackIsZero 256");
    }
    EXPECT_EQ(Raised("abc" + two,
                     [&](QIODevice& s) {
                         s.seek(3);
                         Reader.Read(s, picture, 1);
                     }),
              QString());
    EXPECT_EQ(PnmFromPicture(picture), Source(3));
    EXPECT_EQ(Info(two, info, 1), QString());
    EXPECT_EQ(info.Subformat, "I, PackBits, RGB");
    EXPECT_EQ(info.BitsPerPixel, 24);
    EXPECT_EQ(info.Colors, "16.7 M");
    EXPECT_EQ(info.Width * 100 + info.Height, 3723);
}

// The hand-made files give their stated results with counting off and on: no read past the stream, no large
// allocation, no endless loop.
TEST_F(TiffSettings, Read_MadeFiles_GiveTheirResults) {
    struct Pixel {
        int X, Y;
        TColor Color;
    };
    struct Case {
        const char* File;
        QString Message; // empty: read
        std::vector<Pixel> Pixels = {};
    };
    const QString endOfFile = "TIFF: Unexpected end of file";
    const TColor grey1 = RGB(1, 1, 1);
    const Case cases[] = {
        {"loop.tif", {}, {{1, 0, grey1}}},
        {"link-past-end.tif", {}, {{1, 0, grey1}}},
        {"link-cut.tif", {}, {{1, 0, grey1}}},
        {"strip-past-end.tif", endOfFile},
        {"packbits-past-end.tif", endOfFile},
        {"packbits-noops.tif", endOfFile},
        {"packbits-noop.tif", {}, {{3, 0, RGB(4, 4, 4)}, {0, 1, RGB(9, 9, 9)}}},
        {"packbits-overrun.tif", "TIFF (PackBits): Invalid count of bytes in row 1"},
        // StripByteCounts are never read: a count far beyond the file costs nothing.
        {"huge-count.tif", {}, {{3, 1, RGB(7, 7, 7)}}},
        {"rows-default.tif", {}, {{3, 1, RGB(7, 7, 7)}}},
        {"width0.tif", "TIFF: ImageWidth invalid"},
        {"width-huge.tif", endOfFile},
        {"length-huge.tif", "TIFF: ImageLength invalid"},
        {"no-strips.tif", "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip"},
        {"no-rows.tif", {}, {{1, 0, grey1}}},
        {"no-samples.tif", {}, {{0, 0, clWhite}, {7, 0, clBlack}, {7, 1, clWhite}}},
        {"no-compression.tif", "TIFF: Unsupported compression 0"},
        {"duplicate.tif", {}, {{3, 1, RGB(7, 7, 7)}}},
        {"colormap-short.tif", "TIFF: ColorMap invalid"},
        // 16 entries of a 768-value map; green and blue a third of the map further on.
        {"colormap-long.tif", {}, {{0, 0, RGB(0, 255, 128)}, {1, 0, RGB(15, 240, 128)}}},
        {"palette1.tif", {}, {{0, 0, clBlack}, {7, 0, clWhite}}},
        {"cmyk.tif", {}, {{0, 0, RGB(0, 155, 155)}, {1, 0, RGB(255, 0, 0)}, {2, 0, clWhite}}},
        {"field-type.tif", "TIFF: Unsupported field Type: 2"},
        {"planar2.tif", "TIFF: PlanarConfiguration invalid"},
        {"big-endian.tif", {}, {{1, 0, grey1}}}};
    for (bool counting : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.File) + (counting ? " counting" : ""));
            PGTIFCountPictures = counting;
            TPixelGraphic picture;
            picture.SetReadWarningAction(pgwaRaise);
            EXPECT_EQ(Read(DataFile(c.File), picture), c.Message);
            for (const Pixel& p : c.Pixels)
                EXPECT_EQ(picture.GetPixelColor(p.X, p.Y), p.Color) << p.X << "," << p.Y;
            TFileFormatInfo info;
            if (c.Message.isEmpty()) {
                EXPECT_EQ(Info(DataFile(c.File), info), QString());
                EXPECT_EQ(info.PictureCount, 1);
            }
        }
    // A looping chain is cut after PGTIFMaxPictures directories, promptly.
    PGTIFMaxPictures = 1000000;
    TFileFormatInfo info;
    EXPECT_EQ(Info(DataFile("loop.tif"), info), QString());
    EXPECT_EQ(info.PictureCount, 1);
}

// Every compression and interpretation has its text in Read and in GetInfo.
TEST_F(TiffSettings, Read_CompressionAndInterpretationTexts) {
    const QByteArray grey = DataFile("rows-default.tif");
    const auto withValue = [&](uint16_t tag, uint16_t value) {
        QByteArray tiff = grey;
        PutLE16(reinterpret_cast<uint8_t*>(tiff.data()) + Entries(tiff).at(tag).At + 8, value);
        return tiff;
    };
    const std::tuple<uint16_t, QString, QString> cases[] = {
        {1, {}, "I, Uncompr., BlackIsZero"},
        {2, "TIFF: Unsupported compression CCITT 1D", "I, CCITT 1D, BlackIsZero(Unsupported compression)"},
        {3, "TIFF: Unsupported compression Group 3 Fax",
         "I, Group 3 F., BlackIsZero(Unsupported compression)"},
        {4, "TIFF: Unsupported compression Group 4 Fax",
         "I, Group 4 F., BlackIsZero(Unsupported compression)"},
        {5, "TIFF: Unsupported compression LZW", "I, LZW, BlackIsZero(Unsupported compression)"},
        {6, "TIFF: Unsupported compression JPEG", "I, JPEG, BlackIsZero(Unsupported compression)"},
        {7, "TIFF: Unsupported compression 7", "I, , BlackIsZero"},
        {32773, "TIFF (PackBits): Invalid count of bytes in row 1", "I, PackBits, BlackIsZero"}};
    for (const auto& [compression, message, subformat] : cases) {
        TPixelGraphic picture;
        TFileFormatInfo info;
        EXPECT_EQ(Read(withValue(259, compression), picture), message);
        EXPECT_EQ(Info(withValue(259, compression), info), QString());
        EXPECT_EQ(info.Subformat + info.Extra, subformat);
        EXPECT_EQ(QString::number(info.BitsPerPixel) + " " + info.Colors, "8 256");
    }
    const std::pair<QByteArray, QString> files[] = {
        {withValue(262, 0), "I, Uncompr., WhiteIsZero 8"},
        {withValue(262, 3), "I, Uncompr., RGB Palette 8"},
        {DataFile("big-endian.tif"), "M, Uncompr., BlackIsZero 8"},
        {DataFile("cmyk.tif"), "I, Uncompr., CMYK 32"},
        {DataFile("no-samples.tif"), "I, Uncompr., BlackIsZero 1"}};
    for (const auto& [tiff, text] : files) {
        TFileFormatInfo info;
        EXPECT_EQ(Info(tiff, info), QString());
        EXPECT_EQ(info.Subformat + " " + QString::number(info.BitsPerPixel), text);
    }
}

// One strip of 100 rows that claims 8 rows per strip, under each warning action.
TEST_F(TiffSettings, Read_StripCountWarning_FollowsTheWarningAction) {
    const QString text = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
    const std::tuple<TPGWarningAction, TModalResult, TMsgDlgButtons, bool> cases[] = {
        {pgwaIgnore, mrOk, 0, true},
        {pgwaOKBox, mrOk, mbOK, true},
        {pgwaOKCancelBox, mrOk, mbOK | mbCancel, true},
        {pgwaOKCancelBox, mrCancel, mbOK | mbCancel, false},
        {pgwaRaise, mrOk, 0, false}};
    for (const auto& [action, answer, buttons, reads] : cases) {
        MessageBoxSpy boxes(answer);
        TPixelGraphic picture;
        picture.SetReadWarningAction(action);
        EXPECT_EQ(Read(DataFile("rows8.tif"), picture), reads ? QString() : text);
        ASSERT_EQ(boxes.Requests.size(), buttons ? 1u : 0u);
        if (buttons) {
            EXPECT_EQ(boxes.Requests[0].Text + "|" + boxes.Requests[0].Caption, text + "|TIFF-Warning");
            EXPECT_EQ(boxes.Requests[0].Type, mtWarning);
            EXPECT_EQ(boxes.Requests[0].Buttons, buttons);
        }
        EXPECT_EQ(picture.GetPixelValue(3, 99), reads ? 399u % 256 : 0u);
    }
}

// The reader and the writer are the senders; OnProgressEnd comes in every case; Abort stops only reading.
TEST_F(TiffSettings, Progress_EndsInEveryCase) {
    TPixelGraphic picture;
    std::vector<std::string> events;
    const TObject* sender = nullptr;
    bool abort = false;
    picture.SetOnProgressStart([&](TObject* s) { events.push_back("start"), sender = s; });
    picture.SetOnProgressEnd([&](TObject*) { events.push_back("end"); });
    picture.SetOnProgress([&](TObject*, int step, int max, bool& a) {
        events.push_back(std::to_string(step) + "/" + std::to_string(max));
        a = abort;
    });
    EXPECT_EQ(Read(DataFile("packbits-overrun.tif"), picture),
              "TIFF (PackBits): Invalid count of bytes in row 1");
    EXPECT_EQ(events, (std::vector<std::string>{"start", "0/2", "end"}));
    EXPECT_EQ(sender, &Reader);
    events.clear();
    abort = true;
    EXPECT_EQ(Read(DataFile("packbits-noop.tif"), picture), QString());
    EXPECT_EQ(events, (std::vector<std::string>{"start", "0/2", "end"}));
    EXPECT_EQ(picture.GetPixelValue(0, 0) * 10 + picture.GetPixelValue(0, 1), 10u); // row 1 not read
    events.clear();
    Write(picture);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "0/1", "1/1", "end"}));
    EXPECT_EQ(sender, &Writer);
}

// Every mode passes tiffinfo -D without a warning and reads back to the same pixels in tifftopnm and in our
// reader; a PackBits file that tiffcp copies uncompressed gives the same pixels too.
TEST_F(TiffSettings, Write_EveryMode_ReadsBack) {
    SKIP_UNLESS_TOOL("tiffinfo");
    SKIP_UNLESS_TOOL("tifftopnm");
    SKIP_UNLESS_TOOL("tiffcp");
    const std::tuple<uint8_t, TPaletteIdent, bool, bool, bool> cases[] = {
        // format, table, PackBits, "MM", WhiteIsZero
        {0, pBlackWhite, false, false, false}, {0, pBlackWhite, true, false, true},
        {0, pBlackWhite, false, true, false},  {1, pGray16, false, false, false},
        {1, pGray16, true, true, true},        {1, pSys16, false, false, false},
        {1, pUnknown, true, false, false},     {2, pGray256, false, false, false},
        {2, pGray256, true, false, true},      {2, pUnknown, false, true, false},
        {2, pSpecial216, true, true, false},   {3, pTrueColor, false, false, false},
        {3, pTrueColor, true, true, false}};
    for (const auto& [format, ident, packBits, bigEndian, whiteIsZero] : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(format) << " " << int(ident) << " " << packBits << bigEndian << whiteIsZero);
        PGTIFCompression = packBits ? 32773 : 1;
        PGTIFBigEndian = bigEndian;
        PGTIFWhiteIsZero = whiteIsZero;
        TPixelGraphic picture;
        MakePicture(picture, 701, 40, format, ident);
        const QByteArray tiff = Write(picture);
        QTemporaryDir dir;
        EXPECT_EQ(Tool("tiffinfo", {"-D", SaveFile(dir, "w.tif", tiff)}).Err, QByteArray());
        EXPECT_EQ(OracleColors(tiff), PnmFromPicture(picture));
        for (const QByteArray& copy : {tiff, TiffCp({"-c", "none"}, {tiff})}) {
            TPixelGraphic back;
            ASSERT_EQ(Read(copy, back), QString());
            ASSERT_EQ(back.GetBitCountNum(), format);
            EXPECT_EQ(PnmFromPicture(back), PnmFromPicture(picture));
        }
    }
}

// CMYK: K the smallest of C, M, Y, as python3-pil reads the samples; red and white byte by byte.
TEST_F(TiffSettings, Write_CMYK_TakesKAsTheSmallest) {
    PGTIFCMYK = true;
    TPixelGraphic picture;
    picture.SetFormat(2, 1, 3);
    picture.SetPixelColor(0, 0, RGB(255, 0, 0));
    picture.SetPixelColor(1, 0, clWhite);
    QByteArray tiff = Write(picture);
    const std::map<uint16_t, Entry> entries = Entries(tiff);
    EXPECT_EQ(entries.at(262).Value * 10 + entries.at(277).Value, 54u);
    EXPECT_EQ(tiff.mid(int(entries.at(273).Value)), QByteArray("\0\xFF\xFF\0\0\0\0\0", 8));

    SKIP_UNLESS_PIL();
    MakePicture(picture, 31, 9, 3, pTrueColor);
    const TToolResult r =
        RunPython(QStringLiteral("import sys, io\nfrom PIL import Image\n"
                                 "i = Image.open(io.BytesIO(sys.stdin.buffer.read()))\n"
                                 "assert i.mode == 'CMYK'\nsys.stdout.buffer.write(i.tobytes())"),
                  {}, Write(picture));
    ASSERT_EQ(r.ExitCode, 0) << r.Err.constData();
    ASSERT_EQ(r.Out.size(), 31 * 9 * 4);
    const uint8_t* s = reinterpret_cast<const uint8_t*>(r.Out.constData());
    for (int i = 0; i < 31 * 9; ++i, s += 4) {
        const TColor c = picture.GetPixelColor(i % 31, i / 31);
        const int k = 255 - std::max({GetRValue(c), GetGValue(c), GetBValue(c)});
        ASSERT_EQ(TColor(RGB(uint8_t(s[0] + k), uint8_t(s[1] + k), uint8_t(s[2] + k)) ^ 0xFFFFFF), c) << i;
        ASSERT_EQ(s[3], k);
    }
}

// An 8-bit grey picture of 100 x 50 with the defaults, byte by byte, also after other data in the stream;
// then with a table of 16 entries in a map of 768 values.
TEST_F(TiffSettings, Write_Layout_ByteByByte) {
    TPixelGraphic picture;
    MakePicture(picture, 100, 50, 2, pGray256);
    const QByteArray tiff = Write(picture);
    ASSERT_EQ(tiff.size(), 186 + 5000);
    EXPECT_EQ(tiff.left(10), QByteArray("II*\0\x08\0\0\0\x0D\0", 10));
    EXPECT_EQ(tiff.mid(166, 20), QByteArray("\0\0\0\0\x2C\x01\0\0\x01\0\0\0\x2C\x01\0\0\x01\0\0\0", 20));
    std::vector<uint16_t> order;
    const std::map<uint16_t, Entry> entries = Entries(tiff, &order);
    EXPECT_EQ(order,
              (std::vector<uint16_t>{254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 296}));
    // A SHORT is followed by 16 zero bits: its value field reads as the same number.
    EXPECT_EQ(entries, (std::map<uint16_t, Entry>{{254, {4, 1, 0, 0}},
                                                  {256, {4, 1, 100, 0}},
                                                  {257, {4, 1, 50, 0}},
                                                  {258, {3, 1, 8, 0}},
                                                  {259, {3, 1, 1, 0}},
                                                  {262, {3, 1, 1, 0}},
                                                  {273, {4, 1, 186, 0}},
                                                  {277, {3, 1, 1, 0}},
                                                  {278, {4, 1, 50, 0}},
                                                  {279, {4, 1, 5000, 0}},
                                                  {282, {5, 1, 170, 0}},
                                                  {283, {5, 1, 178, 0}},
                                                  {296, {3, 1, 2, 0}}}));
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(uint8_t(tiff[186 + i]), picture.GetPixelValue(i % 100, i / 100));
    QBuffer after;
    after.open(QIODevice::WriteOnly);
    after.write("xyz");
    Writer.Write(after, picture);
    EXPECT_EQ(after.data(), "xyz" + tiff);

    picture.SetColorCount(16);
    for (int i = 0; i < 16; ++i)
        picture.SetPaletteColor(i, RGB(uint8_t(i), 255, uint8_t(255 - i)));
    const QByteArray palette = Write(picture);
    const Entry map = Entries(palette).at(320);
    EXPECT_EQ(Le16(palette, 8), 14);
    EXPECT_EQ(Entries(palette).at(262).Value, 3u);
    ASSERT_EQ(map.Count, 768u);
    EXPECT_EQ(map.Value, 8u + 2 + 14 * 12 + 4);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(std::make_tuple(Le16(palette, map.Value + 2 * i), Le16(palette, map.Value + 512 + 2 * i),
                                  Le16(palette, map.Value + 1024 + 2 * i)),
                  i < 16 ? std::make_tuple(i * 256, 65280u, (255 - i) * 256)
                         : std::make_tuple(0u, 65280u, 65280u));
}

// Rows per strip: 32767 div the row bytes (twice those with PackBits), at least 1, at most the height.
// Strips start at even offsets; their byte counts leave the pad byte out.
TEST_F(TiffSettings, Write_Strips) {
    const std::tuple<uint8_t, int, bool, bool, uint32_t> cases[] = {
        // format, width, PackBits, CMYK, rows per strip
        {2, 1000, false, false, 32}, {2, 1000, true, false, 16}, {0, 8, true, false, 50},
        {1, 1001, false, false, 50}, {3, 1000, false, true, 8},  {3, 1000, true, false, 5},
        {3, 11001, false, false, 1}};
    for (const auto& [format, width, packBits, cmyk, rows] : cases) {
        PGTIFCompression = packBits ? 32773 : 1;
        PGTIFCMYK = cmyk;
        TPixelGraphic picture;
        MakePicture(picture, width, 50, format,
                    format == 0   ? pBlackWhite
                    : format == 3 ? pTrueColor
                                  : pUnknown);
        const QByteArray tiff = Write(picture);
        const std::map<uint16_t, Entry> entries = Entries(tiff);
        const uint32_t strips = (50 + rows - 1) / rows, rowBytes = uint32_t(format == 3 ? width * 3 : width);
        EXPECT_EQ(entries.at(278).Value, rows) << width;
        ASSERT_EQ(entries.at(273).Count, strips) << width;
        for (uint32_t strip = 0; strip + 1 < strips; ++strip) {
            const uint32_t offset = Le32(tiff, entries.at(273).Value + 4 * strip),
                           count = Le32(tiff, entries.at(279).Value + 4 * strip);
            EXPECT_EQ(offset % 2, 0u);
            EXPECT_EQ(Le32(tiff, entries.at(273).Value + 4 * strip + 4), offset + count + count % 2);
            if (!packBits && !cmyk) {
                EXPECT_EQ(count, rows * rowBytes);
            }
        }
        TPixelGraphic back;
        ASSERT_EQ(Read(tiff, back), QString());
        EXPECT_EQ(PnmFromPicture(back), PnmFromPicture(picture));
    }
}

TEST(TiffPackBits, CodesRunsAndLiterals) {
    std::vector<uint8_t> distinct(200);
    for (size_t i = 0; i < distinct.size(); ++i)
        distinct[i] = uint8_t(i);
    std::vector<uint8_t> literals{127};
    literals.insert(literals.end(), distinct.begin(), distinct.begin() + 128);
    literals.push_back(71);
    literals.insert(literals.end(), distinct.begin() + 128, distinct.end());
    const std::pair<std::vector<uint8_t>, std::vector<uint8_t>> cases[] = {
        {{'A', 'A', 'B', 'C', 'C', 'C', 'C'}, {2, 'A', 'A', 'B', 0xFD, 'C'}},
        {std::vector<uint8_t>(300, 7), {0x81, 7, 0x81, 7, 0xD5, 7}},
        {std::vector<uint8_t>(129, 1), {0x81, 1, 0, 1}},
        {{'A'}, {0, 'A'}},
        {{'A', 'A'}, {0xFF, 'A'}},
        {distinct, literals}};
    for (const auto& [row, expected] : cases) {
        std::vector<uint8_t> code;
        TIFPackBitsRow(row.data(), row.size(), code);
        EXPECT_EQ(code, expected);
    }
}

// Runs of every length class (short, around one packet of 128, around two, longer) between literal stretches
// of the same lengths, Count bytes in all.
void FillRuns(std::mt19937& rng, uint8_t* Row, size_t Count) {
    static constexpr size_t lengths[] = {1, 2, 3, 4, 5, 126, 127, 128, 129, 130, 255, 256, 257, 300};
    for (size_t i = 0; i < Count;) {
        const size_t n = std::min(lengths[rng() % std::size(lengths)], Count - i);
        const bool run = rng() % 2 == 0;
        const uint8_t value = uint8_t(rng());
        for (size_t k = 0; k < n; ++k)
            Row[i + k] = run ? value : uint8_t(rng() % 4 == 0 ? value : rng());
        i += n;
    }
}

// The code of random rows of runs, pinned down to the byte by its checksum for each row length.
TEST(TiffPackBits, CodesRandomRowsToTheSameBytes) {
    const std::pair<size_t, uint64_t> cases[] = {
        {1, 9048697576575269853ull},    {2, 3063842159089496029ull},    {3, 10737973167666006909ull},
        {7, 2000264357726878224ull},    {128, 3873587092126036640ull},  {129, 7115661614464203210ull},
        {1000, 3981966333006831414ull}, {12000, 7939464500353581729ull}};
    std::mt19937 rng(33);
    for (const auto& [count, sum] : cases) {
        SCOPED_TRACE(count);
        uint64_t codes = Checksum(nullptr, 0);
        for (int n = 0; n < 16; ++n) {
            std::vector<uint8_t> row(count);
            FillRuns(rng, row.data(), count);
            std::vector<uint8_t> code;
            TIFPackBitsRow(row.data(), row.size(), code);
            codes = Checksum(code.data(), code.size(), codes);
        }
        EXPECT_EQ(codes, sum);
    }
}

// Pictures of every format made of such runs, odd sizes so that row ends and filler bits matter: the files
// written in every mode, and what reading them back gives (RGB with an extra sample too), pinned down to
// the byte by one checksum per picture. The tables shorter than their format's are filled up with their
// first entry, as every other operation shows pixels past the table.
TEST_F(TiffSettings, WriteAndRead_EveryMode_GiveTheSameBytes) {
    const struct {
        uint8_t BitCountNum;
        TPaletteIdent Kind;
        int Width, Height;
        uint64_t Sum;
    } cases[] = {
        {0, pBlackWhite, 37, 5, 18340079078069496987ull}, {0, pBlackWhite, 701, 6, 18067855278833942645ull},
        {1, pGray16, 37, 5, 7709616676122212053ull},      {1, pUnknown, 701, 6, 5358110079783013625ull},
        {2, pGray256, 37, 5, 10079401792784710665ull},    {2, pUnknown, 701, 6, 18055887532808194357ull},
        {3, pTrueColor, 37, 5, 248476424130558967ull},    {3, pTrueColor, 701, 6, 7137130745524800407ull},
        {3, pTrueColor, 4000, 3, 663319466976024357ull},
    };
    std::mt19937 rng(33);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.BitCountNum) << ": " << c.Width << " x " << c.Height);
        TPixelGraphic picture;
        MakePicture(picture, c.Width, c.Height, c.BitCountNum, c.Kind);
        const size_t pixelBytes = (size_t(picture.GetBitCount()) * size_t(c.Width) + 7) / 8;
        for (int y = 0; y < c.Height; ++y)
            FillRuns(rng, picture.GetScanLine(y), pixelBytes);
        uint64_t sum = Checksum(nullptr, 0);
        for (const int32_t compression : {1, 32773})
            for (const bool bigEndian : {false, true})
                for (const bool variant : {false, true}) { // CMYK for colour, white as zero for the others
                    PGTIFCompression = compression;
                    PGTIFBigEndian = bigEndian;
                    PGTIFCMYK = variant && c.BitCountNum == 3;
                    PGTIFWhiteIsZero = variant && c.BitCountNum < 3;
                    QByteArray tiff = Write(picture);
                    sum = Checksum(tiff.constData(), size_t(tiff.size()), sum);
                    TPixelGraphic back;
                    ASSERT_EQ(Read(tiff, back), QString());
                    const auto add = [&] {
                        const uint64_t pixels = PictureChecksum(back);
                        sum = Checksum(&pixels, sizeof pixels, sum);
                    };
                    add();
                    if (PGTIFCMYK && !bigEndian) { // the four samples taken as red, green, blue and a fourth
                        tiff[Entries(tiff)[262].At + 8] = 2;
                        ASSERT_EQ(Read(tiff, back), QString());
                        add();
                    }
                }
        EXPECT_EQ(sum, c.Sum);
    }
}

// An empty picture or an unknown compression is refused before anything is written; a stream that cannot be
// written raises the stream's error.
TEST_F(TiffSettings, Write_Refusals_WriteNothing) {
    const std::tuple<int, int, int, QString> cases[] = {{0, 5, 1, "TIFF: PixelGraphic is empty"},
                                                        {5, 0, 32773, "TIFF: PixelGraphic is empty"},
                                                        {5, 5, 5, "TIFF: Internal Error"}};
    for (const auto& [width, height, compression, message] : cases) {
        PGTIFCompression = compression;
        TPixelGraphic picture;
        picture.SetFormat(width, height, 2);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        try {
            Writer.Write(buffer, picture);
            ADD_FAILURE() << "written";
        } catch (const EPGTIFFileFormatWriter& e) {
            EXPECT_EQ(e.message(), message);
        }
        EXPECT_EQ(buffer.size(), 0);
    }
    PGTIFCompression = 1;
    TPixelGraphic picture;
    picture.SetFormat(5, 5, 2);
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_THROW(Writer.Write(readOnly, picture), EWriteError);
}

// After start-up both extensions reach the reader by signature and the writer by name, the "tiff" writer not
// offered.
TEST_F(TiffSettings, Registered_LoadAndSaveThroughTheRegistries) {
    for (const char* ext : {"tif", "tiff"}) {
        const TFileFormatWriter* writer = FindFileFormatWriter(QLatin1String(ext));
        ASSERT_NE(writer, nullptr);
        EXPECT_EQ(writer->Enabled, ext == std::string("tif"));
        EXPECT_EQ(writer->CanWriteResolutions, 253);
    }
    QTemporaryDir dir;
    TPixelGraphic picture, back;
    MakePicture(picture, 33, 17, 1, pGray16);
    picture.SaveToFile(dir.filePath("grey.tiff"));
    back.LoadFromFile(dir.filePath("grey.tiff"));
    EXPECT_EQ(back.GetPaletteIdent(), pGray16);
    EXPECT_EQ(PnmFromPicture(back), PnmFromPicture(picture));
    TFileFormatInfo info;
    ASSERT_TRUE(GetFileFormatInfo(dir.filePath("grey.tiff"), 0, info));
    EXPECT_EQ(info.Description + ": " + info.Subformat + " " + info.Colors,
              "Tagged Image File Format: I, Uncompr., BlackIsZero 16");
    EXPECT_FALSE(GetFileFormatInfo(dir.filePath("grey.tiff"), 1, info));
}
