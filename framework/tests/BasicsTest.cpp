#include "framework/Colors.h"
#include "framework/Exception.h"
#include "framework/Geometry.h"
#include "framework/Rounding.h"

#include <gtest/gtest.h>

TEST(Rounding, HalvesGoToTheEvenNeighbourAndTruncCutsTowardZero) {
    EXPECT_EQ(Round(0.5L), 0);
    EXPECT_EQ(Round(1.5L), 2);
    EXPECT_EQ(Round(2.5L), 2);
    EXPECT_EQ(Round(-2.5L), -2);
    EXPECT_EQ(Round(2.5000001L), 3);
    EXPECT_EQ(Trunc(-2.9L), -2);
    EXPECT_EQ(Trunc(2.9L), 2);
}

TEST(Colors, SystemOrderHasRedInTheLowByteAndConvertsToQRgb) {
    const TColor c = RGB(1, 2, 3);
    EXPECT_EQ(c, 0x00030201u);
    EXPECT_EQ(ColorToQRgb(c), 0xFF010203u);
    EXPECT_EQ(QRgbToColor(qRgba(1, 2, 3, 0)), c) << "alpha is not part of a TColor";
}

TEST(Geometry, RightAndBottomAreExclusive) {
    const TRect r = Bounds(2, 3, 4, 5);
    EXPECT_EQ(r.Right, 6);
    EXPECT_EQ(r.Bottom, 8);
    EXPECT_EQ(r.toQRect(), QRect(2, 3, 4, 5));
    EXPECT_EQ(r.toQRect().right(), 5) << "QRect counts the last column itself";
    EXPECT_EQ(TRect::fromQRect(r.toQRect()), r);
}

LAB_DECLARE_EXCEPTION(ETestError, Exception);

TEST(Exception, CarriesMessageAndClassName) {
    try {
        throw ETestError("Ошибка чтения");
    } catch (const Exception& e) {
        EXPECT_STREQ(e.className(), "ETestError");
        EXPECT_EQ(e.message(), "Ошибка чтения");
        EXPECT_STREQ(e.what(), "Ошибка чтения");
    }
}
