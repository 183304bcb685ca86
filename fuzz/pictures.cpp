// Hands arbitrary bytes to the loading path of the portable maps, PCX and TGA: the registry of the started
// library picks the reader by signature or by the target's extension, then the picture is read, described
// and written back by a portable-map or TGA writer.
#include "image-library/PGExceptions.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"

#include <QBuffer>

namespace {

// The extension the fuzzed file is named with; only TGA, which has no signature, depends on it.
constexpr const char* Extension = FUZZ_EXTENSION;

void WriteBack(TPixelGraphic& Picture) {
    const TFileFormatWriter* writer = nullptr;
    for (const char* ext : {"pbm", "pgm", "ppm", "tga"}) {
        const TFileFormatWriter* w = FindFileFormatWriter(QString::fromLatin1(ext));
        if (w && w->CanWrite(ColorResolutionOf(Picture)))
            writer = w;
    }
    if (!writer)
        return;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    writer->Write(out, Picture);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const bool started = [] {
        PGraphicInit();              // every format registered, as the programs have them
        PGMaxPixelMemory = 64 << 20; // the limit stays the last guard; the readers' own checks come first
        return true;
    }();
    (void)started;
    QBuffer stream;
    stream.setData(reinterpret_cast<const char*>(bytes), qsizetype(size));
    stream.open(QIODevice::ReadOnly);
    const QString ext = QString::fromLatin1(Extension);
    TFileFormatInfo info;
    GetStreamFileFormatInfo(stream, ext, 0, info);
    const TFileFormatReader* reader = FindFileFormatReader(stream, ext);
    if (!reader)
        return 0;
    TPixelGraphic picture;
    try {
        reader->Read(stream, picture, 0);
        if (picture.GetImageSize() <= (1 << 20))
            WriteBack(picture);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; crashing, hanging or leaking is not.
    }
    return 0;
}
