// Loading and saving 4000 x 3000 BMP files in memory, beside a plain copy of the same bytes and netpbm's
// bmptopnm and ppmtobmp on the same picture, all measured in this run. The copy into a fresh array pays for
// first touching its pages, which a 24-bit picture of 36 MB pays too and an 8-bit one of 12 MB mostly does
// not (the allocator keeps that size); the copy into a buffer used before pays for neither: both are shown.
#include "bench/ToolTiming.h"
#include "framework/StreamIO.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"

#include <QBuffer>
#include <QByteArray>
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

double MBps(qint64 bytes, double seconds) {
    return bytes / 1e6 / seconds;
}

QByteArray Saved(TPixelGraphic& picture) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    picture.SaveToStream(out);
    return out.data();
}

void Load(const QByteArray& bytes) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    TPixelGraphic picture;
    picture.LoadFromStream(in);
}

// Seconds a netpbm program takes from a file to nothing, or 0 when it is not installed.
double Tool(const char* program, const QString& input) {
    if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
        return 0;
    return Fastest(
        [&] {
            QProcess p;
            p.setStandardInputFile(input);
            p.setStandardOutputFile(QProcess::nullDevice());
            p.setStandardErrorFile(QProcess::nullDevice());
            p.start(QString::fromLatin1(program), {});
            p.waitForFinished(-1);
        },
        3);
}

QByteArray WriteTemp(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    QFile f(dir.filePath(QString::fromLatin1(name)));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName().toLocal8Bit();
}

// The picture's rows as a PPM or PGM file, for ppmtobmp.
QByteArray Pnm(TPixelGraphic& picture) {
    const bool gray = picture.GetBitCountNum() == 2;
    QByteArray out = QByteArray(gray ? "P5\n" : "P6\n") + QByteArray::number(Width) + ' ' +
                     QByteArray::number(Height) + "\n255\n";
    for (int y = 0; y < Height; ++y) {
        const uint8_t* row = picture.GetScanLine(y);
        for (int x = 0; x < Width; ++x)
            if (gray)
                out.append(char(row[x]));
            else
                out.append(char(row[3 * x + 2])).append(char(row[3 * x + 1])).append(char(row[3 * x]));
    }
    return out;
}

// The 8-bit picture as RLE8: runs of equal bytes encoded, the rest in absolute runs.
QByteArray RLE8(TPixelGraphic& picture) {
    QByteArray data;
    for (int y = Height - 1; y >= 0; --y) {
        const uint8_t* row = picture.GetScanLine(y);
        int x = 0;
        while (x < Width) {
            int n = 1;
            while (x + n < Width && n < 255 && row[x + n] == row[x])
                ++n;
            if (n >= 2 || Width - x < 3) {
                data.append(char(n)).append(char(row[x]));
            } else {
                n = 3;
                while (x + n < Width && n < 255 && row[x + n] != row[x + n - 1])
                    ++n;
                data.append(char(0)).append(char(n)).append(reinterpret_cast<const char*>(row + x), n);
                if (n % 2)
                    data.append(char(0));
            }
            x += n;
        }
        data.append(char(0)).append(char(0));
    }
    data.append(char(0)).append(char(1));
    QByteArray file = Saved(picture).left(14 + 40 + 1024);
    PutLE32(reinterpret_cast<uint8_t*>(file.data()) + 14 + 16, 1);
    PutLE32(reinterpret_cast<uint8_t*>(file.data()) + 14 + 20, uint32_t(data.size()));
    return file + data;
}

// The 24-bit picture as an uncompressed 32-bit file.
QByteArray Bits32(TPixelGraphic& picture) {
    QByteArray file = Saved(picture).left(54);
    PutLE16(reinterpret_cast<uint8_t*>(file.data()) + 14 + 14, 32);
    for (int y = Height - 1; y >= 0; --y) {
        const uint8_t* row = picture.GetScanLine(y);
        for (int x = 0; x < Width; ++x)
            file.append(reinterpret_cast<const char*>(row + 3 * x), 3).append(char(0));
    }
    return file;
}

} // namespace

int main() {
    const TPGraphicScope library;
    QTemporaryDir dir;
    std::printf("%-22s %10s %11s %7s %12s %7s %12s %8s\n", "4000 x 3000", "MB/s", "fresh copy", "ratio",
                "reused copy", "ratio", "netpbm MB/s", "speedup");
    for (uint8_t format : {uint8_t(3), uint8_t(2)}) {
        TPixelGraphic picture;
        MakeBandedPicture(picture, Width, Height, format);
        const QByteArray bmp = Saved(picture);
        const double copy = MBps(bmp.size(), Fastest([&] {
                                     QByteArray c(bmp.constData(), bmp.size());
                                     (void)c;
                                 }));
        QByteArray reused(bmp.size(), '\0');
        const double reusedCopy = MBps(
            bmp.size(), Fastest([&] { std::memcpy(reused.data(), bmp.constData(), size_t(bmp.size())); }));
        const double load = MBps(bmp.size(), Fastest([&] { Load(bmp); }));
        const double save = MBps(bmp.size(), Fastest([&] { (void)Saved(picture); }));
        const double toPnm = Tool("bmptopnm", QString::fromLocal8Bit(WriteTemp(dir, "in.bmp", bmp)));
        const double toBmp = Tool("ppmtobmp", QString::fromLocal8Bit(WriteTemp(dir, "in.pnm", Pnm(picture))));
        const char* bits = format == 3 ? "24-bit" : "8-bit";
        const double netpbmLoad = toPnm > 0 ? MBps(bmp.size(), toPnm) : 0;
        const double netpbmSave = toBmp > 0 ? MBps(bmp.size(), toBmp) : 0;
        const auto line = [&](const char* what, double figure, double netpbm) {
            std::printf("%-7s %-14s %10.0f %11.0f %6.2fx %12.0f %6.2fx %12.0f %7.1fx\n", bits, what, figure,
                        copy, figure / copy, reusedCopy, figure / reusedCopy, netpbm,
                        netpbm > 0 ? figure / netpbm : 0);
        };
        line("load", load, netpbmLoad);
        line("save", save, netpbmSave);
        const QByteArray other = format == 3 ? Bits32(picture) : RLE8(picture);
        const double otherLoad = MBps(other.size(), Fastest([&] { Load(other); }));
        const double otherTool = Tool("bmptopnm", QString::fromLocal8Bit(WriteTemp(dir, "other.bmp", other)));
        const double netpbmOther = otherTool > 0 ? MBps(other.size(), otherTool) : 0;
        std::printf("%-7s %-14s %10.0f %11s %7s %12s %7s %12.0f %7.1fx\n", format == 3 ? "32-bit" : "RLE8",
                    "load", otherLoad, "", "", "", "", netpbmOther,
                    netpbmOther > 0 ? otherLoad / netpbmOther : 0);
    }
    return 0;
}
