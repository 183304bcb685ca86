// The TIFF writer. The layout follows from the order of writing: header, directory, the values that do not
// fit in the directory, then the strips; the offsets that are only known later are patched in place.
#include "image-library/formats/PGTIFFWrite.h"

#include "framework/FileStreams.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGFormatIO.h"
#include "image-library/formats/PGTIFF.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint16_t TypeShort = 3;
constexpr uint16_t TypeLong = 4;
constexpr uint16_t TypeRational = 5;

constexpr int32_t CompressionNone = 1;
constexpr int32_t CompressionPackBits = 32773;

// A strip holds at most this many bytes of row data (twice the row size counted with PackBits).
constexpr int64_t StripBudget = 32767;

[[noreturn]] void RaiseInternalError() {
    throw EPGTIFFileFormatWriter(QStringLiteral("TIFF: Internal Error"));
}

void CheckNotEmpty(const TPixelGraphic& Picture) {
    if (Picture.GetWidth() == 0 || Picture.GetHeight() == 0)
        throw EPGTIFFileFormatWriter(QStringLiteral("TIFF: ") +
                                     PGLangStr(16, QStringLiteral("PixelGraphic")));
}

bool KnownCompression() {
    return PGTIFCompression == CompressionNone || PGTIFCompression == CompressionPackBits;
}

int64_t BytesPerRow(const TPixelGraphic& Picture) {
    const int64_t width = Picture.GetWidth();
    switch (Picture.GetBitCountNum()) {
    case 0:
        return (width + 7) / 8;
    case 1:
        return (width + 1) / 2;
    case 2:
        return width;
    default:
        return width * (PGTIFCMYK ? 4 : 3);
    }
}

// The grey (or black-and-white) table of each paletted format: pictures with it are written as grey
// pictures, the others with a colour map.
TPaletteIdent GreyKind(uint8_t BitCountNum) {
    return BitCountNum == 0 ? pBlackWhite : BitCountNum == 1 ? pGray16 : pGray256;
}

uint16_t Photometric(const TPixelGraphic& Picture) {
    const uint8_t bitCountNum = Picture.GetBitCountNum();
    if (bitCountNum == 3)
        return PGTIFCMYK ? 5 : 2;
    if (bitCountNum == 0 || Picture.GetPaletteIdent() == GreyKind(bitCountNum))
        return PGTIFWhiteIsZero ? 0 : 1;
    return 3;
}

// Row y of the picture, counted from the top, as the file stores it (Row holds BytesPerRow bytes).
void FillRow(TPixelGraphic& Picture, int Y, uint8_t* Row, size_t RowBytes) {
    const uint8_t bitCountNum = Picture.GetBitCountNum();
    const uint8_t* source = Picture.GetScanLine(Y);
    const int width = Picture.GetWidth();
    if (bitCountNum < 3) {
        TIFCopyIndexRow(source, Row, RowBytes, uint64_t(Picture.GetBitCount()) * width,
                        PGTIFWhiteIsZero && Picture.GetPaletteIdent() == GreyKind(bitCountNum));
    } else if (!PGTIFCMYK) {
        TIFSwapRedBlue(source, 3, Row, size_t(width));
    } else {
        for (int x = 0; x < width; ++x, source += 3, Row += 4) {
            const uint8_t c = uint8_t(255 - source[2]), m = uint8_t(255 - source[1]),
                          y = uint8_t(255 - source[0]);
            const uint8_t k = std::min({c, m, y});
            Row[0] = uint8_t(c - k);
            Row[1] = uint8_t(m - k);
            Row[2] = uint8_t(y - k);
            Row[3] = k;
        }
    }
}

// The positions that start three equal bytes, one bit each (bit i mod 64 of word i div 64), found 16 at a
// time without a branch; the words end with a zero word.
void MarkTriples(const uint8_t* Row, size_t Count, std::vector<uint64_t>& Bits) {
    Bits.assign(Count / 64 + 2, 0);
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 18 <= Count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + i + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + i + 2));
        const uint64_t m =
            uint32_t(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, b), _mm_cmpeq_epi8(b, c))));
        Bits[i / 64] |= m << (i % 64);
    }
#endif
    for (; i + 2 < Count; ++i)
        if (Row[i] == Row[i + 1] && Row[i] == Row[i + 2])
            Bits[i / 64] |= uint64_t(1) << (i % 64);
}

