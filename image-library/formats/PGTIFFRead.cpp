// The TIFF reader. Every offset, count and size from the file is unsigned and checked in 64 bits against the
// stream before it is used, so a damaged file ends in an exception, never in a read past a buffer, an
// allocation larger than the file or a loop without end.
#include "image-library/formats/PGTIFFRead.h"

#include "framework/MessageBox.h"
#include "framework/StreamIO.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGFormatIO.h"
#include "image-library/formats/PGTIFF.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <numeric>

namespace {

constexpr int EntrySize = 12; // tag 2, field type 2, count 4, value or offset 4

enum TTIFTag : uint16_t {
    tagNewSubfileType = 254,
    tagImageWidth = 256,
    tagImageLength = 257,
    tagBitsPerSample = 258,
    tagCompression = 259,
    tagPhotometricInterpretation = 262,
    tagStripOffsets = 273,
    tagSamplesPerPixel = 277,
    tagRowsPerStrip = 278,
    tagStripByteCounts = 279,
    tagPlanarConfiguration = 284,
    tagColorMap = 320
};

constexpr uint32_t CompressionNone = 1;
constexpr uint32_t CompressionPackBits = 32773;
constexpr uint32_t PhotometricWhiteIsZero = 0;
constexpr uint32_t PhotometricCMYK = 5;

const QString StripCheckText =
    QStringLiteral("TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");

[[noreturn]] void Raise(const QString& Text) {
    throw EPGTIFFileFormatReader(QStringLiteral("TIFF: ") + Text);
}
[[noreturn]] void RaiseInvalid(const char* Name) {
    Raise(PGLangStr(7, QString::fromLatin1(Name)));
}

// Positions the stream at an absolute position, which must lie inside it.
void SeekInside(QIODevice& Stream, int64_t Position, int64_t Size) {
    if (Position < 0 || Position > Size || !Stream.seek(Position))
        TIFRaiseEndOfFile();
}

// The entry table of one directory and what reading its values needs.
struct TTIFEntries {
    QIODevice& Stream;
    int64_t Base;
    int64_t Size;
    bool LittleEndian;
    std::vector<uint8_t> Bytes;

