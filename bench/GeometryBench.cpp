// The geometric operations and the quantizer on a 4000 x 3000 24-bit picture, each printed beside its
// reference measured in the same run: a plain copy of the picture's bytes for the moves of raw values, and
// the netpbm program doing the same work (a process reading a PPM file, output to /dev/null) for the rest.
#include "image-library/PGQuantize.h"
#include "image-library/PGraphicInit.h"
#include "image-library/PGraphic.h"

#include <QImage>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;

// Milliseconds of the best of `runs` runs.
double Milliseconds(const std::function<void()>& work, int runs = 3) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(
            best,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// A program of the netpbm suite on a file; -1 when it is missing or fails.
double ToolMilliseconds(const std::string& command) {
    const std::string program = command.substr(0, command.find(' '));
    if (std::system(("command -v " + program + " > /dev/null").c_str()) != 0)
        return -1;
    int status = 0;
    const double ms = Milliseconds([&] { status = std::system((command + " > /dev/null 2>&1").c_str()); }, 1);
    return status == 0 ? ms : -1;
}

// A smooth picture with noise and an edge, as a camera gives.
void MakePhoto(TPixelGraphic& p, int w, int h) {
    p.SetFormat(w, h, 3);
    std::mt19937 random(3);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = p.GetScanLine(y);
        for (int x = 0; x < w; ++x) {
            const int noise = int(random() % 9) - 4;
            const int edge = std::hypot(x - 0.6 * w, y - 0.4 * h) < 0.25 * h ? 60 : 0;
            row[3 * x] = uint8_t(std::clamp(x * 200 / w + noise + edge / 2, 0, 255));
            row[3 * x + 1] = uint8_t(std::clamp(60 + int(80 * std::sin(7.0 * y / h)) + noise, 0, 255));
            row[3 * x + 2] = uint8_t(std::clamp((x + y) * 200 / (w + h) + noise + edge, 0, 255));
        }
    }
}

void WritePpm(TPixelGraphic& p, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, "P6\n%d %d\n255\n", p.GetWidth(), p.GetHeight());
    std::vector<uint8_t> rgb(size_t(p.GetWidth()) * 3);
    for (int y = 0; y < p.GetHeight(); ++y) {
        const uint8_t* row = p.GetScanLine(y);
        for (int x = 0; x < p.GetWidth(); ++x)
            rgb[3 * size_t(x)] = row[3 * x + 2], rgb[3 * size_t(x) + 1] = row[3 * x + 1],
                    rgb[3 * size_t(x) + 2] = row[3 * x];
        std::fwrite(rgb.data(), 1, rgb.size(), f);
    }
    std::fclose(f);
}

// One line: our figure, the reference figure, their ratio and the limit the ratio must keep.
void Report(const char* what, double ours, const char* reference, double theirs, double limit) {
    if (theirs < 0) {
        std::printf("%-44s %9.1f ms   %-34s   (not installed)\n", what, ours, reference);
        return;
    }
    const double ratio = ours / theirs;
    std::printf("%-44s %9.1f ms   %-34s %9.1f ms   %5.2fx  (at most %.0fx) %s\n", what, ours, reference,
                theirs, ratio, limit, ratio <= limit ? "ok" : "SLOW");
}

} // namespace

