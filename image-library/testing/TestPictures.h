// Test support: random pictures of every pixel format, the plain per-pixel write that references of the
// operations filling a picture from colours are built from, and a format's reading and writing in memory.
#pragma once

#include "framework/Colors.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGTypes.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

class TPixelGraphic;

// A picture of random raw values; paletted ones get a random table one entry short of full, so that some
// values lie beyond it.
std::unique_ptr<TPixelGraphic> RandomPicture(std::mt19937& rng, int w, int h, uint8_t bitCountNum);
// A target with a standard table of its format, and random raw values to be overwritten.
std::unique_ptr<TPixelGraphic> RandomTarget(std::mt19937& rng, int w, int h, uint8_t bitCountNum,
                                            bool dither);
// One pixel as an operation writes it: diffused when dithering, else the nearest entry or the bytes.
void ReferenceWrite(TPixelGraphic& t, bool dithering, int x, int y, TColor c);

// A hash (FNV-1a) of a picture's size, format, colour table and every raw value, folded into Hash: results
// held by checksum tests change it when a single pixel changes.
uint64_t PictureHash(const TPixelGraphic& p, uint64_t Hash = 14695981039346656037ull);
// The seeded pictures that checksum tests start from: a photo-like 24-bit picture of odd sides, 24-bit noise,
// and random 8-, 4- and 1-bit pictures whose tables leave values beyond them.
std::vector<std::unique_ptr<TPixelGraphic>> ChecksumSources();
// A kind of target for checksum tests: format, colour table, diffusion.
struct TTargetKind {
    const char* Name;
    uint8_t BitCountNum;
    TPaletteIdent Palette;
    bool Dither;
};
// 24 bits; 8 bits pSpecial252 diffused and by nearest entry; 8 bits pGray256, 4 bits pSys16 and 1 bit
// diffused.
extern const TTargetKind ChecksumTargets[6];
// A target of that kind and size with random raw values.
std::unique_ptr<TPixelGraphic> KindTarget(std::mt19937& rng, const TTargetKind& kind, int w, int h);

// Reader's Read, GetInfo and Writer's Write over bytes in memory.
void ReadFromBytes(const TFileFormatReader& Reader, const QByteArray& Bytes, TPixelGraphic& Picture,
                   int Index = 0);
TFileFormatInfo Info(const TFileFormatReader& Reader, const QByteArray& Bytes, int Index = 0);
QByteArray Written(const TFileFormatWriter& Writer, TPixelGraphic& Picture);

// FNV-1a of bytes; PictureChecksum takes in everything a picture holds (size, format, colour table and every
// byte of its pixel memory, row padding included), so one changed byte gives another value. Tests that pin
// an operation's results down to the byte compare with values the operation gave before it was made faster.
// An uncompressed colour-mapped TGA file one row high: Map holds the 24-bit entries (blue, green, red),
// Pixels the 8-bit values, which may point past the map.
QByteArray ColorMappedTga(const QByteArray& Map, const QByteArray& Pixels);

uint64_t Checksum(const void* Bytes, size_t Count, uint64_t Seed = 14695981039346656037ull);
uint64_t PictureChecksum(TPixelGraphic& Picture);
