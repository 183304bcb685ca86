#include "image-library/formats/PGPNM.h"

#include "image-library/PGSettings.h"
#include "image-library/tests/FormatTestSupport.h"

namespace {

const std::string Prefix = "EPGPxMFileFormatReader PBM, PGM, PPM: ";
const std::string WriterPrefix = "EPGPxMFileFormatWriter ";

QByteArray Bytes(const char* Text, size_t Size) {
    return QByteArray(Text, qsizetype(Size));
}
template <size_t N> QByteArray Bytes(const char (&Text)[N]) {
    return Bytes(Text, N - 1);
}

struct TReadCase {
    const char* Name;
    QByteArray File;
    std::string Error;             // empty: the read succeeds
    std::vector<std::string> Rows; // the colours read
    bool Sized;                    // after a failure: whether the picture got its size before it
};

TReadCase Reads(const char* Name, QByteArray File, std::vector<std::string> Rows) {
    return {Name, std::move(File), "", std::move(Rows), true};
}
TReadCase Fails(const char* Name, QByteArray File, const std::string& Error, bool Sized = false) {
    return {Name, std::move(File), Prefix + Error, {}, Sized};
}

// Every registered reader reads every kind: the file decides, not the reader it arrived through.
class PxMRead : public ::testing::TestWithParam<int> {};

TEST_P(PxMRead, TokensSamplesAndRefusals) {
    const std::unique_ptr<TPxMFileFormatReader> readers[] = {std::make_unique<TPBMFileFormatReader>(),
                                                             std::make_unique<TPGMFileFormatReader>(),
                                                             std::make_unique<TPPMFileFormatReader>()};
    const TPxMFileFormatReader& reader = *readers[GetParam()];
    const TReadCase cases[] = {
        Reads("P1 digits that touch are pixels of their own", Bytes("P1\n5 1\n0110 # 1\n 7\n"),
              {"FFFFFF 000000 000000 FFFFFF 000000 "}),
        Reads("comments anywhere, only LF ends them",
              Bytes("P2\n# a comment\n2 # w\r still the comment 7\n1\n255\n#c\n10 #x\n20\n"),
              {"0A0A0A 141414 "}),
        Reads("P5: CR ends the maximum, LF is the first sample", Bytes("P5 2 1 255\r\nX"),
              {"0A0A0A 585858 "}),
        Reads("P2 with maximum 65535", Bytes("P2 3 1 65535 65535 32768 0\n"), {"FFFFFF 7F7F7F 000000 "}),
        Reads("P2 with maximum 1", Bytes("P2 2 1 1 1 0\n"), {"FFFFFF 000000 "}),
        Reads("P3 samples above the maximum stay in their channel", Bytes("P3 1 1 100 200 50 100\n"),
              {"FF7FFF "}),
        Reads("P6 with maximum 100", Bytes("P6 1 1 100\n\xC8\x32\x64"), {"FF7FFF "}),
        Reads("P6 with maximum 255", Bytes("P6\n2 1\n255\n\x01\x02\x03\xFA\xFB\xFC"), {"010203 FAFBFC "}),
        Reads("P4 rows padded to whole bytes", Bytes("P4 10 2\n\xA0\x40\xFF\xC0"),
              {"000000 FFFFFF 000000 FFFFFF FFFFFF FFFFFF FFFFFF FFFFFF FFFFFF 000000 ",
               "000000 000000 000000 000000 000000 000000 000000 000000 000000 000000 "}),
        Reads("the data may end right after the last digit", Bytes("P2 1 1 9 9"), {"FFFFFF "}),
        Fails("no P", Bytes("Q1 1 1 1\n"), "Not a PBM, PGM, PPM file"),
        Fails("kind 7", Bytes("P7 1 1 1\n"), "Unknown subformat"),
        Fails("P2 with maximum 0", Bytes("P2 1 1 0 0\n"), "Not supported subformat"),
        Fails("P3 with maximum 0", Bytes("P3 1 1 0 0 0 0\n"), "Not supported subformat"),
        Fails("width 0", Bytes("P2 0 1 255\n"), "Not supported subformat"),
        Fails("P5 with maximum 256", Bytes("P5 1 1 256\n\x01\x01"), "Not supported subformat"),
        Fails("P6 with maximum 65535", Bytes("P6 1 1 65535\n\x01\x01\x01\x01\x01\x01"),
              "Not supported subformat"),
        Fails("a size beyond 32 bits", Bytes("P2 4294967297 1 255 1\n"), "Not supported subformat"),
        Fails("a sample beyond 32 bits", Bytes("P2 1 1 255 99999999999\n"), "Not supported subformat", true),
        Fails("P5 one byte short", Bytes("P5 3 2 255\n\x01\x02\x03\x04\x05"), "Unexpected end of file"),
        Fails("P4 needs whole bytes per row", Bytes("P4 9 2\n\x01\x02\x03"), "Unexpected end of file"),
        Fails("a tiny file claiming a huge bitmap", Bytes("P1 60000 60000 1 0 1 0\n"),
              "Unexpected end of file"),
        Fails("a tiny file claiming a huge P6", Bytes("P6 60000 60000 255\n\x01\x02\x03"),
              "Unexpected end of file"),
        Fails("P2 ending inside the samples", Bytes("P2 2 2 255 1 2 3"), "Unexpected end of file", true),
        Fails("no header at all", Bytes("P"), "Unexpected end of file"),
    };
    for (const TReadCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        picture.SetFormat(5, 5, 3);
        picture.SetFileGamma(1.0L);
        EXPECT_EQ(ReadError(reader, c.File, picture), c.Error);
        if (c.Error.empty()) {
            EXPECT_EQ(Colors(picture), c.Rows);
            EXPECT_EQ(picture.GetFileGamma(), PGDisplayGamma);
        } else {
            EXPECT_EQ(picture.GetEmpty(), !c.Sized);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryReader, PxMRead, ::testing::Values(0, 1, 2));

TEST(PxM, PictureFormatPerKind) {
    const struct {
        QByteArray File;
        uint8_t BitCountNum;
        TPaletteIdent Palette;
    } kinds[] = {
        {Bytes("P1 1 1 0\n"), 0, pBlackWhite},      {Bytes("P4 1 1\n\x80"), 0, pBlackWhite},
        {Bytes("P2 1 1 9 3\n"), 2, pGray256},       {Bytes("P5 1 1 9\n\x03"), 2, pGray256},
        {Bytes("P3 1 1 9 1 2 3\n"), 3, pTrueColor}, {Bytes("P6 1 1 9\n\x01\x02\x03"), 3, pTrueColor},
    };
    const TPPMFileFormatReader reader;
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.File.toStdString());
        TPixelGraphic picture;
        picture.SetFormat(1, 1, 2);
        picture.SetPaletteIdent(pSpecial216);
        ASSERT_EQ(ReadError(reader, k.File, picture), "");
        EXPECT_EQ(picture.GetBitCountNum(), k.BitCountNum);
        EXPECT_EQ(picture.GetPaletteIdent(), k.Palette);
    }
}

TEST(PxM, SignaturesAndInfo) {
    const TPBMFileFormatReader pbm;
    const TPGMFileFormatReader pgm;
    const TPPMFileFormatReader ppm;
    const TFileFormatReader* readers[] = {&pbm, &pgm, &ppm};
    for (int digit = 0; digit <= 9; ++digit) {
        TFileFormatHeader header{};
        header[0] = 'P';
        header[1] = uint8_t('0' + digit);
        for (int r = 0; r < 3; ++r)
            EXPECT_EQ(readers[r]->IsFormat(header), digit == r + 1 || digit == r + 4) << digit << " " << r;
        header[0] = 'p';
        EXPECT_FALSE(readers[digit % 3]->IsFormat(header));
    }
    EXPECT_EQ(pbm.Extension, "pbm");
    EXPECT_EQ(pgm.Description, "Portable Graymap");
    EXPECT_TRUE(ppm.HasSignature);

    const struct {
        QByteArray File;
        const char* Subformat;
        int Bits;
        const char* Colors;
        int Width, Height;
    } infos[] = {
        {Bytes("P1\n3 2\n"), "ASCII", 1, "2", 3, 2},
        {Bytes("P4 # c\n7 1\n"), "Binary", 1, "2", 7, 1},
        {Bytes("P2 0 7\n"), "ASCII", 8, "256", 0, 7},
        {Bytes("P5 640 480 65535\n"), "Binary", 8, "256", 640, 480},
        {Bytes("P3 1 1"), "ASCII", 24, "16.7M", 1, 1},
        {Bytes("P6 4 5\n"), "Binary", 24, "16.7M", 4, 5},
    };
    for (const auto& i : infos) {
        SCOPED_TRACE(i.File.toStdString());
        const TFileFormatInfo info = Info(pbm, i.File);
        EXPECT_EQ(info.Subformat, i.Subformat);
        EXPECT_EQ(info.BitsPerPixel, i.Bits);
        EXPECT_EQ(info.Colors, i.Colors);
        EXPECT_EQ(info.Width, i.Width);
        EXPECT_EQ(info.Height, i.Height);
        EXPECT_EQ(info.Extra, "");
        EXPECT_EQ(info.PictureCount, 1);
    }
    EXPECT_EQ(InfoError(pgm, Bytes("P2 1 1\n"), 1), Prefix + "Invalid value for Index");
    EXPECT_EQ(InfoError(pgm, Bytes("X2 1 1\n")), Prefix + "Not a PBM, PGM, PPM file");
    EXPECT_EQ(InfoError(pgm, Bytes("P0 1 1\n")), Prefix + "Unknown subformat");
    TPixelGraphic picture;
    EXPECT_EQ(ReadError(ppm, Bytes("P2 1 1 255 0\n"), picture, nullptr, 1),
              "EPGPxMFileFormatReader PxM: Index invalid");
}

TEST(PxM, ProgressOnReadingEndsOnEveryPath) {
    const TPGMFileFormatReader reader;
    TPixelGraphic picture;
    TProgressLog log;
    log.Attach(picture, 1);
    ASSERT_EQ(ReadError(reader, Bytes("P2 2 3 255 1 2 3 4 5 6\n"), picture), "");
    EXPECT_EQ(log.Starts, 1);
    EXPECT_EQ(log.Steps, 1);
    EXPECT_EQ(log.Ends, 1);
    EXPECT_EQ(log.Sender, &reader);
    EXPECT_EQ(Colors(picture),
              (std::vector<std::string>{"010101 020202 ", "000000 000000 ", "000000 000000 "}));

    TProgressLog failing;
    failing.Attach(picture);
    EXPECT_EQ(ReadError(reader, Bytes("P5 2 3 255\n\x01\x02\x03\x04\x05\x06"), picture), "");
    EXPECT_EQ(ReadError(reader, Bytes("P2 2 3 255 1 2 3 4 5"), picture), Prefix + "Unexpected end of file");
    EXPECT_EQ(failing.Starts, 2);
    EXPECT_EQ(failing.Steps, 5);
    EXPECT_EQ(failing.Ends, 2);
}

// A writer under an extension the portable maps do not know.
class TOddPxMWriter : public TPXMFileFormatWriter {
public:
    TOddPxMWriter() : TPXMFileFormatWriter("PBM", "Portable Bitmap", 1) {}
    const char* ClassName() const override { return "TOddPxMWriter"; }
};

TEST(PxM, WriterBytesAndRefusals) {
    TPixelGraphic bitmap;
    bitmap.SetFormat(3, 1, 0);
    bitmap.SetPaletteIdent(pBlackWhite);
    bitmap.SetPixelValue(1, 0, 1); // black, white, black
    TPixelGraphic bitmap8;         // a black-and-white table on an 8-bit picture
    bitmap8.SetFormat(3, 1, 2);
    bitmap8.SetPaletteIdent(pBlackWhite);
    bitmap8.SetPixelValue(1, 0, 1);
    TPixelGraphic gray;
    gray.SetFormat(2, 1, 2);
    gray.SetPaletteIdent(pGray256);
    gray.SetPixelValue(1, 0, 200);
    TPixelGraphic color;
    color.SetFormat(2, 2, 3);
    for (int i = 0; i < 4; ++i)
        color.SetPixelColor(i % 2, i / 2, RGB(uint8_t(3 * i + 1), uint8_t(3 * i + 2), uint8_t(3 * i + 3)));

    const TPBMFileFormatWriter pbm;
    const TPGMFileFormatWriter pgm;
    const TPPMFileFormatWriter ppm;
    const struct {
        const TFileFormatWriter& Writer;
        TPixelGraphic& Picture;
        bool Binary;
        QByteArray Expected;
    } cases[] = {
        {pbm, bitmap, false, Bytes("P1\n3 1\n1 0 1\n")},
        {pbm, bitmap, true, Bytes("P4\n3 1\n\xBF")}, // pad bits inverted like the others
        {pbm, bitmap8, true, Bytes("P4\n3 1\n\xA0")},
        {pbm, bitmap8, false, Bytes("P1\n3 1\n1 0 1\n")},
        {pgm, gray, false, Bytes("P2\n2 1\n255\n0 200\n")},
        {pgm, gray, true, Bytes("P5\n2 1\n255\n\x00\xC8")},
        {ppm, color, false, Bytes("P3\n2 2\n255\n1 2 3 4 5 6\n7 8 9 10 11 12\n")},
        {ppm, color, true, Bytes("P6\n2 2\n255\n\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C")},
    };
    const bool saved = PGPxMBinary;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expected.toStdString());
        PGPxMBinary = c.Binary;
        TProgressLog log;
        log.Attach(c.Picture, 1); // the writer does not stop
        EXPECT_EQ(Written(c.Writer, c.Picture), c.Expected);
        EXPECT_EQ(log.Steps, c.Picture.GetHeight());
        EXPECT_EQ(log.Ends, 1);
        EXPECT_EQ(log.Sender, &c.Picture);
    }
    PGPxMBinary = saved;
    EXPECT_EQ(pbm.CanWriteResolutions, 1);
    EXPECT_EQ(pgm.CanWriteResolutions, 32);
    EXPECT_EQ(ppm.CanWriteResolutions, 128);

    TPixelGraphic empty;
    const TOddPxMWriter odd;
    const struct {
        const TFileFormatWriter& Writer;
        TPixelGraphic& Picture;
        std::string Error;
    } refusals[] = {
        {pbm, color, "PBM: Invalid color resolution"},
        {pgm, bitmap, "PGM: Invalid color resolution"},
        {ppm, gray, "PPM: Invalid color resolution"},
        {ppm, empty, "PBM, PGM, PPM: Width = 0 or Height = 0"},
        {odd, bitmap, "PBM, PGM, PPM: Unknown file extension \"PBM\""},
    };
    for (const auto& r : refusals)
        EXPECT_EQ(WriteError(r.Writer, r.Picture), WriterPrefix + r.Error);
}

