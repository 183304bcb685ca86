// The TIFF reader and writer against libtiff-tools, netpbm and python3-pil, the writer's layout byte by byte,
// and the damaged files that make-files.py in tests/data/tiff writes.
#include "image-library/formats/PGTIFF.h"
#include "framework/FileStreams.h"
#include "framework/testing/MessageBoxSpy.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGSettings.h"
#include "image-library/PGStandardPalettes.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGTIFFRead.h"
#include "image-library/formats/PGTIFFWrite.h"
#include "image-library/testing/Oracles.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

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
        PGTIFCMYK = false;
        PGTIFWhiteIsZero = false;
        PGTIFBigEndian = false;
    }
};

QByteArray DataFile(const char* name) {
    QFile f(QStringLiteral(TIFF_TEST_DATA "/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

// Reads picture Index of the bytes; the exception's message, or empty on success.
QString Read(const QByteArray& bytes, TPixelGraphic& picture, int index = 0) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        Reader.Read(buffer, picture, index);
        return {};
    } catch (const EPGTIFFileFormatReader& e) {
        return e.message();
    }
}

QString Info(const QByteArray& bytes, TFileFormatInfo& info, int index = 0) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        Reader.GetInfo(buffer, index, info);
        return {};
    } catch (const EPGTIFFileFormatReader& e) {
        return e.message();
    }
}

QByteArray Write(TPixelGraphic& picture) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    Writer.Write(buffer, picture);
    return buffer.data();
}

