#include "image-library/PGMath.h"
#include "image-library/PGExceptions.h"

#include <gtest/gtest.h>

TEST(PGMath, CeilAndFloorRoundTowardTheirSide) {
    EXPECT_EQ(PGCeil(2.0L), 2);
    EXPECT_EQ(PGCeil(2.1L), 3);
    EXPECT_EQ(PGCeil(-2.1L), -2);
    EXPECT_EQ(PGCeil(-0.5L), 0);
    EXPECT_EQ(PGFloor(2.9L), 2);
    EXPECT_EQ(PGFloor(-2.1L), -3);
    EXPECT_EQ(PGFloor(-2.0L), -2);
    EXPECT_EQ(PGFloor(0.5L), 0);
}

TEST(PGMath, PowerTestsExponentThenBaseBeforeRaising) {
    EXPECT_EQ(PGPower(0, 0), 1);
    EXPECT_EQ(PGPower(-1, 0), 1) << "a zero exponent comes before the base's sign";
    EXPECT_EQ(PGPower(0, 5), 0);
    EXPECT_EQ(PGPower(1, 1000), 1);
    EXPECT_NEAR(double(PGPower(2, 10)), 1024.0, 1e-9);
    EXPECT_NEAR(double(PGPower(2.2L, 1 / 2.2L)), 1.431023, 1e-6);
    try {
        PGPower(-1, 2);
        ADD_FAILURE() << "no exception";
    } catch (const EPixelGraphic& e) {
        EXPECT_EQ(e.message(), "Invalid Argument");
    }
}

TEST(PGMath, MinAndMax) {
    EXPECT_EQ(PGMax(-3, 2), 2);
    EXPECT_EQ(PGMin(-3, 2), -3);
}

TEST(PGMath, PointInRectExcludesRightAndBottomEdges) {
    const TRect r = Rect(10, 20, 30, 40);
    EXPECT_TRUE(PointInRect(Point(10, 20), r));
    EXPECT_TRUE(PointInRect(Point(29, 39), r));
    EXPECT_FALSE(PointInRect(Point(30, 25), r));
    EXPECT_FALSE(PointInRect(Point(15, 40), r));
    EXPECT_FALSE(PointInRect(Point(9, 25), r));
    EXPECT_FALSE(PointInRect(Point(15, 19), r));
}

TEST(PGMath, IntensityIsTheSumOrTheWeightedSumOnTheSameScale) {
    EXPECT_EQ(ColorIntensity(clWhite, true), 765);
    EXPECT_EQ(ColorIntensity(clWhite, false), 765);
    EXPECT_EQ(ColorIntensity(RGB(0, 255, 0), true), 449);
    EXPECT_EQ(ColorIntensity(RGB(0, 255, 0), false), 255);
    EXPECT_EQ(ColorIntensity(RGB(255, 0, 0), true), 228);
    EXPECT_EQ(ColorIntensity(RGB(0, 0, 255), true), 87);
    EXPECT_EQ(ColorIntensity(RGB(10, 20, 30), false), 60);
}

TEST(PGMath, YCbCrUsesTheThreeDigitCoefficients) {
    long double y, cb, cr;
    RGBToYCbCr(1, 0, 0, y, cb, cr);
    EXPECT_NEAR(double(y), 0.299, 1e-12);
    EXPECT_NEAR(double(cb), -0.169, 1e-12);
    EXPECT_NEAR(double(cr), 0.5, 1e-12);
    long double r, g, b;
    YCbCrToRGB(0.5L, 0.1L, -0.2L, r, g, b);
    EXPECT_NEAR(double(r), 0.5 - 0.2806, 1e-12);
    EXPECT_NEAR(double(g), 0.5 - 0.0344 + 0.1428, 1e-12);
    EXPECT_NEAR(double(b), 0.5 + 0.1773, 1e-12);
}

TEST(PGMath, YCbCrRoundTripStaysWithinAHundredthOfTheScale) {
    for (int ri = 0; ri <= 10; ++ri)
        for (int gi = 0; gi <= 10; ++gi)
            for (int bi = 0; bi <= 10; ++bi) {
                const long double r0 = ri / 10.0L, g0 = gi / 10.0L, b0 = bi / 10.0L;
                long double y, cb, cr, r, g, b;
                RGBToYCbCr(r0, g0, b0, y, cb, cr);
                YCbCrToRGB(y, cb, cr, r, g, b);
                ASSERT_NEAR(double(r), double(r0), 0.01);
                ASSERT_NEAR(double(g), double(g0), 0.01);
                ASSERT_NEAR(double(b), double(b0), 0.01);
            }
}

TEST(PGMath, ClampTableLimitsToAByteAndIsReadyAtCompileTime) {
    static_assert(PGClampTable[-510] == 0 && PGClampTable[510] == 255);
    EXPECT_EQ(PGClampTable[-1], 0);
    EXPECT_EQ(PGClampTable[0], 0);
    EXPECT_EQ(PGClampTable[128], 128);
    EXPECT_EQ(PGClampTable[255], 255);
    EXPECT_EQ(PGClampTable[256], 255);
}