// The oracle's pictures of the six kinds, made from one photo by netpbm.
struct TOracleFile {
    const char* Name;
    QByteArray Bytes;
    bool Bitmap;
};

std::vector<TOracleFile> OracleFiles() {
    const QByteArray p6 = EncodePnm(GeneratedPhoto(37, 23));
    const QByteArray p5 = RunTool("ppmtopgm", {}, p6).Out;
    const QByteArray p4 = RunTool("pgmtopbm", {"-threshold"}, p5).Out;
    return {{"P6", p6, false},
            {"P5", p5, false},
            {"P4", p4, true},
            {"P3", RunTool("pnmtoplainpnm", {}, p6).Out, false},
            {"P2", RunTool("pnmtoplainpnm", {}, p5).Out, false},
            {"P1", RunTool("pnmtoplainpnm", {}, p4).Out, true}};
}

// The colours the netpbm picture stands for; in bitmaps 1 is black.
std::vector<std::string> OracleColors(TPnm Pnm, bool Bitmap) {
    if (Bitmap)
        for (uint16_t& s : Pnm.Samples)
            s = uint16_t(1 - s);
    return Colors(Pnm);
}

TEST(PxMOracle, NetpbmFilesReadAndOurFilesReadBack) {
    SKIP_UNLESS_TOOL("ppmtopgm");
    SKIP_UNLESS_TOOL("pgmtopbm");
    SKIP_UNLESS_TOOL("pnmtoplainpnm");
    SKIP_UNLESS_TOOL("pnmtopnm");
    const TPPMFileFormatReader reader;
    const TPBMFileFormatWriter pbm;
    const TPGMFileFormatWriter pgm;
    const TPPMFileFormatWriter ppm;
    const TFileFormatWriter* writers[] = {&pbm, &pgm, &ppm};
    const bool saved = PGPxMBinary;
    for (const TOracleFile& file : OracleFiles()) {
        SCOPED_TRACE(file.Name);
        ASSERT_EQ(file.Bytes.left(2), file.Name);
        const std::optional<TPnm> pnm = DecodePnm(file.Bytes);
        ASSERT_TRUE(pnm);
        TPixelGraphic picture;
        ASSERT_EQ(ReadError(reader, file.Bytes, picture), "");
        EXPECT_EQ(Colors(picture), OracleColors(*pnm, file.Bitmap));

        const int kind = file.Name[1] - '0';
        for (bool binary : {false, true}) {
            PGPxMBinary = binary;
            const TToolResult back = RunTool("pnmtopnm", {}, Written(*writers[(kind - 1) % 3], picture));
            ASSERT_EQ(back.ExitCode, 0) << back.Err.toStdString();
            const std::optional<TPnm> read = DecodePnm(back.Out);
            ASSERT_TRUE(read);
            EXPECT_EQ(OracleColors(*read, file.Bitmap), Colors(picture)) << "binary " << binary;
        }
    }
    PGPxMBinary = saved;
}

} // namespace