// The first position from P on whose bit is Set, Count when there is none.
size_t NextBit(const std::vector<uint64_t>& Bits, size_t P, size_t Count, bool Set) {
    const uint64_t flip = Set ? 0 : ~uint64_t(0);
    size_t word = P / 64;
    uint64_t w = (Bits[word] ^ flip) >> (P % 64);
    if (w)
        return std::min(Count, P + size_t(std::countr_zero(w)));
    while (++word < Bits.size())
        if ((w = Bits[word] ^ flip))
            return std::min(Count, word * 64 + size_t(std::countr_zero(w)));
    return Count;
}

// Literal packets of at most 128 bytes; the count minus one leads each. Stretches are mostly a few bytes
// long: they move 32 bytes at a time, the last move reaching past the packet (into space the next packets
// overwrite, the code having Slack bytes to spare) as long as it stays inside the row, which ends at End.
constexpr size_t Slack = 32;
uint8_t* PutLiterals(uint8_t* Out, const uint8_t* From, size_t Count, const uint8_t* End) {
    while (Count > 0) {
        const size_t k = std::min<size_t>(Count, 128);
        *Out++ = uint8_t(k - 1);
        if (From + ((k + 31) & ~size_t(31)) <= End)
            for (size_t i = 0; i < k; i += 32)
                std::memcpy(Out + i, From + i, 32);
        else
            std::memcpy(Out, From, k);
        Out += k, From += k, Count -= k;
    }
    return Out;
}

// Repeat packets of at most 128 bytes: 1 - k as a signed byte, then the value (a lone byte left over from a
// long run becomes 0 and the byte, which reads as a literal of one).
uint8_t* PutRepeats(uint8_t* Out, uint8_t Value, size_t Count) {
    while (Count > 0) {
        const size_t k = std::min<size_t>(Count, 128);
        *Out++ = uint8_t(int8_t(1 - int(k))); // never -128: k is at most 128
        *Out++ = Value;
        Count -= k;
    }
    return Out;
}

} // namespace

// Runs are found through a bit per position instead of a run length per byte. Between two runs of three or
// more (or the row's ends) lie only lone bytes and pairs; a pair is coded as literal exactly when the chain
// of pairs it belongs to touches a lone byte (the forward smoothing turns a chain after a lone byte, the
// backward one a chain before one, and longer runs stop both). So such a stretch is literal as a whole
// unless it is nothing but pairs, which are repeats then.
void TIFPackBitsRow(const uint8_t* Row, size_t Count, std::vector<uint8_t>& Code) {
    const size_t start = Code.size();
    // Every packet but a literal one codes at least as many bytes as it takes; a literal one takes one more
    // per 128, and the run of three or more that ends it saves one.
    Code.resize(start + Count + Count / 64 + 2 + Slack);
    uint8_t* out = Code.data() + start;
    auto stretch = [&](size_t From, size_t To) {
        if (From == To)
            return;
        // Mostly decided by the first byte pair and the length, without a branch on either.
        bool pairs = ((To - From) % 2 == 0) & (Row[From] == Row[From + (To - From > 1)]);
        for (size_t k = From + 2; pairs && k < To; k += 2)
            pairs = Row[k] == Row[k + 1];
        if (!pairs)
            out = PutLiterals(out, Row + From, To - From, Row + Count);
        else
            for (size_t k = From; k < To; k += 2)
                out = PutRepeats(out, Row[k], 2);
    };
    std::vector<uint64_t> triples;
    MarkTriples(Row, Count, triples);
    size_t p = 0;
    while (p < Count) {
        const size_t q = NextBit(triples, p, Count, true);
        stretch(p, q);
        if (q == Count)
            break;
        const size_t end = std::min(Count, NextBit(triples, q, Count, false) + 2); // the last start, 2 more
        out = PutRepeats(out, Row[q], end - q);
        p = end;
    }
    Code.resize(size_t(out - Code.data()));
}

TTIFFileFormatWriter::TTIFFileFormatWriter() {
    Extension = QStringLiteral("tif");
    Description = QStringLiteral("Tagged Image File Format");
    CanWriteResolutions = 253; // every resolution but "2 colors"
}

TTIFFFileFormatWriter::TTIFFFileFormatWriter() {
    Extension = QStringLiteral("tiff");
    Enabled = false;
}

void TTIFFileFormatWriter::Seek(QIODevice& Stream, qint64 Offset) const {
    if (!Stream.seek(StartPosition + Offset))
        throw EWriteError(QStringLiteral("Stream seek error"));
}

qint64 TTIFFileFormatWriter::TIFWriteWord(QIODevice& Stream, uint16_t Value) const {
    const qint64 offset = Offset(Stream);
    const uint16_t v = TIFSwap16(Value, !PGTIFBigEndian);
    WriteBuffer(Stream, &v, sizeof v);
    return offset;
}

