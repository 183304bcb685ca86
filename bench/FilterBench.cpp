// The picture filters on a 4000 x 3000 picture, each printed beside its reference measured in the same run:
// a plain copy of the picture's bytes, and the netpbm program doing the same work on the picture as a PPM
// file (a process, output to /dev/null).
#include "bench/ToolTiming.h"
#include "image-library/PGFilters.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;

TBCGFilter GammaFilter(bool useY) {
    TBCGFilter f;
    f.Brightness = 0;
    f.Contrast = 1;
    f.Gamma = 2;
    f.UseY = useY;
    return f;
}

} // namespace

int main() {
    const TPGraphicScope library;
    TPixelGraphic photo;
    MakePhoto(photo, Width, Height);
    const std::string ppm = "/tmp/filter-bench-" + std::to_string(getpid()) + ".ppm";
    WritePpm(photo, ppm);

    std::printf("4000 x 3000, 24 bits\n");
    std::vector<uint8_t> bytes(size_t(photo.GetImageSize()));
    const double copy = Milliseconds([&] { std::memcpy(bytes.data(), photo.GetBits(), bytes.size()); }, 5);
    const double pnminvert = ToolMilliseconds("pnminvert " + ppm);
    const double pnmgamma = ToolMilliseconds("pnmgamma -ungamma 2.0 " + ppm);

    TNegativeFilter negative;
    const double negativeMs = Milliseconds([&] { photo.ApplyFilter(negative, photo); }, 5);
    Report("Negative in place", negativeMs, "plain copy of the bytes", copy, 6);
    Report("", negativeMs, "pnminvert", pnminvert, 1);

    TBCGFilter channels = GammaFilter(false);
    const double channelsMs = Milliseconds([&] { photo.ApplyFilter(channels, photo); }, 5);
    Report("BCG channel mode in place", channelsMs, "plain copy of the bytes", copy, 6);
    Report("", channelsMs, "pnmgamma -ungamma 2.0", pnmgamma, 1);

    // The luminance mode shares rows among the worker pool; the figure with one thread shows what a single
    // core gives. Both modes write into another picture: in place, the gamma darkens the picture run by run.
    MakePhoto(photo, Width, Height); // the gamma runs above darkened it
    TBCGFilter luminance = GammaFilter(true);
    TPixelGraphic filtered;
    const double channelsInto = Milliseconds([&] { filtered.ApplyFilter(channels, photo); }, 5);
    Report("BCG luminance mode", Milliseconds([&] { filtered.ApplyFilter(luminance, photo); }, 5),
           "BCG channel mode", channelsInto, 5);
    OneThread([&] {
        std::printf("%-44s %9.1f ms\n", "... one thread",
                    Milliseconds([&] { filtered.ApplyFilter(luminance, photo); }, 5));
    });
    // The photo's noise is the same in its three channels, so neighbours often share their colour, which the
    // luminance mode reuses; with noise of its own in every channel they seldom do.
    TPixelGraphic noisy;
    noisy.Assign(&photo);
    std::mt19937 random(5);
    for (int y = 0; y < Height; ++y) {
        uint8_t* row = noisy.GetScanLine(y);
        for (int x = 0; x < 3 * Width; ++x)
            row[x] = uint8_t(std::clamp(int(row[x]) + int(random() % 13) - 6, 0, 255));
    }
    Report("... noise of its own in every channel",
           Milliseconds([&] { filtered.ApplyFilter(luminance, noisy); }, 5), "BCG channel mode",
           Milliseconds([&] { filtered.ApplyFilter(channels, noisy); }, 5), 5);

    MakePhoto(photo, Width, Height);
    TPixelGraphic special;
    special.SetFormat(1, 1, 2);
    special.SetPaletteIdent(pSpecial252);
    special.SetDither(true);
    std::printf("%-44s %9.1f ms\n", "BCG channel mode into 8 bits pSpecial252, diffused",
                Milliseconds([&] { special.ApplyFilter(channels, photo); }, 1));

    std::printf("4000 x 3000, 8 bits\n");
    TPixelGraphic gray;
    gray.SetFormat(Width, Height, 2);
    gray.SetPaletteIdent(pGray256);
    const double tableMs = Milliseconds([&] { gray.ApplyFilter(channels, gray); }, 5);
    std::printf("%-44s %9.3f ms   (under 1 ms) %s\n", "BCG through the colour table", tableMs,
                tableMs < 1 ? "ok" : "SLOW");

    std::remove(ppm.c_str());
    return 0;
}
