// Test support: picture files built byte by byte whose tricks would make a careless reader pay far more than
// their pictures are worth. The hostile-file test counts what reading them costs; the benchmark times it.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <string>
#include <vector>

// A progressive JPEG of Scans scans that hold no data at all, each after a comment of Padding bytes: every
// scan is a whole pass over the coefficients, which the codec fills with zeros, and the comments make the
// bytes a reader takes in tell how many scans it went through.
QByteArray EmptyScansJpeg(int Width, int Height, int Components, int Scans, int Padding);
// The file size of one scan of EmptyScansJpeg with its comment.
int EmptyScanBytes(int Components, int Padding);

// A PNG chunk with its length and checksum.
QByteArray PngChunk(const char* Type, const QByteArray& Data);
// A zlib stream of Data followed by ZeroMiB mebibytes of zeros, about a thousandth of their size.
QByteArray ZlibWithZeros(const QByteArray& Data, int ZeroMiB);

// A little-endian 8-bit grey TIFF of one strip a row (with PackBits each row one literal packet). The strips
// lie in the file in the order Order names them, each followed by Padding bytes; Shared puts every strip's
// offset at the first row's bytes, the only ones in the file.
struct TStripLayout {
    const char* Name;
    std::vector<uint32_t> Order;
    int Padding = 0;
    bool Shared = false;
};
QByteArray StripTiff(const std::vector<QByteArray>& Rows, bool PackBits, const TStripLayout& Layout);

struct THostileFile {
    const char* Name;
    QByteArray File;
    qint64 Size; // the file's size: File, then zeros
    const char* Ext;
    std::string Outcome;            // the start of what loading it gives, pgwaIgnore answering warnings
    int Width, Height, BitCountNum; // the picture the file declares
    long long FilledMB;             // the memory its data can fill
    qint64 ReadKB;                  // the most of the file that reading it may take
};
// The files, at the library's own pixel limit (PGMaxPixelMemory of 1 GiB).
std::vector<THostileFile> HostileFiles();
