// TIFF byte order and registration.
#include "image-library/formats/PGTIFF.h"

#include "framework/StreamIO.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGFormatIO.h"
#include "image-library/formats/PGTIFFRead.h"
#include "image-library/formats/PGTIFFWrite.h"

#include <bit>
#include <cstring>

namespace {

constexpr bool HostLittleEndian = std::endian::native == std::endian::little;

} // namespace

uint16_t TIFSwap16(uint16_t Value, bool LittleEndian) {
    return LittleEndian == HostLittleEndian ? Value : uint16_t((Value >> 8) | (Value << 8));
}

uint32_t TIFSwap32(uint32_t Value, bool LittleEndian) {
    if (LittleEndian == HostLittleEndian)
        return Value;
    return (Value >> 24) | ((Value >> 8) & 0xFF00u) | ((Value << 8) & 0xFF0000u) | (Value << 24);
}

void TIFRaiseEndOfFile() {
    throw EPGTIFFileFormatReader(QStringLiteral("TIFF: ") + PGLangStr(32));
}

uint16_t TIFReadWord(QIODevice& Stream, bool LittleEndian) {
    uint16_t value;
    if (!ReadExact(Stream, &value, sizeof value))
        TIFRaiseEndOfFile();
    return TIFSwap16(value, LittleEndian);
}

uint32_t TIFReadLong(QIODevice& Stream, bool LittleEndian) {
    uint32_t value;
    if (!ReadExact(Stream, &value, sizeof value))
        TIFRaiseEndOfFile();
    return TIFSwap32(value, LittleEndian);
}

void TIFCopyIndexRow(const uint8_t* Source, uint8_t* Target, size_t Bytes, uint64_t RowBits, bool Invert) {
    std::memcpy(Target, Source, Bytes);
    if (Invert)
        for (size_t i = 0; i < Bytes; ++i)
            Target[i] = uint8_t(~Target[i]);
    if (RowBits % 8 != 0)
        Target[Bytes - 1] &= uint8_t(0xFF00 >> (RowBits % 8));
}

void TIFSwapRedBlue(const uint8_t* Source, int SourceSize, uint8_t* Target, size_t Count) {
    if (SourceSize == 3)
        return CopySwappingRedBlue(Source, Target, int64_t(Count));
    for (size_t x = 0; x < Count; ++x, Source += SourceSize, Target += 3) {
        Target[0] = Source[2];
        Target[1] = Source[1];
        Target[2] = Source[0];
    }
}

void RegisterTIFFFileFormats() {
    RegisterFileFormatReader(std::make_unique<TTIFFileFormatReader>());
    RegisterFileFormatReader(std::make_unique<TTIFFFileFormatReader>());
    RegisterFileFormatWriter(std::make_unique<TTIFFileFormatWriter>());
    RegisterFileFormatWriter(std::make_unique<TTIFFFileFormatWriter>());
}
