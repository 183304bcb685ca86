// Region growing plus the region's sum, as a click in the special mode runs them on the program's mask
// reservation, beside a plain pass over the same pixels through the same per-pixel reads.
#include "bench/ToolTiming.h"
#include "framework/AddressReservation.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"
#include "lusidor/Measurement.h"

#include <cstdio>
#include <cstring>

int main() {
    const TPGraphicScope library;
    TAddressReservation reservation(4'000'000);
    const struct {
        int Side;
        double TargetMs;
    } cases[] = {{512, 10}, {2000, 200}};
    for (const auto& c : cases) {
        TPixelGraphic picture;
        picture.SetFormat(c.Side, c.Side, 3);
        for (int y = 0; y < c.Side; ++y)
            std::memset(picture.GetScanLine(y), 100, size_t(3 * c.Side));
        int64_t sum = 0;
        const double grow = Milliseconds([&] {
            TMaskCommit mask(&reservation, c.Side, c.Side);
            sum = GrowAndSum(picture, mask.Data(), c.Side / 2, c.Side / 2, 30).Sum;
        });
        int64_t plainSum = 0;
        const double plain = Milliseconds([&] {
            plainSum = 0;
            for (int y = 0; y < c.Side; ++y)
                for (int x = 0; x < c.Side; ++x)
                    plainSum += uint8_t(picture.GetPixelColor(x, y));
        });
        std::printf(
            "uniform %4d x %-4d  grow + sum %7.1f ms (target under %3.0f ms: %s)   plain pass %6.1f ms   "
            "ratio %4.1fx   sums %lld / %lld\n",
            c.Side, c.Side, grow, c.TargetMs, grow < c.TargetMs ? "ok" : "SLOW", plain, grow / plain,
            (long long)sum, (long long)plainSum);
    }
    return 0;
}
