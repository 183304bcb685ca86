// Reads arbitrary bytes as a JPEG file: the picture under the warning actions that ignore and that raise, and
// the headers. The picture limit is lowered so that huge headers meet our limit, not the fuzzer's malloc
// limit. Seeds: fuzz/make-jpeg-seeds.py. A long run, from a clang build with -DLAB_FUZZ=ON in build-fuzz:
//   cp -r fuzz/corpus/jpeg /tmp/jpeg-corpus &&
//   build-fuzz/fuzz/fuzz_jpeg -max_total_time=300 -rss_limit_mb=2048 -timeout=10 /tmp/jpeg-corpus
#include "framework/Exception.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/PGJPEG.h"

#include <QBuffer>

namespace {

void ReadAs(const QByteArray& data, TPGWarningAction action) {
    QBuffer stream;
    stream.setData(data);
    stream.open(QIODevice::ReadOnly);
    TPixelGraphic picture;
    picture.SetReadWarningAction(action);
    try {
        TJPGFileFormatReader().Read(stream, picture, 0);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; crashing, hanging or leaking is not.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    PGMaxPixelMemory = int64_t(64) << 20;
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), qsizetype(size));
    ReadAs(data, pgwaIgnore);
    ReadAs(data, pgwaRaise);
    QBuffer stream;
    stream.setData(data);
    stream.open(QIODevice::ReadOnly);
    TFileFormatInfo info;
    try {
        TJPGFileFormatReader().GetInfo(stream, 0, info);
    } catch (const Exception&) {
    }
    return 0;
}
