// BMP, DIB and RLE files: the three readers and two writers of the registries, and the stand-alone writer
// that SaveToStream and form streaming write through.
#pragma once

#include "image-library/PGFileFormats.h"

#include <memory>

class TBMPFileFormatReader : public TFileFormatReader {
public:
    TBMPFileFormatReader();
    const char* ClassName() const override { return "TBMPFileFormatReader"; }
    bool IsFormat(const TFileFormatHeader& Header) const override;
    void Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const override;
    void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const override;
};

class TDIBFileFormatReader : public TBMPFileFormatReader {
public:
    TDIBFileFormatReader() { Extension = QStringLiteral("dib"); }
    const char* ClassName() const override { return "TDIBFileFormatReader"; }
};

class TRLEFileFormatReader : public TBMPFileFormatReader {
public:
    TRLEFileFormatReader() { Extension = QStringLiteral("rle"); }
    const char* ClassName() const override { return "TRLEFileFormatReader"; }
};

class TBMPFileFormatWriter : public TFileFormatWriter {
public:
    TBMPFileFormatWriter();
    const char* ClassName() const override { return "TBMPFileFormatWriter"; }
    // The 14-byte file header, then the picture as an info-header DIB.
    void Write(QIODevice& Stream, TPixelGraphic& Picture) const override;
};

// Found by extension when a program saves to a ".dib" name; the save dialog does not offer it.
class TDIBFileFormatWriter : public TBMPFileFormatWriter {
public:
    TDIBFileFormatWriter() {
        Extension = QStringLiteral("dib");
        Enabled = false;
    }
    const char* ClassName() const override { return "TDIBFileFormatWriter"; }
};

// Outside the registries, so SaveToStream and WriteData write BMP whatever the registries hold. Library
// start-up creates it and shutdown frees it.
extern std::unique_ptr<TBMPFileFormatWriter> BMPStreamWriter;

// The three readers, then the two writers.
void RegisterBMPFileFormats();
