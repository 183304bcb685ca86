#include "image-library/PGStandardPalettes.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

constexpr TColor Gray(int v) {
    return RGB(uint8_t(v), uint8_t(v), uint8_t(v));
}

} // namespace

TEST(StandardPalettes, TablesFollowTheirDefinitions) {
    const auto gray4 = StandardPalette(pGray4);
    EXPECT_EQ(std::vector<TColor>(gray4.begin(), gray4.end()),
              (std::vector<TColor>{Gray(0), Gray(85), Gray(170), Gray(255)}));
    EXPECT_EQ(StandardPalette(pGray236)[6], Gray(7)) << "255 x 6 / 235 = 6.51";
    EXPECT_EQ(StandardPalette(pGray236)[117], Gray(127));
    EXPECT_EQ(StandardPalette(pSpecial125)[25 * 2 + 5 * 3 + 4], RGB(128, 192, 255));
    EXPECT_EQ(StandardPalette(pSpecial216)[36 * 5 + 6 * 1 + 2], RGB(255, 51, 102));
    const auto t = StandardPalette(pSpecial252);
    ASSERT_EQ(t.size(), 252u);
    EXPECT_EQ(t[16], RGB(0, 0, 0x40));
    EXPECT_EQ(t[125], Gray(0x20));
    EXPECT_EQ(t[251], RGB(0xE0, 0x60, 0xC0));
    const auto sys = StandardPalette(pSys16);
    EXPECT_TRUE(std::equal(sys.begin(), sys.end(), t.begin(), t.begin() + 16));
    EXPECT_TRUE(StandardPalette(pSource).empty());
}

TEST(StandardPalettes, Gray236LookupGivesTheNearestGrayLowerOnTies) {
    const auto grays = StandardPalette(pGray236);
    for (int intensity = 0; intensity < 766; ++intensity) {
        size_t best = 0;
        for (size_t k = 1; k < grays.size(); ++k)
            if (std::abs(3 * GetRValue(grays[k]) - intensity) <
                std::abs(3 * GetRValue(grays[best]) - intensity))
                best = k;
        ASSERT_EQ(Gray236ByIntensity()[size_t(intensity)], best) << "intensity " << intensity;
    }
}