qint64 TTIFFileFormatWriter::TIFWriteLong(QIODevice& Stream, uint32_t Value) const {
    const qint64 offset = Offset(Stream);
    const uint32_t v = TIFSwap32(Value, !PGTIFBigEndian);
    WriteBuffer(Stream, &v, sizeof v);
    return offset;
}

qint64 TTIFFileFormatWriter::TIFWriteEntry(QIODevice& Stream, uint16_t Tag, uint16_t Type, uint32_t Count,
                                           uint32_t Value, int& EntryCount) const {
    const qint64 offset = TIFWriteWord(Stream, Tag);
    TIFWriteWord(Stream, Type);
    TIFWriteLong(Stream, Count);
    // A single SHORT stands left-justified in the value field; anything else there is a LONG or an offset.
    if (Type == TypeShort && Count == 1) {
        TIFWriteWord(Stream, uint16_t(Value));
        TIFWriteWord(Stream, 0);
    } else {
        TIFWriteLong(Stream, Value);
    }
    ++EntryCount;
    return offset;
}

void TTIFFileFormatWriter::TIFPadEven(QIODevice& Stream) const {
    if (Offset(Stream) % 2 != 0)
        WriteBuffer(Stream, "", 1);
}

void TTIFFileFormatWriter::Write(QIODevice& Stream, TPixelGraphic& Picture) const {
    CheckNotEmpty(Picture);
    if (!KnownCompression())
        RaiseInternalError();
    WriteHeader(Stream);
    WriteImage(Stream, Picture);
    WriteEnd(Stream);
}

void TTIFFileFormatWriter::WriteHeader(QIODevice& Stream) const {
    StartPosition = Stream.pos();
    WriteBuffer(Stream, PGTIFBigEndian ? "MM" : "II", 2);
    TIFWriteWord(Stream, 42);
    LinkPosition = Stream.pos();
    TIFWriteLong(Stream, 0);
}

void TTIFFileFormatWriter::WriteEnd(QIODevice&) const {}

