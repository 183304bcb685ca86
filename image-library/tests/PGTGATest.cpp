#include "image-library/formats/PGTGA.h"

#include "framework/StreamIO.h"
#include "framework/testing/MessageBoxSpy.h"
#include "image-library/PGSettings.h"
#include "image-library/formats/PGJPEG.h"
#include "image-library/tests/FormatTestSupport.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

struct THeader {
    int IdLength = 0;
    int MapType = 0;
    int Type = 2;
    int First = 0;
    int Entries = 0;
    int EntryBits = 0;
    int Width = 1;
    int Height = 1;
    int Bits = 24;
    int Descriptor = 0;
};

QByteArray Bytes(std::initializer_list<int> Values) {
    QByteArray b;
    for (int v : Values)
        b.append(char(v));
    return b;
}

// The header, an image ID of IdLength bytes, then Rest (colour map and pixels).
QByteArray Tga(const THeader& h, const QByteArray& Rest = {}) {
    QByteArray b(18, '\0');
    uint8_t* p = reinterpret_cast<uint8_t*>(b.data());
    p[0] = uint8_t(h.IdLength);
    p[1] = uint8_t(h.MapType);
    p[2] = uint8_t(h.Type);
    PutLE16(p + 3, uint16_t(h.First));
    PutLE16(p + 5, uint16_t(h.Entries));
    p[7] = uint8_t(h.EntryBits);
    PutLE16(p + 12, uint16_t(h.Width));
    PutLE16(p + 14, uint16_t(h.Height));
    p[16] = uint8_t(h.Bits);
    p[17] = uint8_t(h.Descriptor);
    return b + QByteArray(h.IdLength, 'I') + Rest;
}

// A map of Count 24-bit entries: entry i is blue i mod 256, green 1, red 2.
QByteArray Map24(int Count) {
    QByteArray m;
    for (int i = 0; i < Count; ++i)
        m += Bytes({i % 256, 1, 2});
    return m;
}

const std::string Prefix = "EPGTGAFileFormatReader TGA: ";

