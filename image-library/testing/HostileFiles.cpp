#include "image-library/testing/HostileFiles.h"

#include "framework/StreamIO.h"

#include <cstring>
#include <tuple>
#include <zlib.h>

namespace {

constexpr long long MB = 1 << 20;

QByteArray Le16(uint16_t v) {
    QByteArray b(2, 0);
    PutLE16(reinterpret_cast<uint8_t*>(b.data()), v);
    return b;
}
QByteArray Le32(uint32_t v) {
    QByteArray b(4, 0);
    PutLE32(reinterpret_cast<uint8_t*>(b.data()), v);
    return b;
}
QByteArray Be16(uint16_t v) {
    return QByteArray(1, char(v >> 8)) + QByteArray(1, char(v));
}
QByteArray Be32(uint32_t v) {
    return Be16(uint16_t(v >> 16)) + Be16(uint16_t(v));
}

// A little-endian TIFF directory of Entries (tag, type, count, value) at offset 8, sorted as given.
QByteArray TiffDirectory(const std::vector<std::tuple<uint16_t, uint16_t, uint32_t, uint32_t>>& Entries) {
    QByteArray b = QByteArray("II*\0", 4) + Le32(8) + Le16(uint16_t(Entries.size()));
    for (const auto& [tag, type, count, value] : Entries)
        b += Le16(tag) + Le16(type) + Le32(count) + Le32(value);
    return b + Le32(0);
}

// A TIFF of one 8-bit palette pixel whose StripOffsets, StripByteCounts and ColorMap hold the given counts of
// BYTE values, all over one block of Data bytes; a count of 1 is a LONG that fits the pixel.
QByteArray TiffWithArrays(uint32_t StripOffsets, uint32_t StripByteCounts, uint32_t ColorMap, int Data) {
    const uint32_t data = 8 + 2 + 10 * 12 + 4;
    const uint32_t pixel = data + uint32_t(Data);
    const auto array = [&](uint16_t tag, uint32_t count, uint32_t single) {
        return std::tuple<uint16_t, uint16_t, uint32_t, uint32_t>{tag, count == 1 ? 4 : 1, count,
                                                                  count == 1 ? single : data};
    };
    return TiffDirectory({{256, 3, 1, 1},
                          {257, 3, 1, 1},
                          {258, 3, 1, 8},
                          {259, 3, 1, 1},
                          {262, 3, 1, 3},
                          array(273, StripOffsets, pixel),
                          {277, 3, 1, 1},
                          {278, 3, 1, 1},
                          array(279, StripByteCounts, 1),
                          array(320, ColorMap, 0)}) +
           QByteArray(Data, 0) + QByteArray(1, 0);
}

// An 8-bit grey TIFF of one row a strip whose arrays of LONG offsets and byte counts follow the directory;
// the rest of the file is the zeros of its size.
QByteArray TiffOfRowStrips(uint32_t Width, uint32_t Height) {
    const uint32_t arrays = 8 + 2 + 9 * 12 + 4;
    return TiffDirectory({{256, 4, 1, Width},
                          {257, 4, 1, Height},
                          {258, 3, 1, 8},
                          {259, 3, 1, 1},
                          {262, 3, 1, 1},
                          {273, 4, Height, arrays},
                          {277, 3, 1, 1},
                          {278, 4, 1, 1},
                          {279, 4, Height, arrays}});
}

QByteArray BmpHeader(int32_t Width, int32_t Height, uint16_t BitCount) {
    return QByteArray("BM") + Le32(54) + Le32(0) + Le32(54) + Le32(40) + Le32(uint32_t(Width)) +
           Le32(uint32_t(Height)) + Le16(1) + Le16(BitCount) + QByteArray(24, 0);
}

// A 1 x 1 grey PNG of the value 7 with the image data given.
QByteArray OnePixelPng(const QByteArray& ImageData) {
    return QByteArray("\x89PNG\r\n\x1a\n", 8) +
           PngChunk("IHDR", Be32(1) + Be32(1) + QByteArray("\x08\0\0\0\0", 5)) + PngChunk("IDAT", ImageData) +
           PngChunk("IEND", {});
}

} // namespace