int main() {
    const TPGraphicScope library;
    TPixelGraphic photo, target;
    MakePhoto(photo, Width, Height);
    const std::string ppm = "/tmp/geometry-bench-" + std::to_string(getpid()) + ".ppm";
    const std::string smallPpm = "/tmp/geometry-bench-small-" + std::to_string(getpid()) + ".ppm";
    WritePpm(photo, ppm);

    std::printf("4000 x 3000, 24 bits\n");
    std::vector<uint8_t> bytes(size_t(photo.GetImageSize()));
    const double copy = Milliseconds([&] { std::memcpy(bytes.data(), photo.GetBits(), bytes.size()); }, 5);
    target.SetFormat(Width, Height, 3);
    Report("CopyRect, whole picture",
           Milliseconds([&] { target.CopyRect(0, 0, Width, Height, 0, 0, photo); }),
           "plain copy of the bytes", copy, 2);
    Report("MirrorVertical", Milliseconds([&] { target.MirrorVertical(); }), "plain copy of the bytes", copy,
           2);
    Report("MirrorHorizontal", Milliseconds([&] { target.MirrorHorizontal(); }), "plain copy of the bytes",
           copy, 5);
    TPixelGraphic turned;
    turned.SetFormat(Height, Width, 3);
    Report("Rotate 90", Milliseconds([&] { turned.Rotate(false, photo, 90); }), "plain copy of the bytes",
           copy, 5);
    Report("Rotate 270", Milliseconds([&] { turned.Rotate(false, photo, 270); }), "plain copy of the bytes",
           copy, 5);
    Report("Rotate 180", Milliseconds([&] { target.Rotate(false, photo, 180); }), "plain copy of the bytes",
           copy, 5);

    Report("Rotate 30, AdjustSize", Milliseconds([&] { turned.Rotate(true, photo, 30); }, 1), "pnmrotate 30",
           ToolMilliseconds("pnmrotate 30 " + ppm), 1);

    TPixelGraphic small;
    small.SetFormat(1000, 750, 3);
    small.CopyFrom(photo);
    WritePpm(small, smallPpm);
    const double shrinkTool = ToolMilliseconds("pamscale -width 1000 -height 750 " + ppm);
    const double shrinkFast = ToolMilliseconds("pamscale -nomix -width 1000 -height 750 " + ppm);
    const double enlargeTool = ToolMilliseconds("pamscale -width 4000 -height 3000 " + smallPpm);
    const double enlargeFast = ToolMilliseconds("pamscale -nomix -width 4000 -height 3000 " + smallPpm);
    const char* modes[] = {"smFast", "smMedium", "smPrecise"};
    for (TStretchMode mode : {smFast, smMedium, smPrecise}) {
        TPixelGraphic down, up;
        down.SetFormat(1000, 750, 3);
        up.SetFormat(Width, Height, 3);
        down.SetStretchMode(mode);
        up.SetStretchMode(mode);
        const std::string name = std::string("StretchCopy to 1000 x 750, ") + modes[mode];
        Report(name.c_str(), Milliseconds([&] { down.CopyFrom(photo); }),
               mode == smFast ? "pamscale -nomix" : "pamscale", mode == smFast ? shrinkFast : shrinkTool, 1);
        const std::string back = std::string("StretchCopy back to 4000 x 3000, ") + modes[mode];
        Report(back.c_str(), Milliseconds([&] { up.CopyFrom(small); }),
               mode == smFast ? "pamscale -nomix" : "pamscale", mode == smFast ? enlargeFast : enlargeTool,
               1);
    }
    const QImage image(photo.GetBits(), Width, Height, photo.GetRowBytes(), QImage::Format_BGR888);
    const QImage smallImage(small.GetBits(), 1000, 750, small.GetRowBytes(), QImage::Format_BGR888);
    std::printf("%-44s %9.1f ms\n", "QImage::scaled smooth to 1000 x 750", Milliseconds([&] {
                    (void)image.scaled(1000, 750, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }));
    std::printf("%-44s %9.1f ms\n", "QImage::scaled smooth back to 4000 x 3000", Milliseconds([&] {
                    (void)smallImage.scaled(Width, Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }));

    std::printf("1000 x 750 crop, 24 bits\n");
    TPixelGraphic crop, table, reduced;
    crop.SetFormat(1000, 750, 3);
    crop.CopyRect(0, 0, 1000, 750, 1500, 1100, photo);
    WritePpm(crop, smallPpm);
    Report("BuildOptimizedPalette(252, Reserve16)",
           Milliseconds([&] { BuildOptimizedPalette(table, crop, 252, true); }), "pnmcolormap 236",
           ToolMilliseconds("pnmcolormap 236 " + smallPpm), 1);
    reduced.SetFormat(1000, 750, 2);
    Report("... and the diffused CopyFrom", Milliseconds([&] {
               BuildOptimizedPalette(reduced, crop, 252, true);
               reduced.CopyFrom(crop);
           }),
           "pnmquant -fs 252", ToolMilliseconds("pnmquant -fs 252 " + smallPpm), 1);

    std::remove(ppm.c_str());
    std::remove(smallPpm.c_str());
    return 0;
}
