// The TIFF reader: one directory per call, in strips, uncompressed or PackBits, in either byte order, as
// bilevel, 4- or 8-bit grey or palette, RGB (with or without an extra sample) or CMYK.
#pragma once

#include "image-library/PGFileFormats.h"

#include <cstdint>
#include <functional>
#include <vector>

// The tags of one directory that the reader uses. Values are unsigned as in the file; an absent tag is 0 or
// an empty array, except SamplesPerPixel and BitsPerSample, which take the format's defaults (one sample of
// one bit).
struct TTIFInfo {
    uint32_t NewSubfileType = 0;
    uint32_t ImageWidth = 0;
    uint32_t ImageLength = 0;
    std::vector<uint32_t> BitsPerSample;
    uint32_t Compression = 0;
    uint32_t PhotometricInterpretation = 0;
    uint32_t StripOffsetCount = 0;
    std::vector<uint32_t> StripOffsets;
    uint32_t SamplesPerPixel = 0;
    uint32_t RowsPerStrip = 0;
    std::vector<uint32_t> ColorMap;
    uint32_t PlanarConfiguration = 0;
};

// Reads the header at the stream's position (Base) and the directory of picture Index, with every check
// that a directory must pass before Read or GetInfo may use it. PictureCount is the length of the
// directory chain when PGTIFCountPictures is on, else 1. The strip offsets and the colour map are checked
// against the picture and read only when CheckBeforeArrays is given, after it passed the rest of the
// directory; StripByteCounts are never read.
void TIFReadDirectory(QIODevice& Stream, int Index, int& PictureCount, TTIFInfo& Info, bool& LittleEndian,
                      qint64& Base, const std::function<void(const TTIFInfo&)>& CheckBeforeArrays);

class TTIFFileFormatReader : public TFileFormatReader {
public:
    TTIFFileFormatReader();
    const char* ClassName() const override { return "TTIFFileFormatReader"; }
    bool IsFormat(const TFileFormatHeader& Header) const override;
    void Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const override;
    void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const override;
};

class TTIFFFileFormatReader : public TTIFFileFormatReader {
public:
    TTIFFFileFormatReader();
    const char* ClassName() const override { return "TTIFFFileFormatReader"; }
};
