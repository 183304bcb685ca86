// Reading and writing PBM, PGM and PPM: a small tokenizer over a buffered stream, the six pixel layouts, and
// a buffered writer for the ASCII and binary kinds.
#include "image-library/formats/PGPNM.h"

#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGFormatIO.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

QString Prefix() {
    return QStringLiteral("PBM, PGM, PPM: ");
}

[[noreturn]] void RaiseReader(uint8_t Row) {
    throw EPGPxMFileFormatReader(Prefix() + PGLangStr(Row));
}
[[noreturn]] void RaiseEndOfFile() {
    RaiseReader(32);
}
[[noreturn]] void RaiseWriteFailed() {
    throw EPGPxMFileFormatWriter(Prefix() + PGLangStr(31, QStringLiteral("Write")));
}

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// The magic digit less one, mod 3: what the kind stores, whatever its encoding.
enum TPxMContent { pcBitmap, pcGray, pcColor };

struct TPxMKind {
    int Digit; // 1..6
    TPxMContent Content() const { return TPxMContent((Digit - 1) % 3); }
    bool Binary() const { return Digit > 3; }
    int Channels() const { return Content() == pcColor ? 3 : 1; }
    uint8_t BitCountNum() const { return Content() == pcBitmap ? 0 : Content() == pcGray ? 2 : 3; }
    int BitsPerPixel() const { return Content() == pcBitmap ? 1 : Content() == pcGray ? 8 : 24; }
};

// Header numbers and ASCII samples. Every call to Read or GetInfo has its own.
class TPxMTokenizer {
public:
    explicit TPxMTokenizer(QIODevice& Stream) : In(Stream, RaiseEndOfFile) {}

    uint8_t PxMReadByte() { return In.ReadByte(); }

    // A "#" starts a comment that only LF ends; the comment reads as that LF.
    uint8_t PxMReadChar() {
        const uint8_t c = PxMReadByte();
        if (c != '#')
            return c;
        while (PxMReadByte() != '\n') {
        }
        return '\n';
    }

    // Skips everything up to the first digit, then reads digits; the byte that ends the number is consumed,
    // so binary data starts right after it. The data may also end right after the last digit. A number
    // beyond the 32-bit range is refused rather than wrapped.
    int32_t PxMReadNumber() {
        uint8_t c;
        do
            c = PxMReadChar();
        while (!IsDigit(c));
        int64_t value = 0;
        for (;;) {
            value = value * 10 + (c - '0');
            if (value > INT32_MAX)
                RaiseReader(30);
            if (In.AtEnd())
                break;
            c = PxMReadChar();
            if (!IsDigit(c))
                break;
        }
        return int32_t(value);
    }

    // One pixel of a P1 bitmap: a single digit, so that digits written without blanks between them (as
    // netpbm writes them) are pixels of their own.
    uint8_t PxMReadDigit() {
        uint8_t c;
        do
            c = PxMReadChar();
        while (!IsDigit(c));
        return c;
    }

    // "P" and the kind digit, with nothing before or between them.
    TPxMKind ReadMagic() {
        if (PxMReadByte() != 'P')
            throw EPGPxMFileFormatReader(Prefix() + PGLangStr(34, QStringLiteral("PBM, PGM, PPM")));
        const int digit = PxMReadByte() - '0';
        if (digit < 1 || digit > 6)
            RaiseReader(33);
        return {digit};
    }

    TBufferedInput In;
};

// Samples scaled to 0..255 as n * 255 div maximum; samples above the maximum give 255.
uint8_t ScaleSample(int64_t Sample, int64_t MaxValue) {
    return Sample >= MaxValue ? 255 : uint8_t(Sample * 255 / MaxValue);
}

void SetBit(uint8_t* Row, int X, bool Value) {
    const uint8_t mask = uint8_t(0x80 >> (X % 8));
    Row[X / 8] = Value ? Row[X / 8] | mask : Row[X / 8] & ~mask;
}

