#include "PaintTestSupport.h"
#include "image-library/widgets/PGPaintThread.h"

#include <QApplication>
#include <QPainter>

namespace {

// A viewer without border at the given size, with a 24-bit screen and fast stretching: no display copy.
struct PaintViewer {
    PaintViewer(int w, int h) {
        image.SetBorderStyle(bsNone);
        image.SetBounds(0, 0, w, h);
        ShowViewer(image);
    }
    ScreenBitsScope screen{24};
    TPGImage image;
};

QRgb Expected(const TPixelGraphic& p, int x, int y) {
    return ColorToQRgb(p.GetPixelColor(x, y));
}

} // namespace

TEST(PGImagePaint, TilesRepeatAndMirrorStraightFromThePicture) {
    struct Case {
        const char* name;
        TTiling tiling;
        bool flip;
        int boxLeft, boxWidth, clientWidth;
    };
    const Case cases[] = {
        // Columns -2 .. 3: tiles at x = -50, 50, 150, 250, 350, 450.
        {"repeat", tRepeat, false, 150, 100, 500},
        {"one odd column", tMirrorHorizontal, false, 0, 100, 200},
        {"four odd columns", tMirrorHorizontal, false, 0, 21, 168},
        {"odd columns left of the box", tMirrorHorizontal, false, 150, 100, 500},
        {"flip without tiling", tNone, true, 0, 100, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PaintViewer v(c.clientWidth, 20);
        auto picture = PatternPicture(c.boxWidth, 20);
        const TPixelGraphic& p = *picture;
        v.image.SetPixelGraphic(std::move(picture));
        v.image.SetTiling(c.tiling);
        v.image.SetFlipHorizontal(c.flip);
        v.image.GetPicBox()->setGeometry(c.boxLeft, 0, c.boxWidth, 20);
        const QImage shot = v.image.grab().toImage();
        for (int x = 0; x < c.clientWidth; ++x) {
            const int64_t offset = x - c.boxLeft;
            const int64_t column =
                offset >= 0 ? offset / c.boxWidth : -((-offset + c.boxWidth - 1) / c.boxWidth);
            const int inTile = int(offset - column * c.boxWidth);
            const bool odd = (column & 1) != 0;
            const bool mirrored = c.flip != (c.tiling == tMirrorHorizontal && odd);
            const int sx = mirrored ? c.boxWidth - 1 - inTile : inTile;
            for (const int y : {0, 7, 19})
                ASSERT_EQ(shot.pixel(x, y), Expected(p, sx, y)) << "at " << x << ", " << y;
        }
    }

    // Rows mirror alike, and tMirror mirrors both ways.
    PaintViewer v(40, 40);
    auto picture = PatternPicture(20, 20);
    const TPixelGraphic& p = *picture;
    v.image.SetPixelGraphic(std::move(picture));
    v.image.SetTiling(tMirror);
    const QImage shot = v.image.grab().toImage();
    EXPECT_EQ(shot.pixel(25, 3), Expected(p, 14, 3));
    EXPECT_EQ(shot.pixel(3, 25), Expected(p, 3, 14));
    EXPECT_EQ(shot.pixel(25, 25), Expected(p, 14, 14));
}

TEST(PGImagePaint, FlippedPicturesMirrorEveryPixel) {
    auto source = std::make_unique<TPixelGraphic>();
    source->SetFormat(5, 3, 1);
    source->SetPaletteIdent(pSys16);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            source->SetPixelValue(x, y, uint32_t(x + 5 * y) % 16);
    const auto h = TPGImage::FlipPixelGraphicHorizontal(*source);
    const auto v = TPGImage::FlipPixelGraphicVertical(*source);
    const auto b = TPGImage::FlipPixelGraphicBoth(*source);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(h->GetPixelValue(x, y), source->GetPixelValue(4 - x, y));
            EXPECT_EQ(v->GetPixelValue(x, y), source->GetPixelValue(x, 2 - y));
            EXPECT_EQ(b->GetPixelValue(x, y), source->GetPixelValue(4 - x, 2 - y));
        }
    EXPECT_EQ(h->GetBitCountNum(), 1);
    EXPECT_EQ(h->IndexToColor(9), source->IndexToColor(9));
    EXPECT_TRUE(TPGImage::FlipPixelGraphicBoth(TPixelGraphic())->GetEmpty());
}