// tifftopnm's picture as RGB samples of maxval 255 (a PBM's 1 is black).
TPnm OracleColors(const QByteArray& tiff) {
    const TToolResult r = RunTool(QStringLiteral("tifftopnm"), {}, tiff);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.constData();
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

// python3-pil's TIFF files of raw samples, one per mode and compression, written in one run into Dir as
// <mode>-<compression>.tif; Samples holds each mode's samples in turn.
void PilTiffs(const QString& dir, const QStringList& modes, const QStringList& compressions, int width,
              int height, const QByteArray& samples) {
    const TToolResult r = RunPython(
        QStringLiteral(
            "import sys\nfrom PIL import Image\n"
            "d, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])\n"
            "data, at = sys.stdin.buffer.read(), 0\n"
            "for m in sys.argv[4].split(','):\n"
            "    n = w * h * len(m)\n"
            "    for c in sys.argv[5].split(','):\n"
            "        Image.frombytes(m, (w, h), data[at:at + n]).save(f'{d}/{m}-{c}.tif', compression=c)\n"
            "    at += n\n"),
        {dir, QString::number(width), QString::number(height), modes.join(','), compressions.join(',')},
        samples);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.constData();
}

TToolResult Tool(const char* program, const QStringList& args, const QByteArray& input = {}) {
    TToolResult r = RunTool(QLatin1String(program), args, input);
    EXPECT_EQ(r.ExitCode, 0) << program << ": " << r.Err.constData();
    return r;
}

// tiffcp with its arguments on the given files; the result's bytes.
QByteArray TiffCp(const QStringList& args, const std::vector<QByteArray>& inputs) {
    QTemporaryDir dir;
    QStringList files;
    for (size_t i = 0; i < inputs.size(); ++i) {
        files << dir.filePath(QStringLiteral("in%1.tif").arg(i));
        QFile f(files.back());
        f.open(QIODevice::WriteOnly);
        f.write(inputs[i]);
    }
    const QString out = dir.filePath(QStringLiteral("out.tif"));
    Tool("tiffcp", args + files + QStringList{out});
    QFile f(out);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

uint32_t Le32(const QByteArray& b, int at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t Le16(const QByteArray& b, int at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

// Source pictures for the tools, all of odd sizes so that row ends and filler bits matter.
TPnm Source(int kind) {
    TPnm p = GeneratedPhoto(37, 23, uint32_t(kind + 1));
    if (kind == 3) // colour
        return p;
    if (kind == 4) { // eight colours for a palette
        for (uint16_t& s : p.Samples)
            s = s & 0x80 ? 255 : 0;
        return p;
    }
    TPnm g{p.Width, p.Height, 1, kind == 0 ? 1 : kind == 1 ? 15 : 255, {}};
    for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x)
            g.Samples.push_back(uint16_t(p.At(x, y, 1) * g.MaxVal / 255));
    return g;
}

} // namespace

// Files of pnmtotiff and tiffcp in every accepted kind decode to the pixels of tifftopnm.
TEST_F(TiffSettings, Read_ToolFiles_MatchTifftopnm) {
    SKIP_UNLESS_TOOL("pnmtotiff");
    SKIP_UNLESS_TOOL("tiffcp");
    SKIP_UNLESS_TOOL("tifftopnm");
    struct Case {
        int Kind; // 0 bilevel, 1 grey 4 bits, 2 grey 8 bits, 3 colour, 4 eight colours
        QStringList PnmToTiff;
        QStringList TiffCp; // empty: the file of pnmtotiff itself
        uint8_t BitCountNum;
    };
    const Case cases[] = {
        {0, {}, {}, 0},
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
        {4, {"-indexbits=4"}, {"-B", "-r", "2"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Kind << " " << c.PnmToTiff.join(' ').toStdString() << " / "
                                        << c.TiffCp.join(' ').toStdString());
        QByteArray tiff = Tool("pnmtotiff", c.PnmToTiff, EncodePnm(Source(c.Kind))).Out;
        if (!c.TiffCp.isEmpty())
            tiff = TiffCp(c.TiffCp, {tiff});
        TPixelGraphic picture;
        ASSERT_EQ(Read(tiff, picture), QString());
        EXPECT_EQ(picture.GetBitCountNum(), c.BitCountNum);
        EXPECT_EQ(PnmFromPicture(picture), OracleColors(tiff));
    }
}

// RGB with an extra sample, CMYK with K > 0 and one-sample files without SamplesPerPixel (python3-pil's) come
// out as the raw samples say.
TEST_F(TiffSettings, Read_PilFiles_MatchRawSamples) {
    SKIP_UNLESS_PIL();
    const int w = 19, h = 7;
    const QStringList modes{"L", "RGBA", "CMYK"}, compressions{"raw", "packbits"};
    const TPnm photo = GeneratedPhoto(w, h, 5);
    QByteArray samples;
    for (int i = 0; i < w * h * 9; ++i) // every sample value and K > 0, yet with some smoothness
        samples.append(char(photo.Samples[size_t(i) % photo.Samples.size()] ^ (i * 37)));
    QTemporaryDir dir;
    PilTiffs(dir.path(), modes, compressions, w, h, samples);
    const uint8_t* s = reinterpret_cast<const uint8_t*>(samples.constData());
    for (const QString& mode : modes) {
        for (const QString& compression : compressions) {
            SCOPED_TRACE((mode + " " + compression).toStdString());
            QFile file(dir.filePath(mode + "-" + compression + ".tif"));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            TPixelGraphic picture;
            ASSERT_EQ(Read(file.readAll(), picture), QString());
            const uint8_t* p = s;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x, p += mode.size()) {
                    TColor expected;
                    if (mode == "L")
                        expected = RGB(p[0], p[0], p[0]);
                    else if (mode == "CMYK")
                        expected = RGB(uint8_t(std::max(255 - p[0] - p[3], 0)),
                                       uint8_t(std::max(255 - p[1] - p[3], 0)),
                                       uint8_t(std::max(255 - p[2] - p[3], 0)));
                    else
                        expected = RGB(p[0], p[1], p[2]);
                    ASSERT_EQ(picture.GetPixelColor(x, y), expected) << x << "," << y;
                }
        }
        s += w * h * mode.size();
    }
}

// What the reader cannot read is refused with the format's texts, by Read and GetInfo alike where the
// directory already tells.
TEST_F(TiffSettings, Read_UnsupportedToolFiles_AreRefused) {
    SKIP_UNLESS_TOOL("pnmtotiff");
    SKIP_UNLESS_TOOL("tiffcp");
    const QByteArray colour = Tool("pnmtotiff", {}, EncodePnm(Source(3))).Out;
    TPnm deep = Source(2);
    deep.MaxVal = 65535;
    struct Case {
        QByteArray Tiff;
        QString Message;
        bool InfoRefuses;
    };
    const Case cases[] = {
        {TiffCp({"-c", "lzw"}, {colour}), "TIFF: Unsupported compression LZW", false},
        {TiffCp({"-p", "separate"}, {colour}), "TIFF: PlanarConfiguration invalid", true},
        {TiffCp({"-t"}, {colour}), "TIFF: Invalid RowsPerStrip", true},
        {Tool("pnmtotiff", {}, EncodePnm(deep)).Out, "TIFF: Invalid SamplesPerPixel", true},
    };
    for (const Case& c : cases) {
        TPixelGraphic picture;
        EXPECT_EQ(Read(c.Tiff, picture), c.Message);
        TFileFormatInfo info;
        EXPECT_EQ(Info(c.Tiff, info), c.InfoRefuses ? c.Message : QString()) << c.Message.toStdString();
    }
    TFileFormatInfo info;
    EXPECT_EQ(Info(TiffCp({"-c", "lzw"}, {colour}), info), QString());
    EXPECT_EQ(info.Subformat, "I, LZW, RGB");
    EXPECT_EQ(info.Extra, "(Unsupported compression)");
}

// Picture Index of a file with two directories, with counting off and on.
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
        EXPECT_EQ(Info(two, info), QString());
        EXPECT_EQ(info.PictureCount, counting ? 2 : 1);
        EXPECT_EQ(Read(two, picture, 1), counting ? QString() : QString("TIFF: Index invalid"));
        EXPECT_EQ(Read(two, picture, 2), "TIFF: Index invalid");
    }
    EXPECT_EQ(Read(two, picture, 1), QString());
    EXPECT_EQ(PnmFromPicture(picture), Source(3));

    // Offsets count from where the header is found.
    QBuffer shifted;
    shifted.setData("abc" + two);
    shifted.open(QIODevice::ReadOnly);
    shifted.seek(3);
    TPixelGraphic second;
    Reader.Read(shifted, second, 1);
    EXPECT_EQ(PnmFromPicture(second), Source(3));
    EXPECT_EQ(Info(two, info, 1), QString());
    EXPECT_EQ(info.Subformat, "I, PackBits, RGB");
    EXPECT_EQ(info.BitsPerPixel, 24);
    EXPECT_EQ(info.Colors, "16.7 M");
    EXPECT_EQ(Info(two, info, 0), QString());
    EXPECT_EQ(info.Subformat, "I, Uncompr., BlackIsZero");
    EXPECT_EQ(info.Colors, "256");
    EXPECT_EQ(info.Width, 37);
    EXPECT_EQ(info.Height, 23);
}

