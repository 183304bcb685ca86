#include "image-library/formats/PGPCX.h"

#include "framework/StreamIO.h"
#include "image-library/PGSettings.h"
#include "image-library/PGStandardPalettes.h"
#include "image-library/tests/FormatTestSupport.h"

namespace {

struct THeader {
    int Version = 5;
    int Bits = 8;
    int Planes = 3;
    int Width = 2;
    int Height = 2;
    int BytesPerLine = 2;
    int PaletteInfo = 1;
    int Reserved = 0;
    int XMin = 0;
};

// The 16-entry header table: entry i is red 16i, green 16i + 1, blue 16i + 2.
TColor HeaderEntry(int i) {
    return RGB(uint8_t(16 * i), uint8_t(16 * i + 1), uint8_t(16 * i + 2));
}

QByteArray Pcx(const THeader& h, const QByteArray& Data = {}) {
    QByteArray b(128, '\0');
    uint8_t* p = reinterpret_cast<uint8_t*>(b.data());
    p[0] = 10;
    p[1] = uint8_t(h.Version);
    p[2] = 1;
    p[3] = uint8_t(h.Bits);
    PutLE16(p + 4, uint16_t(h.XMin));
    PutLE16(p + 8, uint16_t(h.XMin + h.Width - 1));
    PutLE16(p + 10, uint16_t(h.Height - 1));
    for (int i = 0; i < 16; ++i) {
        const TColor c = HeaderEntry(i);
        p[16 + 3 * i] = GetRValue(c);
        p[17 + 3 * i] = GetGValue(c);
        p[18 + 3 * i] = GetBValue(c);
    }
    p[64] = uint8_t(h.Reserved);
    p[65] = uint8_t(h.Planes);
    PutLE16(p + 66, uint16_t(h.BytesPerLine));
    PutLE16(p + 68, uint16_t(h.PaletteInfo));
    return b + Data;
}

QByteArray Bytes(std::initializer_list<int> Values) {
    QByteArray b;
    for (int v : Values)
        b.append(char(v));
    return b;
}

// The 256-colour table: marker 12, entry i = (i, 255 - i, i / 2).
QByteArray Table(int Marker = 12) {
    QByteArray t(1, char(Marker));
    for (int i = 0; i < 256; ++i)
        t += Bytes({i, 255 - i, i / 2});
    return t;
}

const std::string Prefix = "EPGPCXFileFormatReader PCX: ";

TEST(PCX, ReadsRunsPlanesAndTables) {
    const TPCXFileFormatReader reader;
    const THeader gray{.Version = 5, .Bits = 8, .Planes = 1, .Width = 2, .Height = 1, .BytesPerLine = 2};
    const THeader bits16{.Version = 5, .Bits = 1, .Planes = 4, .Width = 10, .Height = 1, .BytesPerLine = 2};
    THeader bits16v3 = bits16;
    bits16v3.Version = 3;
    const THeader mono{.Version = 5, .Bits = 1, .Planes = 1, .Width = 10, .Height = 1, .BytesPerLine = 2};
    const THeader mono32{.Version = 5, .Bits = 1, .Planes = 1, .Width = 32, .Height = 1, .BytesPerLine = 4};
    const THeader mono8{.Version = 5, .Bits = 1, .Planes = 1, .Width = 8, .Height = 1, .BytesPerLine = 2};
    auto word = [](TColor c) {
        char w[8];
        std::snprintf(w, sizeof w, "%02X%02X%02X ", GetRValue(c), GetGValue(c), GetBValue(c));
        return std::string(w);
    };
    auto repeat = [](const std::string& s, int n) {
        std::string r;
        for (int i = 0; i < n; ++i)
            r += s;
        return r;
    };
    const struct {
        const char* Name;
        QByteArray File;
        std::vector<std::string> Rows;
        TPaletteIdent Palette;
    } cases[] = {
        {"a run across the line end is cut there",
         Pcx({}, Bytes({0xC8, 0x10, 1, 2, 3, 4, 5, 6})),
         {"101010 101010 ", "010305 020406 "},
         pTrueColor},
        {"a count of 0 writes nothing",
         Pcx({}, Bytes({0xC0, 0x55, 0xC6, 7, 0xC1, 1, 2, 3, 4, 5, 6})),
         {"070707 070707 ", "010305 020406 "},
         pTrueColor},
        {"256 colours from the end of the file",
         Pcx(gray, Bytes({1, 0xC1, 200}) + Table()),
         {"01FE00 C83764 "},
         pUnknown},
        {"16 colours of width 10 in lines of 8 bytes",
         Pcx(bits16, Bytes({0, 0, 0, 0x40, 0x80, 0, 0, 0x40})),
         {word(HeaderEntry(4)) + repeat(word(HeaderEntry(0)), 8) + word(HeaderEntry(10))},
         pUnknown},
        {"version 3 takes the system colours",
         Pcx(bits16v3, Bytes({0, 0, 0, 0x40, 0x80, 0, 0, 0x40})),
         {word(StandardPalette(pSys16)[4]) + repeat(word(StandardPalette(pSys16)[0]), 8) +
          word(StandardPalette(pSys16)[10])},
         pSys16},
        {"1 bit with the bits past the width cleared",
         Pcx(mono, Bytes({0xFF, 0xFF})),
         {repeat("FFFFFF ", 10)},
         pUnknown},
        {"1 bit of width 8 with the padding byte after it cleared",
         Pcx(mono8, Bytes({0xFF, 0xFF})),
         {repeat("FFFFFF ", 8)},
         pUnknown},
        {"1 bit of width 32",
         Pcx(mono32, Bytes({0x7F, 0xC2, 0xFF, 0xC1, 0xFE})),
         {"000000 " + repeat("FFFFFF ", 30) + "000000 "},
         pUnknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        picture.SetFileGamma(1.0L);
        qint64 position = 0;
        ASSERT_EQ(ReadError(reader, c.File, picture, &position), "");
        EXPECT_EQ(Colors(picture), c.Rows);
        EXPECT_EQ(picture.GetPaletteIdent(), c.Palette);
        EXPECT_EQ(picture.GetFileGamma(), PGDisplayGamma);
        if (picture.GetBitCountNum() ==
            0) { // nothing beyond the width survives in the byte after the last pixel
            const int width = picture.GetWidth();
            if (width / 8 < picture.GetRowBytes()) {
                EXPECT_EQ(picture.GetScanLine(0)[width / 8] & (0xFF >> (width % 8)), 0);
            }
        }
    }
}

// Random scan lines of every kind, coded with literals, runs of every count (0 included) and runs cut at
// the line end; the pictures read are pinned down to the byte by their checksums.
TEST(PCX, ReadsRandomFilesToTheSameBytes) {
    const TPCXFileFormatReader reader;
    const struct {
        int Bits, Planes, Width, Height, SpareBytes;
        uint64_t Sum;
    } cases[] = {
        {1, 1, 1, 3, 1, 5436707431239207620ull},    {1, 1, 13, 5, 0, 12968037998039544234ull},
        {1, 1, 64, 4, 0, 1633835433813156500ull},   {1, 4, 9, 4, 1, 12645972647408989371ull},
        {1, 4, 33, 7, 0, 4171784667495600004ull},   {8, 1, 1, 2, 0, 11985518763748543345ull},
        {8, 1, 101, 9, 3, 7386361669204774147ull},  {8, 1, 256, 3, 0, 2394834038449661416ull},
        {8, 3, 1, 1, 0, 1048056100775815446ull},    {8, 3, 7, 5, 2, 259274405514578734ull},
        {8, 3, 150, 11, 1, 4697678697774866288ull}, {8, 3, 333, 4, 0, 33542934307837793ull},
    };
    std::mt19937 rng(33);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.Bits << " x " << c.Planes << " bits, " << c.Width << " x " << c.Height);
        const int bytesPerLine = (c.Width * c.Bits + 7) / 8 + c.SpareBytes;
        QByteArray data;
        const int length = bytesPerLine * c.Planes;
        for (int y = 0; y < c.Height; ++y)
            for (int pos = 0; pos < length;) {
                const uint32_t r = rng();
                if (r % 3 == 0) {
                    data += char(rng() % 0xC0);
                    ++pos;
                } else {
                    const int count = int(rng() % 64);
                    data += Bytes({0xC0 | count, int(rng() & 0xFF)});
                    pos += count;
                }
            }
        if (c.Bits == 8 && c.Planes == 1)
            data += Table();
        TPixelGraphic picture;
        ASSERT_EQ(ReadError(reader,
                            Pcx({.Version = 5,
                                 .Bits = c.Bits,
                                 .Planes = c.Planes,
                                 .Width = c.Width,
                                 .Height = c.Height,
                                 .BytesPerLine = bytesPerLine},
                                data),
                            picture),
                  "");
        EXPECT_EQ(PictureChecksum(picture), c.Sum);
    }
}

