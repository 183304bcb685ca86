// Reading and writing TGA: the 18-byte header, the colour map, plain and run-length rows in the four pixel
// orders, and the uncompressed writer.
#include "image-library/formats/PGTGA.h"

#include "framework/StreamIO.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGFormatIO.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int HeaderSize = 18;
constexpr uint8_t RunLengthType = 8; // image type bit: the rows are run-length encoded
constexpr uint8_t RightToLeft = 16;  // descriptor bit: pixels run right to left
constexpr uint8_t TopToBottom = 32;  // descriptor bit: the first row is the top row
constexpr int MaxPacketPixels = 128;

QString Prefix() {
    return QStringLiteral("TGA: ");
}
[[noreturn]] void Raise(const QString& Text) {
    throw EPGTGAFileFormatReader(Prefix() + Text);
}
[[noreturn]] void RaiseNotSupported() {
    Raise(PGLangStr(30));
}
[[noreturn]] void RaiseEndOfFile() {
    Raise(PGLangStr(32));
}
[[noreturn]] void RaiseWriteFailed() {
    throw EPGTGAFileFormatWriter(Prefix() + PGLangStr(31, QStringLiteral("Write")));
}

struct TTGAHeader {
    uint8_t IdLength;
    uint8_t ColorMapType; // 1: a colour map follows
    uint8_t ImageType;    // 1, 2, 3 plain; 9, 10, 11 run-length encoded
    uint16_t FirstEntry;
    uint16_t EntryCount;
    uint8_t EntryBits;
    uint16_t Width;
    uint16_t Height;
    uint8_t BitsPerPixel;
    uint8_t Descriptor;
};

constexpr int WidthAt = 12;
constexpr int HeightAt = 14;

TTGAHeader ReadHeader(QIODevice& Stream) {
    uint8_t b[HeaderSize];
    ReadOrRaise(Stream, b, HeaderSize, RaiseEndOfFile);
    return {.IdLength = b[0],
            .ColorMapType = b[1],
            .ImageType = b[2],
            .FirstEntry = GetLE16(b + 3),
            .EntryCount = GetLE16(b + 5),
            .EntryBits = b[7],
            .Width = GetLE16(b + WidthAt),
            .Height = GetLE16(b + HeightAt),
            .BitsPerPixel = b[16],
            .Descriptor = b[17]};
}

bool ValidEntryBits(int EntryBits) {
    return EntryBits == 15 || EntryBits == 16 || EntryBits == 24 || EntryBits == 32;
}

// The checks a header passes before anything else of the file is read. TGA has no signature, so these (and
// MayTakeOver) are what stands between the reader and data of another format handed to it by the name ".tga".
void CheckHeader(const TTGAHeader& Header) {
    if (Header.ColorMapType > 1)
        Raise(PGLangStr(7, QStringLiteral("ColorMapType")));
    switch (Header.ImageType & ~RunLengthType) {
    case 1:
    case 2:
    case 3:
        break;
    default:
        Raise(PGLangStr(7, QStringLiteral("ImageType")));
    }
    const int bits = Header.BitsPerPixel;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        RaiseNotSupported();
    // A file without a map may leave its entry size 0.
    if (!ValidEntryBits(Header.EntryBits) && (Header.ColorMapType == 1 || Header.EntryBits != 0))
        RaiseNotSupported();
}

// Five-bit components are shifted up without filling their low bits.
TColor ColorOf16(uint8_t Low, uint8_t High) {
    return RGB(uint8_t((High & 0x7C) << 1), uint8_t(((High & 3) << 6) | ((Low & 0xE0) >> 2)),
               uint8_t((Low & 0x1F) << 3));
}

// Every map entry occupies whole bytes: a 15-bit entry takes two, like the 16-bit one whose layout it has.
int64_t EntryBytes(int EntryBits) {
    return (EntryBits + 7) / 8;
}

// The first Count entries of the map at the stream's position; entries of 15, 16, 24 or 32 bits.
std::vector<TColor> ReadColorMap(QIODevice& Stream, int EntryBits, int Count) {
    const int size = int(EntryBytes(EntryBits));
    std::vector<uint8_t> bytes(size_t(Count) * size);
    ReadOrRaise(Stream, bytes.data(), qint64(bytes.size()), RaiseEndOfFile);
    std::vector<TColor> map(static_cast<size_t>(Count));
    for (int i = 0; i < Count; ++i) {
        const uint8_t* e = bytes.data() + i * size;
        map[size_t(i)] = size == 2 ? ColorOf16(e[0], e[1]) : RGB(e[2], e[1], e[0]);
    }
    return map;
}

// A run-length packet may run on into the next row: what it still owes is kept here between rows.
struct TPacketState {
    int Left = 0;
    bool Repeat = false;
    uint8_t Pixel[4] = {};
};