// The hand-made files: each gives its stated result, with counting off and on.
TEST_F(TiffSettings, Read_MadeFiles_GiveTheirResults) {
    struct Case {
        const char* File;
        QString Message; // empty: read
        int Width = 0;
        int Pixel = -1; // value of pixel (1, 0) once read
    };
    const QString endOfFile = QStringLiteral("TIFF: Unexpected end of file");
    const Case cases[] = {
        {"loop.tif", {}, 4, 1},
        {"link-past-end.tif", {}, 4, 1},
        {"link-cut.tif", {}, 4, 1},
        {"strip-past-end.tif", endOfFile},
        {"packbits-past-end.tif", endOfFile},
        {"packbits-noops.tif", endOfFile},
        {"packbits-noop.tif", {}, 4, 2},
        {"packbits-overrun.tif", "TIFF (PackBits): Invalid count of bytes in row 1"},
        {"huge-count.tif", endOfFile},
        {"rows-default.tif", {}, 4, 1},
        {"width0.tif", "TIFF: ImageWidth invalid"},
        {"length-huge.tif", "TIFF: ImageLength invalid"},
        {"no-strips.tif", "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip"},
        {"no-rows.tif", {}, 4, 1},
        {"no-samples.tif", {}, 8, 1},
        {"no-compression.tif", "TIFF: Unsupported compression 0"},
        {"duplicate.tif", {}, 4, 1},
        {"colormap-short.tif", "TIFF: ColorMap invalid"},
        {"field-type.tif", "TIFF: Unsupported field Type: 2"},
        {"planar2.tif", "TIFF: PlanarConfiguration invalid"},
        {"big-endian.tif", {}, 4, 1},
    };
    for (bool counting : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.File) + (counting ? " counting" : ""));
            PGTIFCountPictures = counting;
            PGTIFMaxPictures = 1000;
            TPixelGraphic picture;
            picture.SetReadWarningAction(pgwaRaise);
            EXPECT_EQ(Read(DataFile(c.File), picture), c.Message);
            if (c.Message.isEmpty()) {
                EXPECT_EQ(picture.GetWidth(), c.Width);
                EXPECT_EQ(int(picture.GetPixelValue(1, 0)), c.Pixel);
                TFileFormatInfo info;
                EXPECT_EQ(Info(DataFile(c.File), info), QString());
                EXPECT_EQ(info.PictureCount, 1);
            }
        }
}

