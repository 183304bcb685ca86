// Hands arbitrary bytes to the loading path of the portable maps, PCX and TGA: the registry of the started
// library picks the reader by signature or by the target's extension (and the extension's reader gets what a
// signature reader refuses), then the picture is read, described, and written by every portable-map and TGA
// writer that stores it as it is, the portable maps in both variants; each file must read back to the same
// colours.
#include "image-library/PGExceptions.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"

#include <QBuffer>
#include <cstdlib>

namespace {

// The extension the fuzzed file is named with; only TGA, which has no signature, depends on it.
constexpr const char* Extension = FUZZ_EXTENSION;

void WriteBack(TPixelGraphic& Picture) {
    for (const char* ext : {"pbm", "pgm", "ppm", "tga"}) {
        const QString extension = QString::fromLatin1(ext);
        const TFileFormatWriter* writer = FindFileFormatWriter(extension);
        if (!writer || !writer->CanWrite(ColorResolutionOf(Picture)))
            continue;
        for (bool binary : {false, true}) {
            if (binary && extension == QLatin1String("tga"))
                break;
            PGPxMBinary = binary;
            QBuffer out;
            out.open(QIODevice::ReadWrite);
            writer->Write(out, Picture);
            out.seek(0);
            TPixelGraphic back;
            const TFileFormatReader* reader = FindFileFormatReader(out, extension);
            if (!reader)
                std::abort();
            reader->Read(out, back, 0);
            if (back.GetWidth() != Picture.GetWidth() || back.GetHeight() != Picture.GetHeight())
                std::abort();
            for (int y = 0; y < Picture.GetHeight(); ++y)
                for (int x = 0; x < Picture.GetWidth(); ++x)
                    if (back.GetPixelColor(x, y) != Picture.GetPixelColor(x, y))
                        std::abort();
        }
    }
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
    TPixelGraphic picture;
    try {
        const bool found = UseFileFormatReader(
            stream, ext, [&](const TFileFormatReader& Reader) { Reader.Read(stream, picture, 0); });
        if (found && picture.GetImageSize() <= (1 << 20))
            WriteBack(picture);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; crashing, hanging or leaking is not.
    }
    return 0;
}
