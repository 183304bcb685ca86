// Reading Paintbrush (PCX) pictures: 1 bit, 16 colours in four planes, 256 colours with the table at the end
// of the file, and true colour in three planes, all run-length encoded. There is no PCX writer.
#pragma once

#include "image-library/PGFileFormats.h"

class TPCXFileFormatReader : public TFileFormatReader {
public:
    TPCXFileFormatReader();
    const char* ClassName() const override { return "TPCXFileFormatReader"; }

    bool IsFormat(const TFileFormatHeader& Header) const override;
    void Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const override;
    void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const override;
};

void RegisterPCXFileFormats();