TEST(TGA, ReadsOrdersDepthsMapsAndPackets) {
    const TTGAFileFormatReader reader;
    const THeader column{.Width = 1, .Height = 2};
    const QByteArray columnPixels = Bytes({3, 2, 1, 6, 5, 4});
    const QByteArray square = Bytes({3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}); // file order a b c d
    const THeader mapped{.MapType = 1, .Type = 1, .Entries = 300, .EntryBits = 24, .Width = 2, .Bits = 8};
    const THeader grayRle{.Type = 11, .Width = 3, .Height = 2, .Bits = 8};
    const struct {
        const char* Name;
        QByteArray File;
        std::vector<std::string> Rows;
        int BitCountNum;
        TPaletteIdent Palette;
    } cases[] = {
        {"bottom row first", Tga(column, columnPixels), {"040506 ", "010203 "}, 3, pTrueColor},
        {"top row first loads upright",
         Tga({.Width = 1, .Height = 2, .Descriptor = 32}, columnPixels),
         {"010203 ", "040506 "},
         3,
         pTrueColor},
        {"right to left",
         Tga({.Width = 2, .Descriptor = 16}, columnPixels),
         {"040506 010203 "},
         3,
         pTrueColor},
        {"right to left from the top",
         Tga({.Width = 2, .Height = 2, .Descriptor = 48}, square),
         {"040506 010203 ", "0A0B0C 070809 "},
         3,
         pTrueColor},
        {"right to left from the bottom, run-length",
         Tga({.Type = 10, .Width = 2, .Height = 2, .Descriptor = 16}, Bytes({0x03}) + square),
         {"0A0B0C 070809 ", "040506 010203 "},
         3,
         pTrueColor},
        {"16-bit run-length red",
         Tga({.Type = 10, .Bits = 16}, Bytes({0x80, 0x00, 0x7C})),
         {"F80000 "},
         3,
         pTrueColor},
        {"16-bit green, top bit unused", Tga({.Bits = 16}, Bytes({0xE0, 0x83})), {"00F800 "}, 3, pTrueColor},
        {"32 bits drop their alpha", Tga({.Bits = 32}, Bytes({3, 2, 1, 0x80})), {"010203 "}, 3, pTrueColor},
        {"8-bit grey",
         Tga({.Type = 3, .Width = 2, .Bits = 8}, Bytes({0x10, 0xF0})),
         {"101010 F0F0F0 "},
         2,
         pGray256},
        {"a map of 300 entries keeps 256",
         Tga(mapped, Map24(300) + Bytes({0, 255})),
         {"020100 0201FF "},
         2,
         pUnknown},
        {"a first index takes entries from the start of the map",
         Tga({.MapType = 1, .Type = 1, .First = 2, .Entries = 5, .EntryBits = 24, .Bits = 8},
             Map24(5) + Bytes({2})),
         {"020102 "},
         2,
         pUnknown},
        {"a first index beyond the entries leaves no map",
         Tga({.MapType = 1, .Type = 1, .First = 5, .Entries = 3, .EntryBits = 24, .Bits = 8},
             Map24(3) + Bytes({2})),
         {"020202 "},
         2,
         pGray256},
        {"16-bit map entries",
         Tga({.MapType = 1, .Type = 9, .Entries = 2, .EntryBits = 16, .Width = 2, .Bits = 8},
             Bytes({0x00, 0x7C, 0x1F, 0x00, 0x01, 1, 0})),
         {"0000F8 F80000 "},
         2,
         pUnknown},
        {"32-bit map entries",
         Tga({.MapType = 1, .Type = 1, .Entries = 1, .EntryBits = 32, .Bits = 8}, Bytes({3, 2, 1, 9, 0})),
         {"010203 "},
         2,
         pUnknown},
        {"a true-colour file skips its map and ID",
         Tga({.IdLength = 3, .MapType = 1, .Entries = 3, .EntryBits = 24}, Map24(3) + Bytes({3, 2, 1})),
         {"010203 "},
         3,
         pTrueColor},
        {"a true-colour file skips a 15-bit map in whole bytes",
         Tga({.MapType = 1, .Entries = 3, .EntryBits = 15, .Width = 2},
             Bytes({1, 2, 3, 4, 5, 6, 10, 20, 30, 40, 50, 60})),
         {"1E140A 3C3228 "},
         3,
         pTrueColor},
        {"15-bit map entries read like 16-bit ones",
         Tga({.MapType = 1, .Type = 1, .Entries = 2, .EntryBits = 15, .Width = 2, .Bits = 8},
             Bytes({0x00, 0x7C, 0x1F, 0x00, 1, 0})),
         {"0000F8 F80000 "},
         2,
         pUnknown},
        {"a run packet crossing rows",
         Tga(grayRle, Bytes({0x83, 7, 0x01, 8, 9})),
         {"070707 080808 090909 ", "070707 070707 070707 "},
         2,
         pGray256},
        {"a raw packet crossing rows",
         Tga(grayRle, Bytes({0x04, 1, 2, 3, 4, 5, 0x80, 6})),
         {"040404 050505 060606 ", "010101 020202 030303 "},
         2,
         pGray256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        picture.SetFormat(3, 3, 0);
        ASSERT_EQ(ReadError(reader, c.File, picture), "");
        EXPECT_EQ(Colors(picture), c.Rows);
        EXPECT_EQ(picture.GetBitCountNum(), c.BitCountNum);
        EXPECT_EQ(picture.GetPaletteIdent(), c.Palette);
    }
}

TEST(TGA, IndicesBeyondTheMapStayAsRead) {
    const TTGAFileFormatReader reader;
    TPixelGraphic picture;
    ASSERT_EQ(ReadError(reader,
                        Tga({.MapType = 1, .Type = 1, .Entries = 2, .EntryBits = 24, .Width = 2, .Bits = 8},
                            Map24(2) + Bytes({1, 200})),
                        picture),
              "");
    EXPECT_EQ(picture.GetColorCount(), 2);
    EXPECT_EQ(picture.GetPixelValue(0, 0), 1u);
    EXPECT_EQ(picture.GetPixelValue(1, 0), 200u);
}

TEST(TGA, RefusesDamagedFiles) {
    const TTGAFileFormatReader reader;
    const struct {
        const char* Name;
        QByteArray File;
        std::string Error;
        bool Sized;
    } cases[] = {
        {"15 bits per pixel", Tga({.Bits = 15}, Bytes({0, 0})), Prefix + "Not supported subformat", false},
        {"12-bit map entries",
         Tga({.MapType = 1, .Type = 1, .Entries = 2, .EntryBits = 12, .Bits = 8}, Bytes({0, 0, 0, 0, 0})),
         Prefix + "Not supported subformat", false},
        {"a short header", Tga({}).left(10), Prefix + "Unexpected end of file", false},
        {"an ID past the end", Tga({.IdLength = 40}).left(30), Prefix + "Unexpected end of file", false},
        {"a map past the end", Tga({.MapType = 1, .Entries = 100, .EntryBits = 24}, Map24(10)),
         Prefix + "Unexpected end of file", false},
        {"plain pixels one byte short",
         Tga({.Width = 2, .Height = 2}, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})),
         Prefix + "Unexpected end of file", false},
        {"run-length data ending inside the pixels",
         Tga({.Type = 10, .Width = 2, .Height = 2}, Bytes({0x81, 1, 2, 3, 0x01, 4})),
         Prefix + "Unexpected end of file", true},
        {"a tiny file claiming a huge picture",
         Tga({.Type = 10, .Width = 65535, .Height = 65535}, Bytes({0xFF, 1, 2, 3, 0xFF, 1, 2, 3})),
         Prefix + "Unexpected end of file", false},
        {"image type 0", Tga({.Type = 0}, Bytes({1, 2, 3})), Prefix + "ImageType invalid", false},
        {"colour-map type 2", Tga({.MapType = 2}, Bytes({1, 2, 3})), Prefix + "ColorMapType invalid", false},
        {"8-bit map entries beside true colour",
         Tga({.MapType = 1, .Entries = 1, .EntryBits = 8}, Bytes({0, 1, 2, 3})),
         Prefix + "Not supported subformat", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        picture.SetFormat(4, 4, 3);
        EXPECT_EQ(ReadError(reader, c.File, picture), c.Error);
        EXPECT_EQ(picture.GetEmpty(), !c.Sized);
    }
    TPixelGraphic picture;
    EXPECT_EQ(ReadError(reader, Tga({}, Bytes({1, 2, 3})), picture, nullptr, 1), Prefix + "Index invalid");
}