TEST(PGImagePaint, AFourBitPictureDrawnInPartsShowsTheSamePixels) {
    auto picture = std::make_unique<TPixelGraphic>();
    picture->SetFormat(33, 17, 1);
    picture->SetPaletteIdent(pSys16);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            picture->SetPixelValue(x, y, uint32_t(3 * x + y) % 16);
    // Clipped, mirrored and scaled: every pixel still comes from the right place.
    QImage whole(66, 34, QImage::Format_RGB32);
    whole.fill(Qt::black);
    {
        QPainter painter(&whole);
        painter.setClipRect(QRect(10, 5, 21, 13));
        picture->DrawTo(painter, TRect{66, 0, 0, 34});
    }
    for (int y = 0; y < 34; ++y)
        for (int x = 0; x < 66; ++x) {
            const bool inside = QRect(10, 5, 21, 13).contains(x, y);
            const QRgb want = inside ? Expected(*picture, 32 - x / 2, y / 2) : qRgb(0, 0, 0);
            ASSERT_EQ(whole.pixel(x, y), want) << "at " << x << ", " << y;
        }

    // Drawn smaller, mirrored and clipped, it samples the pixels that Qt's own scaling of the same
    // values at 8 bits samples.
    TPixelGraphic eight;
    eight.SetFormat(33, 17, 2);
    eight.SetPaletteIdent(pSys16);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            eight.SetPixelValue(x, y, picture->GetPixelValue(x, y));
    const auto drawSmall = [](TPixelGraphic& p) {
        QImage image(20, 12, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setClipRect(QRect(1, 1, 17, 9));
        p.DrawTo(painter, TRect{19, 11, 2, 1});
        return image;
    };
    EXPECT_EQ(drawSmall(*picture), drawSmall(eight));
}

TEST(PGImagePaint, TheEmptyFrameShowsMarginsFrameAndClocks) {
    ScreenBitsScope screen(24);
    for (const int side : {100, 101}) {
        SCOPED_TRACE(side);
        TPGImage image;
        image.SetBorderStyle(bsNone);
        image.SetBounds(0, 0, side + 40, side + 20);
        ShowViewer(image);
        image.SetColor(RGB(0, 0, 128));
        image.SetPicBoxColor(RGB(255, 255, 255));
        image.setProperty("PicBoxFrameColor", QVariant::fromValue<TColor>(RGB(255, 0, 0)));
        image.setProperty("ProgressClockLineColor", QVariant::fromValue<TColor>(RGB(0, 0, 0)));
        image.setProperty("ProgressClockBkColor", QVariant::fromValue<TColor>(RGB(0, 255, 0)));
        image.SetStretchMode(smPrecise);
        image.SetStretch(sZoomKAR);
        image.SetZoomFactor(side);
        image.SetCenter(true);
        // A 1 x 1 picture whose copy is held in the making until the gate opens.
        auto trap = std::make_unique<TWorkerTrapPicture>(false);
        TWorkerTrapPicture* gate = trap.get();
        trap->SetFormat(1, 1, 3);
        image.SetPixelGraphic(std::move(trap));
        (void)image.grab();
        ASSERT_TRUE(image.PaintCopyInFlight());
        // Half way through the first stage.
        QApplication::postEvent(&image, new TPGJobProgressEvent(image.GetPaintThread()->Job, 1, 50));
        QApplication::processEvents();
        const QImage shot = image.grab().toImage();
        gate->Open();
        const QRect box = image.GetPicBox()->geometry();
        ASSERT_EQ(box.size(), QSize(side, side));
        EXPECT_EQ(shot.pixel(box.left() - 1, box.top() + 3), qRgb(0, 0, 128)) << "margin";
        EXPECT_EQ(shot.pixel(box.left(), box.top() + 3), qRgb(255, 0, 0)) << "frame";
        EXPECT_EQ(shot.pixel(box.right(), box.bottom()), qRgb(255, 0, 0)) << "frame";
        EXPECT_EQ(shot.pixel(box.left() + 1, box.top() + 30), qRgb(255, 255, 255)) << "inside";
        const int x = box.left() + side / 2 - 7, y = box.top() + side / 2 - 7;
        EXPECT_EQ(shot.pixel(x + 7, y + 11), qRgb(0, 0, 0)) << "the long hand points down";
        EXPECT_EQ(shot.pixel(x + 7, y + 3), qRgb(0, 255, 0)) << "the short hand is at half past";
        EXPECT_EQ(shot.pixel(x + 7, y), qRgb(0, 0, 0)) << "the ring";
        // The corner clocks exist only for boxes larger than 100 x 100.
        const QRgb corner = shot.pixel(box.left() + 5 + 7, box.top() + 5 + 7);
        EXPECT_EQ(corner, side > 100 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        SettledGrab(image);
    }
}

TEST(PGImagePaint, PaintHandlersRunAroundThePaintAndMayReplaceThePicture) {
    PaintViewer v(60, 60);
    v.image.SetPixelGraphic(SolidPicture(60, 60, RGB(255, 0, 0)));
    int painted = 0;
    v.image.OnPainting = [&](TObject*) {
        // Replacing the picture here leaves nothing dangling: the paint takes it afterwards.
        v.image.SetPixelGraphic(SolidPicture(60, 60, RGB(0, 255, 0)));
    };
    v.image.OnPaint = [&](TObject*) { ++painted; };
    const QImage shot = v.image.grab().toImage();
    EXPECT_EQ(shot.pixel(30, 30), qRgb(0, 255, 0));
    EXPECT_EQ(painted, 1);
}

TEST(PGImagePaint, AKeptCopyStaysOnScreenWithTheClockOverIt) {
    ScreenBitsScope screen(24);
    TPGImage image;
    image.SetBorderStyle(bsNone);
    image.SetBounds(0, 0, 100, 100);
    ShowViewer(image);
    image.setProperty("KeepOldPaintPixelGraphic", true);
    image.setProperty("ProgressClockLineColor", QVariant::fromValue<TColor>(RGB(0, 0, 0)));
    image.SetStretch(sAlways);
    image.SetStretchMode(smPrecise);
    image.SetPixelGraphic(SolidPicture(10, 10, RGB(255, 0, 0)));
    SettledGrab(image);
    ASSERT_NE(image.GetPaintPixelGraphic(), nullptr);
    // A new copy is held in the making: the old one stays, and the clock shows once the job reports.
    auto trap = std::make_unique<TWorkerTrapPicture>(false);
    TWorkerTrapPicture* gate = trap.get();
    trap->SetFormat(10, 10, 3);
    image.SetPixelGraphic(std::move(trap));
    QImage shot = image.grab().toImage();
    ASSERT_TRUE(image.PaintCopyInFlight());
    EXPECT_EQ(shot.pixel(50, 50), qRgb(255, 0, 0));
    QApplication::postEvent(&image, new TPGJobProgressEvent(image.GetPaintThread()->Job, 1, 50));
    QApplication::processEvents();
    shot = image.grab().toImage();
    gate->Open();
    EXPECT_EQ(shot.pixel(50, 50 + 4), qRgb(0, 0, 0)) << "the clock's long hand over the old copy";
    EXPECT_EQ(shot.pixel(20, 20), qRgb(255, 0, 0));
    SettledGrab(image);
}
