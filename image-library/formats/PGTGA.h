// Truevision Targa pictures: reading colour-mapped, grey and true-colour files of 8 to 32 bits, plain or
// run-length encoded, in all four pixel orders; writing 8-bit colour-mapped and 24-bit true-colour files.
#pragma once

#include "image-library/PGFileFormats.h"

// Without a signature: loading chooses it by the extension alone.
class TTGAFileFormatReader : public TFileFormatReader {
public:
    TTGAFileFormatReader();
    const char* ClassName() const override { return "TTGAFileFormatReader"; }

    // Data refused by another reader is a TGA picture only with columns and rows: a header of zeros would
    // otherwise pass for an empty picture.
    bool MayTakeOver(const TFileFormatHeader& Header) const override;
    void Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const override;
    void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const override;
};

// Uncompressed, bottom row first. Takes 8-bit and 24-bit pictures; others are refused.
class TTGAFileFormatWriter : public TFileFormatWriter {
public:
    TTGAFileFormatWriter();
    const char* ClassName() const override { return "TTGAFileFormatWriter"; }

    void Write(QIODevice& Stream, TPixelGraphic& Picture) const override;
};

void RegisterTGAFileFormats();
