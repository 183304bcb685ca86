// TIFF: the byte-order routines that the reader and the writer share, and the registration of both.
// The reader is in PGTIFFRead, the writer in PGTIFFWrite.
#pragma once

#include <QIODevice>
#include <cstddef>
#include <cstdint>

class TObject;
class TPixelGraphic;

// A value read in the file's byte order, in host order: unchanged for "II" files, reversed for "MM" ones.
uint16_t TIFSwap16(uint16_t Value, bool LittleEndian);
uint32_t TIFSwap32(uint32_t Value, bool LittleEndian);

// Read 2 or 4 bytes and convert them; a short stream raises EPGTIFFileFormatReader "Unexpected end of file".
uint16_t TIFReadWord(QIODevice& Stream, bool LittleEndian);
uint32_t TIFReadLong(QIODevice& Stream, bool LittleEndian);

// The raise every short read or failed positioning of the reader ends in.
[[noreturn]] void TIFRaiseEndOfFile();

// Rows of pixels as the file and the picture store them, both ways.
// 1-, 4- or 8-bit pixels: copied, every value inverted when asked (1 - bit, 15 - nibble, 255 - byte), the
// filler bits after the last of RowBits cleared.
void TIFCopyIndexRow(const uint8_t* Source, uint8_t* Target, size_t Bytes, uint64_t RowBits, bool Invert);
// Count pixels of three bytes from pixels of SourceSize bytes, the first and third byte exchanged (file
// R, G, B and stored B, G, R); a fourth source byte is dropped.
void TIFSwapRedBlue(const uint8_t* Source, int SourceSize, uint8_t* Target, size_t Count);


// Registers the "tif" and "tiff" readers, then the two writers.
void RegisterTIFFFileFormats();