TEST_F(TiffSettings, Read_PixelConversions) {
    TPixelGraphic picture;
    ASSERT_EQ(Read(DataFile("packbits-noop.tif"), picture), QString());
    EXPECT_EQ(picture.GetPixelValue(3, 0), 4u);
    EXPECT_EQ(picture.GetPixelValue(0, 1), 9u);

    // C 200 K 100 gives red 0; pure red; white.
    ASSERT_EQ(Read(DataFile("cmyk.tif"), picture), QString());
    EXPECT_EQ(picture.GetPixelColor(0, 0), RGB(0, 155, 155));
    EXPECT_EQ(picture.GetPixelColor(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(picture.GetPixelColor(2, 0), clWhite);

    // A 768-value map on 4 bits: 16 entries, green and blue a third of the map further on.
    ASSERT_EQ(Read(DataFile("colormap-long.tif"), picture), QString());
    EXPECT_EQ(picture.GetColorCount(), 16);
    EXPECT_EQ(picture.IndexToColor(15), RGB(15, 240, 128));
    EXPECT_EQ(picture.GetPixelValue(1, 0), 15u);

    // A 1-bit palette file is black and white, whatever its map says.
    ASSERT_EQ(Read(DataFile("palette1.tif"), picture), QString());
    EXPECT_EQ(picture.GetPaletteIdent(), pBlackWhite);
    EXPECT_EQ(picture.GetPixelColor(0, 0), clBlack);
    EXPECT_EQ(picture.GetPixelColor(7, 0), clWhite);

    // Bilevel without SamplesPerPixel and BitsPerSample.
    ASSERT_EQ(Read(DataFile("no-samples.tif"), picture), QString());
    EXPECT_EQ(picture.GetPaletteIdent(), pBlackWhite);
    EXPECT_EQ(picture.GetPixelColor(0, 0), clWhite);
    EXPECT_EQ(picture.GetPixelColor(7, 0), clBlack);
    EXPECT_EQ(picture.GetPixelColor(7, 1), clWhite);
}

// Every compression and interpretation has its text in Read and in GetInfo.
TEST_F(TiffSettings, Read_CompressionAndInterpretationTexts) {
    // Sets the value of entry Tag of the little-endian file's directory.
    const auto withValue = [](QByteArray tiff, uint16_t tag, uint16_t value) {
        const int directory = int(Le32(tiff, 4));
        for (int i = 0; i < Le16(tiff, directory); ++i) {
            const int at = directory + 2 + 12 * i;
            if (Le16(tiff, at) == tag) {
                tiff[at + 8] = char(value);
                tiff[at + 9] = char(value >> 8);
            }
        }
        return tiff;
    };
    struct Case {
        uint16_t Compression;
        QString Message, Subformat;
    };
    const Case cases[] = {
        {1, {}, "I, Uncompr., BlackIsZero"},
        {2, "TIFF: Unsupported compression CCITT 1D", "I, CCITT 1D, BlackIsZero"},
        {3, "TIFF: Unsupported compression Group 3 Fax", "I, Group 3 F., BlackIsZero"},
        {4, "TIFF: Unsupported compression Group 4 Fax", "I, Group 4 F., BlackIsZero"},
        {5, "TIFF: Unsupported compression LZW", "I, LZW, BlackIsZero"},
        {6, "TIFF: Unsupported compression JPEG", "I, JPEG, BlackIsZero"},
        {7, "TIFF: Unsupported compression 7", "I, , BlackIsZero"},
        {32773, "TIFF (PackBits): Invalid count of bytes in row 1", "I, PackBits, BlackIsZero"},
    };
    const QByteArray grey = DataFile("rows-default.tif");
    for (const Case& c : cases) {
        const QByteArray tiff = withValue(grey, 259, c.Compression);
        TPixelGraphic picture;
        EXPECT_EQ(Read(tiff, picture), c.Message);
        TFileFormatInfo info;
        EXPECT_EQ(Info(tiff, info), QString());
        EXPECT_EQ(info.Subformat, c.Subformat);
        EXPECT_EQ(info.Extra, c.Compression >= 2 && c.Compression <= 6 ? "(Unsupported compression)" : "");
        EXPECT_EQ(info.BitsPerPixel, 8);
        EXPECT_EQ(info.Colors, "256");
    }
    const std::pair<uint16_t, const char*> interpretations[] = {
        {0, ", WhiteIsZero"}, {1, ", BlackIsZero"}, {3, ", RGB Palette"}};
    for (const auto& [photometric, text] : interpretations) {
        TFileFormatInfo info;
        EXPECT_EQ(Info(withValue(grey, 262, photometric), info), QString());
        EXPECT_EQ(info.Subformat, QString("I, Uncompr.") + text);
    }
    TFileFormatInfo info;
    EXPECT_EQ(Info(DataFile("big-endian.tif"), info), QString());
    EXPECT_EQ(info.Subformat, "M, Uncompr., BlackIsZero");
    EXPECT_EQ(Info(DataFile("cmyk.tif"), info), QString());
    EXPECT_EQ(info.Subformat, "I, Uncompr., CMYK");
    EXPECT_EQ(info.Colors, "16.7 M");
    EXPECT_EQ(info.BitsPerPixel, 32);
    EXPECT_EQ(Info(DataFile("no-samples.tif"), info), QString());
    EXPECT_EQ(info.BitsPerPixel, 1);
    EXPECT_EQ(info.Colors, "2");
}

// A looping chain is cut after PGTIFMaxPictures directories, promptly.
TEST_F(TiffSettings, Read_LoopingChain_CountsOnePicture) {
    PGTIFCountPictures = true;
    PGTIFMaxPictures = 1000000;
    TFileFormatInfo info;
    EXPECT_EQ(Info(DataFile("loop.tif"), info), QString());
    EXPECT_EQ(info.PictureCount, 1);
}

// One strip of 100 rows that claims 8 rows per strip, under each warning action.
TEST_F(TiffSettings, Read_StripCountWarning_FollowsTheWarningAction) {
    const QString text =
        QStringLiteral("TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");
    struct Case {
        TPGWarningAction Action;
        TModalResult Answer;
        size_t Boxes;
        bool Reads;
    };
    const Case cases[] = {{pgwaIgnore, mrOk, 0, true},
                          {pgwaOKBox, mrOk, 1, true},
                          {pgwaOKCancelBox, mrOk, 1, true},
                          {pgwaOKCancelBox, mrCancel, 1, false},
                          {pgwaRaise, mrOk, 0, false}};
    for (const Case& c : cases) {
        MessageBoxSpy boxes(c.Answer);
        TPixelGraphic picture;
        picture.SetReadWarningAction(c.Action);
        EXPECT_EQ(Read(DataFile("rows8.tif"), picture), c.Reads ? QString() : text);
        ASSERT_EQ(boxes.Requests.size(), c.Boxes);
        if (c.Boxes) {
            EXPECT_EQ(boxes.Requests[0].Text, text);
            EXPECT_EQ(boxes.Requests[0].Caption, "TIFF-Warning");
            EXPECT_EQ(boxes.Requests[0].Type, mtWarning);
            EXPECT_EQ(boxes.Requests[0].Buttons, c.Action == pgwaOKBox ? mbOK : mbOK | mbCancel);
        }
        if (c.Reads) {
            EXPECT_EQ(picture.GetPixelValue(3, 99), uint32_t(399 % 256));
        }
    }
}

// Progress: the reader and writer are the senders, OnProgressEnd comes in every case, Abort stops reading.
TEST_F(TiffSettings, Progress_EndsInEveryCase) {
    TPixelGraphic picture;
    std::vector<std::string> events;
    const TObject* sender = nullptr;
    picture.SetOnProgressStart([&](TObject* s) { events.push_back("start"), sender = s; });
    picture.SetOnProgressEnd([&](TObject*) { events.push_back("end"); });
    bool abortAtFirstRow = false;
    picture.SetOnProgress([&](TObject*, int step, int max, bool& abort) {
        events.push_back(std::to_string(step) + "/" + std::to_string(max));
        abort = abortAtFirstRow;
    });
    EXPECT_EQ(Read(DataFile("packbits-overrun.tif"), picture),
              "TIFF (PackBits): Invalid count of bytes in row 1");
    EXPECT_EQ(events, (std::vector<std::string>{"start", "0/2", "end"}));
    EXPECT_EQ(sender, &Reader);
    events.clear();
    abortAtFirstRow = true;
    EXPECT_EQ(Read(DataFile("packbits-noop.tif"), picture), QString());
    EXPECT_EQ(events, (std::vector<std::string>{"start", "0/2", "end"}));
    EXPECT_EQ(picture.GetPixelValue(0, 0), 1u);
    EXPECT_EQ(picture.GetPixelValue(0, 1), 0u); // not read

    events.clear();
    Write(picture);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "0/1", "1/1", "end"}));
    EXPECT_EQ(sender, &Writer);
}

