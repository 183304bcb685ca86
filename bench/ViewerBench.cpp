// Viewer benchmark: making the display copy of a 4000 x 3000 24-bit picture, painting the view, and the
// longest stall of the GUI thread while a copy is made, each printed beside a reference from the same run.
#include "framework/ScreenCaps.h"
#include "image-library/PGraphicInit.h"
#include "image-library/testing/Oracles.h"
#include "image-library/widgets/PGImage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int PictureWidth = 4000;
constexpr int PictureHeight = 3000;

double Milliseconds(const std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

template <class F> double Time(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return Milliseconds(std::chrono::steady_clock::now() - start);
}

void WaitForCopy(TPGImage& image) {
    image.viewport()->repaint();
    while (image.PaintCopyInFlight())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    image.viewport()->repaint();
}

std::unique_ptr<TPGImage> MakeViewer(TStretchMode Mode) {
    auto image = std::make_unique<TPGImage>();
    image->SetBorderStyle(bsNone);
    image->SetStretch(sAlways);
    image->SetStretchMode(Mode);
    image->SetBounds(0, 0, 1000, 750);
    image->show();
    QApplication::processEvents();
    return image;
}

std::unique_ptr<TPixelGraphic> Copy(const TPixelGraphic& Picture) {
    auto copy = std::make_unique<TPixelGraphic>();
    copy->Assign(&Picture);
    return copy;
}

// Time from handing the picture over until its display copy is painted.
double CopyTime(const TPixelGraphic& Picture, int ScreenBits, TStretchMode Mode) {
    TScreenCaps::Instance().SetBitsPerPixel(ScreenBits);
    auto image = MakeViewer(Mode);
    auto copy = Copy(Picture);
    return Time([&] {
        image->SetPixelGraphic(std::move(copy));
        WaitForCopy(*image);
    });
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const TPGraphicScope library;
    TPixelGraphic picture;
    PictureFromPnm(GeneratedPhoto(PictureWidth, PictureHeight), picture);

    std::vector<uint8_t> from(size_t(picture.GetImageSize())), to(from.size());
    std::memcpy(from.data(), picture.GetBits(), from.size());
    const double memcpyTime = Time([&] { std::memcpy(to.data(), from.data(), from.size()); });
    std::printf("reference: memcpy of %.1f MB                        %8.1f ms\n", from.size() / 1e6,
                memcpyTime);
    std::printf("copy, smPrecise into 1000 x 750, 24-bit screen        %8.1f ms\n",
                CopyTime(picture, 24, smPrecise));
    std::printf("copy, defaults on an 8-bit screen (palette, dither)   %8.1f ms\n",
                CopyTime(picture, 8, smFast));

    // Paints of the whole view and of a 1-pixel strip (as a progress clock repaint asks for), with the
    // picture itself (24 bits) or its 8-bit or 4-bit copy at the picture's size drawn into 1000 x 750.
    for (const int bits : {24, 8, 4}) {
        TScreenCaps::Instance().SetBitsPerPixel(bits);
        auto image = MakeViewer(smFast);
        image->SetPixelGraphic(Copy(picture));
        WaitForCopy(*image);
        const double whole = Time([&] { image->viewport()->repaint(); });
        const double strip = Time([&] { image->viewport()->repaint(QRect(0, 375, 1000, 1)); });
        std::printf("paint, %2d-bit copy: view %8.1f ms, 1-pixel strip %8.2f ms\n", bits, whole, strip);
    }

    // The GUI thread's longest gap between 1 ms heartbeats from SetPixelGraphic until the copy is painted,
    // beside the longest gap of an idle loop that runs as long (what the machine's scheduling alone gives).
    TScreenCaps::Instance().SetBitsPerPixel(8);
    auto image = MakeViewer(smFast);
    auto copy = Copy(picture);
    QTimer heartbeat;
    heartbeat.setInterval(1);
    auto last = std::chrono::steady_clock::now();
    double longest = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = std::chrono::steady_clock::now();
        longest = std::max(longest, Milliseconds(now - last));
        last = now;
    });
    heartbeat.start();
    const auto run = [&](auto&& Done) {
        QApplication::processEvents();
        longest = 0;
        last = std::chrono::steady_clock::now();
        QElapsedTimer timer;
        timer.start();
        do
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        while (!Done());
        longest = std::max(longest, Milliseconds(std::chrono::steady_clock::now() - last));
        return timer.elapsed();
    };
    const qint64 busyTime = run([&, started = false]() mutable {
        if (!started) {
            image->SetPixelGraphic(std::move(copy));
            image->viewport()->update();
            started = true;
            return false;
        }
        if (image->PaintCopyInFlight() || !image->GetPaintPixelGraphic())
            return false;
        image->viewport()->repaint();
        return true;
    });
    const double busyGap = longest;
    QElapsedTimer idle;
    idle.start();
    run([&] { return idle.elapsed() >= busyTime; });
    std::printf("longest GUI-thread gap while a copy is made (8-bit screen) %6.1f ms, idle loop %6.1f ms\n",
                busyGap, longest);
    return 0;
}
