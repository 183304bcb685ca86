// Reading PCX: the 128-byte header, the colour tables of the four accepted kinds, and the run-length scan
// lines with their planes.
#include "image-library/formats/PGPCX.h"

#include "framework/StreamIO.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGFormatIO.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace {

constexpr int HeaderSize = 128;
// The 256-colour table closes the file: the marker byte 12 and 256 entries of red, green, blue.
constexpr int TableSize = 769;
constexpr uint8_t TableMarker = 12;

[[noreturn]] void Raise(const QString& Text) {
    throw EPGPCXFileFormatReader(QStringLiteral("PCX: ") + Text);
}
[[noreturn]] void RaiseUnknownSubformat() {
    Raise(PGLangStr(33));
}
[[noreturn]] void RaiseEndOfFile() {
    Raise(PGLangStr(32));
}

// The header fields, little-endian in the file.
struct TPCXHeader {
    uint8_t Manufacturer; // 10
    uint8_t Version;      // 0, 2, 3 or 5
    uint8_t BitsPerPlane;
    int16_t XMin, YMin, XMax, YMax;
    const uint8_t* Palette16; // 16 entries of red, green, blue
    uint8_t Reserved;
    uint8_t Planes;
    uint16_t BytesPerLine; // of one plane
    uint16_t PaletteInfo;

    int Width() const { return XMax - XMin + 1; }
    int Height() const { return YMax - YMin + 1; }
};

TPCXHeader ReadHeader(QIODevice& Stream, std::array<uint8_t, HeaderSize>& Bytes) {
    ReadOrRaise(Stream, Bytes.data(), HeaderSize, RaiseEndOfFile);
    const uint8_t* b = Bytes.data();
    const TPCXHeader h{b[0],
                       b[1],
                       b[3],
                       int16_t(GetLE16(b + 4)),
                       int16_t(GetLE16(b + 6)),
                       int16_t(GetLE16(b + 8)),
                       int16_t(GetLE16(b + 10)),
                       b + 16,
                       b[64],
                       b[65],
                       GetLE16(b + 66),
                       GetLE16(b + 68)};
    return h;
}

void CheckHeader(const TPCXHeader& Header) {
    if (Header.PaletteInfo != 1 || Header.Reserved != 0)
        RaiseUnknownSubformat();
}

// BitCountNum of the accepted combinations of bits and planes; -1 for the others.
int BitCountNumOf(const TPCXHeader& Header) {
    if (Header.BitsPerPlane == 1 && Header.Planes == 1)
        return 0;
    if (Header.BitsPerPlane == 1 && Header.Planes == 4)
        return 1;
    if (Header.BitsPerPlane == 8 && Header.Planes == 1)
        return 2;
    if (Header.BitsPerPlane == 8 && Header.Planes == 3)
        return 3;
    return -1;
}

void ReadColorTable(QIODevice& Stream, const TPCXHeader& Header, int BitCountNum, TPixelGraphic& Picture) {
    switch (BitCountNum) {
    case 0:
        Picture.SetColorCount(2);
        Picture.SetPaletteColor(0, RGB(0, 0, 0));
        Picture.SetPaletteColor(1, RGB(255, 255, 255));
        break;
    case 1:
        if (Header.Version == 3) {
            Picture.SetPaletteIdent(pSys16);
        } else {
            Picture.SetColorCount(16);
            for (int i = 0; i < 16; ++i) {
                const uint8_t* e = Header.Palette16 + 3 * i;
                Picture.SetPaletteColor(i, RGB(e[0], e[1], e[2]));
            }
        }
        break;
    case 2: {
        // The table lies at the end; the pixel data starts right after the header, where the stream is put
        // back in every case.
        const qint64 dataStart = Stream.pos();
        if (Stream.isSequential() || Stream.size() - TableSize < dataStart)
            RaiseUnknownSubformat();
        uint8_t table[TableSize];
        const bool read = Stream.seek(Stream.size() - TableSize) && ReadExact(Stream, table, TableSize);
        Stream.seek(dataStart);
        if (!read || table[0] != TableMarker)
            RaiseUnknownSubformat();
        Picture.SetColorCount(256);
        for (int i = 0; i < 256; ++i) {
            const uint8_t* e = table + 1 + 3 * i;
            Picture.SetPaletteColor(i, RGB(e[0], e[1], e[2]));
        }
        break;
    }
    default:
        break;
    }
}

// One scan line of Line.size() bytes. A run that reaches past the line end is cut there; a count of 0 still
// consumes its value byte. Codes are read in place from the input's buffer; only a count that is the last
// byte there waits for the next refill to bring its value.
void DecodeLine(TBufferedInput& In, std::vector<uint8_t>& Line) {
    uint8_t* const line = Line.data();
    const size_t length = Line.size();
    size_t pos = 0;
    // The run of the count at P, its value at P + 1.
    auto run = [&](const uint8_t* P) {
        const size_t count = std::min<size_t>(P[0] & 0x3F, length - pos);
        // Most runs are short: 16 copies of the value stored at once, where the line has room for them
        // (the next codes overwrite the surplus).
        if (count <= 16 && length - pos >= 16) {
            const uint64_t value = P[1] * 0x0101010101010101ull;
            std::memcpy(line + pos, &value, 8);
            std::memcpy(line + pos + 8, &value, 8);
        } else {
            std::memset(line + pos, P[1], count);
        }
        pos += count;
    };
    while (pos < length) {
        auto [p, end] = In.Window();
        // Eight code bytes at a time: the literal ones before the first count move as one word (the next
        // codes overwrite the surplus), then that count's run.
        while (end - p >= 9 && length - pos >= 8) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            const uint64_t counts = w & (w << 1) & 0x8080808080808080ull; // both top bits set
            const size_t literals = counts ? size_t(std::countr_zero(counts) / 8) : 8;
            std::memcpy(line + pos, &w, 8);
            pos += literals;
            p += literals;
            if (literals < 8) {
                run(p);
                p += 2;
            }
        }
        while (pos < length && p < end) {
            if (*p < 0xC0) {
                line[pos++] = *p++;
                continue;
            }
            if (end - p < 2)
                break;
            run(p);
            p += 2;
        }
        In.Advance(p);
        if (pos < length && p + 1 == end) { // a count whose value lies beyond the buffer
            const uint8_t code[2] = {In.ReadByte(), In.ReadByte()};
            run(code);
        }
    }
}

