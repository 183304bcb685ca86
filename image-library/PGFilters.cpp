// The negative and the brightness, contrast and gamma filter; the level table is built in 80-bit arithmetic
// once per run, and the luminance mode interpolates between its entries.
#include "image-library/PGFilters.h"

#include "framework/Rounding.h"
#include "image-library/PGMath.h"
#include "image-library/PGPixelTransfer.h"
#include "image-library/PGraphic.h"

#include <algorithm>
#include <array>

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

namespace {

// Each channel value's YCbCr terms at the scale 0..1, made once: what the conversion forms per pixel.
struct TChannelTerms {
    std::array<TYCbCrTerms, 256> Red, Green, Blue;
};

const TChannelTerms& ChannelTerms() {
    static const TChannelTerms terms = [] {
        TChannelTerms t;
        for (int v = 0; v < 256; ++v) {
            t.Red[size_t(v)] = RedTerms(v * OneBy255);
            t.Green[size_t(v)] = GreenTerms(v * OneBy255);
            t.Blue[size_t(v)] = BlueTerms(v * OneBy255);
        }
        return t;
    }();
    return terms;
}

// PGFloor for the non-negative luminance, from rounding to nearest, which needs no change of the processor's
// rounding mode.
int64_t FloorOf(long double v) {
    const int64_t r = Round(v);
    return (long double)r > v ? r - 1 : r;
}

// The luminance mode of one colour, Level(i) giving entry i of the level table.
template <typename Level> TColor LuminanceColor(TColor Color, Level&& level) {
    static const TChannelTerms& terms = ChannelTerms();
    long double Y, Cb, Cr;
    YCbCrFromTerms(terms.Red[GetRValue(Color)], terms.Green[GetGValue(Color)], terms.Blue[GetBValue(Color)],
                   Y, Cb, Cr);
    const long double y = Y * 255;
    // Y lies in 0..1 for every colour; the clamp only keeps the indices inside the table.
    const int p = int(std::clamp<int64_t>(FloorOf(y), 0, 255));
    long double levelY;
    if (p >= 255) {
        levelY = level(255) * OneBy255;
    } else {
        const long double f = y - p;
        levelY = ((1 - f) * level(size_t(p)) + f * level(size_t(p) + 1)) * OneBy255;
    }
    long double R, G, B;
    YCbCrToRGB(levelY, Cb, Cr, R, G, B);
    return RGB(ClampLevel(R * 255), ClampLevel(G * 255), ClampLevel(B * 255));
}

} // namespace

TColor TBCGFilter::ApplyColor(TColor Color) const {
    const int r = GetRValue(Color), g = GetGValue(Color), b = GetBValue(Color);
    if (!UseY)
        return RGB(LevelTable[size_t(r)], LevelTable[size_t(g)], LevelTable[size_t(b)]);
    return LuminanceColor(Color, [&](size_t i) { return LevelTable[i]; });
}

bool TBCGFilter::FilterRow(const uint8_t* In, uint8_t* Out, int Count) const {
    if (!UseY) {
        for (int i = 0; i < Count; ++i)
            SetRawValue(Out, i, 3, ApplyColor(GetRawValue(In, i, 3)));
        return true;
    }
    // The levels as extended numbers (the very values the conversion of each byte gives), and the results of
    // the colours met lately in the row: neighbouring pixels often share their colour.
    std::array<long double, 256> levels;
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = LevelTable[i];
    constexpr size_t Recent = 256;
    std::array<TColor, Recent> colors, results;
    colors.fill(0xFFFFFFFF); // no colour
    for (int i = 0; i < Count; ++i) {
        const TColor color = GetRawValue(In, i, 3);
        const size_t slot = (color * 0x9E3779B1u) >> 24;
        if (colors[slot] != color) {
            colors[slot] = color;
            results[slot] = LuminanceColor(color, [&](size_t k) { return levels[k]; });
        }
        SetRawValue(Out, i, 3, results[slot]);
    }
    return true;
}