TEST(TGA, ProgressEndsOnEveryPath) {
    const TTGAFileFormatReader reader;
    for (int type : {2, 10}) {
        SCOPED_TRACE(type);
        const QByteArray pixels =
            type == 2 ? Bytes({1, 2, 3, 4, 5, 6}) : Bytes({0x00, 1, 2, 3, 0x00, 4, 5, 6});
        TPixelGraphic picture;
        TProgressLog aborted;
        aborted.Attach(picture, 1);
        ASSERT_EQ(ReadError(reader, Tga({.Type = type, .Height = 2}, pixels), picture), "");
        EXPECT_EQ(aborted.Steps, 1);
        EXPECT_EQ(aborted.Ends, 1);
        EXPECT_EQ(aborted.Sender, &reader);
        EXPECT_EQ(Colors(picture), (std::vector<std::string>{"000000 ", "030201 "}));

        TProgressLog failed;
        failed.Attach(picture);
        EXPECT_EQ(
            ReadError(reader, Tga({.Type = type, .Height = 2}, pixels.left(pixels.size() - 1)), picture),
            Prefix + "Unexpected end of file");
        EXPECT_EQ(failed.Starts, type == 2 ? 0 : 1); // plain data is measured before the rows start
        EXPECT_EQ(failed.Ends, failed.Starts);
    }
}

