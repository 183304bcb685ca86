// BMP files and the device-independent bitmaps inside them: headers, colour tables, 1- to 32-bit pixels,
// bit-field masks and run-length data, read into a picture and written from one.
#include "image-library/formats/PGBMP.h"

#include "framework/FileStreams.h"
#include "framework/StreamIO.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

std::unique_ptr<TBMPFileFormatWriter> BMPStreamWriter;

namespace {

constexpr int FileHeaderSize = 14;
constexpr int CoreHeaderSize = 12;
constexpr int InfoHeaderSize = 40;
constexpr int MasksSize = 12; // red, green, blue at bytes 40..51 of the info header and its successors

enum TCompression : uint32_t { biRGB, biRLE8, biRLE4, biBitFields };

[[noreturn]] void RaiseBMP(const QString& Text) {
    throw EPGBMPFileFormatReader(QStringLiteral("BMP: ") + Text);
}
[[noreturn]] void RaiseInvalid(const char* Field) {
    RaiseBMP(PGLangStr(7, QString::fromLatin1(Field)));
}
[[noreturn]] void RaiseUnexpectedEnd() {
    RaiseBMP(PGLangStr(32));
}
[[noreturn]] void RaiseHeaderSize() {
    RaiseBMP(PGLangStr(27, QStringLiteral("BitmapInfoHeader/BitmapCoreHeader")));
}

// Reads what the device still gives, up to Count bytes; the rest of the buffer keeps its bytes.
int64_t ReadUpTo(QIODevice& Stream, uint8_t* Buffer, int64_t Count) {
    int64_t done = 0;
    while (done < Count) {
        const qint64 got = Stream.read(reinterpret_cast<char*>(Buffer + done), Count - done);
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

int64_t BytesLeft(QIODevice& Stream) {
    return Stream.isSequential() ? Stream.bytesAvailable() : Stream.size() - Stream.pos();
}

// Header, masks and colour table must arrive whole: a short one would leave the picture described by
// bytes that were never read. Counts the bytes the DIB has consumed so far.
struct TDIBInput {
    QIODevice& Stream;
    int64_t Consumed = 0;

    void Read(void* Buffer, int64_t Count) {
        if (!ReadExact(Stream, Buffer, Count))
            RaiseUnexpectedEnd();
        Consumed += Count;
    }
    void Skip(int64_t Count) {
        if (Count <= 0)
            return;
        if (Stream.skip(Count) != Count)
            RaiseUnexpectedEnd();
        Consumed += Count;
    }
};

// The fields of either header kind that decide how the rest of a DIB is read, already checked.
struct TDIBHeader {
    uint32_t Size = 0;
    int32_t Width = 0;
    int32_t Height = 0; // as stored: negative for top-down rows
    uint16_t BitCount = 0;
    uint32_t Compression = biRGB;
    uint32_t SizeImage = 0;
    uint32_t ClrUsed = 0;
};

TDIBHeader ReadCoreHeader(TDIBInput& In) {
    uint8_t b[CoreHeaderSize];
    In.Read(b, CoreHeaderSize);
    TDIBHeader h;
    h.Size = GetLE32(b);
    h.Width = GetLE16(b + 4);
    h.Height = GetLE16(b + 6);
    h.BitCount = GetLE16(b + 10);
    if (GetLE16(b + 8) != 1)
        RaiseInvalid("BitmapCoreHeader.bcPlanes");
    if (h.BitCount != 1 && h.BitCount != 4 && h.BitCount != 8 && h.BitCount != 24)
        RaiseInvalid("BitmapCoreHeader.bcBitCount");
    return h;
}

bool Admissible(const TDIBHeader& h) {
    switch (h.Compression) {
    case biRGB:
        return true;
    case biRLE8:
        return h.BitCount == 8 && h.Height >= 0;
    case biRLE4:
        return h.BitCount == 4 && h.Height >= 0;
    case biBitFields:
        return h.BitCount == 16 || h.BitCount == 32;
    default:
        return false;
    }
}

TDIBHeader ReadInfoHeader(TDIBInput& In) {
    uint8_t b[InfoHeaderSize];
    In.Read(b, InfoHeaderSize);
    TDIBHeader h;
    h.Size = GetLE32(b);
    h.Width = int32_t(GetLE32(b + 4));
    h.Height = int32_t(GetLE32(b + 8));
    h.BitCount = GetLE16(b + 14);
    h.Compression = GetLE32(b + 16);
    h.SizeImage = GetLE32(b + 20);
    h.ClrUsed = GetLE32(b + 32);
    if (GetLE16(b + 12) != 1)
        RaiseInvalid("BitmapInfoHeader.biPlanes");
    static constexpr uint16_t bitCounts[] = {1, 4, 8, 16, 24, 32};
    if (std::find(std::begin(bitCounts), std::end(bitCounts), h.BitCount) == std::end(bitCounts))
        RaiseInvalid("BitmapInfoHeader.biBitCount");
    if (!Admissible(h))
        RaiseInvalid("BitmapInfoHeader.biCompression");
    if (h.Height == INT32_MIN) // its magnitude is no Integer
        RaiseInvalid("BitmapInfoHeader.biHeight");
    return h;
}

// Reads the file header and tells the size of the DIB header behind it, leaving the stream at the DIB.
uint32_t ReadFileHeader(QIODevice& Stream, uint32_t& PixelOffset) {
    uint8_t b[FileHeaderSize];
    if (!ReadExact(Stream, b, FileHeaderSize))
        RaiseUnexpectedEnd();
    PixelOffset = GetLE32(b + 10);
    uint8_t size[4];
    if (Stream.peek(reinterpret_cast<char*>(size), 4) != 4)
        RaiseUnexpectedEnd();
    const uint32_t headerSize = GetLE32(size);
    if (headerSize != CoreHeaderSize && headerSize != InfoHeaderSize)
        RaiseHeaderSize();
    return headerSize;
}

// One colour component of 16- and 32-bit pixels. The field is moved so that its top bit lands on bit 7;
// a field wider than 8 bits keeps its top 8 bits. Fields of at most 8 bits in 16-bit data may get half a
// step added, so that full intensity reads 255.
struct TBitField {
    uint32_t Mask = 0;
    int Shift = 0; // left when positive
    uint32_t Add = 0;

    TBitField(uint32_t M, bool RoundUp) : Mask(M) {
        const int trailing = std::countr_zero(M);
        const int width = std::bit_width(M >> trailing);
        Shift = 8 - width - trailing;
        Add = RoundUp && width <= 8 ? 1u << (8 - width) : 0;
    }
    uint8_t operator()(uint32_t V) const {
        const uint64_t m = V & Mask;
        if (m == 0)
            return 0;
        const uint64_t c = (Shift >= 0 ? m << Shift : m >> -Shift) + Add;
        return uint8_t(std::min<uint64_t>(c, 255));
    }
};

// Table entries a DIB of this picture carries: what the table holds, never more than the format indexes
// (none for 24 bits), and a full black table for a paletted picture without one, since readers take
// colours used 0 as a full table.
int DIBColorEntries(const TPixelGraphic& Picture) {
    const int max = Picture.GetMaxColorCount();
    const int count = Picture.GetColorCount();
    return count == 0 ? max : std::min(count, max);
}

// Run-length data into a 4- or 8-bit picture whose rows start at Bits, bottom row first. Positions are
// 64-bit, every run is clipped to its row, and a run whose bytes lie beyond the data ends the decoding,
// so the work is bounded by the data's size. Progress returns true to stop.
template <class ProgressFn>
void DecodeRLE(const uint8_t* D, int64_t N, bool Is4Bit, uint8_t* Bits, int64_t Width, int64_t Height,
               int64_t RowBytes, ProgressFn Progress) {
    int64_t x = 0;
    int64_t y = Height - 1; // picture row from the top; the data start with the bottom row
    int64_t p = 0;
    const int64_t q = N / 10;
    auto put = [&](int64_t count, auto valueOf) {
        if (y >= 0 && x < Width) {
            uint8_t* row = Bits + (Height - 1 - y) * RowBytes;
            const int64_t n = std::min(count, Width - x);
            for (int64_t k = 0; k < n; ++k) {
                const int64_t c = x + k;
                const uint8_t v = valueOf(k);
                if (!Is4Bit)
                    row[c] = v;
                else if (c % 2 == 0)
                    row[c / 2] = uint8_t((row[c / 2] & 0x0F) | (v << 4));
                else
                    row[c / 2] = uint8_t((row[c / 2] & 0xF0) | v);
            }
        }
        x += count;
    };
    while (p < N - 1 && y >= 0) {
        const uint8_t b = D[p];
        const uint8_t e = D[p + 1];
        if (b > 0) {
            if (Is4Bit)
                put(b, [e](int64_t k) { return uint8_t(k % 2 == 0 ? e >> 4 : e & 0x0F); });
            else
                put(b, [e](int64_t) { return e; });
            p += 2;
        } else if (e == 0) {
            x = 0;
            --y;
            p += 2;
        } else if (e == 1) {
            break;
        } else if (e == 2) {
            if (p >= N - 3)
                break;
            x += D[p + 2];
            y -= D[p + 3];
            p += 4;
        } else {
            const int64_t bytes = Is4Bit ? (e + 1) / 2 : e;
            if (p + 2 + bytes > N)
                break;
            const uint8_t* run = D + p + 2;
            if (Is4Bit)
                put(e,
                    [run](int64_t k) { return uint8_t(k % 2 == 0 ? run[k / 2] >> 4 : run[k / 2] & 0x0F); });
            else
                put(e, [run](int64_t k) { return run[k]; });
            p += bytes + 2;
            p += p % 2; // runs are padded to 16-bit words
        }
        if (q != 0 && p % q == 0 && Progress(int(p / q)))
            break;
    }
}

} // namespace

TBMPFileFormatReader::TBMPFileFormatReader() {
    Extension = QStringLiteral("bmp");
    Description = QStringLiteral("Bitmap");
    HasSignature = true;
}

bool TBMPFileFormatReader::IsFormat(const TFileFormatHeader& Header) const {
    return Header[0] == 'B' && Header[1] == 'M';
}

void TBMPFileFormatReader::Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const {
    if (Index != 0)
        RaiseInvalid("Index");
    uint32_t pixelOffset = 0;
    const uint32_t headerSize = ReadFileHeader(Stream, pixelOffset);
    Picture.ReadDIB(Stream, headerSize == CoreHeaderSize,
                    std::max<int64_t>(int64_t(pixelOffset) - FileHeaderSize, 0));
}

void TBMPFileFormatReader::GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    if (Index != 0)
        RaiseBMP(PGLangStr(20, QStringLiteral("Index")));
    uint32_t pixelOffset = 0;
    TDIBInput in{Stream};
    if (ReadFileHeader(Stream, pixelOffset) == CoreHeaderSize) {
        Info.Subformat = QStringLiteral("OS/2");
        const TDIBHeader h = ReadCoreHeader(in);
        Info.Width = h.Width;
        Info.Height = h.Height;
        Info.BitsPerPixel = h.BitCount;
    } else {
        Info.Subformat = QStringLiteral("Windows");
        const TDIBHeader h = ReadInfoHeader(in);
        Info.Width = h.Width;
        Info.Height = h.Height;
        Info.BitsPerPixel = h.BitCount;
        static const char* const compressions[] = {", RGB", ", RLE8", ", RLE4", ""};
        Info.Subformat += QString::fromLatin1(compressions[h.Compression]);
        if (h.Height < 0)
            Info.Subformat += QStringLiteral(", Top-Down");
    }
    switch (Info.BitsPerPixel) {
    case 1:
        Info.Colors = QStringLiteral("2");
        break;
    case 4:
        Info.Colors = QStringLiteral("16");
        break;
    case 8:
        Info.Colors = QStringLiteral("256");
        break;
    case 16:
        Info.Colors = QStringLiteral("64K");
        break;
    default:
        Info.Colors = QStringLiteral("16.7M");
    }
}

TBMPFileFormatWriter::TBMPFileFormatWriter() {
    Extension = QStringLiteral("bmp");
    Description = QStringLiteral("Bitmap");
    CanWriteResolutions = 255;
}

void TBMPFileFormatWriter::Write(QIODevice& Stream, TPixelGraphic& Picture) const {
    const uint32_t offset = uint32_t(FileHeaderSize + InfoHeaderSize + 4 * DIBColorEntries(Picture));
    uint8_t b[FileHeaderSize] = {'B', 'M'};
    PutLE32(b + 2, offset + uint32_t(Picture.GetImageSize()));
    PutLE32(b + 10, offset);
    WriteBuffer(Stream, b, FileHeaderSize);
    Picture.WriteDIB(Stream);
}

void RegisterBMPFileFormats() {
    RegisterFileFormatReader(std::make_unique<TBMPFileFormatReader>());
    RegisterFileFormatReader(std::make_unique<TDIBFileFormatReader>());
    RegisterFileFormatReader(std::make_unique<TRLEFileFormatReader>());
    RegisterFileFormatWriter(std::make_unique<TBMPFileFormatWriter>());
    RegisterFileFormatWriter(std::make_unique<TDIBFileFormatWriter>());
}

void TPixelGraphic::ReadDIB(QIODevice& Stream, bool IsCore, int64_t PixelOffset) {
    FlushPending();
    if (OnProgressStart)
        OnProgressStart(this);
    bool abort = false;
    auto progress = [this, &abort](int Step, int Max) {
        if (OnProgress)
            OnProgress(this, Step, Max, abort);
        return abort;
    };
    // Nine reads of a tenth and one of the rest, each followed by a progress step; what a short stream
    // does not give stays zero.
    auto readChunked = [&](uint8_t* buffer, int64_t count) {
        if (count <= 100)
            return ReadUpTo(Stream, buffer, count);
        const int64_t tenth = count / 10;
        int64_t done = 0;
        for (int k = 1; k <= 10; ++k) {
            done += ReadUpTo(Stream, buffer + done, k < 10 ? tenth : count - 9 * tenth);
            if (progress(k, 10) && k < 10)
                break;
        }
        return done;
    };

    auto body = [&] {
        TDIBInput in{Stream};
        const TDIBHeader h = IsCore ? ReadCoreHeader(in) : ReadInfoHeader(in);
        // A side of 0 gives an empty picture, read to the end of its header and table; a negative width is
        // the picture's own refusal below.
        const int height = h.Height < 0 ? -h.Height : h.Height;
        if (IsCore) {
            SetFormat(h.Width, height, BitCountNumOf(h.BitCount));
            SetColorCount(GetMaxColorCount());
        } else if (h.BitCount > 8) {
            SetFormat(h.Width, height, 3);
            SetColorCount(0); // a picture without pixels keeps its table through SetFormat
            SetPaletteIdent(pTrueColor);
        } else {
            SetFormat(h.Width, height, BitCountNumOf(h.BitCount));
            const int max = GetMaxColorCount();
            SetColorCount(h.ClrUsed == 0 ? max : int(std::min<int64_t>(h.ClrUsed, max)));
        }

        // Masks are bytes 40..51 whether they close a 40-byte header or sit inside a longer one.
        uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
        if (h.BitCount == 32) {
            masks[0] = 0xFF0000;
            masks[1] = 0x00FF00;
            masks[2] = 0x0000FF;
        }
        if (!IsCore && h.Compression == biBitFields) {
            uint8_t b[MasksSize];
            in.Read(b, MasksSize);
            for (int i = 0; i < 3; ++i) {
                masks[i] = GetLE32(b + 4 * i);
                if (masks[i] == 0) // has no position to shift from
                    RaiseInvalid("BitmapInfoHeader.biCompression");
            }
        }
        if (!IsCore)
            in.Skip(int64_t(h.Size) - in.Consumed);

        const int entries = GetColorCount();
        if (entries > 0) {
            if (PaletteIdent == pTrueColor || PaletteIdent == pNone)
                PaletteIdent = pUnknown;
            const int entrySize = IsCore ? 3 : 4;
            std::vector<uint8_t> table(size_t(entries) * entrySize);
            in.Read(table.data(), int64_t(table.size()));
            for (int i = 0; i < entries; ++i) {
                const uint8_t* e = table.data() + i * entrySize;
                SetPaletteColor(i, RGB(e[2], e[1], e[0]));
            }
        } else {
            SetPaletteIdent(pTrueColor);
        }
        if (!IsCore) // entries beyond the format's table, or any table of a true-colour DIB
            in.Skip((int64_t(h.ClrUsed) - entries) * 4);
        if (PixelOffset > in.Consumed && PixelOffset - in.Consumed <= BytesLeft(Stream))
            in.Skip(PixelOffset - in.Consumed);

        uint8_t* bits = Bits.get();
        int64_t rowsRead = Height; // rows that hold data of the file; those after them stay zero
        if (h.BitCount == 16 || h.BitCount == 32) {
            if (Width <= 0 || Height <= 0)
                return;
            const bool round = PGRound16BitColors && h.BitCount == 16;
            const TBitField red(masks[0], round), green(masks[1], round), blue(masks[2], round);
            const int pixelBytes = h.BitCount / 8;
            const int64_t fileRowBytes = (int64_t(h.BitCount) * Width + 31) / 32 * 4;
            // The row buffer holds no more than the file still has (and the rest of a pixel): a huge width in
            // a short file costs nothing.
            std::vector<uint8_t> row(size_t(std::clamp<int64_t>(BytesLeft(Stream) + 3, 0, fileRowBytes)));
            // File row i is memory row i: both are bottom-up. Only the pixels a row's bytes hold are stored.
            rowsRead = 0;
            for (int i = 0; i < Height; ++i) {
                const int64_t got = ReadUpTo(Stream, row.data(), int64_t(row.size()));
                if (got == 0)
                    break;
                ++rowsRead;
                std::fill(row.begin() + got, row.end(), 0);
                uint8_t* out = bits + int64_t(i) * RowBytes;
                const int64_t pixels = std::min<int64_t>(Width, (got + pixelBytes - 1) / pixelBytes);
                for (int64_t x = 0; x < pixels; ++x) {
                    const uint32_t v =
                        h.BitCount == 16 ? GetLE16(row.data() + 2 * x) : GetLE32(row.data() + 4 * x);
                    out[3 * x] = blue(v);
                    out[3 * x + 1] = green(v);
                    out[3 * x + 2] = red(v);
                }
                if (progress(i, Height) || got < fileRowBytes)
                    break;
            }
        } else if (h.Compression == biRLE8 || h.Compression == biRLE4) {
            // Only what the stream holds is read and decoded, whatever the header claims.
            const int64_t n = std::min<int64_t>(h.SizeImage, std::max<int64_t>(BytesLeft(Stream), 0));
            std::vector<uint8_t> data(static_cast<size_t>(n));
            const int64_t got = readChunked(data.data(), n);
            if (!abort && bits)
                DecodeRLE(data.data(), got, h.Compression == biRLE4, bits, Width, Height, RowBytes,
                          [&](int Step) { return progress(Step, 10); });
        } else if (bits) {
            rowsRead = (readChunked(bits, ImageSize) + RowBytes - 1) / RowBytes;
        }

        // Top-down rows: the file's first row becomes the top row. Pairs of rows the file never reached are
        // both zero and stay where they are.
        if (h.Height < 0 && bits)
            for (int y = 0; y < std::min<int64_t>(Height / 2, rowsRead); ++y)
                std::swap_ranges(bits + int64_t(y) * RowBytes, bits + int64_t(y + 1) * RowBytes,
                                 bits + int64_t(Height - 1 - y) * RowBytes);
    };

    try {
        body();
    } catch (...) {
        if (OnProgressEnd)
            OnProgressEnd(this);
        throw;
    }
    if (OnProgressEnd)
        OnProgressEnd(this);
}

void TPixelGraphic::WriteDIB(QIODevice& Stream) {
    FlushPending();
    const int entries = DIBColorEntries(*this);
    uint8_t h[InfoHeaderSize] = {};
    PutLE32(h, InfoHeaderSize);
    PutLE32(h + 4, uint32_t(Width));
    PutLE32(h + 8, uint32_t(Height));
    PutLE16(h + 12, 1);
    PutLE16(h + 14, uint16_t(GetBitCount()));
    PutLE32(h + 20, uint32_t(ImageSize));
    PutLE32(h + 32, uint32_t(entries));
    WriteBuffer(Stream, h, InfoHeaderSize);
    std::vector<uint8_t> table(size_t(entries) * 4);
    for (int i = 0; i < std::min(entries, GetColorCount()); ++i) {
        const TColor c = ColorTable[size_t(i)];
        table[size_t(i) * 4] = GetBValue(c);
        table[size_t(i) * 4 + 1] = GetGValue(c);
        table[size_t(i) * 4 + 2] = GetRValue(c);
    }
    WriteBuffer(Stream, table.data(), int64_t(table.size()));
    if (Bits)
        WriteBuffer(Stream, Bits.get(), ImageSize);
}
