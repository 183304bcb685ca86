// The geometric operations and the quantizer on a 4000 x 3000 24-bit picture, each printed beside its
// reference measured in the same run: a plain copy of the picture's bytes for the moves of raw values, and
// the netpbm program doing the same work (a process reading a PPM file, output to /dev/null) for the rest.
#include "bench/ToolTiming.h"
#include "image-library/PGQuantize.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;

// The best of three runs of a tool, as our side takes the best of three.
double BestToolMilliseconds(const std::string& command) {
    return std::min({ToolMilliseconds(command), ToolMilliseconds(command), ToolMilliseconds(command)});
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
           copy, 3);
    Report("Rotate 270", Milliseconds([&] { turned.Rotate(false, photo, 270); }), "plain copy of the bytes",
           copy, 3);
    Report("Rotate 180", Milliseconds([&] { target.Rotate(false, photo, 180); }), "plain copy of the bytes",
           copy, 5);

    // Free turns, enlarging and the luminance filter share rows among the worker pool; the figure with one
    // thread shows what a single core gives. Tools run three times as our side does, the best counting.
    const double pnmrotate = BestToolMilliseconds("pnmrotate 30 " + ppm);
    Report("Rotate 30, AdjustSize", Milliseconds([&] { turned.Rotate(true, photo, 30); }), "pnmrotate 30",
           pnmrotate, 1);
    Report("", Milliseconds([&] { turned.Rotate(true, photo, 30); }), "a quarter of pnmrotate 30 (goal)",
           pnmrotate < 0 ? -1 : pnmrotate / 4, 1);
    OneThread([&] {
        std::printf("%-44s %9.1f ms\n", "... one thread",
                    Milliseconds([&] { turned.Rotate(true, photo, 30); }));
    });

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
    const double qtEnlarge = Milliseconds(
        [&] { (void)smallImage.scaled(Width, Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); });
    for (TStretchMode mode : {smMedium, smPrecise}) {
        TPixelGraphic up;
        up.SetFormat(Width, Height, 3);
        up.SetStretchMode(mode);
        const std::string name = std::string("StretchCopy 1000 x 750 to 4000 x 3000, ") + modes[mode];
        Report(name.c_str(), Milliseconds([&] { up.CopyFrom(small); }), "QImage::scaled smooth", qtEnlarge,
               1);
        OneThread([&] {
            std::printf("%-44s %9.1f ms\n", "... one thread", Milliseconds([&] { up.CopyFrom(small); }));
        });
    }

    // The display copy for an 8-bit screen: the picture diffused onto 252 colours, the standard table and one
    // optimized for the picture, beside a plain copy of its bytes, per pixel.
    const double pixels = double(Width) * Height;
    for (const bool optimized : {false, true}) {
        TPixelGraphic screen;
        screen.SetFormat(Width, Height, 2);
        if (optimized)
            BuildOptimizedPalette(screen, photo, 252, true);
        else
            screen.SetPaletteIdent(pSpecial252);
        screen.SetDither(true);
        const double ns = Milliseconds([&] { screen.CopyFrom(photo); }) * 1e6 / pixels;
        std::printf("%-44s %9.2f ns   %-34s %9.2f ns   (at most 10 ns a pixel) %s\n",
                    optimized ? "8-bit display copy, optimized 252, diffused"
                              : "8-bit display copy, pSpecial252, diffused",
                    ns, "plain copy of the bytes", copy * 1e6 / pixels, ns <= 10 ? "ok" : "SLOW");
    }

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
