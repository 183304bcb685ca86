// Starts the image library in a program without any Qt application, looks a stream up and stops it again:
// start-up, lookups and shutdown must not need the GUI.
#include "image-library/PGFileFormats.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"
#include "image-library/formats/PGBMP.h"

#include <QBuffer>
#include <cstdio>

int main() {
    bool ok = true;
    const auto check = [&ok](bool condition, const char* what) {
        if (!condition) {
            std::fprintf(stderr, "failed: %s\n", what);
            ok = false;
        }
    };
    {
        const TPGraphicScope library;
        check(TPixelGraphic().GetFileGamma() == 1.8L, "a new picture takes the display gamma");
        QByteArray bytes("no picture format starts like this");
        QBuffer stream(&bytes);
        stream.open(QIODevice::ReadOnly);
        check(FindFileFormatReader(stream, QStringLiteral("tst")) == nullptr, "unknown data finds no reader");
        check(stream.pos() == 0, "the lookup keeps the position");
        check(BMPStreamWriter != nullptr, "start-up makes the BMP stream writer");
    }
    check(BMPStreamWriter == nullptr, "shutdown frees the BMP stream writer");
    check(FileFormatReaders().empty() && FileFormatWriters().empty(), "shutdown empties the registries");
    return ok ? 0 : 1;
}