QByteArray EmptyScansJpeg(int Width, int Height, int Components, int Scans, int Padding) {
    // One quantization table of ones and a DC table whose only code, "0", is the difference 0.
    QByteArray b = QByteArray::fromHex("ffd8ffdb004300") + QByteArray(64, 1) +
                   QByteArray::fromHex("ffc4001400") + QByteArray(1, 1) + QByteArray(16, 0);
    b += QByteArray::fromHex("ffc2") + Be16(uint16_t(8 + 3 * Components)) + QByteArray(1, 8) +
         Be16(uint16_t(Height)) + Be16(uint16_t(Width)) + QByteArray(1, char(Components));
    for (int c = 1; c <= Components; ++c)
        b += QByteArray(1, char(c)) + QByteArray::fromHex("1100");
    for (int s = 0; s < Scans; ++s) {
        b += QByteArray::fromHex("fffe") + Be16(uint16_t(2 + Padding)) + QByteArray(Padding, 'c');
        b += QByteArray::fromHex("ffda") + Be16(uint16_t(6 + 2 * Components)) +
             QByteArray(1, char(Components));
        for (int c = 1; c <= Components; ++c)
            b += QByteArray(1, char(c)) + QByteArray(1, 0);
        b += QByteArray::fromHex("000000");
    }
    return b + QByteArray::fromHex("ffd9");
}

int EmptyScanBytes(int Components, int Padding) {
    return 4 + Padding + 2 + 2 + 1 + 2 * Components + 3 + 3;
}

QByteArray PngChunk(const char* Type, const QByteArray& Data) {
    const QByteArray body = QByteArray(Type, 4) + Data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
    return Be32(uint32_t(Data.size())) + body + Be32(uint32_t(crc));
}