void TTIFFileFormatWriter::WriteImage(QIODevice& Stream, TPixelGraphic& Picture) const {
    CheckNotEmpty(Picture); // the strip arithmetic needs one row byte and one row
    const uint8_t bitCountNum = Picture.GetBitCountNum();
    const int height = Picture.GetHeight();
    const bool packBits = PGTIFCompression == CompressionPackBits;
    const int64_t rowBytes = BytesPerRow(Picture);
    const int64_t rowsPerStrip =
        std::clamp<int64_t>(StripBudget / (packBits ? 2 * rowBytes : rowBytes), 1, height);
    const size_t strips = size_t((height + rowsPerStrip - 1) / rowsPerStrip);
    std::vector<uint32_t> stripOffsets(strips), stripByteCounts(strips);

    // Link the directory into the chain.
    const qint64 directory = Offset(Stream);
    Seek(Stream, LinkPosition - StartPosition);
    TIFWriteLong(Stream, uint32_t(directory));
    Seek(Stream, directory);

    int entryCount = 0;
    const qint64 countOffset = TIFWriteWord(Stream, 0);
    const uint16_t samples = bitCountNum < 3 ? 1 : PGTIFCMYK ? 4 : 3;
    const uint16_t photometric = Photometric(Picture);
    TIFWriteEntry(Stream, 254, TypeLong, 1, 0, entryCount);
    TIFWriteEntry(Stream, 256, TypeLong, 1, uint32_t(Picture.GetWidth()), entryCount);
    TIFWriteEntry(Stream, 257, TypeLong, 1, uint32_t(height), entryCount);
    const qint64 bitsEntry = TIFWriteEntry(Stream, 258, TypeShort, samples,
                                           bitCountNum < 3 ? uint32_t(Picture.GetBitCount()) : 0, entryCount);
    if (!KnownCompression())
        RaiseInternalError();
    TIFWriteEntry(Stream, 259, TypeShort, 1, uint32_t(PGTIFCompression), entryCount);
    TIFWriteEntry(Stream, 262, TypeShort, 1, photometric, entryCount);
    const qint64 offsetsEntry = TIFWriteEntry(Stream, 273, TypeLong, uint32_t(strips), 0, entryCount);
    TIFWriteEntry(Stream, 277, TypeShort, 1, samples, entryCount);
    TIFWriteEntry(Stream, 278, TypeLong, 1, uint32_t(rowsPerStrip), entryCount);
    const qint64 countsEntry = TIFWriteEntry(Stream, 279, TypeLong, uint32_t(strips), 0, entryCount);
    const qint64 xEntry = TIFWriteEntry(Stream, 282, TypeRational, 1, 0, entryCount);
    const qint64 yEntry = TIFWriteEntry(Stream, 283, TypeRational, 1, 0, entryCount);
    TIFWriteEntry(Stream, 296, TypeShort, 1, uint32_t(PGTIFResolutionUnit) + 1, entryCount);
    const int mapSize = photometric == 3 ? 1 << Picture.GetBitCount() : 0;
    const qint64 mapEntry =
        mapSize > 0 ? TIFWriteEntry(Stream, 320, TypeShort, uint32_t(3 * mapSize), 0, entryCount) : 0;
    LinkPosition = Stream.pos();
    TIFWriteLong(Stream, 0);

    // The values that do not fit in their entries.
    qint64 mapOffset = 0, bitsOffset = 0;
    if (mapSize > 0) {
        mapOffset = Offset(Stream);
        for (int component = 0; component < 3; ++component)
            for (int i = 0; i < mapSize; ++i) {
                const TColor c = Picture.PixelValueColor(uint32_t(i));
                const uint8_t v = component == 0   ? GetRValue(c)
                                  : component == 1 ? GetGValue(c)
                                                   : GetBValue(c);
                TIFWriteWord(Stream, uint16_t(v * 256));
            }
    }
    if (bitCountNum == 3) {
        bitsOffset = Offset(Stream);
        for (int i = 0; i < samples; ++i)
            TIFWriteWord(Stream, 8);
    }
    const qint64 xOffset = TIFWriteLong(Stream, uint32_t(PGTIFXResolutionNum));
    TIFWriteLong(Stream, uint32_t(PGTIFXResolutionDen));
    const qint64 yOffset = TIFWriteLong(Stream, uint32_t(PGTIFYResolutionNum));
    TIFWriteLong(Stream, uint32_t(PGTIFYResolutionDen));
    const qint64 offsetsArray = Offset(Stream);
    const qint64 countsArray = offsetsArray + 4 * qint64(strips);
    if (strips > 1) {
        const std::vector<uint8_t> zeros(8 * strips);
        WriteBuffer(Stream, zeros.data(), qint64(zeros.size()));
    }

    const qint64 data = Offset(Stream);
    Seek(Stream, countOffset);
    TIFWriteWord(Stream, uint16_t(entryCount));
    const auto patch = [&](qint64 entry, qint64 value) {
        Seek(Stream, entry + 8);
        TIFWriteLong(Stream, uint32_t(value));
    };
    if (bitCountNum == 3)
        patch(bitsEntry, bitsOffset);
    patch(xEntry, xOffset);
    patch(yEntry, yOffset);
    if (mapSize > 0)
        patch(mapEntry, mapOffset);
    Seek(Stream, data);

    std::vector<uint8_t> row(size_t(rowBytes), 0);
    std::vector<uint8_t> code;

    {
        // Events name the writer as their sender; the writer itself is not changed through it.
        TProgressBracket progress(Picture, const_cast<TTIFFileFormatWriter*>(this));
        for (int y = 0; y < height; ++y) {
            const size_t strip = size_t(y / rowsPerStrip);
            if (y % rowsPerStrip == 0) {
                TIFPadEven(Stream);
                stripOffsets[strip] = uint32_t(Offset(Stream));
            }
            FillRow(Picture, y, row.data(), row.size());
            if (packBits) {
                code.clear();
                TIFPackBitsRow(row.data(), row.size(), code);
                WriteBuffer(Stream, code.data(), qint64(code.size()));
            } else {
                WriteBuffer(Stream, row.data(), qint64(row.size()));
            }
            if (y % rowsPerStrip == rowsPerStrip - 1 || y == height - 1)
                stripByteCounts[strip] = uint32_t(Offset(Stream) - stripOffsets[strip]);
            progress.Step(y, height - 1); // writing always runs to the end
        }
    }

    const qint64 end = Offset(Stream);
    if (strips == 1) {
        patch(offsetsEntry, stripOffsets[0]);
        patch(countsEntry, stripByteCounts[0]);
    } else {
        for (std::vector<uint32_t>* values : {&stripOffsets, &stripByteCounts})
            for (uint32_t& v : *values)
                v = TIFSwap32(v, !PGTIFBigEndian);
        Seek(Stream, offsetsArray);
        WriteBuffer(Stream, stripOffsets.data(), qint64(4 * strips));
        WriteBuffer(Stream, stripByteCounts.data(), qint64(4 * strips));
        patch(offsetsEntry, offsetsArray);
        patch(countsEntry, countsArray);
    }
    Seek(Stream, end);
}