void DecodeRow(TBufferedInput& In, TPacketState& Packet, uint8_t* Line, int Width, int PixelBytes) {
    int x = 0;
    while (x < Width) {
        if (Packet.Left == 0) {
            const uint8_t h = In.ReadByte();
            Packet.Left = (h & 0x7F) + 1;
            Packet.Repeat = (h & 0x80) != 0;
            if (Packet.Repeat)
                for (int i = 0; i < PixelBytes; ++i)
                    Packet.Pixel[i] = In.ReadByte();
        }
        const int n = std::min(Packet.Left, Width - x);
        uint8_t* target = Line + ptrdiff_t(x) * PixelBytes;
        if (Packet.Repeat)
            for (int i = 0; i < n; ++i)
                std::memcpy(target + i * PixelBytes, Packet.Pixel, size_t(PixelBytes));
        else
            In.Read(target, int64_t(n) * PixelBytes);
        x += n;
        Packet.Left -= n;
    }
}

// One file row into a storage row: colour-map indices stay as read, the others become blue, green, red.
void ConvertRow(const uint8_t* Line, int Width, int PixelBytes, bool Mirrored, uint8_t* Row) {
    for (int x = 0; x < Width; ++x) {
        const uint8_t* p = Line + ptrdiff_t(x) * PixelBytes;
        const int column = Mirrored ? Width - 1 - x : x;
        if (PixelBytes == 1) {
            Row[column] = p[0];
            continue;
        }
        uint8_t* q = Row + 3 * column;
        if (PixelBytes == 2) {
            const TColor c = ColorOf16(p[0], p[1]);
            q[0] = GetBValue(c);
            q[1] = GetGValue(c);
            q[2] = GetRValue(c);
        } else { // the alpha byte of 32-bit pixels is dropped
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
    }
}

} // namespace

TTGAFileFormatReader::TTGAFileFormatReader() {
    Extension = QStringLiteral("tga");
    Description = QStringLiteral("Truevision Targa");
    HasSignature = false;
}

bool TTGAFileFormatReader::MayTakeOver(const TFileFormatHeader& Header) const {
    static_assert(HeightAt + 2 <= FileFormatHeaderSize);
    return GetLE16(Header.data() + WidthAt) > 0 && GetLE16(Header.data() + HeightAt) > 0;
}

void TTGAFileFormatReader::Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const {
    if (Index != 0)
        Raise(PGLangStr(7, QStringLiteral("Index")));
    Picture.SetFormat(0, 0, Picture.GetBitCountNum()); // a refused file leaves no picture behind
    const TTGAHeader header = ReadHeader(Stream);
    CheckHeader(header);
    const int bits = header.BitsPerPixel;
    const int pixelBytes = bits / 8;

    // Map entries from the first index onward become table entries 0 onward; a first index beyond the
    // entries leaves no map at all. The whole map is skipped in every case.
    const bool mapped = bits == 8 && header.ColorMapType == 1;
    const int mapEntries = mapped ? header.EntryCount - header.FirstEntry : 0;
    SkipOrRaise(Stream, header.IdLength, RaiseEndOfFile);
    const int64_t entryBytes = EntryBytes(header.EntryBits);
    std::vector<TColor> map;
    if (mapEntries > 0)
        map = ReadColorMap(Stream, header.EntryBits, std::min(256, mapEntries));
    SkipOrRaise(Stream, (header.EntryCount - int64_t(map.size())) * entryBytes, RaiseEndOfFile);

    const int width = header.Width;
    const int height = header.Height;
    const bool runLength = (header.ImageType & RunLengthType) != 0;
    const int64_t pixels = int64_t(width) * height;
    // Before any pixel memory: plain rows need every byte, a packet of 1 + B bytes gives at most 128 pixels.
    const int64_t needed =
        runLength ? (pixels + MaxPacketPixels - 1) / MaxPacketPixels * (1 + pixelBytes) : pixels * pixelBytes;
    if (needed > RemainingBytes(Stream))
        RaiseEndOfFile();
    Picture.SetFormat(width, height, bits == 8 ? 2 : 3);
    if (bits == 8) {
        if (map.empty()) {
            Picture.SetPaletteIdent(pGray256);
        } else {
            Picture.SetColorCount(int(map.size()));
            for (size_t i = 0; i < map.size(); ++i)
                Picture.SetPaletteColor(int(i), map[i]);
        }
    }
    if (height == 0) // an empty picture: no rows, no progress
        return;
    const bool mirrored = (header.Descriptor & RightToLeft) != 0;
    const bool topDown = (header.Descriptor & TopToBottom) != 0;
    // Plain 8- and 24-bit rows in the usual direction are already in the picture's layout.
    const bool direct = !runLength && (bits == 8 || bits == 24) && !mirrored;
    const int64_t rowLength = int64_t(width) * pixelBytes;
    std::vector<uint8_t> line(direct ? 0 : size_t(rowLength));
    TBufferedInput in(Stream, RaiseEndOfFile);
    TPacketState packet;
    TProgressBracket progress(Picture, const_cast<TTGAFileFormatReader*>(this));
    for (int r = 0; r < height; ++r) {
        // Storage is bottom-up like the usual file: file row r is storage row r unless the file starts at the
        // top.
        uint8_t* row = Picture.GetScanLine(topDown ? r : height - 1 - r);
        if (direct) {
            ReadOrRaise(Stream, row, rowLength, RaiseEndOfFile);
        } else {
            if (runLength)
                DecodeRow(in, packet, line.data(), width, pixelBytes);
            else
                ReadOrRaise(Stream, line.data(), rowLength, RaiseEndOfFile);
            ConvertRow(line.data(), width, pixelBytes, mirrored, row);
        }
        if (progress.Step(r, height))
            break;
    }
    progress.End();
}

