#include "image-library/PGStandardPalettes.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

constexpr TColor Gray(int v) {
    return RGB(uint8_t(v), uint8_t(v), uint8_t(v));
}

} // namespace

TEST(StandardPalettes, TablesHaveTheirSizesAndOnlyStandardKindsHaveOne) {
    const std::pair<TPaletteIdent, size_t> sizes[] = {
        {pBlackWhite, 2}, {pSysGray4, 4},  {pSys16, 16},       {pGray4, 4},        {pGray16, 16},
        {pGray236, 236},  {pGray256, 256}, {pSpecial125, 125}, {pSpecial216, 216}, {pSpecial252, 252}};
    for (auto [kind, size] : sizes)
        EXPECT_EQ(StandardPalette(kind).size(), size) << int(kind);
    for (TPaletteIdent kind : {pNone, pTrueColor, pUnknown, pOptimized252Sys16, pSource})
        EXPECT_TRUE(StandardPalette(kind).empty()) << int(kind);
}

TEST(StandardPalettes, GrayRampsAndCubesFollowTheirLevels) {
    const auto gray4 = StandardPalette(pGray4);
    EXPECT_EQ(std::vector<TColor>(gray4.begin(), gray4.end()),
              (std::vector<TColor>{Gray(0), Gray(85), Gray(170), Gray(255)}));
    EXPECT_EQ(StandardPalette(pSysGray4)[1], Gray(128));
    EXPECT_EQ(StandardPalette(pGray16)[3], Gray(51));
    EXPECT_EQ(StandardPalette(pGray256)[77], Gray(77));
    const auto gray236 = StandardPalette(pGray236);
    EXPECT_EQ(gray236[5], Gray(5));
    EXPECT_EQ(gray236[6], Gray(7)) << "255 x 6 / 235 = 6.51";
    EXPECT_EQ(gray236[117], Gray(127));
    EXPECT_EQ(gray236[235], Gray(255));
    const auto cube125 = StandardPalette(pSpecial125);
    EXPECT_EQ(cube125[1], RGB(0, 0, 64));
    EXPECT_EQ(cube125[25 * 2 + 5 * 3 + 4], RGB(128, 192, 255));
    const auto cube216 = StandardPalette(pSpecial216);
    EXPECT_EQ(cube216[36 * 5 + 6 * 1 + 2], RGB(255, 51, 102));
}

TEST(StandardPalettes, Special252StartsWithTheSystemColours) {
    const auto t = StandardPalette(pSpecial252);
    const auto sys = StandardPalette(pSys16);
    EXPECT_TRUE(std::equal(sys.begin(), sys.end(), t.begin()));
    EXPECT_EQ(sys[7], RGB(192, 192, 192));
    EXPECT_EQ(sys[9], RGB(255, 0, 0));
    EXPECT_EQ(t[16], RGB(0, 0, 0x40));
    EXPECT_EQ(t[125], Gray(0x20));
    EXPECT_EQ(t[180], RGB(0xA0, 0x80, 0xFF));
    EXPECT_EQ(t[251], RGB(0xE0, 0x60, 0xC0));
    std::vector<TColor> sorted(t.begin(), t.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "no colour twice";
}

TEST(StandardPalettes, Gray236LookupGivesTheNearestGrayLowerOnTies) {
    const auto grays = StandardPalette(pGray236);
    const auto& lookup = Gray236ByIntensity();
    for (int intensity = 0; intensity < 766; ++intensity) {
        size_t best = 0;
        for (size_t k = 1; k < grays.size(); ++k)
            if (std::abs(3 * GetRValue(grays[k]) - intensity) <
                std::abs(3 * GetRValue(grays[best]) - intensity))
                best = k;
        ASSERT_EQ(lookup[size_t(intensity)], best) << "intensity " << intensity;
    }
}

TEST(StandardPalettes, Special252CandidatesAscendAndStayFew) {
    for (int r = 0; r < 256; r += 32)
        for (int g = 0; g < 256; g += 32)
            for (int b = 0; b < 256; b += 32) {
                const auto c = Special252Candidates(RGB(uint8_t(r), uint8_t(g), uint8_t(b)));
                ASSERT_FALSE(c.empty());
                ASSERT_TRUE(std::is_sorted(c.begin(), c.end()));
                ASSERT_LE(c.size(), 16u) << "a cell that lists many entries defeats the grid";
            }
}
