#include "image-library/PGQuantize.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/TestPictures.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::vector<int>>;

// T[e] for e in -255..255.
int Limit(const TPixelGraphic& p, int e) {
    return p.GetErrorLimitTable()[size_t(e + 255)];
}

// Diffuses the wanted colour of every pixel in the scan order callers use, and returns the pixel values.
Rows Dither(TPixelGraphic& p, const std::function<TColor(int x, int y)>& wanted) {
    p.BeginDither();
    Rows pixels(size_t(p.GetHeight()), std::vector<int>(size_t(p.GetWidth())));
    for (int y = 0; y < p.GetHeight(); ++y) {
        for (int i = 0; i < p.GetWidth(); ++i) {
            const int x = y % 2 == 0 ? i : p.GetWidth() - 1 - i;
            const TColor c = wanted(x, y);
            p.DitherPixel(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
            pixels[size_t(y)][size_t(x)] = int(p.GetPixelValue(x, y));
        }
        p.NextDitherRow();
    }
    p.EndDither();
    return pixels;
}

Rows DitherGrays(TPixelGraphic& p, const Rows& grays) {
    return Dither(p, [&](int x, int y) {
        const int v = grays[size_t(y)][size_t(x)];
        return RGB(uint8_t(v), uint8_t(v), uint8_t(v));
    });
}

std::unique_ptr<TPixelGraphic> Picture(int w, int h, int bitCountNum, TPaletteIdent kind) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, uint8_t(bitCountNum));
    p->SetPaletteIdent(kind);
    return p;
}

} // namespace

TEST(ErrorLimitTable, FollowsTheKindOrTheManualLimitWithItsKnee) {
    auto p = Picture(2, 2, 2, pGray256);
    p->BeginDither();
    ASSERT_EQ(p->GetErrorLimitTable().size(), 511u);
    EXPECT_EQ((std::vector<int>{Limit(*p, 0), Limit(*p, 1), Limit(*p, 2), Limit(*p, 3)}),
              (std::vector<int>{0, 0, 1, 1}));
    for (int e = 4; e <= 255; ++e) {
        ASSERT_EQ(Limit(*p, e), 2) << e;
        ASSERT_EQ(Limit(*p, -e), -2) << e;
    }
    p->SetDitherErrorLimitAuto(false);
    p->SetDitherErrorLimit(10);
    p->SetDitherErrorLimitSoft(false);
    p->BeginDither();
    EXPECT_EQ(Limit(*p, 9), 9);
    EXPECT_EQ(Limit(*p, 200), 10);
    p->SetDitherErrorLimitSoft(true);
    p->BeginDither();
    EXPECT_EQ(Limit(*p, 4), 4);
    EXPECT_EQ(Limit(*p, 5), 4) << "5 div 2 + 10 div 4";
    EXPECT_EQ(Limit(*p, 15), 9);
    EXPECT_EQ(Limit(*p, 16), 10);
    p->EndDither();
    EXPECT_TRUE(p->GetErrorLimitTable().empty()) << "the buffers live only during a diffusion";
}

// Expected pixels traced by hand through the rules: serpentine rows, weights 7, 1, 5, 3.
TEST(DitherPixel, SpreadsErrorsSerpentineWithinTheLimit) {
    const Rows wanted = {{59, 104, 6, 118}, {83, 148, 88, 35}, {68, 55, 0, 68}};
    auto p = Picture(4, 3, 0, pBlackWhite);
    p->SetDitherErrorLimitAuto(false);
    p->SetDitherErrorLimit(255);
    p->SetDitherErrorLimitSoft(false);
    EXPECT_EQ(DitherGrays(*p, wanted), (Rows{{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}}));
    p->SetDitherErrorLimit(16);
    EXPECT_EQ(DitherGrays(*p, wanted), (Rows{{0, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 0, 0}}));
    p->SetDitherErrorLimitSoft(true);
    EXPECT_EQ(DitherGrays(*p, wanted), (Rows{{0, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 0}}));
}

TEST(DitherPixel, HalfGrayOntoBlackAndWhiteGivesHalfWhite) {
    auto p = Picture(64, 64, 0, pBlackWhite);
    int white = 0;
    for (const auto& row : DitherGrays(*p, Rows(64, std::vector<int>(64, 128))))
        for (int v : row)
            white += v;
    EXPECT_NEAR(white / 4096.0, 0.5, 0.02);
}

TEST(DitherPixel, ColourTablesCarryAnErrorPerComponent) {
    auto p = Picture(48, 48, 2, pSpecial216);
    p->SetDitherErrorLimitAuto(false);
    p->SetDitherErrorLimit(255);
    double sum[3] = {0, 0, 0};
    for (const auto& row : Dither(*p, [](int, int) { return RGB(100, 150, 200); }))
        for (int index : row) {
            const TColor c = p->IndexToColor(uint32_t(index));
            sum[0] += GetRValue(c);
            sum[1] += GetGValue(c);
            sum[2] += GetBValue(c);
        }
    EXPECT_NEAR(sum[0] / (48 * 48), 100, 2);
    EXPECT_NEAR(sum[1] / (48 * 48), 150, 2);
    EXPECT_NEAR(sum[2] / (48 * 48), 200, 2);
}

