// Feeds arbitrary bytes to every way a BMP enters the library: loading, GetInfo, a clipboard block and a
// form-streaming record. A picture that loads must save and load again unchanged.
#include "image-library/PGExceptions.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"

#include <QBuffer>
#include <cstdlib>
#include <cstring>

namespace {

QBuffer* OpenBuffer(QBuffer& buffer, const QByteArray& bytes) {
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return &buffer;
}

bool SamePicture(TPixelGraphic& a, TPixelGraphic& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetBitCountNum() != b.GetBitCountNum() || a.GetColorCount() != b.GetColorCount() ||
        a.GetImageSize() != b.GetImageSize())
        return false;
    for (int i = 0; i < a.GetColorCount(); ++i)
        if (a.IndexToColor(uint32_t(i)) != b.IndexToColor(uint32_t(i)))
            return false;
    return a.GetImageSize() == 0 || std::memcmp(a.GetBits(), b.GetBits(), size_t(a.GetImageSize())) == 0;
}

void LoadSaveReload(const QByteArray& bytes) {
    TPixelGraphic picture;
    QBuffer in;
    try {
        picture.LoadFromStream(*OpenBuffer(in, bytes));
    } catch (const Exception&) {
        if (!picture.GetEmpty())
            std::abort(); // a failed load leaves an empty picture
        return;
    }
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    picture.SaveToStream(out);
    TPixelGraphic again;
    QBuffer reread;
    again.LoadFromStream(*OpenBuffer(reread, out.data()));
    if (!SamePicture(picture, again))
        std::abort();
}

template <class Fn> void Tolerate(Fn fn) {
    try {
        fn();
    } catch (const Exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The library without a Qt application, as a worker would use it; pictures small enough to fuzz fast.
    PGraphicInit();
    PGMaxPixelMemory = 16 << 20;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    LoadSaveReload(bytes);
    QBuffer info;
    TFileFormatInfo format;
    GetStreamFileFormatInfo(*OpenBuffer(info, bytes), QString(), 0, format);
    TPixelGraphic picture;
    Tolerate([&] { picture.LoadFromClipboardFormat(TPixelGraphic::CF_DIB, bytes); });
    QBuffer record;
    Tolerate([&] { picture.ReadData(*OpenBuffer(record, bytes)); });
    return 0;
}
