// TIFF: the byte-order routines that the reader and the writer share, and the registration of both.
// The reader is in PGTIFFRead, the writer in PGTIFFWrite.
#pragma once

#include <QIODevice>
#include <cstdint>

// A value read in the file's byte order, in host order: unchanged for "II" files, reversed for "MM" ones.
uint16_t TIFSwap16(uint16_t Value, bool LittleEndian);
uint32_t TIFSwap32(uint32_t Value, bool LittleEndian);

// Read 2 or 4 bytes and convert them; a short stream raises EPGTIFFileFormatReader "Unexpected end of file".
uint16_t TIFReadWord(QIODevice& Stream, bool LittleEndian);
uint32_t TIFReadLong(QIODevice& Stream, bool LittleEndian);

// The raise every short read or failed positioning of the reader ends in.
[[noreturn]] void TIFRaiseEndOfFile();

// Registers the "tif" and "tiff" readers, then the two writers.
void RegisterTIFFFileFormats();