void TTGAFileFormatReader::GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    if (Index != 0)
        Raise(PGLangStr(20, QStringLiteral("Index")));
    const TTGAHeader header = ReadHeader(Stream);
    switch (header.ImageType & ~RunLengthType) {
    case 1:
        Info.Extra = QStringLiteral("Color-mapped");
        break;
    case 2:
        Info.Extra = QStringLiteral("True-color");
        break;
    case 3:
        Info.Extra = QStringLiteral("\"Black-and-white\"");
        break;
    default:
        Raise(PGLangStr(20, QStringLiteral("ImageType")));
    }
    CheckHeader(header); // so that data of another format named ".tga" is not described as TGA
    Info.Subformat = (header.ImageType & RunLengthType) ? QStringLiteral("Run-length encoded")
                                                        : QStringLiteral("Uncompressed");
    Info.Width = header.Width;
    Info.Height = header.Height;
    Info.BitsPerPixel = header.BitsPerPixel;
    Info.Colors = Info.BitsPerPixel < 24    ? QString::number(1 << Info.BitsPerPixel)
                  : Info.BitsPerPixel == 24 ? QStringLiteral("16.7M")
                                            : QStringLiteral("16.7M ?");
}

TTGAFileFormatWriter::TTGAFileFormatWriter() {
    Extension = QStringLiteral("tga");
    Description = QStringLiteral("Truevision Targa");
    CanWriteResolutions = (1 << cr256Colors) | (1 << crTrueColor);
}

void TTGAFileFormatWriter::Write(QIODevice& Stream, TPixelGraphic& Picture) const {
    const int width = Picture.GetWidth();
    const int height = Picture.GetHeight();
    // The header holds 16-bit sizes: refuse before writing anything rather than store a cut size.
    if (width > 0xFFFF)
        throw EPGTGAFileFormatWriter(Prefix() + PGLangStr(20, QStringLiteral("Width")));
    if (height > 0xFFFF)
        throw EPGTGAFileFormatWriter(Prefix() + PGLangStr(20, QStringLiteral("Height")));
    const uint8_t bitCountNum = Picture.GetBitCountNum();
    if (bitCountNum != 2 && bitCountNum != 3)
        throw EPGTGAFileFormatWriter(Prefix() + PGLangStr(36));
    const bool mapped = bitCountNum == 2;
    const int entries = mapped ? Picture.GetColorCount() : 0;

    std::vector<uint8_t> head(size_t(HeaderSize + 3 * entries), 0);
    head[1] = mapped ? 1 : 0;
    head[2] = mapped ? 1 : 2;
    PutLE16(head.data() + 5, uint16_t(entries));
    head[7] = mapped ? 24 : 0;
    PutLE16(head.data() + 12, uint16_t(width));
    PutLE16(head.data() + 14, uint16_t(height));
    head[16] = mapped ? 8 : 24;
    for (int i = 0; i < entries; ++i) {
        const TColor c = Picture.IndexToColor(uint32_t(i));
        uint8_t* e = head.data() + HeaderSize + 3 * i;
        e[0] = GetBValue(c);
        e[1] = GetGValue(c);
        e[2] = GetRValue(c);
    }
    WriteOrRaise(Stream, head.data(), qint64(head.size()), RaiseWriteFailed);
    if (height == 0)
        return;

    const int64_t rowLength = int64_t(width) * (mapped ? 1 : 3);
    TProgressBracket progress(Picture, &Picture);
    for (int r = 0; r < height; ++r) {
        if (width > 0) // storage row r, the bottom row first
            WriteOrRaise(Stream, Picture.GetScanLine(height - 1 - r), rowLength, RaiseWriteFailed);
        progress.Step(r, height); // writing always runs to the end
    }
    progress.End();
}

void RegisterTGAFileFormats() {
    RegisterFileFormatReader(std::make_unique<TTGAFileFormatReader>());
    RegisterFileFormatWriter(std::make_unique<TTGAFileFormatWriter>());
}
