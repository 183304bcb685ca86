// Reading and writing a 4000 x 3000 picture as P6, P5, uncompressed 24-bit TGA and 8- and 24-bit PCX, in
// megabytes of file per second, beside a plain copy of the same bytes and the netpbm program that reads the
// same file, timed as a process writing to /dev/null.
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"
#include "image-library/formats/PGPCX.h"
#include "image-library/formats/PGPNM.h"
#include "image-library/formats/PGTGA.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;
constexpr int Runs = 5;

double Seconds(const std::function<void()>& Work) {
    double best = 1e9;
    for (int i = 0; i < Runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        Work();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

double MBps(qint64 Bytes, double Seconds) {
    return double(Bytes) / 1e6 / Seconds;
}

// A smooth picture with noise, as a camera gives.
void FillPhoto(TPixelGraphic& Picture, uint8_t BitCountNum) {
    Picture.SetFormat(Width, Height, BitCountNum);
    if (BitCountNum == 2)
        Picture.SetPaletteIdent(pGray256);
    std::mt19937 random(1);
    const int channels = BitCountNum == 2 ? 1 : 3;
    for (int y = 0; y < Height; ++y) {
        uint8_t* row = Picture.GetScanLine(y);
        for (int x = 0; x < Width; ++x)
            for (int c = 0; c < channels; ++c)
                row[x * channels + c] = uint8_t(std::clamp(
                    (x + y * (c + 1)) * 255 / (Width + 2 * Height) + int(random() % 9) - 4, 0, 255));
    }
}

// PCX files are only read here: this makes them, one run-length scan line per row and plane.
QByteArray EncodePcx(TPixelGraphic& Picture) {
    const bool gray = Picture.GetBitCountNum() == 2;
    const int planes = gray ? 1 : 3;
    QByteArray file(128, '\0');
    uint8_t* h = reinterpret_cast<uint8_t*>(file.data());
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = 8;
    h[8] = uint8_t((Width - 1) & 0xFF);
    h[9] = uint8_t((Width - 1) >> 8);
    h[10] = uint8_t((Height - 1) & 0xFF);
    h[11] = uint8_t((Height - 1) >> 8);
    h[65] = uint8_t(planes);
    h[66] = uint8_t(Width & 0xFF);
    h[67] = uint8_t(Width >> 8);
    h[68] = 1;
    std::vector<uint8_t> line(size_t(Width) * planes);
    for (int y = 0; y < Height; ++y) {
        const uint8_t* row = Picture.GetScanLine(y);
        for (int p = 0; p < planes; ++p)
            for (int x = 0; x < Width; ++x)
                line[size_t(p) * Width + x] = gray ? row[x] : row[3 * x + 2 - p]; // red plane first
        for (size_t i = 0; i < line.size();) {
            size_t n = 1;
            while (n < 63 && i + n < line.size() && line[i + n] == line[i])
                ++n;
            if (n > 1 || line[i] >= 0xC0)
                file.append(char(0xC0 | n));
            file.append(char(line[i]));
            i += n;
        }
    }
    if (gray) {
        file.append(char(12));
        for (int i = 0; i < 256; ++i)
            file.append(QByteArray(3, char(i)));
    }
    return file;
}

QByteArray Write(const TFileFormatWriter& Writer, TPixelGraphic& Picture) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    Writer.Write(buffer, Picture);
    return buffer.data();
}

// Writes over the bytes of File in place, so that neither growing nor first touching the target is timed.
void Overwrite(const TFileFormatWriter& Writer, TPixelGraphic& Picture, QByteArray& File) {
    QBuffer buffer(&File);
    buffer.open(QIODevice::ReadWrite);
    Writer.Write(buffer, Picture);
}

// Loading as the programs do, picture after picture into the same one.
void Load(const char* Ext, const QByteArray& File, TPixelGraphic& Picture) {
    QBuffer buffer;
    buffer.setData(File);
    buffer.open(QIODevice::ReadOnly);
    Picture.LoadFromStreamExt(buffer, QLatin1String(Ext));
}

void Read(const TFileFormatReader& Reader, const QByteArray& File, TPixelGraphic& Picture) {
    QBuffer buffer;
    buffer.setData(File);
    buffer.open(QIODevice::ReadOnly);
    Reader.Read(buffer, Picture, 0);
}

// The netpbm program reading the file, or 0 when it is not installed.
double ToolMBps(const char* Tool, const QByteArray& File, const QTemporaryDir& Dir) {
    if (QStandardPaths::findExecutable(QString::fromLatin1(Tool)).isEmpty())
        return 0;
    const QString path = Dir.filePath(QStringLiteral("input"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(File) != File.size())
        return 0;
    f.close();
    const double seconds = Seconds([&] {
        QProcess process;
        process.setStandardInputFile(path);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QString::fromLatin1(Tool), {});
        process.waitForFinished(-1);
    });
    return MBps(File.size(), seconds);
}

void Report(const char* Name, qint64 Bytes, double Seconds, double Tool = -1) {
    std::vector<char> source(static_cast<size_t>(Bytes), 1);
    std::vector<char> target(source.size());
    const double copy =
        MBps(Bytes, ::Seconds([&] { std::memcpy(target.data(), source.data(), source.size()); }));
    const double speed = MBps(Bytes, Seconds);
    std::printf("%-22s %8.1f MB %9.0f MB/s   copy %6.0f MB/s  ratio %.2f", Name, double(Bytes) / 1e6, speed,
                copy, speed / copy);
    if (Tool > 0)
        std::printf("   netpbm %6.0f MB/s  %.1fx", Tool, speed / Tool);
    else if (Tool == 0)
        std::printf("   netpbm not installed");
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    // Each read and load goes into the same picture, as in a program that shows picture after picture; the
    // picture's memory is the library's own (large blocks are not taken from the heap), so it is not kept
    // warm here.
    QCoreApplication app(argc, argv);
    const TPGraphicScope library;
    QTemporaryDir dir;
    TPixelGraphic color, gray, picture;
    FillPhoto(color, 3);
    FillPhoto(gray, 2);

    const TPPMFileFormatWriter ppm;
    const TPGMFileFormatWriter pgm;
    const TTGAFileFormatWriter tga;
    const TPPMFileFormatReader pnmReader;
    const TTGAFileFormatReader tgaReader;
    const TPCXFileFormatReader pcxReader;
    PGPxMBinary = true;

    std::printf("%d x %d, best of %d runs, from and to memory\n", Width, Height, Runs);
    const struct {
        const char* Name;
        const TFileFormatWriter* Writer;
        TPixelGraphic& Source;
        const TFileFormatReader& Reader;
        const char* Tool;
        const char* LoadExt; // loaded through the registry as well
    } formats[] = {
        {"P6", &ppm, color, pnmReader, "ppmtoppm", "ppm"},
        {"P5", &pgm, gray, pnmReader, "pgmtopgm", nullptr},
        {"TGA 24 bit", &tga, color, tgaReader, "tgatoppm", "tga"},
        {"PCX 8 bit", nullptr, gray, pcxReader, "pcxtoppm", nullptr},
        {"PCX 24 bit", nullptr, color, pcxReader, "pcxtoppm", nullptr},
    };
    for (const auto& f : formats) {
        QByteArray file = f.Writer ? Write(*f.Writer, f.Source) : EncodePcx(f.Source);
        if (f.Writer)
            Report((std::string(f.Name) + " write").c_str(), file.size(),
                   Seconds([&] { Overwrite(*f.Writer, f.Source, file); }));
        Report((std::string(f.Name) + " read").c_str(), file.size(),
               Seconds([&] { Read(f.Reader, file, picture); }), ToolMBps(f.Tool, file, dir));
        if (f.LoadExt)
            Report((std::string(f.Name) + " load").c_str(), file.size(),
                   Seconds([&] { Load(f.LoadExt, file, picture); }));
    }
    return 0;
}
