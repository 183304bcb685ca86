// The negative and the brightness, contrast and gamma filter; the level table is built in 80-bit arithmetic
// once per run, and the luminance mode interpolates between its entries.
#include "image-library/PGFilters.h"

#include "framework/Rounding.h"
#include "image-library/PGMath.h"
#include "image-library/PGraphic.h"

#include <algorithm>

namespace {

// Division by 255 is everywhere a multiplication by this extended constant, as the levels were always
// scaled; a division would round differently in the last place.
constexpr long double OneBy255 = 1.0L / 255;

constexpr TPGFilter::TLevelTable NegativeTable = [] {
    TPGFilter::TLevelTable t{};
    for (int i = 0; i < 256; ++i)
        t[size_t(i)] = uint8_t(255 - i);
    return t;
}();

uint8_t ClampLevel(long double Value) {
    return uint8_t(std::clamp<int64_t>(Round(Value), 0, 255));
}

} // namespace

// ---- TPGFilter ----

void TPGFilter::SetSource(TPixelGraphic* ASource) {
    Source = ASource;
    Reader.reset();
    if (Source)
        Reader.emplace(*Source);
}

TColor TPGFilter::GetPixel(int, int) {
    return clBlack;
}

void TPGFilter::EndFilter() {
    Reader.reset();
    Source = nullptr;
}

TColor TPGFilter::SourceColor(int X, int Y) const {
    if (Reader && X >= 0 && X < Reader->Width() && Y >= 0 && Y < Reader->Height())
        return Reader->Color(X, Y);
    return Source->GetPixelColor(X, Y);
}

// ---- TNegativeFilter ----

const TPGFilter::TLevelTable* TNegativeFilter::ChannelTable() const {
    return &NegativeTable;
}

// ---- TBCGFilter ----

void TBCGFilter::SetSource(TPixelGraphic* ASource) {
    TPGFilter::SetSource(ASource);
    BuildLevelTable();
}

void TBCGFilter::BuildLevelTable() {
    // The brightness is a public field that nothing bounds: its product with 255 is taken in 64 bits, where
    // it cannot overflow, and the cap below bounds the level whatever it is.
    const long double brightness = (long double)(int64_t(Brightness) * 255) * 0.01L;
    for (int i = 0; i < 256; ++i) {
        long double x = PGPower(i * OneBy255, Gamma);
        x = (x * 255 - 127.5L) * Contrast + 127.5L;
        x = x + brightness;
        // Written as "not at least -1" so that a NaN from the parameters lands at the bottom too.
        if (!(x >= -1))
            x = -1;
        if (x > 256)
            x = 256;
        LevelTable[size_t(i)] = ClampLevel(x);
    }
}

TColor TBCGFilter::ApplyColor(TColor Color) const {
    const int r = GetRValue(Color), g = GetGValue(Color), b = GetBValue(Color);
    if (!UseY)
        return RGB(LevelTable[size_t(r)], LevelTable[size_t(g)], LevelTable[size_t(b)]);

    long double Y, Cb, Cr;
    RGBToYCbCr(r * OneBy255, g * OneBy255, b * OneBy255, Y, Cb, Cr);
    const long double y = Y * 255;
    // Y lies in 0..1 for every colour; the clamp only keeps the indices inside the table.
    const int p = std::clamp(PGFloor(y), 0, 255);
    long double level;
    if (p >= 255) {
        level = LevelTable[255] * OneBy255;
    } else {
        const long double f = y - p;
        level = ((1 - f) * LevelTable[size_t(p)] + f * LevelTable[size_t(p) + 1]) * OneBy255;
    }
    long double R, G, B;
    YCbCrToRGB(level, Cb, Cr, R, G, B);
    return RGB(ClampLevel(R * 255), ClampLevel(G * 255), ClampLevel(B * 255));
}