namespace {

// A picture of the given format with the photo's values: grey levels, or indices into its table.
void MakePicture(TPixelGraphic& picture, int width, int height, uint8_t bitCountNum, TPaletteIdent ident) {
    const TPnm photo = GeneratedPhoto(width, height, 7);
    if (bitCountNum == 3) {
        PictureFromPnm(photo, picture);
        return;
    }
    picture.SetFormat(width, height, bitCountNum);
    picture.SetPaletteIdent(ident);
    if (ident == pUnknown) { // a table of its own, shorter than the format's
        picture.SetColorCount(picture.GetMaxColorCount() * 3 / 4);
        for (int i = 0; i < picture.GetColorCount(); ++i)
            picture.SetPaletteColor(i, RGB(uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 13)));
    }
    const int count = picture.GetColorCount();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.SetPixelValue(x, y, uint32_t(photo.At(x, y, 1) * count / 256));
}

// The entries of a little-endian file's only directory, by tag: type, count, value field.
struct Entry {
    uint16_t Type;
    uint32_t Count;
    uint32_t Value;
};
std::map<uint16_t, Entry> Entries(const QByteArray& tiff, std::vector<uint16_t>* order = nullptr) {
    std::map<uint16_t, Entry> entries;
    const uint32_t directory = Le32(tiff, 4);
    for (int i = 0; i < Le16(tiff, int(directory)); ++i) {
        const int at = int(directory) + 2 + 12 * i;
        entries[Le16(tiff, at)] = {Le16(tiff, at + 2), Le32(tiff, at + 4), Le32(tiff, at + 8)};
        if (order)
            order->push_back(Le16(tiff, at));
    }
    return entries;
}

} // namespace