    size_t Count() const { return Bytes.size() / EntrySize; }
    const uint8_t* Entry(size_t i) const { return Bytes.data() + i * EntrySize; }
    uint16_t Word(const uint8_t* p) const {
        uint16_t v;
        std::memcpy(&v, p, sizeof v);
        return TIFSwap16(v, LittleEndian);
    }
    uint32_t Long(const uint8_t* p) const {
        uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return TIFSwap32(v, LittleEndian);
    }
};

int FieldTypeSize(uint16_t Type) {
    switch (Type) {
    case 1: // BYTE
        return 1;
    case 3: // SHORT
        return 2;
    case 4: // LONG
        return 4;
    default:
        Raise(QStringLiteral("Unsupported field Type: %1").arg(Type));
    }
}

// One element of a field's values. A SHORT value standing in the value field is its first two bytes in
// either byte order, never the field read as a LONG and masked.
uint32_t FieldElement(const TTIFEntries& Entries, const uint8_t* p, int TypeSize) {
    switch (TypeSize) {
    case 1:
        return *p;
    case 2:
        return Entries.Word(p);
    default:
        return Entries.Long(p);
    }
}

// The value of the last entry with Tag (every such entry is looked at); Absent when there is none.
uint32_t TIFTagValue(const TTIFEntries& Entries, uint16_t Tag, uint32_t Absent = 0) {
    uint32_t value = Absent;
    for (size_t i = 0; i < Entries.Count(); ++i) {
        const uint8_t* e = Entries.Entry(i);
        if (Entries.Word(e) == Tag)
            value = FieldElement(Entries, e + 8, FieldTypeSize(Entries.Word(e + 2)));
    }
    return value;
}

// The last entry with Tag, or nullptr.
const uint8_t* TIFTagEntry(const TTIFEntries& Entries, uint16_t Tag) {
    const uint8_t* entry = nullptr;
    for (size_t i = 0; i < Entries.Count(); ++i)
        if (Entries.Word(Entries.Entry(i)) == Tag)
            entry = Entries.Entry(i);
    return entry;
}

// The count of values of the last entry with Tag; 0 when there is none.
uint32_t TIFTagCount(const TTIFEntries& Entries, uint16_t Tag) {
    const uint8_t* entry = TIFTagEntry(Entries, Tag);
    return entry ? Entries.Long(entry + 4) : 0;
}

// Values First to First + Used - 1 of the last entry with Tag, which has at least that many. Counts come
// from the file: callers check them against the picture first, so only what is used is read, and it must
// lie inside the stream before anything is allocated for it.
std::vector<uint32_t> TIFTagArray(const TTIFEntries& Entries, uint16_t Tag, uint32_t First, uint32_t Used) {
    const uint8_t* entry = TIFTagEntry(Entries, Tag);
    if (!entry || Used == 0)
        return {};
    const int typeSize = FieldTypeSize(Entries.Word(entry + 2));
    const uint64_t bytes = uint64_t(Used) * uint64_t(typeSize);
    std::vector<uint8_t> outside;
    const uint8_t* source = entry + 8 + uint64_t(First) * typeSize;
    if (uint64_t(Entries.Long(entry + 4)) * uint64_t(typeSize) > 4) {
        const int64_t position = Entries.Base + int64_t(Entries.Long(entry + 8)) + int64_t(First) * typeSize;
        if (position + int64_t(bytes) > Entries.Size)
            TIFRaiseEndOfFile();
        SeekInside(Entries.Stream, position, Entries.Size);
        outside.resize(size_t(bytes));
        if (!ReadExact(Entries.Stream, outside.data(), qint64(bytes)))
            TIFRaiseEndOfFile();
        source = outside.data();
    }
    std::vector<uint32_t> values(Used);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = FieldElement(Entries, source + i * typeSize, typeSize);
    return values;
}

// The combinations of the accepted-format table.
bool AcceptedCombination(const TTIFInfo& Info) {
    const std::vector<uint32_t>& bits = Info.BitsPerSample;
    const bool all8 = std::all_of(bits.begin(), bits.end(), [](uint32_t b) { return b == 8; });
    switch (Info.PhotometricInterpretation) {
    case 0:
    case 1:
    case 3:
        return Info.SamplesPerPixel == 1 && (bits[0] == 1 || bits[0] == 4 || bits[0] == 8);
    case 2:
        return (Info.SamplesPerPixel == 3 || Info.SamplesPerPixel == 4) && all8;
    case PhotometricCMYK:
        return Info.SamplesPerPixel == 4 && all8;
    default:
        return false;
    }
}

// Walks the directory chain from First. A chain that leaves the stream, or is longer than PGTIFMaxPictures
// (a loop), counts as one picture whose directory is the first.
void CountPictures(QIODevice& Stream, int64_t Base, int64_t Size, bool LittleEndian, uint32_t First,
                   int Index, int& PictureCount, uint32_t& Chosen) {
    uint32_t offset = First;
    Chosen = 0;
    int count = 0;
    bool broken = false;
    while (offset != 0 && !broken) {
        if (count == Index)
            Chosen = offset;
        const int64_t directory = Base + offset;
        broken = directory > Size - 2;
        if (broken)
            break;
        SeekInside(Stream, directory, Size);
        const int64_t link = directory + 2 + int64_t(EntrySize) * TIFReadWord(Stream, LittleEndian);
        broken = link > Size - 4;
        if (broken)
            break;
        SeekInside(Stream, link, Size);
        offset = TIFReadLong(Stream, LittleEndian);
        broken = ++count > PGTIFMaxPictures;
    }
    PictureCount = broken ? 1 : count;
    if (broken)
        Chosen = First;
}

const char* CompressionInfoText(uint32_t Compression) {
    switch (Compression) {
    case CompressionNone:
        return "Uncompr.";
    case 2:
        return "CCITT 1D";
    case 3:
        return "Group 3 F.";
    case 4:
        return "Group 4 F.";
    case 5:
        return "LZW";
    case 6:
        return "JPEG";
    case CompressionPackBits:
        return "PackBits";
    default:
        return "";
    }
}

void CheckCompression(uint32_t Compression) {
    switch (Compression) {
    case CompressionNone:
    case CompressionPackBits:
        return;
    case 2:
        Raise(QStringLiteral("Unsupported compression CCITT 1D"));
    case 3:
        Raise(QStringLiteral("Unsupported compression Group 3 Fax"));
    case 4:
        Raise(QStringLiteral("Unsupported compression Group 4 Fax"));
    case 5:
        Raise(QStringLiteral("Unsupported compression LZW"));
    case 6:
        Raise(QStringLiteral("Unsupported compression JPEG"));
    default:
        Raise(QStringLiteral("Unsupported compression %1").arg(Compression));
    }
}

// A single strip whose RowsPerStrip does not cover the picture: the picture's warning action decides
// whether the strip is taken to hold every row.
void WarnStripCount(TPGWarningAction Action) {
    const QString caption = QStringLiteral("TIFF-Warning");
    switch (Action) {
    case pgwaIgnore:
        return;
    case pgwaOKBox:
        MessageBox(StripCheckText, caption, mtWarning, mbOK);
        return;
    case pgwaOKCancelBox:
        if (MessageBox(StripCheckText, caption, mtWarning, mbOK | mbCancel) == mrOk)
            return;
        throw TUserAborted<EPGTIFFileFormatReader>(StripCheckText);
    case pgwaRaise:
        break;
    }
    throw EPGTIFFileFormatReader(StripCheckText);
}

// The file's bytes from the base through a window: bytes close to the last ones read, in either direction,
// cost no read of the stream, so strips that are padded, share their bytes or follow each other with small
// gaps cost what packed strips do. Every byte must lie inside the stream.
class TTIFWindow {
public:
    TTIFWindow(QIODevice& Stream, int64_t Base, int64_t Size) : Stream(Stream), Base(Base), Size(Size) {}

