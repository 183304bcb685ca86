#include "image-library/PGraphic.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

// T[e] for e in -255..255.
int Limit(const TPixelGraphic& p, int e) {
    return p.GetErrorLimitTable()[size_t(e + 255)];
}

// Diffuses the wanted colour of every pixel onto the picture in the scan order callers use.
void Dither(TPixelGraphic& p, const std::function<TColor(int x, int y)>& wanted) {
    p.BeginDither();
    for (int y = 0; y < p.GetHeight(); ++y) {
        for (int i = 0; i < p.GetWidth(); ++i) {
            const int x = y % 2 == 0 ? i : p.GetWidth() - 1 - i;
            const TColor c = wanted(x, y);
            p.DitherPixel(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
        }
        p.NextDitherRow();
    }
    p.EndDither();
}

void DitherGrays(TPixelGraphic& p, const std::vector<std::vector<int>>& rows) {
    Dither(p, [&](int x, int y) {
        const int v = rows[size_t(y)][size_t(x)];
        return RGB(uint8_t(v), uint8_t(v), uint8_t(v));
    });
}

std::vector<std::vector<int>> Pixels(const TPixelGraphic& p) {
    std::vector<std::vector<int>> rows(size_t(p.GetHeight()));
    for (int y = 0; y < p.GetHeight(); ++y)
        for (int x = 0; x < p.GetWidth(); ++x)
            rows[size_t(y)].push_back(int(p.GetPixelValue(x, y)));
    return rows;
}

std::unique_ptr<TPixelGraphic> BlackWhite(int w, int h) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, 0);
    p->SetPaletteIdent(pBlackWhite);
    return p;
}

} // namespace

TEST(ErrorLimitTable, Gray256CarriesAlmostNothingWithASoftKnee) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 2);
    p.SetPaletteIdent(pGray256);
    p.BeginDither();
    ASSERT_EQ(p.GetErrorLimitTable().size(), 511u);
    EXPECT_EQ(Limit(p, 0), 0);
    EXPECT_EQ(Limit(p, 1), 0);
    EXPECT_EQ(Limit(p, 2), 1);
    EXPECT_EQ(Limit(p, 3), 1);
    for (int e = 4; e <= 255; ++e) {
        ASSERT_EQ(Limit(p, e), 2) << e;
        ASSERT_EQ(Limit(p, -e), -2) << e;
    }
    EXPECT_EQ(Limit(p, -3), -1);
    p.EndDither();
    EXPECT_TRUE(p.GetErrorLimitTable().empty()) << "the buffers live only during a diffusion";
}

TEST(ErrorLimitTable, ManualLimitIsHardOrSoft) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 2);
    p.SetPaletteIdent(pGray16);
    p.SetDitherErrorLimitAuto(false);
    p.SetDitherErrorLimit(10);
    p.SetDitherErrorLimitSoft(false);
    p.BeginDither();
    EXPECT_EQ(Limit(p, 9), 9);
    EXPECT_EQ(Limit(p, 10), 10);
    EXPECT_EQ(Limit(p, 200), 10);
    EXPECT_EQ(Limit(p, -200), -10);
    p.SetDitherErrorLimitSoft(true);
    p.BeginDither();
    EXPECT_EQ(Limit(p, 4), 4);
    EXPECT_EQ(Limit(p, 5), 4) << "5 div 2 + 10 div 4";
    EXPECT_EQ(Limit(p, 10), 7);
    EXPECT_EQ(Limit(p, 15), 9);
    EXPECT_EQ(Limit(p, 16), 10);
    p.EndDither();
}

TEST(ErrorLimitTable, BlackAndWhiteCarriesWholeErrorsBeyondTheKnee) {
    auto p = BlackWhite(2, 2);
    p->BeginDither();
    EXPECT_EQ(Limit(*p, 126), 126);
    EXPECT_EQ(Limit(*p, 127), 126) << "127 div 2 + 255 div 4";
    EXPECT_EQ(Limit(*p, 254), 190);
    EXPECT_EQ(Limit(*p, 255), 255);
    p->EndDither();
}

// Expected pixels traced by hand through the rules: serpentine rows, weights 7, 1, 5, 3.
TEST(DitherPixel, SpreadsErrorsSerpentineWithinTheLimit) {
    const std::vector<std::vector<int>> wanted = {{59, 104, 6, 118}, {83, 148, 88, 35}, {68, 55, 0, 68}};
    auto p = BlackWhite(4, 3);
    p->SetDitherErrorLimitAuto(false);
    p->SetDitherErrorLimit(255);
    p->SetDitherErrorLimitSoft(false);
    DitherGrays(*p, wanted);
    EXPECT_EQ(Pixels(*p), (std::vector<std::vector<int>>{{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}}));

    p->SetDitherErrorLimit(16);
    DitherGrays(*p, wanted);
    EXPECT_EQ(Pixels(*p), (std::vector<std::vector<int>>{{0, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 0, 0}}));

    p->SetDitherErrorLimitSoft(true);
    DitherGrays(*p, wanted);
    EXPECT_EQ(Pixels(*p), (std::vector<std::vector<int>>{{0, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 0}}));
}

TEST(DitherPixel, HalfGrayOntoBlackAndWhiteGivesHalfWhite) {
    const int w = 64, h = 64;
    auto p = BlackWhite(w, h);
    DitherGrays(*p, std::vector<std::vector<int>>(h, std::vector<int>(w, 128)));
    int white = 0;
    for (const auto& row : Pixels(*p))
        for (int v : row)
            white += v;
    EXPECT_NEAR(double(white) / (w * h), 0.5, 0.02);
}

TEST(DitherPixel, ColourTablesCarryAnErrorPerComponent) {
    const int w = 48, h = 48;
    const TColor wanted = RGB(100, 150, 200);
    TPixelGraphic p;
    p.SetFormat(w, h, 2);
    p.SetPaletteIdent(pSpecial216);
    p.SetDitherErrorLimitAuto(false);
    p.SetDitherErrorLimit(255);
    p.BeginDither();
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < w; ++i)
            p.DitherPixel(y % 2 == 0 ? i : w - 1 - i, y, GetRValue(wanted), GetGValue(wanted),
                          GetBValue(wanted));
        p.NextDitherRow();
    }
    p.EndDither();
    double sum[3] = {0, 0, 0};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const TColor c = p.GetPixelColor(x, y);
            sum[0] += GetRValue(c);
            sum[1] += GetGValue(c);
            sum[2] += GetBValue(c);
        }
    EXPECT_NEAR(sum[0] / (w * h), 100, 2);
    EXPECT_NEAR(sum[1] / (w * h), 150, 2);
    EXPECT_NEAR(sum[2] / (w * h), 200, 2);
}

TEST(DitherPixel, OutsideTheDiffusionRowsNothingIsWritten) {
    auto p = BlackWhite(3, 1);
    p->DitherPixel(0, 0, 255, 255, 255); // no BeginDither
    p->BeginDither();
    p->DitherPixel(-1, 0, 255, 255, 255);
    p->DitherPixel(3, 0, 255, 255, 255);
    p->EndDither();
    EXPECT_EQ(Pixels(*p), (std::vector<std::vector<int>>{{0, 0, 0}}));
}