// Every mode passes tiffinfo -D without a warning and reads back to the same pixels in tifftopnm and in our
// reader; a PackBits file copied uncompressed by tiffcp gives the same pixels too.
TEST_F(TiffSettings, Write_EveryMode_ReadsBack) {
    SKIP_UNLESS_TOOL("tiffinfo");
    SKIP_UNLESS_TOOL("tifftopnm");
    SKIP_UNLESS_TOOL("tiffcp");
    struct Case {
        uint8_t BitCountNum;
        TPaletteIdent Ident;
        bool PackBits, BigEndian, WhiteIsZero;
    };
    const Case cases[] = {
        {0, pBlackWhite, false, false, false}, {0, pBlackWhite, true, false, true},
        {0, pBlackWhite, false, true, false},  {1, pGray16, false, false, false},
        {1, pGray16, true, true, true},        {1, pSys16, false, false, false},
        {1, pUnknown, true, false, false},     {2, pGray256, false, false, false},
        {2, pGray256, true, false, true},      {2, pUnknown, false, true, false},
        {2, pSpecial216, true, true, false},   {3, pTrueColor, false, false, false},
        {3, pTrueColor, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(c.BitCountNum) << " " << int(c.Ident) << (c.PackBits ? " PackBits" : "")
                     << (c.BigEndian ? " MM" : "") << (c.WhiteIsZero ? " WhiteIsZero" : ""));
        PGTIFCompression = c.PackBits ? 32773 : 1;
        PGTIFBigEndian = c.BigEndian;
        PGTIFWhiteIsZero = c.WhiteIsZero;
        TPixelGraphic picture;
        MakePicture(picture, 701, 40, c.BitCountNum, c.Ident);
        const QByteArray tiff = Write(picture);
        QTemporaryDir dir;
        QFile file(dir.filePath("w.tif"));
        file.open(QIODevice::WriteOnly);
        file.write(tiff);
        file.close();
        const TToolResult checked = Tool("tiffinfo", {"-D", file.fileName()});
        EXPECT_EQ(checked.Err, QByteArray());
        EXPECT_EQ(OracleColors(tiff), PnmFromPicture(picture));
        for (const QByteArray& copy : {tiff, TiffCp({"-c", "none"}, {tiff})}) {
            TPixelGraphic back;
            ASSERT_EQ(Read(copy, back), QString());
            ASSERT_EQ(back.GetBitCountNum(), c.BitCountNum);
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
    EXPECT_EQ(entries.at(262).Value, 5u);
    EXPECT_EQ(entries.at(277).Value, 4u);
    EXPECT_EQ(tiff.mid(int(entries.at(273).Value), 8), QByteArray("\0\xFF\xFF\0\0\0\0\0", 8));

    SKIP_UNLESS_PIL();
    MakePicture(picture, 31, 9, 3, pTrueColor);
    tiff = Write(picture);
    const TToolResult r =
        RunPython(QStringLiteral("import sys, io\nfrom PIL import Image\n"
                                 "i = Image.open(io.BytesIO(sys.stdin.buffer.read()))\n"
                                 "assert i.mode == 'CMYK'\nsys.stdout.buffer.write(i.tobytes())"),
                  {}, tiff);
    ASSERT_EQ(r.ExitCode, 0) << r.Err.constData();
    ASSERT_EQ(r.Out.size(), 31 * 9 * 4);
    const uint8_t* s = reinterpret_cast<const uint8_t*>(r.Out.constData());
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 31; ++x, s += 4) {
            const TColor c = picture.GetPixelColor(x, y);
            const int k = 255 - std::max({GetRValue(c), GetGValue(c), GetBValue(c)});
            ASSERT_EQ(s[3], k);
            ASSERT_EQ(s[0], 255 - GetRValue(c) - k);
            ASSERT_EQ(s[1], 255 - GetGValue(c) - k);
            ASSERT_EQ(s[2], 255 - GetBValue(c) - k);
        }
}

// An 8-bit grey picture of 100 x 50 with the defaults, byte by byte.
TEST_F(TiffSettings, Write_Layout_ByteByByte) {
    TPixelGraphic picture;
    MakePicture(picture, 100, 50, 2, pGray256);
    const QByteArray tiff = Write(picture);
    ASSERT_EQ(tiff.size(), 186 + 5000);
    EXPECT_EQ(tiff.left(8), QByteArray("II*\0\x08\0\0\0", 8));
    EXPECT_EQ(Le16(tiff, 8), 13);
    EXPECT_EQ(Le32(tiff, 166), 0u);
    EXPECT_EQ(tiff.mid(170, 16), QByteArray("\x2C\x01\0\0\x01\0\0\0\x2C\x01\0\0\x01\0\0\0", 16));
    std::vector<uint16_t> order;
    const std::map<uint16_t, Entry> entries = Entries(tiff, &order);
    EXPECT_EQ(order,
              (std::vector<uint16_t>{254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 296}));
    const std::map<uint16_t, Entry> expected = {
        {254, {4, 1, 0}},   {256, {4, 1, 100}}, {257, {4, 1, 50}}, {258, {3, 1, 8}},  {259, {3, 1, 1}},
        {262, {3, 1, 1}},   {273, {4, 1, 186}}, {277, {3, 1, 1}},  {278, {4, 1, 50}}, {279, {4, 1, 5000}},
        {282, {5, 1, 170}}, {283, {5, 1, 178}}, {296, {3, 1, 2}}};
    for (const auto& [tag, e] : expected) {
        EXPECT_EQ(entries.at(tag).Type, e.Type) << tag;
        EXPECT_EQ(entries.at(tag).Count, e.Count) << tag;
        EXPECT_EQ(entries.at(tag).Value, e.Value) << tag; // a SHORT is followed by 16 zero bits
    }
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(uint8_t(tiff[186 + y * 100 + x]), picture.GetPixelValue(x, y));

    // Written after other data, every offset counts from the header.
    QBuffer after;
    after.open(QIODevice::WriteOnly);
    after.write("xyz");
    Writer.Write(after, picture);
    EXPECT_EQ(after.data(), "xyz" + tiff);

    // A table of 16 entries in a map of 768 values, zeros past the table.
    picture.SetColorCount(16);
    for (int i = 0; i < 16; ++i)
        picture.SetPaletteColor(i, RGB(uint8_t(i), 255, uint8_t(255 - i)));
    const QByteArray palette = Write(picture);
    const std::map<uint16_t, Entry> paletteEntries = Entries(palette);
    EXPECT_EQ(Le16(palette, 8), 14);
    EXPECT_EQ(paletteEntries.at(262).Value, 3u);
    ASSERT_EQ(paletteEntries.at(320).Count, 768u);
    const int map = int(paletteEntries.at(320).Value);
    EXPECT_EQ(map, 8 + 2 + 14 * 12 + 4);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(Le16(palette, map + 2 * i), i < 16 ? i * 256 : 0);
        EXPECT_EQ(Le16(palette, map + 512 + 2 * i), i < 16 ? 65280 : 0);
        EXPECT_EQ(Le16(palette, map + 1024 + 2 * i), i < 16 ? (255 - i) * 256 : 0);
    }
}

