// The portable maps: PBM (black and white), PGM (grey) and PPM (true colour), each in its ASCII and binary
// kind. One reader class and one writer class do the work; the registered classes differ in name only.
#pragma once

#include "image-library/PGFileFormats.h"

// Reads all six kinds, whichever of the three registered readers the file arrived through.
class TPxMFileFormatReader : public TFileFormatReader {
public:
    void Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const override;
    void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const override;
    bool IsFormat(const TFileFormatHeader& Header) const override;

protected:
    // AsciiKind and BinaryKind are the two magic digits the reader recognises ('1' and '4' for PBM).
    TPxMFileFormatReader(const char* AExtension, const char* ADescription, char AsciiKind, char BinaryKind);

private:
    char AsciiKind;
    char BinaryKind;
};

class TPBMFileFormatReader : public TPxMFileFormatReader {
public:
    TPBMFileFormatReader();
    const char* ClassName() const override { return "TPBMFileFormatReader"; }
};

class TPGMFileFormatReader : public TPxMFileFormatReader {
public:
    TPGMFileFormatReader();
    const char* ClassName() const override { return "TPGMFileFormatReader"; }
};

class TPPMFileFormatReader : public TPxMFileFormatReader {
public:
    TPPMFileFormatReader();
    const char* ClassName() const override { return "TPPMFileFormatReader"; }
};

// Writes the kind its extension names, ASCII or binary by PGPxMBinary.
class TPXMFileFormatWriter : public TFileFormatWriter {
public:
    void Write(QIODevice& Stream, TPixelGraphic& Picture) const override;

protected:
    TPXMFileFormatWriter(const char* AExtension, const char* ADescription, uint8_t AResolutions);
};

class TPBMFileFormatWriter : public TPXMFileFormatWriter {
public:
    TPBMFileFormatWriter();
    const char* ClassName() const override { return "TPBMFileFormatWriter"; }
};

class TPGMFileFormatWriter : public TPXMFileFormatWriter {
public:
    TPGMFileFormatWriter();
    const char* ClassName() const override { return "TPGMFileFormatWriter"; }
};

class TPPMFileFormatWriter : public TPXMFileFormatWriter {
public:
    TPPMFileFormatWriter();
    const char* ClassName() const override { return "TPPMFileFormatWriter"; }
};

// Registers the three readers and the three writers.
void RegisterPxMFileFormats();
