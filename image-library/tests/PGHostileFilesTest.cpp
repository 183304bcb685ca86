// Hostile files at the library's real pixel limit: each is loaded, and described, in a child process. It may
// cost no more memory than its data can fill (the picture's rows it holds, the codec's whole-image buffer)
// plus a small fixed amount, and no more than a second beyond the time it takes to write every byte of the
// picture it declares.
#include "framework/StreamIO.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/ChildCost.h"

#include <QBuffer>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>

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

// A progressive JPEG of Scans scans that hold no data at all: each is a whole pass over the coefficients,
// which the codec fills with zeros.
QByteArray EmptyScansJpeg(int Width, int Height, int Components, int Scans) {
    // One quantization table of ones and a DC table whose only code, "0", is the difference 0.
    QByteArray b = QByteArray::fromHex("ffd8ffdb004300") + QByteArray(64, 1) +
                   QByteArray::fromHex("ffc4001400") + QByteArray(1, 1) + QByteArray(16, 0);
    b += QByteArray::fromHex("ffc2") + Be16(uint16_t(8 + 3 * Components)) + QByteArray(1, 8) +
         Be16(uint16_t(Height)) + Be16(uint16_t(Width)) + QByteArray(1, char(Components));
    for (int c = 1; c <= Components; ++c)
        b += QByteArray(1, char(c)) + QByteArray::fromHex("1100");
    for (int s = 0; s < Scans; ++s) {
        b += QByteArray::fromHex("ffda") + Be16(uint16_t(6 + 2 * Components)) +
             QByteArray(1, char(Components));
        for (int c = 1; c <= Components; ++c)
            b += QByteArray(1, char(c)) + QByteArray(1, 0);
        b += QByteArray::fromHex("000000");
    }
    return b + QByteArray::fromHex("ffd9");
}

// A little-endian TIFF of one 8-bit palette pixel whose StripOffsets, StripByteCounts and ColorMap hold the
// given counts of BYTE values, all over one block of Data bytes; a count of 1 is a LONG that fits the pixel.
QByteArray TiffWithArrays(uint32_t StripOffsets, uint32_t StripByteCounts, uint32_t ColorMap, int Data) {
    const uint32_t data = 8 + 2 + 10 * 12 + 4;
    const uint32_t pixel = data + uint32_t(Data);
    const auto array = [&](uint16_t tag, uint32_t count, uint32_t single) {
        return Le16(tag) + Le16(count == 1 ? 4 : 1) + Le32(count) + Le32(count == 1 ? single : data);
    };
    QByteArray b = QByteArray("II*\0", 4) + Le32(8) + Le16(10);
    for (const auto& [tag, value] : {std::pair{256, 1}, {257, 1}, {258, 8}, {259, 1}, {262, 3}})
        b += Le16(uint16_t(tag)) + Le16(3) + Le32(1) + Le32(uint32_t(value));
    b += array(273, StripOffsets, pixel);
    b += Le16(277) + Le16(3) + Le32(1) + Le32(1) + Le16(278) + Le16(3) + Le32(1) + Le32(1);
    b += array(279, StripByteCounts, 1) + array(320, ColorMap, 0);
    return b + Le32(0) + QByteArray(Data, 0) + QByteArray(1, 0);
}

QByteArray BmpHeader(int32_t Width, int32_t Height, uint16_t BitCount) {
    return QByteArray("BM") + Le32(54) + Le32(0) + Le32(54) + Le32(40) + Le32(uint32_t(Width)) +
           Le32(uint32_t(Height)) + Le16(1) + Le16(BitCount) + QByteArray(24, 0);
}

// What one load gave, as a line to compare.
std::string LoadOutcome(const std::function<void()>& Work, const TPixelGraphic& Picture) {
    try {
        Work();
    } catch (const Exception& e) {
        return e.className() + std::string(" ") + e.message().toStdString();
    }
    return "loaded " + std::to_string(Picture.GetWidth()) + " x " + std::to_string(Picture.GetHeight());
}

struct THostileFile {
    const char* Name;
    QByteArray File;
    const char* Ext;
    std::string Outcome;            // its start
    int Width, Height, BitCountNum; // the picture the file declares
    long long FilledMB;             // what its data can fill
};