// Reads the rows of one kind into the picture's storage, top row first, through the tokenizer's buffer.
void ReadRows(TPxMTokenizer& Tokens, TPxMKind Kind, int32_t MaxValue, TPixelGraphic& Picture,
              TProgressBracket& Progress) {
    const int width = Picture.GetWidth();
    const int height = Picture.GetHeight();
    std::array<uint8_t, 256> scale; // binary samples, which never exceed 255
    for (int i = 0; i < 256; ++i)
        scale[size_t(i)] = ScaleSample(i, MaxValue);
    const int channels = Kind.Channels();
    const int64_t binaryRowBytes =
        Kind.Content() == pcBitmap ? (int64_t(width) + 7) / 8 : int64_t(width) * channels;
    // Red, green, blue in the file; blue, green, red in the picture: colour rows are exchanged in place.
    const bool colorRows = Kind.Binary() && Kind.Content() == pcColor;

    for (int y = 0; y < height; ++y) {
        uint8_t* row = Picture.GetScanLine(y);
        if (Kind.Binary()) {
            Tokens.In.Read(row, binaryRowBytes);
            if (Kind.Content() == pcBitmap) {
                // The file's 1 is black, the picture's index 0 is black: the bits invert, pad bits alike.
                for (int64_t i = 0; i < binaryRowBytes; ++i)
                    row[i] = uint8_t(~row[i]);
            } else if (MaxValue != 255) {
                for (int64_t i = 0; i < binaryRowBytes; ++i)
                    row[i] = scale[row[i]];
            }
            if (colorRows)
                CopySwappingRedBlue(row, row, width);
        } else {
            for (int x = 0; x < width; ++x)
                if (Kind.Content() == pcBitmap)
                    SetBit(row, x, Tokens.PxMReadDigit() == '0'); // 0 is white, any other digit black
                else
                    for (int c = 0; c < channels; ++c) // red lands last in the picture's pixel
                        row[x * channels + channels - 1 - c] = ScaleSample(Tokens.PxMReadNumber(), MaxValue);
        }
        if (Progress.Step(y, height))
            break;
    }
}

// The writer's output: a buffer of 1024 bytes written out whenever it is full and once at the end.
class TPxMOutput {
public:
    explicit TPxMOutput(QIODevice& Stream) : Stream(Stream) {}

    void PxMPutByte(uint8_t Byte) {
        if (Used == Buffer.size())
            PxMFlush();
        Buffer[Used++] = Byte;
    }

    void PxMPutBytes(const uint8_t* Bytes, size_t Count) {
        if (Count > Buffer.size() - Used) {
            PxMFlush();
            if (Count >= Buffer.size()) { // whole rows bypass the buffer
                WriteOrRaise(Stream, Bytes, qint64(Count), RaiseWriteFailed);
                return;
            }
        }
        std::memcpy(Buffer.data() + Used, Bytes, Count);
        Used += Count;
    }

    void PxMPutNumber(uint32_t Value) {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = char('0' + Value % 10);
            Value /= 10;
        } while (Value > 0);
        while (n > 0)
            PxMPutByte(uint8_t(digits[--n]));
    }

    void PxMFlush() {
        WriteOrRaise(Stream, Buffer.data(), qint64(Used), RaiseWriteFailed);
        Used = 0;
    }

private:
    QIODevice& Stream;
    std::array<uint8_t, 1024> Buffer;
    size_t Used = 0;
};

void WriteBinaryRow(TPxMOutput& Out, TPxMContent Content, TPixelGraphic& Picture, int Y,
                    std::vector<uint8_t>& Scratch) {
    const int width = Picture.GetWidth();
    const uint8_t* row = Picture.GetScanLine(Y);
    switch (Content) {
    case pcBitmap:
        Scratch.assign(size_t(width + 7) / 8, 0);
        if (Picture.GetBitCountNum() == 0) {
            for (size_t i = 0; i < Scratch.size(); ++i)
                Scratch[i] = uint8_t(~row[i]);
        } else { // a black-and-white table on a deeper picture: index 0 is black
            for (int x = 0; x < width; ++x)
                SetBit(Scratch.data(), x, Picture.GetPixelValue(x, Y) == 0);
        }
        break;
    case pcGray:
        if (Picture.GetBitCountNum() == 2) {
            Out.PxMPutBytes(row, size_t(width));
            return;
        }
        Scratch.resize(size_t(width));
        for (int x = 0; x < width; ++x)
            Scratch[size_t(x)] = uint8_t(Picture.GetPixelValue(x, Y));
        break;
    case pcColor:
        Scratch.resize(size_t(width) * 3);
        CopySwappingRedBlue(row, Scratch.data(), width);
        break;
    }
    Out.PxMPutBytes(Scratch.data(), Scratch.size());
}

