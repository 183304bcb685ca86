// Reading and writing 4000 x 3000 TIFF files in memory, uncompressed and PackBits, beside a plain copy of the
// same bytes and netpbm's tifftopnm on the same file, all measured in this run.
#include "bench/ToolTiming.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"
#include "image-library/formats/PGTIFFRead.h"
#include "image-library/formats/PGTIFFWrite.h"

#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;

const TTIFFileFormatReader Reader;
const TTIFFileFormatWriter Writer;

QByteArray Written(TPixelGraphic& picture) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    Writer.Write(out, picture);
    return out.data();
}

void Read(const QByteArray& bytes) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    TPixelGraphic picture;
    Reader.Read(in, picture, 0);
}

// Seconds tifftopnm takes from the file to nothing, or 0 when it is not installed.
double Tifftopnm(const QString& file) {
    if (QStandardPaths::findExecutable(QStringLiteral("tifftopnm")).isEmpty())
        return 0;
    return Fastest(
        [&] {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.setStandardErrorFile(QProcess::nullDevice());
            p.start(QStringLiteral("tifftopnm"), {file});
            p.waitForFinished(-1);
        },
        3);
}

} // namespace

int main() {
    const TPGraphicScope library;
    QTemporaryDir dir;
    std::printf("%-24s %10s %12s %8s %14s %8s\n", "4000 x 3000", "MB/s", "copy MB/s", "ratio",
                "tifftopnm MB/s", "speedup");
    for (uint8_t format : {uint8_t(3), uint8_t(2)}) {
        TPixelGraphic picture;
        MakeBandedPicture(picture, Width, Height, format);
        for (int32_t compression : {1, 32773}) {
            PGTIFCompression = compression;
            const QByteArray tiff = Written(picture);
            const auto mbps = [&](double seconds) { return tiff.size() / 1e6 / seconds; };
            const double copy = mbps(Fastest([&] {
                QByteArray c(tiff.constData(), tiff.size());
                (void)c;
            }));
            const double read = mbps(Fastest([&] { Read(tiff); }));
            const double write = mbps(Fastest([&] { (void)Written(picture); }));
            const QString file = dir.filePath(QStringLiteral("bench.tif"));
            QFile f(file);
            f.open(QIODevice::WriteOnly);
            f.write(tiff);
            f.close();
            const double toolSeconds = Tifftopnm(file);
            const double tool = toolSeconds > 0 ? mbps(toolSeconds) : 0;
            const char* kind = format == 3 ? (compression == 1 ? "24-bit" : "24-bit PackBits")
                                           : (compression == 1 ? "8-bit" : "8-bit PackBits");
            std::printf("%-15s %-8s %10.0f %12.0f %7.2fx %14.0f %7.1fx\n", kind, "read", read, copy,
                        read / copy, tool, tool > 0 ? read / tool : 0);
            std::printf("%-15s %-8s %10.0f %12.0f %7.2fx\n", kind, "write", write, copy, write / copy);
        }
    }
    return 0;
}
