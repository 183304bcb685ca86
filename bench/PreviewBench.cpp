// Selecting a 4000 x 3000 BMP in the open dialog until its preview is ready, at screen depths 24 and 8,
// beside loading the same file alone, all measured in this run.
#include "bench/ToolTiming.h"
#include "framework/Thread.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"
#include "image-library/widgets/PGFileDialogs.h"
#include "image-library/widgets/testing/WorkerReceiver.h"

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const TPGraphicScope library;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("photo.bmp"));
    {
        TPixelGraphic picture;
        picture.SetFormat(4000, 3000, 3);
        uint32_t seed = 1;
        for (int y = 0; y < 3000; ++y) {
            uint8_t* row = picture.GetScanLine(y);
            for (int n = 0; n < picture.GetRowBytes(); ++n) {
                seed = seed * 1664525u + 1013904223u;
                row[n] = uint8_t((n / 64 + y / 48) * 8 + ((seed >> 28) & 3));
            }
        }
        picture.SaveToFile(file);
    }
    const double load = Fastest([&] {
        TPixelGraphic p;
        p.LoadFromFile(file);
    });
    std::printf("%-40s %8.1f ms\n", "load alone", load * 1e3);
    for (int screen : {24, 8}) {
        const double preview = Fastest([&] {
            TWorkerReceiver r;
            TCreateOpenSaveDialogPaintPGThread worker(false);
            worker.Window = &r;
            worker.FileName = file;
            worker.BoxWidth = 176;
            worker.BoxHeight = 156;
            worker.ScreenBits = screen;
            worker.Resume();
            worker.WaitFor();
            QCoreApplication::sendPostedEvents(&r);
        });
        std::printf("preview at a screen of %2d bits          %8.1f ms (%.2f x load)\n", screen,
                    preview * 1e3, preview / load);
    }
    return 0;
}
