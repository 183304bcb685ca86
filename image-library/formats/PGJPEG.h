// JPEG (JFIF) reading and writing over libjpeg-turbo: one reader and one writer, registered under "jpg" and
// again under "jpeg" and "jif".
#pragma once

#include "image-library/PGFileFormats.h"

class TJPGFileFormatReader : public TFileFormatReader {
public:
    TJPGFileFormatReader();
    const char* ClassName() const override { return "TJPGFileFormatReader"; }
    // $FF $D8, the start-of-image marker; nothing else is looked at.
    bool IsFormat(const TFileFormatHeader& Header) const override;
    // A grey file gives an 8-bit pGray256 picture, a colour file a 24-bit one; other component counts are
    // refused. Warnings follow the picture's ReadWarningAction; FastLoad picks the fast integer transform.
    void Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const override;
    // From the headers; every warning counts as an error here.
    void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const override;
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
public:
    TJPEGFileFormatReader();
    const char* ClassName() const override { return "TJPEGFileFormatReader"; }
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
public:
    TJIFFileFormatReader();
    const char* ClassName() const override { return "TJIFFileFormatReader"; }
};

class TJPGFileFormatWriter : public TFileFormatWriter {
public:
    TJPGFileFormatWriter();
    const char* ClassName() const override { return "TJPGFileFormatWriter"; }
    // Writes 24-bit pictures and 8-bit pictures with the 256 grey levels, with the PGJPEG... settings.
    void Write(QIODevice& Stream, TPixelGraphic& Picture) const override;
};

// Found by extension when saving, but not offered in the save dialog.
class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
public:
    TJPEGFileFormatWriter();
    const char* ClassName() const override { return "TJPEGFileFormatWriter"; }
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
public:
    TJIFFileFormatWriter();
    const char* ClassName() const override { return "TJIFFileFormatWriter"; }
};

void RegisterJPEGFileFormats();