// Each mebibyte is deflated by itself up to a flush, so its blocks refer to nothing before them and repeat as
// they are; the checksum is combined from the pieces'.
QByteArray ZlibWithZeros(const QByteArray& Data, int ZeroMiB) {
    const auto deflated = [](const QByteArray& bytes) {
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY); // raw blocks, without header or sum
        QByteArray out(int(deflateBound(&z, uLong(bytes.size()))) + 16, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
        z.avail_in = uInt(bytes.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        deflate(&z, Z_FULL_FLUSH);
        out.truncate(qsizetype(z.total_out));
        deflateEnd(&z);
        return out;
    };
    const QByteArray mebibyte(1 << 20, '\0');
    const QByteArray zeros = deflated(mebibyte);
    const uLong zerosSum = adler32(1, reinterpret_cast<const Bytef*>(mebibyte.constData()), 1 << 20);
    uLong sum = adler32(1, reinterpret_cast<const Bytef*>(Data.constData()), uInt(Data.size()));
    QByteArray stream = QByteArray("\x78\x01", 2) + deflated(Data);
    for (int i = 0; i < ZeroMiB; ++i) {
        stream += zeros;
        sum = adler32_combine(sum, zerosSum, 1 << 20);
    }
    return stream + QByteArray("\x03\x00", 2) + Be32(uint32_t(sum)); // an empty last block
}

QByteArray StripTiff(const std::vector<QByteArray>& Rows, bool PackBits, const TStripLayout& Layout) {
    const auto strip = [&](uint32_t y) {
        return PackBits ? QByteArray(1, char(Rows[y].size() - 1)) + Rows[y] : Rows[y];
    };
    const uint32_t count = uint32_t(Rows.size());
    std::vector<uint32_t> offsets(count, 8), sizes(count, uint32_t(strip(0).size()));
    QByteArray data = strip(0);
    if (!Layout.Shared) {
        data.clear();
        for (uint32_t y : Layout.Order) {
            offsets[y] = uint32_t(8 + data.size());
            sizes[y] = uint32_t(strip(y).size());
            data += strip(y) + QByteArray(Layout.Padding, '\xEE');
        }
    }
    data += QByteArray(data.size() % 2, '\0');
    const uint32_t directory = uint32_t(8 + data.size());
    const uint32_t arrays = directory + 2 + 9 * 12 + 4;
    QByteArray tiff = TiffDirectory({{256, 4, 1, uint32_t(Rows[0].size())},
                                     {257, 4, 1, count},
                                     {258, 3, 1, 8},
                                     {259, 3, 1, PackBits ? 32773 : 1},
                                     {262, 3, 1, 1},
                                     {273, 4, count, arrays},
                                     {277, 3, 1, 1},
                                     {278, 4, 1, 1},
                                     {279, 4, count, arrays + 4 * count}});
    PutLE32(reinterpret_cast<uint8_t*>(tiff.data()) + 4, directory);
    tiff.insert(8, data);
    for (const std::vector<uint32_t>* values : {&offsets, &sizes})
        for (uint32_t v : *values)
            tiff += Le32(v);
    return tiff;
}

std::vector<THostileFile> HostileFiles() {
    const std::string jpegRefused = "EPGJPGFileFormatReaderWriter JPG: ";
    const int tiffData = 16 << 20;
    // Each empty scan, a pass over all blocks, comes with 4 KiB of comment: 32 passes, half again the most
    // a real encoder writes, stay within 128 KiB of the file.
    constexpr int scanPadding = 4096;
    const auto scansKB = [](int components) {
        return 32LL * EmptyScanBytes(components, scanPadding) / 1024 + 64;
    };
    const QByteArray pngRunningOn = OnePixelPng(ZlibWithZeros(QByteArray("\0\7", 2), 1024));
    return {
        // The scans fill the coefficients, 128 bytes a block of 8 x 8 samples, whatever they hold.
        {"999 empty scans of 16000 x 16000 grey", EmptyScansJpeg(16000, 16000, 1, 999, scanPadding), 0, "jpg",
         jpegRefused, 16000, 16000, 2, 2000LL * 2000 * 128 / MB, scansKB(1)},
        {"882 empty scans of 5000 x 5000 colour", EmptyScansJpeg(5000, 5000, 3, 882, scanPadding), 0, "jpg",
         jpegRefused, 5000, 5000, 3, 3 * 625LL * 625 * 128 / MB, scansKB(3)},
        {"TIFF arrays far beyond a pixel", TiffWithArrays(tiffData, tiffData, tiffData, tiffData), 0, "tif",
         "EPGTIFFileFormatReader TIFF: NumStripOffsets", 1, 1, 2, 0, 64},
        {"TIFF colour map far beyond 8 bits", TiffWithArrays(1, 1, tiffData, tiffData), 0, "tif",
         "loaded 1 x 1", 1, 1, 2, 0, 64},
        {"TIFF byte counts far beyond a strip", TiffWithArrays(1, tiffData, 768, tiffData), 0, "tif",
         "loaded 1 x 1", 1, 1, 2, 0, 64},
        // 64M strips, whose offsets fill 256 MiB of the file.
        {"268 MB TIFF of 64 x 64M grey", TiffOfRowStrips(64, 64 << 20), (256 + 12) * MB, "tif",
         "EPixelGraphic CreateDIBSection failed", 64, 64 << 20, 2, 0, 64},
        {"P6 of 2147483647 x 2147483647", QByteArray("P6\n2147483647 2147483647\n255\n") + QByteArray(8, 1),
         0, "ppm", "EPGPxMFileFormatReader PBM, PGM, PPM: Unexpected end of file", 0, 0, 3, 0, 64},
        {"54-byte 32-bit BMP of 357913941 x 1", BmpHeader(357913941, 1, 32), 0, "bmp", "loaded 357913941 x 1",
         357913941, 1, 3, 0, 64},
        {"54-byte top-down BMP of 18918 x 18918", BmpHeader(18918, -18918, 24), 0, "bmp",
         "loaded 18918 x 18918", 18918, 18918, 3, 0, 64},
        {"tiny run-length TGA of 65535 x 65535",
         QByteArray::fromHex("00000a000000000000000000ffffffff1800") +
             QByteArray::fromHex("ff010203ff010203"),
         0, "tga", "EPGTGAFileFormatReader TGA: Unexpected end of file", 0, 0, 3, 0, 64},
        // A gibibyte of zeros after the row, in a file of 1 MB.
        {"1 x 1 PNG whose image data run on", pngRunningOn, 0, "png", "loaded 1 x 1", 1, 1, 2, 0, 64},
    };
}
