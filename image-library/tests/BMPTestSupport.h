// Shared by the BMP and loading tests: hand-built BMP bytes.
#pragma once

#include "framework/StreamIO.h"
#include "image-library/PGFileFormats.h"
#include "image-library/formats/Formats.h"
#include "image-library/formats/PGBMP.h"

#include <QByteArray>
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>

inline QByteArray Le16(uint16_t v) {
    const char b[2] = {char(v), char(v >> 8)};
    return QByteArray(b, 2);
}
inline QByteArray Le32(uint32_t v) {
    return Le16(uint16_t(v)) + Le16(uint16_t(v >> 16));
}
inline QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

inline QByteArray FileHeader(uint32_t pixelOffset, uint32_t fileSize = 0) {
    return QByteArray("BM") + Le32(fileSize) + Le32(0) + Le32(pixelOffset);
}

struct TInfoHeader {
    int32_t Width = 1;
    int32_t Height = 1;
    uint16_t BitCount = 24;
    uint32_t Compression = 0;
    uint32_t SizeImage = 0;
    uint32_t ClrUsed = 0;
    uint32_t Size = 40;
    uint16_t Planes = 1;

    QByteArray Bytes() const {
        return Le32(Size) + Le32(uint32_t(Width)) + Le32(uint32_t(Height)) + Le16(Planes) + Le16(BitCount) +
               Le32(Compression) + Le32(SizeImage) + Le32(0) + Le32(0) + Le32(ClrUsed) + Le32(0);
    }
};

inline QByteArray CoreHeader(uint16_t width, uint16_t height, uint16_t bitCount, uint16_t planes = 1) {
    return Le32(12) + Le16(width) + Le16(height) + Le16(planes) + Le16(bitCount);
}

// A BMP file around a DIB whose pixels follow its table, with the data offset a writer would give it.
inline QByteArray BmpFile(const QByteArray& dib, uint32_t tableAndHeaderSize) {
    return FileHeader(14 + tableAndHeaderSize, uint32_t(14 + dib.size())) + dib;
}
