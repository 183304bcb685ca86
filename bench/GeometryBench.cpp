// The geometric operations and the quantizer on a 4000 x 3000 24-bit picture, each printed beside its
// reference measured in the same run: a plain copy of the picture's bytes for the moves of raw values, and
// the netpbm program doing the same work (a process reading a PPM file, output to /dev/null) for the rest.
#include "bench/ToolTiming.h"
#include "image-library/PGQuantize.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"

#include <QImage>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;

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