// Every pixel is followed by a blank, the last of a row by LF: one text line per picture row.
void WriteAsciiRow(TPxMOutput& Out, TPxMContent Content, const TPixelGraphic& Picture, int Y) {
    const int width = Picture.GetWidth();
    for (int x = 0; x < width; ++x) {
        switch (Content) {
        case pcBitmap:
            Out.PxMPutByte(Picture.GetPixelValue(x, Y) == 0 ? '1' : '0');
            break;
        case pcGray:
            Out.PxMPutNumber(Picture.GetPixelValue(x, Y));
            break;
        case pcColor: {
            const TColor c = Picture.GetPixelColor(x, Y);
            Out.PxMPutNumber(GetRValue(c));
            Out.PxMPutByte(' ');
            Out.PxMPutNumber(GetGValue(c));
            Out.PxMPutByte(' ');
            Out.PxMPutNumber(GetBValue(c));
            break;
        }
        }
        Out.PxMPutByte(x == width - 1 ? '\n' : ' ');
    }
}

} // namespace

TPxMFileFormatReader::TPxMFileFormatReader(const char* AExtension, const char* ADescription, char AsciiKind,
                                           char BinaryKind)
    : AsciiKind(AsciiKind), BinaryKind(BinaryKind) {
    Extension = QString::fromLatin1(AExtension);
    Description = QString::fromLatin1(ADescription);
    HasSignature = true;
}

bool TPxMFileFormatReader::IsFormat(const TFileFormatHeader& Header) const {
    return Header[0] == 'P' && (Header[1] == AsciiKind || Header[1] == BinaryKind);
}

void TPxMFileFormatReader::Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const {
    if (Index != 0)
        throw EPGPxMFileFormatReader(QStringLiteral("PxM: ") + PGLangStr(7, QStringLiteral("Index")));
    Picture.SetFileGamma(PGDisplayGamma);
    Picture.SetFormat(0, 0, Picture.GetBitCountNum()); // a refused file leaves no picture behind
    TPxMTokenizer tokens(Stream);
    const TPxMKind kind = tokens.ReadMagic();
    Picture.SetFormat(0, 0, kind.BitCountNum());
    Picture.SetPaletteIdent(kind.Content() == pcBitmap ? pBlackWhite
                            : kind.Content() == pcGray ? pGray256
                                                       : pTrueColor);

    const int32_t width = tokens.PxMReadNumber();
    const int32_t height = tokens.PxMReadNumber();
    const int32_t maxValue = kind.Content() == pcBitmap ? 1 : tokens.PxMReadNumber();
    // A maximum of 0 cannot scale; binary samples are single bytes.
    if (width <= 0 || height <= 0 || maxValue == 0 || (kind.Binary() && maxValue > 255))
        RaiseReader(30);
    // Before any pixel memory: binary rows need their exact bytes, ASCII samples at least one digit each.
    // Two sizes of 2^31 - 1 and three channels overflow 64 bits: the remaining bytes are divided instead.
    const int64_t rowUnits = kind.Binary() && kind.Content() == pcBitmap ? (int64_t(width) + 7) / 8
                                                                         : int64_t(width) * kind.Channels();
    if (rowUnits > tokens.In.Remaining() / height)
        RaiseEndOfFile();
    Picture.SetFormat(width, height, kind.BitCountNum());

    TProgressBracket progress(Picture, const_cast<TPxMFileFormatReader*>(this));
    ReadRows(tokens, kind, maxValue, Picture, progress);
    progress.End();
}

void TPxMFileFormatReader::GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    if (Index != 0)
        throw EPGPxMFileFormatReader(Prefix() + PGLangStr(20, QStringLiteral("Index")));
    TPxMTokenizer tokens(Stream);
    const TPxMKind kind = tokens.ReadMagic();
    Info.Subformat = kind.Binary() ? QStringLiteral("Binary") : QStringLiteral("ASCII");
    Info.BitsPerPixel = kind.BitsPerPixel();
    Info.Colors = Info.BitsPerPixel == 24 ? QStringLiteral("16.7M") : QString::number(1 << Info.BitsPerPixel);
    Info.Width = tokens.PxMReadNumber();
    Info.Height = tokens.PxMReadNumber();
}

