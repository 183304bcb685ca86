// The hostile files of the image library's tests, timed here where the tests only count their work: each
// load beside writing every byte of the picture its file declares, which any decoding of it costs at least,
// (none when it is beyond the memory limit), and TIFF strips in every order beside packed strips, read from
// files on disk.
#include "bench/ToolTiming.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"
#include "image-library/testing/CountingDevice.h"
#include "image-library/testing/HostileFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>

namespace {

void Load(const THostileFile& f) {
    TCountingDevice in(f.File, f.Size);
    TPixelGraphic picture;
    picture.SetReadWarningAction(pgwaIgnore);
    try {
        picture.LoadFromStreamExt(in, QString::fromLatin1(f.Ext));
    } catch (const Exception&) {
    }
}

void WriteDeclaredPicture(const THostileFile& f) {
    TPixelGraphic declared;
    if (f.Width > 0 && TPixelGraphic::FitsPixelMemory(f.Width, f.Height, uint8_t(f.BitCountNum)))
        declared.SetFormat(f.Width, f.Height, uint8_t(f.BitCountNum));
    if (declared.GetImageSize() > 0)
        std::memset(declared.GetBits(), 1, size_t(declared.GetImageSize()));
}

// 3 x 4M grey in one strip a row: the case where a seek or a refill a strip costs most.
void StripOrders(const QTemporaryDir& dir) {
    constexpr int Height = 4 << 20;
    std::vector<QByteArray> rows;
    rows.reserve(Height);
    for (int y = 0; y < Height; ++y)
        rows.push_back(QByteArray(1, char(y)) + char(y >> 8) + char(y >> 16));
    std::vector<uint32_t> inOrder(Height);
    std::iota(inOrder.begin(), inOrder.end(), 0u);
    std::vector<uint32_t> shuffled = inOrder;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(42));
    const TStripLayout layouts[] = {{"packed strips", inOrder},
                                    {"strips padded to 4 bytes", inOrder, 1},
                                    {"strips in random order", shuffled},
                                    {"strips all at one offset", inOrder, 0, true}};
    double packed = 0;
    for (const TStripLayout& layout : layouts) {
        const QString name = dir.filePath(QString::fromLatin1(layout.Name) + QStringLiteral(".tif"));
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        file.write(StripTiff(rows, false, layout));
        file.close();
        const double ms = Milliseconds([&] {
            TPixelGraphic picture;
            picture.LoadFromFile(name);
        });
        if (packed == 0)
            packed = ms;
        Report((std::string("TIFF 3 x 4M, ") + layout.Name).c_str(), ms, "packed strips", packed, 3);
    }
}

} // namespace

int main() {
    const TPGraphicScope library;
    std::printf("Loading each hostile file beside writing every byte of the picture it declares:\n");
    for (const THostileFile& f : HostileFiles()) {
        const double load = Milliseconds([&] { Load(f); });
        const double reference = Milliseconds([&] { WriteDeclaredPicture(f); });
        // A picture that takes no time to write is no yardstick: the figure stands alone.
        if (reference < 0.1)
            std::printf("%-44s %9.1f ms   (a picture of %d x %d)\n", f.Name, load, f.Width, f.Height);
        else
            // As much as the picture written and a second more, the bound the tests once timed.
            Report(f.Name, load, "the declared picture written", reference, (reference + 1000) / reference);
    }
    QTemporaryDir dir;
    StripOrders(dir);
    return 0;
}