// Moves one decoded scan line into a storage row; BytesPerLine covers the width (checked before).
void FillRow(const std::vector<uint8_t>& Line, int BytesPerLine, int BitCountNum, int Width, int RowBytes,
             uint8_t* Row) {
    const uint8_t* line = Line.data();
    switch (BitCountNum) {
    case 0:
        std::memcpy(Row, line, std::min<size_t>(Line.size(), size_t(RowBytes)));
        if (Width / 8 < RowBytes) // the bits past the last pixel: the whole byte when none of it is a pixel
            Row[Width / 8] &= uint8_t(0xFF00 >> (Width % 8));
        break;
    case 1:
        for (int x = 0; x < Width; ++x) {
            const int shift = 7 - x % 8;
            uint8_t value = 0;
            for (int k = 0; k < 4; ++k)
                value |= uint8_t(((line[k * BytesPerLine + x / 8] >> shift) & 1) << k);
            Row[x / 2] = x % 2 == 0 ? uint8_t(value << 4) : uint8_t(Row[x / 2] | value);
        }
        break;
    case 2:
        std::memcpy(Row, line, size_t(Width));
        break;
    default:
        CopyPlanesToBGR(line, line + BytesPerLine, line + 2 * BytesPerLine, Row, Width);
    }
}

} // namespace

TPCXFileFormatReader::TPCXFileFormatReader() {
    Extension = QStringLiteral("pcx");
    Description = QStringLiteral("Paintbrush");
    HasSignature = true;
}

bool TPCXFileFormatReader::IsFormat(const TFileFormatHeader& Header) const {
    return Header[0] == 10;
}

void TPCXFileFormatReader::Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const {
    if (Index != 0)
        Raise(PGLangStr(7, QStringLiteral("Index")));
    Picture.SetFileGamma(PGDisplayGamma);
    Picture.SetHeight(0); // a refused file leaves no picture behind
    std::array<uint8_t, HeaderSize> bytes;
    const TPCXHeader header = ReadHeader(Stream, bytes);
    CheckHeader(header);
    const int bitCountNum = BitCountNumOf(header);
    if (bitCountNum < 0)
        RaiseUnknownSubformat();
    const int width = header.Width();
    const int height = header.Height();
    // A picture without pixels is no picture; negative sizes are the picture's own refusal below.
    if (width == 0)
        Raise(PGLangStr(7, QStringLiteral("Width")));
    if (height == 0)
        Raise(PGLangStr(7, QStringLiteral("Height")));
    // Shorter lines would leave the fills reading past the line buffer.
    if (width > 0 && header.BytesPerLine < (int64_t(width) * header.BitsPerPlane + 7) / 8)
        RaiseUnknownSubformat();

    Picture.SetFormat(0, 0, uint8_t(bitCountNum));
    ReadColorTable(Stream, header, bitCountNum, Picture);

    const int64_t lineLength = int64_t(header.Planes) * header.BytesPerLine;
    TBufferedInput in(Stream, RaiseEndOfFile);
    // Two code bytes give at most 63 bytes: a stream too short for that cannot hold the picture.
    if (width >= 0 && height >= 0 && (lineLength * height * 2 + 62) / 63 > in.Remaining())
        RaiseEndOfFile();
    Picture.SetFormat(width, height, uint8_t(bitCountNum)); // refuses negative sizes

    std::vector<uint8_t> line(size_t(lineLength), 0);
    TProgressBracket progress(Picture, const_cast<TPCXFileFormatReader*>(this));
    for (int y = 0; y < height; ++y) {
        DecodeLine(in, line);
        if (width > 0)
            FillRow(line, header.BytesPerLine, bitCountNum, width, Picture.GetRowBytes(),
                    Picture.GetScanLine(y));
        if (progress.Step(y, height))
            break;
    }
    progress.End();
}

void TPCXFileFormatReader::GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    if (Index != 0)
        Raise(PGLangStr(20, QStringLiteral("Index")));
    std::array<uint8_t, HeaderSize> bytes;
    const TPCXHeader header = ReadHeader(Stream, bytes);
    CheckHeader(header);
    Info.BitsPerPixel = header.BitsPerPlane * header.Planes;
    Info.Width = header.Width();
    Info.Height = header.Height();
    switch (header.Version) {
    case 0:
        Info.Subformat = QStringLiteral("Version 2.5 (0)");
        break;
    case 2:
        Info.Subformat = QStringLiteral("Version 2.8 (2) with Palette");
        break;
    case 3:
        Info.Subformat = QStringLiteral("Version 2.8 (3) without Palette");
        break;
    case 5:
        Info.Subformat = QStringLiteral("Version 3.0 (5)");
        break;
    default:
        break;
    }
    // The combination is not checked here, so the bits may be any product; beyond 63 there is no count.
    if (Info.BitsPerPixel == 24)
        Info.Colors = QStringLiteral("16.7M");
    else if (Info.BitsPerPixel < 64)
        Info.Colors = QString::number(quint64(1) << Info.BitsPerPixel);
}

void RegisterPCXFileFormats() {
    RegisterFileFormatReader(std::make_unique<TPCXFileFormatReader>());
}