TPBMFileFormatReader::TPBMFileFormatReader() : TPxMFileFormatReader("pbm", "Portable Bitmap", '1', '4') {}
TPGMFileFormatReader::TPGMFileFormatReader() : TPxMFileFormatReader("pgm", "Portable Graymap", '2', '5') {}
TPPMFileFormatReader::TPPMFileFormatReader() : TPxMFileFormatReader("ppm", "Portable Pixelmap", '3', '6') {}

TPXMFileFormatWriter::TPXMFileFormatWriter(const char* AExtension, const char* ADescription,
                                           uint8_t AResolutions) {
    Extension = QString::fromLatin1(AExtension);
    Description = QString::fromLatin1(ADescription);
    CanWriteResolutions = AResolutions;
}

void TPXMFileFormatWriter::Write(QIODevice& Stream, TPixelGraphic& Picture) const {
    static const QString extensions[3] = {QStringLiteral("pbm"), QStringLiteral("pgm"),
                                          QStringLiteral("ppm")};
    const auto found = std::find(std::begin(extensions), std::end(extensions), Extension);
    if (found == std::end(extensions))
        throw EPGPxMFileFormatWriter(Prefix() + PGLangStr(19, Extension));
    const TPxMContent content = TPxMContent(found - std::begin(extensions));
    const int width = Picture.GetWidth();
    const int height = Picture.GetHeight();
    if (width < 1 || height < 1)
        throw EPGPxMFileFormatWriter(Prefix() + PGLangStr(35));
    const uint8_t bits = Picture.GetBitCountNum();
    const TPaletteIdent ident = Picture.GetPaletteIdent();
    const bool writable = content == pcBitmap ? bits == 0 || ident == pBlackWhite
                          : content == pcGray ? bits == 2 || ident == pGray256
                                              : bits == 3;
    if (!writable)
        throw EPGPxMFileFormatWriter(Extension.toUpper() + QStringLiteral(": ") + PGLangStr(36));

    const bool binary = PGPxMBinary;
    TPxMOutput out(Stream);
    out.PxMPutByte('P');
    out.PxMPutByte(uint8_t('1' + content + (binary ? 3 : 0)));
    out.PxMPutByte('\n');
    out.PxMPutNumber(uint32_t(width));
    out.PxMPutByte(' ');
    out.PxMPutNumber(uint32_t(height));
    out.PxMPutByte('\n');
    if (content != pcBitmap) {
        out.PxMPutNumber(255);
        out.PxMPutByte('\n');
    }

    TProgressBracket progress(Picture, &Picture);
    std::vector<uint8_t> scratch;
    for (int y = 0; y < height; ++y) {
        if (binary)
            WriteBinaryRow(out, content, Picture, y, scratch);
        else
            WriteAsciiRow(out, content, Picture, y);
        progress.Step(y, height); // writing always runs to the end
    }
    progress.End();
    out.PxMFlush();
}

TPBMFileFormatWriter::TPBMFileFormatWriter()
    : TPXMFileFormatWriter("pbm", "Portable Bitmap", 1 << crBlackWhite) {}
TPGMFileFormatWriter::TPGMFileFormatWriter()
    : TPXMFileFormatWriter("pgm", "Portable Graymap", 1 << cr256Grays) {}
TPPMFileFormatWriter::TPPMFileFormatWriter()
    : TPXMFileFormatWriter("ppm", "Portable Pixelmap", 1 << crTrueColor) {}

void RegisterPxMFileFormats() {
    RegisterFileFormatReader(std::make_unique<TPBMFileFormatReader>());
    RegisterFileFormatReader(std::make_unique<TPGMFileFormatReader>());
    RegisterFileFormatReader(std::make_unique<TPPMFileFormatReader>());
    RegisterFileFormatWriter(std::make_unique<TPBMFileFormatWriter>());
    RegisterFileFormatWriter(std::make_unique<TPGMFileFormatWriter>());
    RegisterFileFormatWriter(std::make_unique<TPPMFileFormatWriter>());
}
