#include "image-library/PGMath.h"
#include "image-library/PGExceptions.h"

#include <gtest/gtest.h>

TEST(PGMath, CeilAndFloorRoundTowardTheirSide) {
    EXPECT_EQ(PGCeil(2.0L), 2);
    EXPECT_EQ(PGCeil(2.1L), 3);
    EXPECT_EQ(PGCeil(-2.1L), -2);
    EXPECT_EQ(PGFloor(2.9L), 2);
    EXPECT_EQ(PGFloor(-2.1L), -3);
    EXPECT_EQ(PGFloor(-2.0L), -2);
}

TEST(PGMath, PowerTestsExponentThenBaseBeforeRaising) {
    EXPECT_EQ(PGPower(0, 0), 1);
    EXPECT_EQ(PGPower(-1, 0), 1) << "a zero exponent comes before the base's sign";
    EXPECT_EQ(PGPower(0, 5), 0);
    EXPECT_EQ(PGPower(1, 1000), 1);
    EXPECT_NEAR(double(PGPower(2, 10)), 1024.0, 1e-9);
    try {
        PGPower(-1, 2);
        ADD_FAILURE() << "no exception";
    } catch (const EPixelGraphic& e) {
        EXPECT_EQ(e.message(), "Invalid Argument");
    }
}

TEST(PGMath, PointInRectExcludesRightAndBottomEdges) {
    const TRect r = Rect(10, 20, 30, 40);
    EXPECT_TRUE(PointInRect(Point(10, 20), r));
    EXPECT_TRUE(PointInRect(Point(29, 39), r));
    EXPECT_FALSE(PointInRect(Point(30, 25), r));
    EXPECT_FALSE(PointInRect(Point(15, 40), r));
}

TEST(PGMath, IntensityIsTheSumOrTheWeightedSumOnTheSameScale) {
    EXPECT_EQ(ColorIntensity(clWhite, true), 765);
    EXPECT_EQ(ColorIntensity(RGB(0, 255, 0), true), 449);
    EXPECT_EQ(ColorIntensity(RGB(0, 255, 0), false), 255);
    EXPECT_EQ(ColorIntensity(RGB(255, 0, 0), true), 228);
}

TEST(PGMath, YCbCrUsesThreeDigitCoefficientsAndRoundTripsClosely) {
    long double y, cb, cr, r, g, b;
    RGBToYCbCr(1, 0, 0, y, cb, cr);
    EXPECT_NEAR(double(y), 0.299, 1e-12);
    EXPECT_NEAR(double(cb), -0.169, 1e-12);
    EXPECT_NEAR(double(cr), 0.5, 1e-12);
    for (int i = 0; i < 11 * 11 * 11; ++i) {
        const long double r0 = i % 11 / 10.0L, g0 = i / 11 % 11 / 10.0L, b0 = i / 121 / 10.0L;
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
}
