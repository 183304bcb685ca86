// Reading and writing 4000 x 3000 TIFF files in memory, uncompressed and PackBits, beside a plain copy of the
// same bytes and netpbm's tifftopnm on the same file, all measured in this run. A copy into a fresh array
// pays for first touching its pages, as reading into a fresh picture and writing into a fresh buffer do;
// a copy into a buffer used before does not, as writing over a file's bytes in place does not: both copies
// are shown, each beside the figures that pay the same.
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
#include <cstring>
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

// Writes over the bytes of File in place, so that neither growing nor first touching the target is timed.
void Overwrite(TPixelGraphic& picture, QByteArray& file) {
    QBuffer out(&file);
    out.open(QIODevice::ReadWrite);
    Writer.Write(out, picture);
}

void ReadInto(const QByteArray& bytes, TPixelGraphic& picture) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    Reader.Read(in, picture, 0);
}

void Read(const QByteArray& bytes) {
    TPixelGraphic picture;
    ReadInto(bytes, picture);
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
    std::printf("%-24s %8s %11s %7s %12s %7s %15s %8s\n", "4000 x 3000", "MB/s", "fresh copy", "ratio",
                "reused copy", "ratio", "tifftopnm MB/s", "speedup");
    for (uint8_t format : {uint8_t(3), uint8_t(2)}) {
        TPixelGraphic picture;
        MakeBandedPicture(picture, Width, Height, format);
        for (int32_t compression : {1, 32773}) {
            PGTIFCompression = compression;
            QByteArray tiff = Written(picture);
            const auto mbps = [&](double seconds) { return tiff.size() / 1e6 / seconds; };
            const double freshCopy = mbps(Fastest([&] {
                QByteArray c(tiff.constData(), tiff.size());
                (void)c;
            }));
            QByteArray reused(tiff.size(), '\0');
            const double reusedCopy =
                mbps(Fastest([&] { std::memcpy(reused.data(), tiff.constData(), size_t(tiff.size())); }));
            const double read = mbps(Fastest([&] { Read(tiff); }));
            TPixelGraphic again;
            const double reread = mbps(Fastest([&] { ReadInto(tiff, again); }));
            const double write = mbps(Fastest([&] { (void)Written(picture); }));
            const double overwrite = mbps(Fastest([&] { Overwrite(picture, reused); }));
            const QString file = dir.filePath(QStringLiteral("bench.tif"));
            QFile f(file);
            f.open(QIODevice::WriteOnly);
            f.write(tiff);
            f.close();
            const double toolSeconds = Tifftopnm(file);
            const double tool = toolSeconds > 0 ? mbps(toolSeconds) : 0;
            const char* kind = format == 3 ? (compression == 1 ? "24-bit" : "24-bit PackBits")
                                           : (compression == 1 ? "8-bit" : "8-bit PackBits");
            const auto line = [&](const char* what, double figure, const char* tail) {
                std::printf("%-15s %-8s %8.0f %11.0f %6.2fx %12.0f %6.2fx%s", kind, what, figure, freshCopy,
                            figure / freshCopy, reusedCopy, figure / reusedCopy, tail);
            };
            line("read", read, "");
            std::printf(" %15.0f %7.1fx   (into a fresh picture)\n", tool, tool > 0 ? read / tool : 0);
            line("read", reread, "   (into a picture of this size)\n");
            line("write", write, "   (into a fresh buffer)\n");
            line("write", overwrite, "   (over a buffer used before)\n");
        }
    }
    return 0;
}
