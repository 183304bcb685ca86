// Feeds arbitrary bytes to the TIFF reader: Read and GetInfo of the first and second picture with the
// directory walk off and on, and loading through the registry. A picture that reads must write and read
// again to the same pixels, uncompressed and with PackBits, in either byte order.
#include "image-library/PGExceptions.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"
#include "image-library/formats/PGTIFFRead.h"
#include "image-library/formats/PGTIFFWrite.h"

#include <QBuffer>
#include <cstdlib>
#include <cstring>

namespace {

const TTIFFileFormatReader Reader;
const TTIFFileFormatWriter Writer;

bool Read(const QByteArray& bytes, TPixelGraphic& picture, int index) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        Reader.Read(buffer, picture, index);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

void GetInfo(const QByteArray& bytes, int index) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    TFileFormatInfo info;
    try {
        Reader.GetInfo(buffer, index, info);
    } catch (const Exception&) {
    }
}

void WriteAndReread(TPixelGraphic& picture, bool packBits, bool bigEndian) {
    PGTIFCompression = packBits ? 32773 : 1;
    PGTIFBigEndian = bigEndian;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    Writer.Write(out, picture);
    TPixelGraphic again;
    if (!Read(out.data(), again, 0) || again.GetImageSize() != picture.GetImageSize() ||
        again.GetBitCountNum() != picture.GetBitCountNum() ||
        std::memcmp(again.GetBits(), picture.GetBits(), size_t(picture.GetImageSize())) != 0)
        std::abort();
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
    for (bool counting : {false, true}) {
        PGTIFCountPictures = counting;
        for (int index : {0, 1}) {
            GetInfo(bytes, index);
            TPixelGraphic picture;
            picture.SetReadWarningAction(index == 0 ? pgwaIgnore : pgwaRaise);
            if (Read(bytes, picture, index) && !picture.GetEmpty())
                WriteAndReread(picture, (size & 1) != 0, (size & 2) != 0);
        }
    }
    TPixelGraphic loaded;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        loaded.LoadFromStream(buffer);
    } catch (const Exception&) {
        if (!loaded.GetEmpty())
            std::abort(); // a failed load leaves an empty picture
    }
    return 0;
}
