// Reads arbitrary bytes as PNG, with warnings ignored and raised, describes them, and writes back what was
// read: the file we write must read back to the same pixels and colours. The chunk checksums are mended
// first, so that mutations reach past libpng's checksum test into the chunks and the image data.
// Seeds: make-png-seeds.sh. Five minutes under ASan and UBSan (build-fuzz as in .ci/run):
//     build-fuzz/fuzz/fuzz_png -max_total_time=300 -timeout=10 <empty work dir> fuzz/corpus/png
#include "image-library/PGExceptions.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGPNG.h"

#include <QBuffer>
#include <cstdlib>
#include <zlib.h>

namespace {

QByteArray WithMendedChecksums(QByteArray bytes) {
    const auto at = [&](qsizetype p) { return uint8_t(bytes[p]); };
    for (qsizetype pos = 8; pos + 12 <= bytes.size();) {
        const uint32_t length = uint32_t(at(pos) << 24 | at(pos + 1) << 16 | at(pos + 2) << 8 | at(pos + 3));
        if (length > uint64_t(bytes.size() - pos - 12))
            break;
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef*>(bytes.constData() + pos + 4), uInt(length + 4));
        for (int i = 0; i < 4; ++i)
            bytes[pos + 8 + length + i] = char(crc >> (24 - 8 * i));
        pos += 12 + length;
    }
    return bytes;
}

// Another reading of the same picture must agree on every pixel and on every colour the source has.
void CheckSame(const TPixelGraphic& a, const TPixelGraphic& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetBitCountNum() != b.GetBitCountNum())
        std::abort();
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (a.GetPixelValue(x, y) != b.GetPixelValue(x, y))
                std::abort();
    for (int i = 0; i < a.GetColorCount(); ++i)
        if (i >= b.GetColorCount() || a.IndexToColor(uint32_t(i)) != b.IndexToColor(uint32_t(i)))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Huge headers must meet the picture's own limit, not the fuzzer's allocation limit.
    PGMaxPixelMemory = int64_t(64) << 20;
    QByteArray raw = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArray bytes = WithMendedChecksums(raw);
    const TPNGFileFormatReader reader;
    for (TPGWarningAction action : {pgwaRaise, pgwaIgnore}) {
        QBuffer input(&bytes);
        input.open(QIODevice::ReadOnly);
        TPixelGraphic picture;
        picture.SetReadWarningAction(action);
        try {
            reader.Read(input, picture, 0);
        } catch (const EPixelGraphic&) {
            continue;
        }
        QBuffer output;
        output.open(QIODevice::ReadWrite);
        TPNGFileFormatWriter().Write(output, picture);
        output.seek(0);
        TPixelGraphic back;
        reader.Read(output, back, 0);
        CheckSame(picture, back);
    }
    QBuffer input(&raw);
    input.open(QIODevice::ReadOnly);
    TFileFormatInfo info;
    try {
        reader.GetInfo(input, 0, info);
    } catch (const EPixelGraphic&) {
    }
    return 0;
}
