// Live frames per second of "Цикл" on the simulated board with the real clock, the video window shown
// offscreen, beside the frame rate of the sync signal measured in the same run. GrabFrame waits for two
// sync pulses, so a series can reach at most one frame per two periods: half the sync rate.
#include "image-library/PGraphicInit.h"
#include "lusidor/Main.h"
#include "lusidor/SimulatedBoard.h"
#include "lusidor/vs_drv.h"
#include "lusidor/vs_options.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

constexpr qint64 SeriesMs = 5000;
constexpr qint64 SyncMs = 2000;
constexpr double SyncPeriodMs = 40; // the board's frame period

// Completed sync waits per second.
double SyncRate() {
    QElapsedTimer clock;
    clock.start();
    int pulses = 0;
    while (clock.elapsed() < SyncMs)
        pulses += WaitFrameSync();
    return pulses * 1000.0 / double(clock.elapsed());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TPGraphicScope library;
    MainUnitStart();
    QTemporaryDir folder;
    QFile settings(folder.filePath("Lusidor.ini"));
    if (!settings.open(QIODevice::WriteOnly))
        return 2;
    settings.write(
        "[System]\r\nBasePort=300\r\n[Videocamera]\r\naru=0\r\naddframe=0\r\n[Desktop]\r\nMode=1\r\n");
    settings.close();
    auto owned = std::make_unique<SimulatedBoard>(0x300);
    const SimulatedBoard& board = *owned;
    SetBoardPorts(std::move(owned));

    TForm1 form(folder.path() + "/");
    TVs_optionsFrame camera(&form);
    form.show();
    QCoreApplication::processEvents();
    if (!form.VideoWindow()) {
        std::fprintf(stderr, "the video window did not open\n");
        return 1;
    }
    const double sync = SyncRate();

    QTimer::singleShot(SeriesMs, &camera, [&camera] { camera.SpeedButton1->click(); });
    const int before = board.CapturedFrames();
    QElapsedTimer clock;
    clock.start();
    camera.Button2->click();
    const double series = (board.CapturedFrames() - before) * 1000.0 / double(clock.elapsed());

    const double nominal = 1000 / SyncPeriodMs;
    const double limit = nominal / 2;
    std::printf("%-40s %6.2f frames/s   sync %5.2f frames/s (measured %5.2f), two waits per frame allow "
                "%5.2f: %5.1f%% (at least 90%%) %s\n",
                "Цикл, normal frames, video window shown", series, nominal, sync, limit, 100 * series / limit,
                series >= 0.9 * limit ? "ok" : "SLOW");
    if (!board.Violations().isEmpty())
        std::printf("board protocol violation: %s\n", qPrintable(board.Violations().first()));
    form.close();
    SetBoardPorts(nullptr);
    return 0;
}