    uint8_t Byte(uint64_t P) {
        if (!Holds(P))
            Fill(P);
        return Window[size_t(P - WindowStart)];
    }

    // Count bytes from P on; as many as a window holds or more go straight from the stream when the window
    // does not have the first of them.
    void Read(uint64_t P, uint8_t* Target, size_t Count) {
        if (!Holds(P) && Count >= WindowSize) {
            SeekTo(P, Count);
            if (!ReadExact(Stream, Target, qint64(Count)))
                TIFRaiseEndOfFile();
            return;
        }
        while (Count > 0) {
            if (!Holds(P))
                Fill(P);
            const size_t chunk = std::min<size_t>(Count, size_t(WindowStart + Window.size() - P));
            std::memcpy(Target, Window.data() + (P - WindowStart), chunk);
            Target += chunk;
            Count -= chunk;
            P += chunk;
        }
    }

private:
    static constexpr int64_t WindowSize = 4096;

    bool Holds(uint64_t P) const { return P >= WindowStart && P - WindowStart < Window.size(); }

    // Positions the stream at P for Count bytes, all inside it; the stream stays where it is when it is
    // there already.
    void SeekTo(uint64_t P, uint64_t Count) {
        const uint64_t held = uint64_t(Size - Base); // from the base on
        if (P > held || Count > held - P)
            TIFRaiseEndOfFile();
        const int64_t position = Base + int64_t(P);
        if (Stream.pos() != position)
            SeekInside(Stream, position, Size);
    }

    // A window that holds P, as much of it as the stream holds; a byte at or past its end is the end of the
    // file. A gap shorter than a window after the last one is read over rather than sought past.
    void Fill(uint64_t P) {
        const uint64_t held = uint64_t(Size - Base);
        if (P >= held)
            TIFRaiseEndOfFile();
        const uint64_t end = WindowStart + Window.size();
        const uint64_t start = !Window.empty() && P >= end && P - end < uint64_t(WindowSize) ? end : P;
        Window.resize(size_t(std::min<uint64_t>(WindowSize, held - start)));
        SeekTo(start, Window.size());
        if (!ReadExact(Stream, Window.data(), qint64(Window.size())))
            TIFRaiseEndOfFile();
        WindowStart = start;
    }