TEST(DitherPixel, OutsideTheDiffusionRowsNothingIsWritten) {
    auto p = Picture(3, 1, 0, pBlackWhite);
    p->DitherPixel(0, 0, 255, 255, 255); // no BeginDither
    p->BeginDither();
    p->DitherPixel(-1, 0, 255, 255, 255);
    p->DitherPixel(3, 0, 255, 255, 255);
    p->EndDither();
    EXPECT_EQ(p->GetPixelValue(0, 0) + p->GetPixelValue(1, 0) + p->GetPixelValue(2, 0), 0u);
}

// Checksums of diffused copies (as the display copy makes them) onto every kind of table, with the error
// limit automatic, hard, soft, and with plain and weighted gray: the results stay what they are.
TEST(DitherPixel, ChecksumsHoldForEveryTable) {
    struct TRow {
        const char* Name;
        uint8_t BitCountNum;
        TPaletteIdent Palette; // pUnknown: a table optimized for the photo
        bool FastLookup;
        uint64_t Hash;
    };
    const TRow rows[] = {
        {"pSpecial252", 2, pSpecial252, true, 11284454604870009886u},
        {"pSpecial216", 2, pSpecial216, true, 17738753639956790974u},
        {"pSpecial125", 2, pSpecial125, true, 10515307026428159414u},
        {"pGray256", 2, pGray256, true, 13940269293139813158u},
        {"pGray236", 2, pGray236, true, 4756804606705330157u},
        {"optimized, fast lookup", 2, pUnknown, true, 15836940179228980958u},
        {"optimized, exact lookup", 2, pUnknown, false, 6616993854809541358u},
        {"pSys16", 1, pSys16, true, 10872651106560954686u},
        {"pGray16", 1, pGray16, true, 294387456582347910u},
        {"pSysGray4", 1, pSysGray4, true, 14774601629556922104u},
        {"pGray4", 1, pGray4, true, 16230815153033628646u},
        {"pBlackWhite", 0, pBlackWhite, true, 10607895947609649079u},
    };
    struct TLimit {
        bool Auto, Soft;
        uint8_t Limit;
    };
    const TLimit limits[] = {{true, false, 0}, {false, false, 20}, {false, true, 60}, {false, false, 255}};
    const auto sources = ChecksumSources();
    for (const TRow& row : rows) {
        uint64_t hash = PictureHash(TPixelGraphic());
        for (const auto& source : sources)
            for (const TLimit& limit : limits)
                for (const bool weighted : {false, true}) {
                    TPixelGraphic target;
                    target.SetFormat(source->GetWidth(), source->GetHeight(), row.BitCountNum);
                    if (row.Palette == pUnknown)
                        BuildOptimizedPalette(target, *sources[0], 252, true);
                    else
                        target.SetPaletteIdent(row.Palette);
                    target.SetFastColorLookup(row.FastLookup);
                    target.SetDither(true);
                    target.SetDitherErrorLimitAuto(limit.Auto);
                    target.SetDitherErrorLimitSoft(limit.Soft);
                    target.SetDitherErrorLimit(limit.Limit);
                    target.SetWeightedGray(weighted);
                    target.CopyFrom(*source);
                    hash = PictureHash(target, hash);
                }
        EXPECT_EQ(hash, row.Hash) << row.Name;
    }
}

// Whole rows, rows in pieces reaching past the picture, and a table changed between rows: DitherRow gives
// what DitherPixel gives pixel by pixel.
TEST(DitherRow, GivesWhatDitherPixelGivesInPiecesAndAfterTheTableChanges) {
    constexpr int w = 40, h = 8;
    // With no error carried, the colours met before the table changed come again after it.
    for (const uint8_t limit : {255, 0}) {
        auto byRow = Picture(w, h, 2, pSpecial216);
        auto byPixel = Picture(w, h, 2, pSpecial216);
        auto wanted = [](int x, int y) {
            return RGB(uint8_t(x * 6 + y % 2), uint8_t(200 - x * 3), uint8_t(x * 5));
        };
        for (TPixelGraphic* p : {byRow.get(), byPixel.get()}) {
            p->SetDitherErrorLimitAuto(false);
            p->SetDitherErrorLimit(limit);
            p->BeginDither();
        }
        // Pieces in scan order: ascending on even rows, descending on odd ones.
        const std::vector<std::pair<int, int>> pieces = {{-3, 12}, {13, 13}, {14, w + 4}};
        for (int y = 0; y < h; ++y) {
            if (y == 4)
                for (TPixelGraphic* p : {byRow.get(), byPixel.get()})
                    for (int k = 0; k < 108; ++k) { // the table reversed: every answer moves
                        const TColor low = p->IndexToColor(uint32_t(k));
                        p->SetPaletteColor(k, p->IndexToColor(uint32_t(215 - k)));
                        p->SetPaletteColor(215 - k, low);
                    }
            for (size_t n = 0; n < pieces.size(); ++n) {
                const auto [first, last] = pieces[y % 2 == 0 ? n : pieces.size() - 1 - n];
                std::vector<TColor> colors;
                for (int x = first; x <= last; ++x)
                    colors.push_back(wanted(x, y));
                byRow->DitherRow(y, first, last, colors.data());
            }
            for (int i = 0; i < w; ++i) {
                const int x = y % 2 == 0 ? i : w - 1 - i;
                const TColor c = wanted(x, y);
                byPixel->DitherPixel(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
            }
            for (TPixelGraphic* p : {byRow.get(), byPixel.get()})
                p->NextDitherRow();
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(byRow->GetPixelValue(x, y), byPixel->GetPixelValue(x, y))
                    << x << ", " << y << ", limit " << int(limit);
        }
    }
}
