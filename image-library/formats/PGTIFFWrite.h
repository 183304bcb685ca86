// The TIFF writer: one directory of strips of about 32 KB, uncompressed or PackBits, bilevel, 4- and 8-bit
// grey or palette, RGB or CMYK, in either byte order.
#pragma once

#include "image-library/PGFileFormats.h"

#include <cstdint>
#include <vector>

class TTIFFileFormatWriter : public TFileFormatWriter {
public:
    TTIFFileFormatWriter();
    const char* ClassName() const override { return "TTIFFileFormatWriter"; }
    // Refuses an empty picture and an unknown PGTIFCompression before writing anything.
    void Write(QIODevice& Stream, TPixelGraphic& Picture) const override;
    void WriteHeader(QIODevice& Stream) const override;
    // One directory with its values and strips, linked into the chain at LinkPosition.
    void WriteImage(QIODevice& Stream, TPixelGraphic& Picture) const override;
    void WriteEnd(QIODevice& Stream) const override;

    // The stream positions that WriteHeader leaves for WriteImage. A writer serves one stream at a time:
    // the library's own threads never save.
    mutable qint64 LinkPosition = 0;  // the 4-byte field that receives the offset of the next directory
    mutable qint64 StartPosition = 0; // the header; every offset in the file counts from here

private:
    qint64 TIFWriteWord(QIODevice& Stream, uint16_t Value) const;
    qint64 TIFWriteLong(QIODevice& Stream, uint32_t Value) const;
    qint64 TIFWriteEntry(QIODevice& Stream, uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value,
                         int& EntryCount) const;
    void TIFPadEven(QIODevice& Stream) const;
    qint64 Offset(QIODevice& Stream) const { return Stream.pos() - StartPosition; }
    void Seek(QIODevice& Stream, qint64 Offset) const;
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
public:
    TTIFFFileFormatWriter();
    const char* ClassName() const override { return "TTIFFFileFormatWriter"; }
};

// PackBits code of one row: runs of equal bytes as repeats of at most 128, the rest as literal packets of
// at most 128 bytes; a pair of equal bytes beside literal bytes goes into the literal packet. The code is
// appended to Code.
void TIFPackBitsRow(const uint8_t* Row, size_t Count, std::vector<uint8_t>& Code);