    QIODevice& Stream;
    const int64_t Base;
    const int64_t Size;
    std::vector<uint8_t> Window; // empty until the first fill
    uint64_t WindowStart = 0;
};

// TIFReadRow: the rows of one strip after the other, through the window.
class TTIFRowReader {
public:
    TTIFRowReader(QIODevice& Stream, const TTIFInfo& Info, int64_t Base, int64_t Size, size_t RowBytes)
        : Info(Info), RowBytes(RowBytes), File(Stream, Base, Size) {}

    // Starts a strip at its offset.
    void StartStrip(uint64_t Offset) { P = Offset; }

    // Row Y of the picture, counted from the top, the next of the strip, into Row (RowBytes bytes).
    void ReadRow(uint32_t Y, uint8_t* Row) {
        if (Info.Compression == CompressionNone) {
            File.Read(P, Row, RowBytes);
            P += RowBytes;
        } else {
            ReadPackBits(Y, Row);
        }
    }

private:
    void ReadPackBits(uint32_t Y, uint8_t* Row) {
        const auto rowError = [Y] {
            throw EPGTIFFileFormatReader(
                QStringLiteral("TIFF (PackBits): Invalid count of bytes in row %1").arg(Y));
        };
        size_t i = 0;
        while (i < RowBytes) {
            const int n = int8_t(File.Byte(P++));
            if (n >= 0) {
                if (i + size_t(n) + 1 > RowBytes)
                    rowError();
                File.Read(P, Row + i, size_t(n) + 1);
                P += size_t(n) + 1;
                i += size_t(n) + 1;
            } else if (n != -128) {
                const size_t count = size_t(1 - n);
                if (i + count > RowBytes)
                    rowError();
                std::memset(Row + i, File.Byte(P++), count);
                i += count;
            }
        }
    }

    const TTIFInfo& Info;
    const size_t RowBytes;
    TTIFWindow File;
    uint64_t P = 0; // position in the current strip, from the base
};

// The strips in the order of their offsets, ties in strip order, so that reading them passes over the file
// once in whatever order their writer put them: empty when that is the strips' own order. Each key holds an
// offset above its strip number; stable passes over the offset's bytes, lowest first, keep strip order
// among equal offsets at the cost of four passes, where a comparison sort of millions of strips costs many.
std::vector<uint64_t> StripsInFileOrder(const std::vector<uint32_t>& Offsets) {
    if (std::is_sorted(Offsets.begin(), Offsets.end()))
        return {};
    std::vector<uint64_t> order(Offsets.size()), sorted(Offsets.size());
    for (size_t strip = 0; strip < Offsets.size(); ++strip)
        order[strip] = uint64_t(Offsets[strip]) << 32 | strip;
    for (int shift = 32; shift < 64; shift += 8) {
        std::array<size_t, 257> start{};
        for (uint64_t key : order)
            ++start[(key >> shift & 0xFF) + 1];
        std::partial_sum(start.begin(), start.end(), start.begin());
        for (uint64_t key : order)
            sorted[start[key >> shift & 0xFF]++] = key;
        order.swap(sorted);
    }
    return order;
}

// Sets the colour table from ColorMap: red values, then green, then blue, each of Count div 3 entries, of
// which the picture keeps as many as its format can index.
void SetColorMap(TPixelGraphic& Picture, const std::vector<uint32_t>& ColorMap) {
    if (ColorMap.size() < 3)
        RaiseInvalid("ColorMap");
    const size_t stride = ColorMap.size() / 3;
    const int count = int(std::min<size_t>(stride, size_t(Picture.GetMaxColorCount())));
    Picture.SetColorCount(count);
    for (int i = 0; i < count; ++i)
        Picture.SetPaletteColor(i,
                                RGB(uint8_t(ColorMap[size_t(i)] / 256), uint8_t(ColorMap[stride + i] / 256),
                                    uint8_t(ColorMap[2 * stride + i] / 256)));
}

// The picture's BitCountNum for the directory's samples.
uint8_t PictureFormat(const TTIFInfo& Info) {
    const uint32_t bits = Info.BitsPerSample[0];
    return Info.SamplesPerPixel != 1 ? 3 : bits == 1 ? 0 : bits == 4 ? 1 : 2;
}

// Moves one file row into the picture's storage row.
void StoreRow(const TTIFInfo& Info, const uint8_t* Row, size_t RowBytes, uint8_t* Target) {
    const uint32_t width = Info.ImageWidth;
    const uint32_t bits = Info.BitsPerSample[0] * Info.SamplesPerPixel;
    if (bits < 24) {
        TIFCopyIndexRow(Row, Target, RowBytes, uint64_t(bits) * width,
                        Info.PhotometricInterpretation == PhotometricWhiteIsZero);
    } else if (Info.PhotometricInterpretation != PhotometricCMYK) {
        TIFSwapRedBlue(Row, int(bits / 8), Target, width);
    } else {
        for (uint32_t x = 0; x < width; ++x, Row += 4, Target += 3) {
            const int k = Row[3];
            Target[0] = uint8_t(std::max(255 - Row[2] - k, 0));
            Target[1] = uint8_t(std::max(255 - Row[1] - k, 0));
            Target[2] = uint8_t(std::max(255 - Row[0] - k, 0));
        }
    }
}

} // namespace