TEST(HostileFiles, CostNoMoreThanTheirPictures) {
    if (ChildCostSanitizer() == TSanitizer::Thread)
        GTEST_SKIP() << "ThreadSanitizer's shadow memory hides what a load costs";
    ASSERT_EQ(PGMaxPixelMemory, 1 << 30) << "the library's own limit";
    const std::string jpegRefused = "EPGJPGFileFormatReaderWriter JPG: ";
    const int tiffData = 16 << 20;
    const THostileFile files[] = {
        // The scans fill the coefficients, 128 bytes a block of 8 x 8 samples, whatever they hold.
        {"999 empty scans of 16000 x 16000 grey", EmptyScansJpeg(16000, 16000, 1, 999), "jpg", jpegRefused,
         16000, 16000, 2, 2000LL * 2000 * 128 / MB},
        {"882 empty scans of 5000 x 5000 colour", EmptyScansJpeg(5000, 5000, 3, 882), "jpg", jpegRefused,
         5000, 5000, 3, 3 * 625LL * 625 * 128 / MB},
        {"TIFF arrays far beyond a pixel", TiffWithArrays(tiffData, tiffData, tiffData, tiffData), "tif",
         "EPGTIFFileFormatReader TIFF: NumStripOffsets", 1, 1, 2, 0},
        {"TIFF colour map far beyond 8 bits", TiffWithArrays(1, 1, tiffData, tiffData), "tif", "loaded 1 x 1",
         1, 1, 2, 0},
        {"TIFF byte counts far beyond a strip", TiffWithArrays(1, tiffData, 768, tiffData), "tif",
         "loaded 1 x 1", 1, 1, 2, 0},
        {"P6 of 2147483647 x 2147483647", QByteArray("P6\n2147483647 2147483647\n255\n") + QByteArray(8, 1),
         "ppm", "EPGPxMFileFormatReader PBM, PGM, PPM: Unexpected end of file", 0, 0, 3, 0},
        {"54-byte 32-bit BMP of 357913941 x 1", BmpHeader(357913941, 1, 32), "bmp", "loaded 357913941 x 1",
         357913941, 1, 3, 0},
        {"54-byte top-down BMP of 18918 x 18918", BmpHeader(18918, -18918, 24), "bmp", "loaded 18918 x 18918",
         18918, 18918, 3, 0},
        {"tiny run-length TGA of 65535 x 65535",
         QByteArray::fromHex("00000a000000000000000000ffffffff1800") +
             QByteArray::fromHex("ff010203ff010203"),
         "tga", "EPGTGAFileFormatReader TGA: Unexpected end of file", 0, 0, 3, 0},
    };
    for (const THostileFile& f : files) {
        SCOPED_TRACE(f.Name);
        // Writing every byte of the declared picture is what any decoding of it costs at least.
        TPixelGraphic declared;
        const std::optional<TChildCost> reference = RunInChild(
            [&] {
                if (f.Width > 0)
                    declared.SetFormat(f.Width, f.Height, uint8_t(f.BitCountNum));
                if (declared.GetImageSize() > 0)
                    std::memset(declared.GetBits(), 1, size_t(declared.GetImageSize()));
                return std::string();
            },
            2048);
        if (!reference)
            GTEST_SKIP() << "no child process measurements here (/proc/self/clear_refs)";
        ASSERT_TRUE(reference->Finished);
        // The address space holds the whole picture, untouched pages too; AddressSanitizer shadows every
        // byte it hands out with an eighth of a byte, written when it hands it out.
        const int bits[] = {1, 4, 8, 24};
        const long long pictureMB = (int64_t(bits[f.BitCountNum]) * f.Width + 31) / 32 * 4 * f.Height / MB;
        const long long shadowMB =
            ChildCostSanitizer() == TSanitizer::Address ? (pictureMB + f.FilledMB) / 8 : 0;
        const long long allowedMB = f.FilledMB + shadowMB + 32;
        // A sanitizer slows our instrumented code several times over, but not the reference's memset.
        const double allowedSeconds = ChildCostSanitizer() == TSanitizer::None ? 1.0 : 4.0;

        const auto load = [&] {
            QBuffer in;
            in.setData(f.File);
            in.open(QIODevice::ReadOnly);
            TPixelGraphic picture;
            picture.SetReadWarningAction(pgwaIgnore);
            return LoadOutcome([&] { picture.LoadFromStreamExt(in, QString::fromLatin1(f.Ext)); }, picture);
        };
        const auto describe = [&] {
            QBuffer in;
            in.setData(f.File);
            in.open(QIODevice::ReadOnly);
            TFileFormatInfo info;
            return std::to_string(GetStreamFileFormatInfo(in, QString::fromLatin1(f.Ext), 0, info));
        };
        const std::pair<std::string, std::function<std::string()>> runs[] = {{"loading", load},
                                                                             {"describing", describe}};
        for (const auto& [what, work] : runs) {
            SCOPED_TRACE(what);
            const std::optional<TChildCost> cost = RunInChild(work, pictureMB + allowedMB + 64);
            ASSERT_TRUE(cost);
            ASSERT_TRUE(cost->Finished) << "killed: out of memory or out of time";
            if (what == "loading") {
                EXPECT_EQ(cost->Outcome.substr(0, f.Outcome.size()), f.Outcome);
            }
            EXPECT_LE(cost->PeakGrowthMB, allowedMB) << cost->Outcome;
            EXPECT_LE(cost->CpuSeconds, reference->CpuSeconds + allowedSeconds) << cost->Outcome;
        }
    }
}

} // namespace
