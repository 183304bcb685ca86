#include "image-library/PGraphic.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

// A picture whose every pixel differs from its neighbours, so misplaced rows or columns show.
void FillPattern(TPixelGraphic& p) {
    const uint32_t levels[] = {2, 16, 256};
    for (int y = 0; y < p.GetHeight(); ++y)
        for (int x = 0; x < p.GetWidth(); ++x) {
            if (p.GetBitCountNum() == 3)
                p.SetPixelValue(x, y, RGB(uint8_t(x * 40), uint8_t(y * 50), uint8_t(7 + x + y)));
            else
                p.SetPixelValue(x, y, (uint32_t(x) * 3 + uint32_t(y) * 5 + 1) % levels[p.GetBitCountNum()]);
        }
}

std::unique_ptr<TPixelGraphic> MakePicture(int bitCountNum, int w, int h) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, uint8_t(bitCountNum));
    static const TPaletteIdent tables[] = {pBlackWhite, pSys16, pSpecial252};
    if (bitCountNum < 3)
        p->SetPaletteIdent(tables[bitCountNum]);
    FillPattern(*p);
    return p;
}

QImage Render(TPixelGraphic& p, int w, int h, const TRect& r) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    p.DrawTo(painter, r);
    return image;
}

// What a user should see at (x, y) of the picture.
QRgb Expected(const TPixelGraphic& p, int x, int y) {
    return ColorToQRgb(p.GetPixelColor(x, y));
}

} // namespace

class DrawTo : public ::testing::TestWithParam<int> {};

TEST_P(DrawTo, OneToOneShowsEveryPixelTopRowFirst) {
    auto picture = MakePicture(GetParam(), 11, 5);
    TPixelGraphic& p = *picture;
    const QImage image = Render(p, 11, 5, Rect(0, 0, 11, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 11; ++x)
            ASSERT_EQ(image.pixel(x, y), Expected(p, x, y)) << "at " << x << ", " << y;
}

TEST_P(DrawTo, DoubledRectangleRepeatsEachPixel) {
    auto picture = MakePicture(GetParam(), 6, 4);
    TPixelGraphic& p = *picture;
    const QImage image = Render(p, 16, 12, Rect(2, 2, 14, 10));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 255)) << "outside the rectangle nothing is drawn";
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(image.pixel(2 + x, 2 + y), Expected(p, x / 2, y / 2)) << "at " << x << ", " << y;
}

TEST_P(DrawTo, ReversedRectangleMirrors) {
    auto picture = MakePicture(GetParam(), 7, 3);
    TPixelGraphic& p = *picture;
    const QImage horizontal = Render(p, 7, 3, Rect(7, 0, 0, 3));
    const QImage vertical = Render(p, 7, 3, Rect(0, 3, 7, 0));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
            ASSERT_EQ(horizontal.pixel(6 - x, y), Expected(p, x, y)) << "at " << x << ", " << y;
            ASSERT_EQ(vertical.pixel(x, 2 - y), Expected(p, x, y)) << "at " << x << ", " << y;
        }
}

std::string FormatName(const ::testing::TestParamInfo<int>& info) {
    static const char* names[] = {"OneBit", "FourBits", "EightBits", "TwentyFourBits"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Formats, DrawTo, ::testing::Values(0, 1, 2, 3), FormatName);

TEST(DrawToEmpty, DrawsNothing) {
    TPixelGraphic p;
    const QImage image = Render(p, 2, 2, Rect(0, 0, 2, 2));
    EXPECT_EQ(image.pixel(1, 1), qRgb(255, 0, 255));
}