void TIFReadDirectory(QIODevice& Stream, int Index, int& PictureCount, TTIFInfo& Info, bool& LittleEndian,
                      qint64& Base, const std::function<void(const TTIFInfo&)>& CheckBeforeArrays) {
    Base = Stream.pos();
    PictureCount = 0;
    const int64_t size = Stream.size();
    char order[2];
    if (!ReadExact(Stream, order, 2))
        TIFRaiseEndOfFile();
    if (order[0] != order[1] || (order[0] != 'I' && order[0] != 'M'))
        Raise(QStringLiteral("Not a TIF file"));
    LittleEndian = order[0] == 'I';
    if (TIFReadWord(Stream, LittleEndian) != 42)
        Raise(QStringLiteral("Not a TIF file"));
    const uint32_t first = TIFReadLong(Stream, LittleEndian);

    uint32_t chosen = first;
    if (PGTIFCountPictures)
        CountPictures(Stream, Base, size, LittleEndian, first, Index, PictureCount, chosen);
    else
        PictureCount = 1;
    if (Index < 0 || Index > PictureCount - 1)
        RaiseInvalid("Index");

    TTIFEntries entries{Stream, Base, size, LittleEndian, {}};
    SeekInside(Stream, Base + chosen, size);
    entries.Bytes.resize(size_t(TIFReadWord(Stream, LittleEndian)) * EntrySize);
    if (!ReadExact(Stream, entries.Bytes.data(), qint64(entries.Bytes.size())))
        TIFRaiseEndOfFile();

    Info = TTIFInfo();
    Info.PlanarConfiguration = TIFTagValue(entries, tagPlanarConfiguration);
    if (Info.PlanarConfiguration > 1)
        RaiseInvalid("PlanarConfiguration");
    Info.NewSubfileType = TIFTagValue(entries, tagNewSubfileType);
    Info.ImageWidth = TIFTagValue(entries, tagImageWidth);
    Info.ImageLength = TIFTagValue(entries, tagImageLength);
    Info.Compression = TIFTagValue(entries, tagCompression);
    Info.PhotometricInterpretation = TIFTagValue(entries, tagPhotometricInterpretation);
    Info.SamplesPerPixel = TIFTagValue(entries, tagSamplesPerPixel, 1);
    if (Info.SamplesPerPixel != 1 && Info.SamplesPerPixel != 3 && Info.SamplesPerPixel != 4)
        Raise(QStringLiteral("Invalid SamplesPerPixel"));
    // The picture model and the strip arithmetic need at least one pixel and one row, in Integer range.
    if (Info.ImageWidth == 0 || Info.ImageWidth > uint32_t(INT_MAX))
        RaiseInvalid("ImageWidth");
    if (Info.ImageLength == 0 || Info.ImageLength > uint32_t(INT_MAX))
        RaiseInvalid("ImageLength");

    if (!TIFTagEntry(entries, tagBitsPerSample))
        Info.BitsPerSample.assign(Info.SamplesPerPixel, 1);
    else if (TIFTagCount(entries, tagBitsPerSample) != Info.SamplesPerPixel)
        Raise(QStringLiteral("Invalid count of SamplesPerPixel"));
    else
        Info.BitsPerSample = TIFTagArray(entries, tagBitsPerSample, 0, Info.SamplesPerPixel);
    if (!AcceptedCombination(Info))
        Raise(QStringLiteral("Invalid SamplesPerPixel"));

    Info.StripOffsetCount = TIFTagCount(entries, tagStripOffsets);
    Info.RowsPerStrip = TIFTagValue(entries, tagRowsPerStrip);
    if (Info.RowsPerStrip == 0) {
        if (Info.StripOffsetCount != 1)
            Raise(QStringLiteral("Invalid RowsPerStrip"));
        Info.RowsPerStrip = Info.ImageLength;
    }
    if (!CheckBeforeArrays)
        return;

    // Strips per image, or a single strip that the strip check may stretch over every row; StripByteCounts
    // are not used.
    const uint64_t strips = (uint64_t(Info.ImageLength) + Info.RowsPerStrip - 1) / Info.RowsPerStrip;
    if (Info.StripOffsetCount != strips && Info.StripOffsetCount != 1)
        throw EPGTIFFileFormatReader(StripCheckText);
    CheckBeforeArrays(Info);
    Info.StripOffsets = TIFTagArray(entries, tagStripOffsets, 0, Info.StripOffsetCount);
    // The map holds its red values, then green, then blue; of each the picture uses no more than its 2^bits
    // entries. The map of a bilevel picture is not used.
    const uint32_t bits = Info.BitsPerSample[0];
    if (Info.PhotometricInterpretation == 3 && bits > 1) {
        const uint32_t stride = TIFTagCount(entries, tagColorMap) / 3;
        if (stride == 0)
            RaiseInvalid("ColorMap");
        const uint32_t used = std::min(stride, 1u << bits);
        for (uint32_t colour = 0; colour < 3; ++colour) {
            const std::vector<uint32_t> values = TIFTagArray(entries, tagColorMap, colour * stride, used);
            Info.ColorMap.insert(Info.ColorMap.end(), values.begin(), values.end());
        }
    }
}