// A side of 0 gives an empty picture of that size, with its table; rows of no columns still step the
// progress, a picture without rows fires none.
TEST(TGA, SidesOfZeroLoadEmptyPictures) {
    const TTGAFileFormatReader reader;
    const struct {
        const char* Name;
        QByteArray File;
        int Width, Height, Steps, ColorCount;
    } cases[] = {
        {"no rows", Tga({.Width = 5, .Height = 0}), 5, 0, 0, 0},
        {"no rows, run-length", Tga({.Type = 10, .Width = 5, .Height = 0}), 5, 0, 0, 0},
        {"no rows, mapped",
         Tga({.MapType = 1, .Type = 1, .Entries = 2, .EntryBits = 24, .Height = 0, .Bits = 8}, Map24(2)), 1,
         0, 0, 2},
        {"no columns", Tga({.Width = 0, .Height = 3}), 0, 3, 3, 0},
        {"no columns, run-length", Tga({.Type = 11, .Width = 0, .Height = 2, .Bits = 8}), 0, 2, 2, 256},
        {"neither", Tga({.Width = 0, .Height = 0}), 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        picture.SetFormat(4, 4, 3);
        TProgressLog log;
        log.Attach(picture);
        ASSERT_EQ(ReadError(reader, c.File, picture), "");
        EXPECT_EQ(picture.GetWidth(), c.Width);
        EXPECT_EQ(picture.GetHeight(), c.Height);
        EXPECT_TRUE(picture.GetEmpty());
        EXPECT_EQ(picture.GetColorCount(), c.ColorCount);
        EXPECT_EQ(log.Steps, c.Steps);
        EXPECT_EQ(log.Starts, c.Steps > 0 ? 1 : 0);
        EXPECT_EQ(log.Ends, log.Starts);
        const TFileFormatInfo info = Info(reader, c.File);
        EXPECT_EQ(info.Width * 100 + info.Height, c.Width * 100 + c.Height);
    }
    // Chosen by its name alone, the reader loads such a file too.
    QBuffer in;
    in.setData(Tga({.Width = 7, .Height = 0}));
    in.open(QIODevice::ReadOnly);
    TPixelGraphic picture;
    picture.LoadFromStreamExt(in, QStringLiteral("tga"));
    EXPECT_EQ(picture.GetWidth(), 7);
    EXPECT_TRUE(picture.GetEmpty());
}

TEST(TGA, InfoAndChoiceByExtension) {
    const TTGAFileFormatReader reader;
    EXPECT_FALSE(reader.HasSignature);
    const struct {
        int Type, Bits;
        const char* Subformat;
        const char* Extra;
        const char* Colors;
    } infos[] = {
        {10, 24, "Run-length encoded", "True-color", "16.7M"},
        {1, 8, "Uncompressed", "Color-mapped", "256"},
        {9, 8, "Run-length encoded", "Color-mapped", "256"},
        {3, 8, "Uncompressed", "\"Black-and-white\"", "256"},
        {11, 16, "Run-length encoded", "\"Black-and-white\"", "65536"},
        {2, 32, "Uncompressed", "True-color", "16.7M ?"},
    };
    for (const auto& i : infos) {
        SCOPED_TRACE(i.Type);
        const TFileFormatInfo info =
            Info(reader, Tga({.Type = i.Type, .Width = 640, .Height = 480, .Bits = i.Bits}));
        EXPECT_EQ(info.Subformat, i.Subformat);
        EXPECT_EQ(info.Extra, i.Extra);
        EXPECT_EQ(info.Colors, i.Colors);
        EXPECT_EQ(info.BitsPerPixel, i.Bits);
        EXPECT_EQ(info.Width, 640);
        EXPECT_EQ(info.Height, 480);
        EXPECT_EQ(info.PictureCount, 1);
    }
    EXPECT_EQ(InfoError(reader, Tga({.Type = 0})), Prefix + "Invalid value for ImageType");
    EXPECT_EQ(InfoError(reader, Tga({.MapType = 2})), Prefix + "ColorMapType invalid");
    EXPECT_EQ(InfoError(reader, Tga({.Type = 2}), 1), Prefix + "Invalid value for Index");
    EXPECT_EQ(InfoError(reader, Tga({}).left(17)), Prefix + "Unexpected end of file");

    auto found = [](const QByteArray& bytes, const char* ext) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        const TFileFormatReader* r = FindFileFormatReader(buffer, QString::fromLatin1(ext));
        return r ? r->Extension.toStdString() : std::string("none");
    };
    const QByteArray file = Tga({}, Bytes({1, 2, 3}));
    EXPECT_EQ(found(file, ".TGA"), "tga");
    EXPECT_EQ(found(file, "tga"), "tga");
    EXPECT_EQ(found(file, "ppm"), "none");
    EXPECT_EQ(found(file, ""), "none");
    EXPECT_EQ(found("P6 1 1 255\n\1\2\3", "tga"), "ppm");
}