// A 24-bit row of more than 32767 bytes: one row per strip, strips at even offsets after an odd row.
TEST_F(TiffSettings, Write_WideRows_OneRowPerStripAtEvenOffsets) {
    TPixelGraphic picture;
    MakePicture(picture, 11001, 3, 3, pTrueColor);
    const QByteArray tiff = Write(picture);
    const std::map<uint16_t, Entry> entries = Entries(tiff);
    EXPECT_EQ(entries.at(278).Value, 1u);
    ASSERT_EQ(entries.at(273).Count, 3u);
    const int offsets = int(entries.at(273).Value), counts = int(entries.at(279).Value);
    for (int strip = 0; strip < 3; ++strip) {
        EXPECT_EQ(Le32(tiff, offsets + 4 * strip) % 2, 0u);
        EXPECT_EQ(Le32(tiff, counts + 4 * strip), 33003u);
    }
    EXPECT_EQ(Le32(tiff, offsets + 4), Le32(tiff, offsets) + 33004);
    EXPECT_EQ(tiff[int(Le32(tiff, offsets)) + 33003], '\0');
    TPixelGraphic back;
    ASSERT_EQ(Read(tiff, back), QString());
    EXPECT_EQ(PnmFromPicture(back), PnmFromPicture(picture));
}

// Rows per strip: 32767 div the row bytes (twice the row bytes with PackBits), at least 1, at most the
// height.
TEST_F(TiffSettings, Write_RowsPerStrip) {
    struct Case {
        uint8_t BitCountNum;
        int Width;
        bool PackBits, CMYK;
        uint32_t Rows, Strips;
    };
    const Case cases[] = {{2, 1000, false, false, 32, 2}, {2, 1000, true, false, 16, 4},
                          {0, 8, true, false, 50, 1},     {1, 1001, false, false, 50, 1},
                          {3, 1000, false, true, 8, 7},   {3, 1000, true, false, 5, 10}};
    for (const Case& c : cases) {
        PGTIFCompression = c.PackBits ? 32773 : 1;
        PGTIFCMYK = c.CMYK;
        TPixelGraphic picture;
        MakePicture(picture, c.Width, 50, c.BitCountNum,
                    c.BitCountNum == 3   ? pTrueColor
                    : c.BitCountNum == 0 ? pBlackWhite
                                         : pUnknown);
        const QByteArray tiff = Write(picture);
        const std::map<uint16_t, Entry> entries = Entries(tiff);
        EXPECT_EQ(entries.at(278).Value, c.Rows) << c.Width;
        EXPECT_EQ(entries.at(273).Count, c.Strips) << c.Width;
        TPixelGraphic back;
        ASSERT_EQ(Read(tiff, back), QString());
        EXPECT_EQ(PnmFromPicture(back), PnmFromPicture(picture));
    }
}