TTIFFileFormatReader::TTIFFileFormatReader() {
    Extension = QStringLiteral("tif");
    Description = QStringLiteral("Tagged Image File Format");
    HasSignature = true;
}

TTIFFFileFormatReader::TTIFFFileFormatReader() {
    Extension = QStringLiteral("tiff");
}

bool TTIFFileFormatReader::IsFormat(const TFileFormatHeader& Header) const {
    return (Header[0] == 'I' && Header[1] == 'I' && Header[2] == 42 && Header[3] == 0) ||
           (Header[0] == 'M' && Header[1] == 'M' && Header[2] == 0 && Header[3] == 42);
}

void TTIFFileFormatReader::Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const {
    TTIFInfo info;
    int pictureCount;
    bool littleEndian;
    qint64 base;
    // RowsPerStrip 2^32 - 1, the format's default, is one strip: the arithmetic stays unsigned 64-bit.
    uint64_t rowsPerStrip = 0;
    uint64_t rowBytes = 0;
    const int64_t size = Stream.size();
    // Everything the picture's size decides is checked before the arrays, which grow with it, are read.
    TIFReadDirectory(Stream, Index, pictureCount, info, littleEndian, base, [&](const TTIFInfo& directory) {
        CheckCompression(directory.Compression);
        rowsPerStrip = directory.RowsPerStrip;
        const uint64_t strips = (uint64_t(directory.ImageLength) + rowsPerStrip - 1) / rowsPerStrip;
        if (strips != directory.StripOffsetCount) {
            WarnStripCount(Picture.GetReadWarningAction());
            rowsPerStrip = directory.ImageLength;
        }
        // A row needs its bytes in the file, or at least two bytes for every 128 with PackBits: a row the
        // stream cannot hold is its end.
        rowBytes =
            (uint64_t(directory.BitsPerSample[0]) * directory.SamplesPerPixel * directory.ImageWidth + 7) / 8;
        if ((directory.Compression == CompressionNone ? rowBytes : (rowBytes + 127) / 128 * 2) >
            uint64_t(size))
            TIFRaiseEndOfFile();
        if (!TPixelGraphic::FitsPixelMemory(int(directory.ImageWidth), int(directory.ImageLength),
                                            PictureFormat(directory)))
            TPixelGraphic::RaisePixelMemoryFailure();
    });

    const uint8_t bitCountNum = PictureFormat(info);
    Picture.SetFormat(int(info.ImageWidth), int(info.ImageLength), bitCountNum);
    if (bitCountNum == 0)
        Picture.SetPaletteIdent(pBlackWhite);
    else if (bitCountNum < 3 && info.PhotometricInterpretation == 3)
        SetColorMap(Picture, info.ColorMap);
    else if (bitCountNum < 3)
        Picture.SetPaletteIdent(bitCountNum == 1 ? pGray16 : pGray256);

    std::vector<uint8_t> row(rowBytes);
    TTIFRowReader rows(Stream, info, base, size, size_t(rowBytes));
    const std::vector<uint64_t> order = StripsInFileOrder(info.StripOffsets);

    // Events name the reader as their sender; the reader itself is not changed through it. Each step is a
    // row, counted in the order the strips are read in.
    TProgressBracket progress(Picture, const_cast<TTIFFileFormatReader*>(this));
    const uint64_t height = info.ImageLength;
    uint64_t rowsRead = 0;
    constexpr size_t Ahead = 16;
    for (size_t k = 0; k < info.StripOffsets.size(); ++k) {
        const uint64_t strip = order.empty() ? k : uint32_t(order[k]);
        rows.StartStrip(order.empty() ? info.StripOffsets[k] : order[k] >> 32);
        // Strips out of order put their rows all over the picture: the rows a few strips on are fetched
        // while this one is read.
        if (!order.empty() && k + Ahead < order.size())
            __builtin_prefetch(Picture.GetScanLine(int(uint32_t(order[k + Ahead]) * rowsPerStrip)), 1);
        const uint64_t first = strip * rowsPerStrip;
        for (uint64_t y = first; y < std::min(first + rowsPerStrip, height); ++y) {
            rows.ReadRow(uint32_t(y), row.data());
            StoreRow(info, row.data(), size_t(rowBytes), Picture.GetScanLine(int(y)));
            if (progress.Step(int(rowsRead++), int(height)))
                return;
        }
    }
}

void TTIFFileFormatReader::GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    TTIFInfo tif;
    bool littleEndian;
    qint64 base;
    TIFReadDirectory(Stream, Index, Info.PictureCount, tif, littleEndian, base, {});

    static const char* const Photometric[] = {", WhiteIsZero", ", BlackIsZero", ", RGB", ", RGB Palette", "",
                                              ", CMYK"};
    // TIFReadDirectory accepts only the interpretations of this table.
    Info.Subformat = QLatin1String(littleEndian ? "I, " : "M, ") +
                     QLatin1String(CompressionInfoText(tif.Compression)) +
                     QLatin1String(Photometric[tif.PhotometricInterpretation]);
    if (tif.Compression >= 2 && tif.Compression <= 6)
        Info.Extra = QStringLiteral("(Unsupported compression)");
    Info.Width = int(tif.ImageWidth);
    Info.Height = int(tif.ImageLength);
    uint32_t bits = 0;
    for (uint32_t b : tif.BitsPerSample)
        bits += b;
    Info.BitsPerPixel = int(bits);
    Info.Colors = bits > 23 ? QStringLiteral("16.7 M") : QString::number(1u << bits);
}