TEST(TGA, WriterBytesAndRefusals) {
    const TTGAFileFormatWriter writer;
    EXPECT_EQ(writer.CanWriteResolutions, 192);
    TPixelGraphic color;
    color.SetFormat(2, 1, 3);
    color.SetPixelColor(0, 0, RGB(1, 2, 3));
    color.SetPixelColor(1, 0, RGB(4, 5, 6));
    TProgressLog log;
    log.Attach(color, 1);
    EXPECT_EQ(Written(writer, color),
              Bytes({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(log.Steps, 1);
    EXPECT_EQ(log.Ends, 1);
    EXPECT_EQ(log.Sender, &color);

    TPixelGraphic indexed;
    indexed.SetFormat(3, 2, 2);
    indexed.SetColorCount(256);
    for (int i = 0; i < 256; ++i)
        indexed.SetPaletteColor(i, RGB(uint8_t(i), uint8_t(255 - i), 7));
    indexed.SetPixelValue(0, 0, 9);   // top row
    indexed.SetPixelValue(2, 1, 200); // bottom row, written first
    const QByteArray file = Written(writer, indexed);
    ASSERT_EQ(file.size(), 18 + 768 + 6);
    EXPECT_EQ(file.left(18), Bytes({0, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0}));
    EXPECT_EQ(file.mid(18 + 3 * 10, 3), Bytes({7, 245, 10}));
    EXPECT_EQ(file.right(6), Bytes({0, 0, 200, 9, 0, 0}));
    TPixelGraphic back;
    ASSERT_EQ(ReadError(TTGAFileFormatReader(), file, back), "");
    EXPECT_EQ(Colors(back), Colors(indexed));

    TPixelGraphic wide, high, bitmap;
    wide.SetFormat(65536, 1, 2);
    high.SetFormat(1, 65536, 2);
    bitmap.SetFormat(8, 8, 0);
    const struct {
        TPixelGraphic& Picture;
        std::string Error;
    } refusals[] = {
        {wide, "Invalid value for Width"},
        {high, "Invalid value for Height"},
        {bitmap, "Invalid color resolution"},
    };
    for (const auto& r : refusals)
        EXPECT_EQ(WriteError(writer, r.Picture), "EPGTGAFileFormatWriter TGA: " + r.Error);
}

TEST(TGAOracle, NetpbmFilesReadAndOurFilesReadBack) {
    for (const char* tool : {"pamtotga", "tgatoppm", "pnmquant", "ppmtopgm"}) {
        SKIP_UNLESS_TOOL(tool);
    }
    const QByteArray photo = EncodePnm(GeneratedPhoto(37, 23));
    const QByteArray quantized = RunTool("pnmquant", {"256"}, photo).Out;
    const QByteArray gray = RunTool("ppmtopgm", {}, photo).Out;
    const struct {
        const char* Kind;
        const QByteArray& Source;
    } kinds[] = {{"-rgb", photo}, {"-mono", gray}, {"-cmap", quantized}};
    const TTGAFileFormatReader reader;
    const TTGAFileFormatWriter writer;
    for (const auto& k : kinds)
        for (bool runLength : {true, false}) {
            SCOPED_TRACE(std::string(k.Kind) + (runLength ? " run-length" : " plain"));
            QStringList args{QString::fromLatin1(k.Kind)};
            if (!runLength)
                args << "-norle";
            const QByteArray file = RunTool("pamtotga", args, k.Source).Out;
            ASSERT_GT(file.size(), 18);
            EXPECT_EQ((file[2] & 8) != 0, runLength);
            const std::optional<TPnm> expected = DecodePnm(RunTool("tgatoppm", {}, file).Out);
            ASSERT_TRUE(expected);
            TPixelGraphic picture;
            ASSERT_EQ(ReadError(reader, file, picture), "");
            EXPECT_EQ(Colors(picture), Colors(*expected));

            const std::optional<TPnm> back = DecodePnm(RunTool("tgatoppm", {}, Written(writer, picture)).Out);
            ASSERT_TRUE(back);
            EXPECT_EQ(Colors(*back), Colors(picture));
        }
}

// Maps of 15-bit entries, as pamtotga -cmap16 writes them and as a true-colour file may carry one, against
// tgatoppm, which gives such colours as 5-bit samples: this library shifts them up without filling.
TEST(TGAOracle, FifteenBitMapsReadAsNetpbmReadsThem) {
    for (const char* tool : {"pamtotga", "tgatoppm", "pnmquant"}) {
        SKIP_UNLESS_TOOL(tool);
    }
    const QByteArray quantized = RunTool("pnmquant", {"200"}, EncodePnm(GeneratedPhoto(29, 11))).Out;
    QByteArray trueColor =
        Tga({.MapType = 1, .Entries = 9, .EntryBits = 15, .Width = 3}, QByteArray(18, '\x55'));
    trueColor += Bytes({10, 20, 30, 40, 50, 60, 70, 80, 90});
    const struct {
        const char* Name;
        QByteArray File;
    } files[] = {{"pamtotga -cmap16", RunTool("pamtotga", {"-cmap16"}, quantized).Out},
                 {"pamtotga -cmap16 -norle", RunTool("pamtotga", {"-cmap16", "-norle"}, quantized).Out},
                 {"a true-colour file with nine 15-bit entries", trueColor}};
    const TTGAFileFormatReader reader;
    for (const auto& f : files) {
        SCOPED_TRACE(f.Name);
        ASSERT_GT(f.File.size(), 18);
        std::optional<TPnm> expected = DecodePnm(RunTool("tgatoppm", {}, f.File).Out);
        ASSERT_TRUE(expected);
        if (expected->MaxVal == 31) {
            for (uint16_t& sample : expected->Samples)
                sample = uint16_t(sample << 3);
            expected->MaxVal = 255;
        }
        TPixelGraphic picture;
        ASSERT_EQ(ReadError(reader, f.File, picture), "");
        EXPECT_EQ(Colors(picture), Colors(*expected));
    }
}

} // namespace

namespace {

// Saving converts to what the writer stores; loading picks PCX and the portable maps by their first bytes and
// TGA by its extension alone.
TEST(PictureFiles, SaveAndLoadThroughTheRegistries) {
    QTemporaryDir dir;
    TPixelGraphic photo;
    PictureFromPnm(GeneratedPhoto(21, 13), photo);
    photo.SetSaveColorResWarningAction(pgwaIgnore);
    const struct {
        const char* Name;
        uint8_t BitCountNum;
        TPaletteIdent Palette;
    } files[] = {{"photo.ppm", 3, pTrueColor},
                 {"photo.tga", 3, pTrueColor},
                 {"photo.PGM", 2, pGray256},
                 {"photo.pbm", 0, pBlackWhite}};
    for (bool binary : {false, true})
        for (const auto& f : files) {
            SCOPED_TRACE(std::string(f.Name) + (binary ? " binary" : " ASCII"));
            PGPxMBinary = binary;
            photo.SaveToFile(dir.filePath(f.Name));
            TPixelGraphic back;
            back.LoadFromFile(dir.filePath(f.Name));
            EXPECT_EQ(back.GetBitCountNum(), f.BitCountNum);
            EXPECT_EQ(back.GetPaletteIdent(), f.Palette);
            if (f.BitCountNum == 3) {
                EXPECT_EQ(Colors(back), Colors(photo));
            }
        }
    PGPxMBinary = false;

    // The same bytes under other names: a portable map is one whatever its name, TGA data only under ".tga".
    ASSERT_TRUE(QFile::copy(dir.filePath("photo.ppm"), dir.filePath("map.tga")));
    ASSERT_TRUE(QFile::copy(dir.filePath("photo.tga"), dir.filePath("targa.dat")));
    TPixelGraphic picture;
    picture.LoadFromFile(dir.filePath("map.tga"));
    EXPECT_EQ(Colors(picture), Colors(photo));
    EXPECT_THROW(picture.LoadFromFile(dir.filePath("targa.dat")), EPGUnknownFileFormat);

    QFile pcx(dir.filePath("two.pcx"));
    ASSERT_TRUE(pcx.open(QIODevice::WriteOnly));
    QByteArray header(128, '\0');
    header[0] = 10;
    header[1] = 5;
    header[3] = 8;
    header[8] = 1; // 2 x 1
    header[65] = 3;
    header[66] = 2;
    header[68] = 1;
    pcx.write(header + Bytes({1, 2, 3, 4, 5, 6}));
    pcx.close();
    for (const char* name : {"two.pcx", "two.tga", "two.dat"}) {
        SCOPED_TRACE(name);
        if (!QFile::exists(dir.filePath(name))) {
            ASSERT_TRUE(QFile::copy(pcx.fileName(), dir.filePath(name)));
        }
        picture.LoadFromFile(dir.filePath(name));
        EXPECT_EQ(Colors(picture), (std::vector<std::string>{"010305 020406 "}));
    }
}

// An image ID of 10 bytes makes a TGA file start with the PCX reader's signature byte: the PCX reader
// refuses it, and the reader its extension names reads it.
TEST(PictureFiles, TGAThatStartsLikePCXLoadsByItsExtension) {
    QTemporaryDir dir;
    const auto save = [&](const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    const QString made = save("id.tga", Tga({.IdLength = 10, .Width = 2}, Bytes({3, 2, 1, 6, 5, 4})));
    TPixelGraphic picture;
    picture.LoadFromFile(made);
    EXPECT_EQ(Colors(picture), (std::vector<std::string>{"010203 040506 "}));
    TFileFormatInfo info;
    ASSERT_TRUE(GetFileFormatInfo(made, 0, info));
    EXPECT_EQ(info.Description, "Truevision Targa");
    EXPECT_EQ(info.Width, 2);
    // Under a name that no reader without a signature has, the PCX reader's refusal stands.
    EXPECT_THROW(
        picture.LoadFromFile(save("id.dat", Tga({.IdLength = 10, .Width = 2}, Bytes({3, 2, 1, 6, 5, 4})))),
        EPGPCXFileFormatReader);

    // ImageMagick 6 stores the rows top first without saying so: tgatoppm, like this reader, shows them
    // upside down.
    SKIP_UNLESS_TOOL("convert");
    SKIP_UNLESS_TOOL("tgatoppm");
    const QString ppm = save("photo.ppm", EncodePnm(GeneratedPhoto(17, 9)));
    const QString tga = dir.filePath("comment.tga");
    ASSERT_EQ(RunTool("convert", {ppm, "-set", "comment", "0123456789", tga}).ExitCode, 0);
    QFile written(tga);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    ASSERT_EQ(bytes.left(1), QByteArray(1, 10));
    const std::optional<TPnm> expected = DecodePnm(RunTool("tgatoppm", {}, bytes).Out);
    ASSERT_TRUE(expected);
    picture.LoadFromFile(tga);
    EXPECT_EQ(Colors(picture), Colors(*expected));
}

// A camera's JPEG: the Intel-order Exif block puts "II" and 42 where a TGA header holds its size, and 8 where
// it holds the pixel depth; comments make it as long as the grey 18761 x 42 picture that header describes.
QByteArray ExifJpeg() {
    TPixelGraphic photo;
    PictureFromPnm(GeneratedPhoto(320, 240), photo);
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    TJPGFileFormatWriter().Write(encoded, photo);
    const QByteArray exif =
        Bytes({0xFF, 0xE1, 0, 16}) + QByteArray("Exif\0\0II*\0", 10) + Bytes({8, 0, 0, 0});
    QByteArray comments;
    for (int i = 0; i < 20; ++i)
        comments += Bytes({0xFF, 0xFE, 0xFF, 0xFF}) + QByteArray(0xFFFD, 'c');
    return encoded.data().left(2) + exif + comments + encoded.data().mid(2);
}

// Data a reader chosen by its signature refuses goes to the TGA reader that the name ".tga" names only when
// that reader's header checks pass; otherwise the first refusal stands. A user's Cancel always stands.
TEST(PictureFiles, RefusedFilesReachTheTGAReaderOnlyThroughItsHeaderChecks) {
    const QByteArray jpeg = ExifJpeg();
    ASSERT_EQ(jpeg[16], 8);
    const QByteArray jpegCut = jpeg.left(jpeg.size() - 5000);
    // A directory entry of field type 0 whose count puts 8 at byte 16, past a size of 0 x 0.
    const QByteArray tiff =
        QByteArray("II*\0", 4) + Bytes({8, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 8, 0}) + QByteArray(100, 0);
    const struct {
        const char* Name;
        QByteArray File;
        TPGWarningAction Action;
        std::string Error; // its start
    } cases[] = {
        {"a camera JPEG cut in its comments", jpeg.left(jpeg.size() - 100000), pgwaIgnore,
         "EPGJPGFileFormatReaderWriter JPG: "},
        {"a cut camera JPEG, the user cancels at its warning", jpegCut, pgwaOKCancelBox,
         "EPGJPGFileFormatReaderWriter JPG: Operation aborted on user request"},
        {"a damaged TIFF", tiff, pgwaIgnore, "EPGTIFFileFormatReader TIFF: Unsupported field Type: 0"},
        {"a PCX refusal of a TGA file", Tga({.IdLength = 10, .Width = 2}, Bytes({3, 2, 1, 6, 5, 4})),
         pgwaIgnore, ""},
        // Which the TGA reader would read as empty pictures when named alone.
        {"a PCX refusal of a TGA file without rows", Tga({.IdLength = 10, .Width = 2, .Height = 0}),
         pgwaIgnore, "EPGPCXFileFormatReader PCX: "},
        {"a PCX refusal of a TGA file without columns",
         Tga({.IdLength = 10, .Width = 0, .Height = 1}, Bytes({3, 2, 1})), pgwaIgnore,
         "EPGPCXFileFormatReader PCX: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        MessageBoxSpy user(mrCancel);
        QBuffer in;
        in.setData(c.File);
        in.open(QIODevice::ReadOnly);
        TPixelGraphic picture;
        picture.SetReadWarningAction(c.Action);
        std::string error;
        try {
            picture.LoadFromStreamExt(in, QStringLiteral("tga"));
        } catch (const EPixelGraphic& e) {
            error = std::string(e.className()) + " " + e.message().toStdString();
        }
        EXPECT_EQ(error.substr(0, c.Error.size()), c.Error);
        EXPECT_EQ(error.empty(), c.Error.empty());
        EXPECT_EQ(picture.GetEmpty(), !c.Error.empty());
    }
}

} // namespace
