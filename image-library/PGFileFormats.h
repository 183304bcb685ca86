// The reader and writer base classes every picture file format implements, and the two registries that
// loading, saving and the file dialogs consult.
#pragma once

#include "framework/Object.h"

#include <QIODevice>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TPixelGraphic;

class TFileFormatReaderWriter : public TObject {
public:
    // The class name as the system knows it ("TBMPFileFormatWriter"), for messages that name the class.
    virtual const char* ClassName() const = 0;

    bool Enabled = true; // offered in the dialogs' file-type filters; the lookups ignore it
    QString Extension;   // without the dot, lower case
    QString Description;
};

// What a reader tells of a picture from its headers alone.
struct TFileFormatInfo {
    QString Description; // filled by the registry, not by the reader
    QString Subformat;
    QString Extra;
    int Width = 0;
    int Height = 0;
    QString Colors;
    int BitsPerPixel = 0;
    int PictureCount = 0;
};

constexpr int FileFormatHeaderSize = 17;
using TFileFormatHeader = std::array<uint8_t, FileFormatHeaderSize>;

// One instance serves every picture and, at once, the GUI thread and a preview worker: the operations are
// const and keep no state between calls.
class TFileFormatReader : public TFileFormatReaderWriter {
public:
    bool HasSignature = false;

    // Looks only at the header bytes; bytes beyond a short stream are zero.
    virtual bool IsFormat(const TFileFormatHeader& Header) const;
    // For a reader without a signature: whether data that the reader chosen by its signature refused may
    // still be offered to it, by what the header shows. Its Read may accept more than this when the name
    // alone chose it. The base takes everything.
    virtual bool MayTakeOver(const TFileFormatHeader& Header) const;
    // Reads picture Index of the data at the stream's position into Picture; errors raise the format's
    // exception with its tag ("BMP: ...").
    virtual void Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const;
    // Describes picture Index from the headers. The base clears Info to its defaults (PictureCount 1);
    // every concrete GetInfo calls it first.
    virtual void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const;
};

// Colour resolutions: the kind of colour content a picture has, as writers declare what they can store.
enum TColorResolution : uint8_t {
    crBlackWhite,     // 1 bit, pBlackWhite
    cr2Colors,        // 1 bit, any other table
    cr16Grays,        // 4 bits, pGray16
    cr16SystemColors, // 4 bits, pSys16
    cr16Colors,       // 4 bits, any other table
    cr256Grays,       // 8 bits, pGray256
    cr256Colors,      // 8 bits, any other table
    crTrueColor       // 24 bits
};
TColorResolution ColorResolutionOf(const TPixelGraphic& Picture);
// Texts 8 to 15 of the message table in the current language.
QString ColorResolutionText(TColorResolution Resolution);

class TFileFormatWriter : public TFileFormatReaderWriter {
public:
    uint8_t CanWriteResolutions = 0; // bit i set: resolution i can be written

    bool CanWrite(TColorResolution Resolution) const { return (CanWriteResolutions >> Resolution) & 1; }
    // Writes Picture as a whole file at the stream's position. Only called with a resolution the writer can
    // store; a failed write raises.
    virtual void Write(QIODevice& Stream, TPixelGraphic& Picture) const;
    virtual void WriteHeader(QIODevice& Stream) const;
    virtual void WriteImage(QIODevice& Stream, TPixelGraphic& Picture) const;
    virtual void WriteEnd(QIODevice& Stream) const;
};

using TFileFormatReaders = std::vector<std::unique_ptr<TFileFormatReader>>;
using TFileFormatWriters = std::vector<std::unique_ptr<TFileFormatWriter>>;

// The registries, always in extension order: registration sorts, so lookups from several threads only read.
// Filled at library start-up, emptied at shutdown.
const TFileFormatReaders& FileFormatReaders();
const TFileFormatWriters& FileFormatWriters();
// A second entry for an extension raises EPixelGraphic.
void RegisterFileFormatReader(std::unique_ptr<TFileFormatReader> Reader);
void RegisterFileFormatWriter(std::unique_ptr<TFileFormatWriter> Writer);
void ClearFileFormatRegistries();

// Registers a test's reader or writer for its lifetime.
class TScopedFileFormatRegistration {
public:
    explicit TScopedFileFormatRegistration(std::unique_ptr<TFileFormatReader> Reader);
    explicit TScopedFileFormatRegistration(std::unique_ptr<TFileFormatWriter> Writer);
    ~TScopedFileFormatRegistration();
    TScopedFileFormatRegistration(const TScopedFileFormatRegistration&) = delete;
    TScopedFileFormatRegistration& operator=(const TScopedFileFormatRegistration&) = delete;

private:
    const void* Entry;
};

// -1, 0 or 1 by the lower-case extensions.
int CompareFileFormats(const TFileFormatReaderWriter& A, const TFileFormatReaderWriter& B);

// The lower-case extension of the name part without its dot; empty when there is none.
QString FileFormatExtension(const QString& FileName);

// Signature readers first, in extension order; then, for a non-empty Ext, the reader without a signature
// registered under it. Never raises; the stream's position is unchanged.
const TFileFormatReader* FindFileFormatReader(QIODevice& Stream, QString Ext);
// Hands the data at the stream's position to Use with the reader FindFileFormatReader chooses; false when it
// finds none. Data that a reader chosen by its signature refuses (a TGA file may start like a PCX file) goes,
// from the same position, to the reader without a signature that Ext names, if there is one and its
// MayTakeOver agrees; when that one refuses as well (its header checks come first), the first refusal passes
// on. The user's Cancel (TUserAbort) always passes on at once.
bool UseFileFormatReader(QIODevice& Stream, const QString& Ext,
                         const std::function<void(const TFileFormatReader&)>& Use);
// The writer registered under Ext (with or without its dot, any case), or nullptr.
const TFileFormatWriter* FindFileFormatWriter(QString Ext);

// Never raise: a failure gives false.
bool GetStreamFileFormatInfo(QIODevice& Stream, const QString& Ext, int Index, TFileFormatInfo& Info);
bool GetFileFormatInfo(const QString& FileName, int Index, TFileFormatInfo& Info);