TEST(TiffPackBits, CodesRunsAndLiterals) {
    struct Case {
        std::vector<uint8_t> Row, Code;
    };
    const uint8_t a = 'A', b = 'B', c = 'C';
    std::vector<uint8_t> equal(300, 7);
    const Case cases[] = {
        {{a, a, b, c, c, c, c}, {2, a, a, b, 0xFD, c}},
        {equal, {0x81, 7, 0x81, 7, 0xD5, 7}},
        {{a}, {0, a}},
        {{a, a}, {0xFF, a}},
        {std::vector<uint8_t>(129, 1), {0x81, 1, 0, 1}},
    };
    for (const Case& t : cases) {
        std::vector<uint32_t> run;
        std::vector<uint8_t> code;
        TIFPackBitsRow(t.Row.data(), t.Row.size(), run, code);
        EXPECT_EQ(code, t.Code);
    }
    // 200 distinct bytes: literal packets of 128 and 72.
    std::vector<uint8_t> distinct(200);
    for (size_t i = 0; i < distinct.size(); ++i)
        distinct[i] = uint8_t(i);
    std::vector<uint32_t> run;
    std::vector<uint8_t> code;
    TIFPackBitsRow(distinct.data(), distinct.size(), run, code);
    ASSERT_EQ(code.size(), 202u);
    EXPECT_EQ(code[0], 127);
    EXPECT_EQ(code[129], 71);
}

// An empty picture or an unknown compression is refused before anything is written.
TEST_F(TiffSettings, Write_Refusals_WriteNothing) {
    struct Case {
        int Width, Height, Compression;
        QString Message;
    };
    const Case cases[] = {{0, 5, 1, "TIFF: PixelGraphic is empty"},
                          {5, 0, 32773, "TIFF: PixelGraphic is empty"},
                          {5, 5, 5, "TIFF: Internal Error"}};
    for (const Case& c : cases) {
        PGTIFCompression = c.Compression;
        TPixelGraphic picture;
        picture.SetFormat(c.Width, c.Height, 2);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        try {
            Writer.Write(buffer, picture);
            ADD_FAILURE() << "written";
        } catch (const EPGTIFFileFormatWriter& e) {
            EXPECT_EQ(e.message(), c.Message);
        }
        EXPECT_EQ(buffer.size(), 0);
    }

    // A stream that refuses to be written raises the stream's write error.
    PGTIFCompression = 1;
    TPixelGraphic picture;
    picture.SetFormat(5, 5, 2);
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_THROW(Writer.Write(readOnly, picture), EWriteError);
}

// Both extensions reach the reader by signature and the writer by name, the "tiff" writer not offered.
TEST_F(TiffSettings, Registered_LoadAndSaveThroughTheRegistries) {
    RegisterTIFFFileFormats();
    struct Unregister {
        ~Unregister() { ClearFileFormatRegistries(); }
    } unregister;
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
    EXPECT_EQ(info.Description, "Tagged Image File Format");
    EXPECT_EQ(info.Subformat, "I, Uncompr., BlackIsZero");
    EXPECT_EQ(info.Colors, "16");
    EXPECT_FALSE(GetFileFormatInfo(dir.filePath("grey.tiff"), 1, info));
}
