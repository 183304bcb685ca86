// Colour lookup and error diffusion in millions of pixels per second, beside a plain copy of the same bytes,
// which is as fast as any pass over them can be.
#include "image-library/PGraphic.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000; // 12 megapixels

void CountPixels(benchmark::State& state, int64_t pixelsPerIteration) {
    state.counters["Mpx"] = benchmark::Counter(double(pixelsPerIteration) * double(state.iterations()) / 1e6,
                                               benchmark::Counter::kIsRate);
}

// Random colours defeat the one-entry cache, so every call does the lookup.
const std::vector<TColor>& RandomColors() {
    static const std::vector<TColor> colors = [] {
        std::mt19937 random(1);
        std::vector<TColor> c(1 << 20);
        for (TColor& x : c)
            x = TColor(random() & 0xFFFFFF);
        return c;
    }();
    return colors;
}

void LookupColors(benchmark::State& state, TPixelGraphic& p) {
    const std::vector<TColor>& colors = RandomColors();
    for (auto _ : state)
        for (TColor c : colors)
            benchmark::DoNotOptimize(p.ColorToIndex(c));
    CountPixels(state, int64_t(colors.size()));
}

void BM_ColorToIndexSpecial252(benchmark::State& state) {
    TPixelGraphic p;
    p.SetPaletteIdent(pSpecial252);
    LookupColors(state, p);
}

void BM_ColorToIndexUnknownFast(benchmark::State& state) {
    TPixelGraphic p;
    p.SetColorCount(256);
    std::mt19937 random(2);
    for (int i = 0; i < 256; ++i)
        p.SetPaletteColor(i, TColor(random() & 0xFFFFFF));
    p.ColorToIndex(clBlack); // the inverse table is built once per table, not per pass
    LookupColors(state, p);
}

// A smooth picture with noise, as a camera or a scan gives: neighbours differ, but not wildly.
TPixelGraphic& SourcePicture() {
    static const std::unique_ptr<TPixelGraphic> source = [] {
        auto p = std::make_unique<TPixelGraphic>();
        p->SetFormat(Width, Height, 3);
        std::mt19937 random(3);
        for (int y = 0; y < Height; ++y) {
            uint8_t* row = p->GetScanLine(y);
            for (int x = 0; x < Width; ++x) {
                const int noise = int(random() % 9) - 4;
                row[3 * x] = uint8_t(std::clamp(x * 255 / Width + noise, 0, 255));
                row[3 * x + 1] = uint8_t(std::clamp(y * 255 / Height + noise, 0, 255));
                row[3 * x + 2] = uint8_t(std::clamp((x + y) * 255 / (Width + Height) + noise, 0, 255));
            }
        }
        return p;
    }();
    return *source;
}

void BM_DiffuseTrueColourOntoSpecial252(benchmark::State& state) {
    TPixelGraphic& source = SourcePicture();
    TPixelGraphic target;
    target.SetFormat(Width, Height, 2);
    target.SetPaletteIdent(pSpecial252);
    for (auto _ : state) {
        target.BeginDither();
        for (int y = 0; y < Height; ++y) {
            const uint8_t* row = source.GetScanLine(y);
            for (int i = 0; i < Width; ++i) {
                const int x = y % 2 == 0 ? i : Width - 1 - i;
                target.DitherPixel(x, y, row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            }
            target.NextDitherRow();
        }
        target.EndDither();
        benchmark::ClobberMemory();
    }
    CountPixels(state, int64_t(Width) * Height);
}

void BM_CopySameBytes(benchmark::State& state) {
    TPixelGraphic& source = SourcePicture();
    std::vector<uint8_t> target(size_t(source.GetImageSize()));
    for (auto _ : state) {
        std::memcpy(target.data(), source.GetBits(), target.size());
        benchmark::ClobberMemory();
    }
    CountPixels(state, int64_t(Width) * Height);
}

} // namespace

BENCHMARK(BM_ColorToIndexSpecial252)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorToIndexUnknownFast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiffuseTrueColourOntoSpecial252)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CopySameBytes)->Unit(benchmark::kMillisecond);