TEST(PCX, RefusesDamagedFiles) {
    const TPCXFileFormatReader reader;
    const THeader gray{.Version = 5, .Bits = 8, .Planes = 1, .Width = 2, .Height = 1, .BytesPerLine = 2};
    const THeader huge{.Width = 30000, .Height = 30000, .BytesPerLine = 30000};
    const struct {
        const char* Name;
        QByteArray File;
        std::string Error;
        bool Sized;
        qint64 Position; // where the stream is left; -1: not checked
    } cases[] = {
        {"palette information 2", Pcx({.PaletteInfo = 2}, Bytes({1, 2, 3, 4, 5, 6})),
         Prefix + "Unknown subformat", false, -1},
        {"reserved byte set", Pcx({.Reserved = 1}, Bytes({1, 2, 3, 4, 5, 6})), Prefix + "Unknown subformat",
         false, -1},
        {"8 bits in 4 planes", Pcx({.Planes = 4}, Bytes({1, 2, 3, 4, 5, 6, 7, 8})),
         Prefix + "Unknown subformat", false, -1},
        {"lines shorter than the width", Pcx({.Width = 10, .BytesPerLine = 9}, QByteArray(60, 1)),
         Prefix + "Unknown subformat", false, -1},
        {"16-colour lines shorter than the width",
         Pcx({.Bits = 1, .Planes = 4, .Width = 10, .BytesPerLine = 1}), Prefix + "Unknown subformat", false,
         -1},
        {"a 256-colour table without its marker", Pcx(gray, Bytes({1, 2}) + Table(13)),
         Prefix + "Unknown subformat", false, 128},
        {"a 256-colour file too short for its table", Pcx(gray, Bytes({1, 2})), Prefix + "Unknown subformat",
         false, -1},
        {"a short header", Pcx({}).left(100), Prefix + "Unexpected end of file", false, -1},
        {"a file ending inside the data", Pcx({}, Bytes({0xC8, 0x10, 1, 2})),
         Prefix + "Unexpected end of file", true, -1},
        {"a tiny file claiming a huge picture", Pcx(huge, Bytes({0xFF, 1, 0xFF, 2})),
         Prefix + "Unexpected end of file", false, -1},
        {"a negative width", Pcx({.Width = -3, .XMin = 5}, Bytes({1, 2})), "EPGInvalidSize Negative width",
         false, -1},
        {"no columns", Pcx({.Width = 0, .XMin = 5}, Bytes({1, 2})), Prefix + "Width invalid", false, -1},
        {"no rows", Pcx({.Height = 0}, Bytes({1, 2})), Prefix + "Height invalid", false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        picture.SetFormat(4, 4, 3);
        qint64 position = 0;
        EXPECT_EQ(ReadError(reader, c.File, picture, &position), c.Error);
        EXPECT_EQ(picture.GetEmpty(), !c.Sized);
        if (c.Position >= 0) {
            EXPECT_EQ(position, c.Position);
        }
    }
    TPixelGraphic picture;
    EXPECT_EQ(ReadError(reader, Pcx({}, QByteArray(12, 1)), picture, nullptr, 1), Prefix + "Index invalid");
}

TEST(PCX, ProgressEndsOnEveryPath) {
    const TPCXFileFormatReader reader;
    TPixelGraphic picture;
    TProgressLog aborted;
    aborted.Attach(picture, 1);
    ASSERT_EQ(ReadError(reader, Pcx({}, Bytes({1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6})), picture), "");
    EXPECT_EQ(aborted.Steps, 1);
    EXPECT_EQ(aborted.Ends, 1);
    EXPECT_EQ(aborted.Sender, &reader);
    EXPECT_EQ(Colors(picture), (std::vector<std::string>{"010305 020406 ", "000000 000000 "}));

    TProgressLog failed;
    failed.Attach(picture);
    EXPECT_EQ(ReadError(reader, Pcx({}, Bytes({1, 2, 3, 4, 5, 6, 1})), picture),
              Prefix + "Unexpected end of file");
    EXPECT_EQ(failed.Starts, 1);
    EXPECT_EQ(failed.Steps, 1);
    EXPECT_EQ(failed.Ends, 1);

    TProgressLog empty;
    empty.Attach(picture);
    ASSERT_EQ(ReadError(reader, Pcx({.Height = 0}), picture), Prefix + "Height invalid");
    EXPECT_EQ(picture.GetHeight(), 0);
    EXPECT_EQ(std::make_tuple(empty.Starts, empty.Steps, empty.Ends), std::make_tuple(0, 0, 0));
}

TEST(PCX, SignatureAndInfo) {
    const TPCXFileFormatReader reader;
    TFileFormatHeader header{};
    EXPECT_FALSE(reader.IsFormat(header));
    header[0] = 10;
    EXPECT_TRUE(reader.IsFormat(header)); // nothing else is looked at
    EXPECT_EQ(reader.Extension, "pcx");
    EXPECT_EQ(reader.Description, "Paintbrush");

    const struct {
        THeader Header;
        const char* Subformat;
        int Bits;
        const char* Colors;
    } infos[] = {
        {{.Version = 5, .Width = 7, .Height = 3}, "Version 3.0 (5)", 24, "16.7M"},
        {{.Version = 0, .Bits = 1, .Planes = 1}, "Version 2.5 (0)", 1, "2"},
        {{.Version = 2, .Bits = 1, .Planes = 4}, "Version 2.8 (2) with Palette", 4, "16"},
        {{.Version = 3, .Bits = 8, .Planes = 1}, "Version 2.8 (3) without Palette", 8, "256"},
        {{.Version = 4, .Bits = 2, .Planes = 1}, "", 2, "4"}, // combinations are not checked here
    };
    for (const auto& i : infos) {
        SCOPED_TRACE(i.Subformat);
        const TFileFormatInfo info = Info(reader, Pcx(i.Header));
        EXPECT_EQ(info.Subformat, i.Subformat);
        EXPECT_EQ(info.BitsPerPixel, i.Bits);
        EXPECT_EQ(info.Colors, i.Colors);
        EXPECT_EQ(info.Width, i.Header.Width);
        EXPECT_EQ(info.Height, i.Header.Height);
        EXPECT_EQ(info.Extra, "");
        EXPECT_EQ(info.PictureCount, 1);
    }
    EXPECT_EQ(InfoError(reader, Pcx({}), 1), Prefix + "Invalid value for Index");
    EXPECT_EQ(InfoError(reader, Pcx({.PaletteInfo = 2})), Prefix + "Unknown subformat");
}

TEST(PCXOracle, NetpbmFilesReadAsPcxtoppmDecodesThem) {
    for (const char* tool : {"ppmtopcx", "pcxtoppm", "pnmquant", "ppmtopgm", "pgmtopbm"}) {
        SKIP_UNLESS_TOOL(tool);
    }
    const QByteArray photo = EncodePnm(GeneratedPhoto(37, 23));
    const QByteArray bitmap = RunTool("pgmtopbm", {"-threshold"}, RunTool("ppmtopgm", {}, photo).Out).Out;
    const struct {
        const char* Name;
        QByteArray File;
        int Bits, Planes;
    } files[] = {
        {"24 bits", RunTool("ppmtopcx", {"-24bit"}, photo).Out, 8, 3},
        {"8 bits", RunTool("ppmtopcx", {"-8bit"}, RunTool("pnmquant", {"256"}, photo).Out).Out, 8, 1},
        {"4 planes", RunTool("ppmtopcx", {}, RunTool("pnmquant", {"16"}, photo).Out).Out, 1, 4},
        {"1 bit", RunTool("ppmtopcx", {}, bitmap).Out, 1, 1},
    };
    const TPCXFileFormatReader reader;
    for (const auto& f : files) {
        SCOPED_TRACE(f.Name);
        ASSERT_GT(f.File.size(), 128);
        EXPECT_EQ(f.File[3], f.Bits);
        EXPECT_EQ(f.File[65], f.Planes);
        const std::optional<TPnm> expected = DecodePnm(RunTool("pcxtoppm", {}, f.File).Out);
        ASSERT_TRUE(expected);
        TPixelGraphic picture;
        ASSERT_EQ(ReadError(reader, f.File, picture), "");
        EXPECT_EQ(Colors(picture), Colors(*expected));
    }
}

} // namespace
