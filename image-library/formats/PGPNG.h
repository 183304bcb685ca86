// PNG reading and writing over libpng 1.6: every colour type becomes one of the picture's four formats, and
// every picture is written as RGB, 8-bit grey or a palette.
#pragma once

#include "image-library/PGFileFormats.h"

class TPNGFileFormatReader : public TFileFormatReader {
public:
    TPNGFileFormatReader();
    const char* ClassName() const override { return "TPNGFileFormatReader"; }

    bool IsFormat(const TFileFormatHeader& Header) const override;
    void Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const override;
    void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const override;
};

class TPNGFileFormatWriter : public TFileFormatWriter {
public:
    TPNGFileFormatWriter();
    const char* ClassName() const override { return "TPNGFileFormatWriter"; }

    void Write(QIODevice& Stream, TPixelGraphic& Picture) const override;
};

void RegisterPNGFileFormats();
