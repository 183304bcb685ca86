#include "image-library/widgets/PGImage.h"

#include "framework/testing/MessageBoxSpy.h"
#include "image-library/PGExceptions.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>

namespace {

// A 24-bit picture whose pixel (x, y) has red x and green y (both modulo 256), blue 0.
std::unique_ptr<TPixelGraphic> Picture(int w, int h) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, 3);
    if (int64_t(w) * h <= 1 << 20)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p->SetPixelColor(x, y, RGB(uint8_t(x), uint8_t(y), 0));
    return p;
}

// A viewer without border in a top-level window of its own; Shown decides whether it is on screen.
struct Viewer {
    explicit Viewer(bool shown, int w = 200, int h = 200) {
        image.SetBorderStyle(bsNone);
        image.SetBounds(0, 0, w, h);
        if (shown) {
            image.show();
            // A window without area is never exposed.
            EXPECT_TRUE(w * h == 0 || QTest::qWaitForWindowExposed(&image));
        }
    }
    int SH() const { return image.horizontalScrollBar()->sizeHint().height(); }
    int SV() const { return image.verticalScrollBar()->sizeHint().width(); }
    // The paint box in content coordinates: where the layout put it, whatever the scroll position.
    QRect Box() const {
        return image.GetPicBox()->geometry().translated(image.horizontalScrollBar()->value(),
                                                        image.verticalScrollBar()->value());
    }
    bool HorzBar() const { return image.horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn; }
    bool VertBar() const { return image.verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn; }
    void ExpectViewportMatchesClientSize() const {
        if (image.isVisible()) {
            EXPECT_EQ(image.viewport()->size(), QSize(image.ClientWidth(), image.ClientHeight()));
        }
    }
    TPGImage image;
};

class PGImageLayout : public ::testing::TestWithParam<bool> {};

// The test main has started the library, which registered every format.
class PGImageFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(HiddenAndShown, PGImageLayout, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Shown" : "Hidden"; });

TEST_P(PGImageLayout, StretchRulesSizeThePaintBoxAndSetTheEffectiveZoom) {
    struct Case {
        TStretch stretch;
        int pw, ph;
        long double zoomFactor;
        // Expected width and height given the bar extents SH and SV.
        std::function<QSize(int sh, int sv)> size;
        long double zoom;
        bool horzBar, vertBar;
    };
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    // The zoom of a picture fitted to the height the bar leaves: the box's height over the picture's.
    const long double byHeight = -2;
    const auto longerEdge = [](int sh, int) { return QSize(2 * (200 - sh), 200 - sh); };
    const Case cases[] = {
        {sAlwaysKAR, 400, 100, 1, [](int, int) { return QSize(200, 50); }, 0.5L, false, false},
        {sAlways, 100, 50, 1, [](int, int) { return QSize(200, 200); }, -1.0L, false, false},
        {sShrink, 400, 100, 1, [](int, int) { return QSize(200, 100); }, -1.0L, false, false},
        {sShrinkKAR, 400, 100, 1, [](int, int) { return QSize(200, 50); }, 0.5L, false, false},
        {sShrinkKAR, 100, 50, 1, [](int, int) { return QSize(100, 50); }, 1.0L, false, false},
        {sEnlarge, 100, 300, 1, [](int, int sv) { return QSize(200 - sv, 300); }, -1.0L, false, true},
        {sEnlargeKAR, 100, 50, 1, [](int, int) { return QSize(200, 100); }, 2.0L, false, false},
        {sAlwaysLongerEdgeKAR, 400, 100, 1, [](int sh, int) { return QSize(4 * (200 - sh), 200 - sh); },
         byHeight, true, false},
        // Shrinks only a picture too large both ways, a scroll bar's room allowed on one side.
        {sShrinkLongerEdgeKAR, 400, 200, 1, longerEdge, byHeight, true, false},
        {sShrinkLongerEdgeKAR, 300, 100, 1, [](int, int) { return QSize(300, 100); }, 1.0L, true, false},
        {sEnlargeShrinkLongerEdgeKAR, 100, 50, 1, [](int, int) { return QSize(200, 100); }, 2.0L, false,
         false},
        {sEnlargeShrinkLongerEdgeKAR, 400, 200, 1, longerEdge, byHeight, true, false},
        {sEnlargeLongerEdgeKAR, 100, 50, 1, longerEdge, byHeight, true, false},
        {sEnlargeLongerEdgeKAR, 300, 300, 1, [](int, int) { return QSize(300, 300); }, 1.0L, true, true},
        {sZoomKAR, 3, 3, 2.5L, [](int, int) { return QSize(8, 8); }, 2.5L, false, false},
        {sZoomKAR, 30, 20, 0, [](int, int) { return QSize(30, 20); }, 1.0L, false, false},
        {sZoomKAR, 30, 20, nan, [](int, int) { return QSize(30, 20); }, 1.0L, false, false},
        {sNeverKAR, 300, 100, 1, [](int, int) { return QSize(300, 100); }, 1.0L, true, false},
    };
    for (const bool rearrangeAlways : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "stretch " << int(c.stretch) << ", " << c.pw << " x " << c.ph
                                            << (rearrangeAlways ? ", RearrangeAlways" : ""));
            Viewer v(GetParam());
            v.image.setProperty("RearrangeAlways", rearrangeAlways);
            int zoomChanges = 0;
            v.image.OnZoomFactorChange = [&](TObject* sender) {
                EXPECT_EQ(sender, &v.image);
                ++zoomChanges;
            };
            v.image.SetZoomFactor(c.zoomFactor);
            v.image.SetStretch(c.stretch);
            v.image.SetPixelGraphic(Picture(c.pw, c.ph));
            const QSize size = c.size(v.SH(), v.SV());
            EXPECT_EQ(v.Box(), QRect(QPoint(0, 0), size));
            EXPECT_EQ(v.image.GetEffectiveZoom(),
                      c.zoom == byHeight ? (long double)(size.height()) / c.ph : c.zoom);
            EXPECT_EQ(zoomChanges, c.zoom == 1.0L ? 0 : 1);
            EXPECT_EQ(v.HorzBar(), c.horzBar);
            EXPECT_EQ(v.VertBar(), c.vertBar);
            EXPECT_EQ(v.image.ClientWidth(), 200 - (c.vertBar ? v.SV() : 0));
            EXPECT_EQ(v.image.ClientHeight(), 200 - (c.horzBar ? v.SH() : 0));
            v.ExpectViewportMatchesClientSize();

            // A layout that changes no size keeps the view scrolled, unless RearrangeAlways puts it back.
            QScrollBar& horz = *v.image.horizontalScrollBar();
            QScrollBar& vert = *v.image.verticalScrollBar();
            horz.setValue(10);
            vert.setValue(10);
            const QPoint scrolled(horz.value(), vert.value());
            EXPECT_EQ(scrolled, QPoint(c.horzBar ? 10 : 0, c.vertBar ? 10 : 0));
            v.image.Arrange(false);
            EXPECT_EQ(QPoint(horz.value(), vert.value()), rearrangeAlways ? QPoint(0, 0) : scrolled);
            EXPECT_EQ(v.Box(), QRect(QPoint(0, 0), size));
        }

    // A control without room keeps the picture's own size whatever the stretch.
    Viewer empty(GetParam(), 0, 0);
    empty.image.SetStretch(sAlwaysKAR);
    empty.image.SetPixelGraphic(Picture(40, 30));
    EXPECT_EQ(empty.Box(), QRect(0, 0, 40, 30));
}

TEST_P(PGImageLayout, CentringPlacesSmallPicturesInTheMiddleAndScrollsLargeOnesToIt) {
    Viewer v(GetParam());
    v.image.SetCenter(true);
    v.image.SetPixelGraphic(Picture(100, 50));
    EXPECT_EQ(v.image.GetPicBox()->geometry(), QRect(50, 75, 100, 50));
    EXPECT_FALSE(v.HorzBar() || v.VertBar());
    v.ExpectViewportMatchesClientSize();

    v.image.SetPixelGraphic(Picture(400, 300));
    EXPECT_EQ(v.Box(), QRect(0, 0, 400, 300));
    EXPECT_TRUE(v.HorzBar() && v.VertBar());
    EXPECT_EQ(v.image.horizontalScrollBar()->value(), (200 + v.SV()) / 2);
    EXPECT_EQ(v.image.verticalScrollBar()->value(), (100 + v.SH()) / 2);
    EXPECT_EQ(v.image.horizontalScrollBar()->maximum(), 400 - (200 - v.SV()));
    v.ExpectViewportMatchesClientSize();

    // Without AutoScroll there are no bars and the whole inside is client area.
    v.image.SetAutoScroll(false);
    EXPECT_FALSE(v.HorzBar() || v.VertBar());
    EXPECT_EQ(v.image.ClientWidth(), 200);
    v.ExpectViewportMatchesClientSize();
    v.image.SetAutoScroll(true);
    EXPECT_TRUE(v.HorzBar() && v.VertBar());

    // Scrolling moves the paint box itself, so its geometry stays in client coordinates.
    v.image.horizontalScrollBar()->setValue(10);
    EXPECT_EQ(v.image.GetPicBox()->x(), -10);

    // Growing the control until the picture fits centres it again and drops the bars.
    v.image.SetBounds(0, 0, 500, 400);
    EXPECT_EQ(v.image.GetPicBox()->geometry(), QRect(50, 50, 400, 300));
    EXPECT_FALSE(v.HorzBar() || v.VertBar());
    v.ExpectViewportMatchesClientSize();
}

TEST_P(PGImageLayout, AutoSizeFitsTheControlToThePictureWithinItsLimits) {
    Viewer v(GetParam());
    std::vector<QSize> autoSizes;
    int changes = 0;
    v.image.OnNewAutoSize = [&](TObject*, int w, int h) { autoSizes.emplace_back(w, h); };
    v.image.OnPixelGraphicChange = [&](TObject*) { ++changes; };
    v.image.SetAutoSizeMaxWidth(250);
    v.image.SetPixelGraphic(Picture(300, 200));
    // Reported also while AutoSize is off, so a form can size itself around the picture.
    ASSERT_EQ(autoSizes.size(), 1u);
    EXPECT_EQ(autoSizes[0], QSize(250, 200 + v.SH()));
    EXPECT_EQ(v.image.size(), QSize(200, 200));

    v.image.SetAutoSize(true);
    EXPECT_EQ(v.image.size(), QSize(250, 200 + v.SH()));
    EXPECT_TRUE(v.HorzBar());
    EXPECT_FALSE(v.VertBar());
    v.ExpectViewportMatchesClientSize();
    // The same AutoSize value lays out again; the same zoom does nothing.
    const int before = changes;
    v.image.SetAutoSize(true);
    EXPECT_EQ(changes, before + 1);
    int zoomChanges = 0;
    v.image.OnZoomFactorChange = [&](TObject*) { ++zoomChanges; };
    v.image.OnNewAutoSize = nullptr;
    v.image.SetZoomFactor(1.0L);
    EXPECT_EQ(changes, before + 1);
    EXPECT_EQ(zoomChanges, 0);
}

TEST_P(PGImageLayout, AZoomHandlerThatResizesTheControlLeavesTheFitForTheNewSize) {
    Viewer v(GetParam());
    v.image.SetStretch(sAlwaysKAR);
    int calls = 0;
    // Like a picture window that sizes itself to the zoom: the first change makes the viewer 300 wide.
    v.image.OnZoomFactorChange = [&](TObject*) {
        if (++calls == 1)
            v.image.SetBounds(0, 0, 300, 200);
    };
    v.image.SetPixelGraphic(Picture(400, 100));
    EXPECT_EQ(v.image.size(), QSize(300, 200));
    EXPECT_EQ(v.Box(), QRect(0, 0, 300, 75));
    EXPECT_EQ(v.image.GetEffectiveZoom(), 0.75L);
    EXPECT_EQ(calls, 2);
    v.ExpectViewportMatchesClientSize();
}

TEST(PGImage, CoordinatesMapInSixtyFourBitsAndHugeZoomsStayWithinWidgetLimits) {
    Viewer v(false);
    v.image.SetStretch(sZoomKAR);
    v.image.SetZoomFactor(0.5L);
    v.image.SetPixelGraphic(Picture(100000, 2));
    EXPECT_EQ(v.image.GetPicBox()->size(), QSize(50000, 1));
    EXPECT_EQ(v.image.PictureToPicBoxX(99999), 49999);
    EXPECT_EQ(v.image.PicBoxToPicture(TPoint{49999, 0}).X, 99998);
    EXPECT_EQ(v.image.PictureToPicBoxY(1), 0);

    v.image.SetZoomFactor(1e9L);
    EXPECT_EQ(v.image.GetPicBox()->size(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    v.image.SetPixelGraphic(nullptr);
    EXPECT_EQ(v.image.GetPicBox()->size(), QSize(0, 0));
    EXPECT_EQ(v.image.PictureToPicBoxX(5), 0);
    EXPECT_EQ(v.image.PicBoxToPictureY(5), 0);
}

TEST(PGImage, OwnsItsPictureAndSurvivesBeingHandedItsOwn) {
    Viewer v(false);
    int changes = 0;
    v.image.OnPixelGraphicChange = [&](TObject*) { ++changes; };
    v.image.SetPixelGraphic(Picture(20, 10));
    TPixelGraphic* own = v.image.GetPixelGraphic();

    // Handing the shown picture back only lays out again.
    v.image.SetPixelGraphic(std::unique_ptr<TPixelGraphic>(own));
    EXPECT_EQ(v.image.GetPixelGraphicNoWait(), own);
    // A copy of the own picture is made before the old one goes.
    v.image.AssignPixelGraphic(own);
    ASSERT_NE(v.image.GetPixelGraphic(), nullptr);
    EXPECT_NE(v.image.GetPixelGraphic(), own);
    EXPECT_EQ(v.image.GetPixelGraphic()->GetPixelColor(19, 9), RGB(19, 9, 0));
    EXPECT_EQ(changes, 3);

    // Changes in place reach the layout through the hooked change event.
    v.image.GetPixelGraphic()->SetFormat(30, 40, 3);
    v.image.GetPixelGraphic()->Changed();
    EXPECT_EQ(v.image.GetPicBox()->size(), QSize(30, 40));

    // Progress reaches the user's handlers with the picture as sender.
    std::vector<TObject*> senders;
    v.image.OnPixelGraphicProgressStart = [&](TObject* s) { senders.push_back(s); };
    v.image.OnPixelGraphicProgress = [&](TObject* s, int step, int max, bool& abort) {
        EXPECT_EQ(step, 3);
        EXPECT_EQ(max, 9);
        abort = true;
        senders.push_back(s);
    };
    v.image.OnPixelGraphicProgressEnd = [&](TObject* s) { senders.push_back(s); };
    TPixelGraphic* picture = v.image.GetPixelGraphic();
    bool abort = false;
    picture->GetOnProgressStart()(picture);
    picture->GetOnProgress()(picture, 3, 9, abort);
    picture->GetOnProgressEnd()(picture);
    EXPECT_TRUE(abort);
    EXPECT_EQ(senders, (std::vector<TObject*>{picture, picture, picture}));

    // A copy belongs to the caller; without a picture it is empty.
    auto copy = v.image.GetPixelGraphicCopy();
    EXPECT_EQ(copy->GetWidth(), 30);
    v.image.AssignPixelGraphic(nullptr);
    EXPECT_EQ(v.image.GetPixelGraphic(), nullptr);
    EXPECT_TRUE(v.image.GetPixelGraphicCopy()->GetEmpty());
    EXPECT_EQ(v.image.GetPicBox()->size(), QSize(0, 0));
}

TEST(PGImage, PaintBoxForwardsMouseAndPaintAroundTheUserInTheFixedOrder) {
    Viewer v(true);
    v.image.SetPixelGraphic(Picture(50, 40));
    TPicBox* box = v.image.GetPicBox();
    std::vector<std::string> calls;
    const auto mouse = [&](const char* who) {
        return [&calls, who, box](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
            EXPECT_EQ(sender, box);
            EXPECT_EQ(button, mbLeft);
            // The button is down during a press and up at its release.
            EXPECT_EQ((shift & ssLeft) != 0, std::string(who).ends_with("down"));
            calls.push_back(std::string(who) + " " + std::to_string(x) + "," + std::to_string(y));
        };
    };
    const auto move = [&](const char* who) {
        return [&calls, who](TObject*, TShiftState, int x, int y) {
            calls.push_back(std::string(who) + " move " + std::to_string(x) + "," + std::to_string(y));
        };
    };
    box->ControlMouseDown = mouse("control down");
    box->ControlMouseMove = move("control");
    box->ControlMouseUp = mouse("control up");
    box->ControlPaint = [&](TObject*) { calls.push_back("control paint"); };
    v.image.SetPicBoxOnMouseDown(mouse("user down"));
    v.image.SetPicBoxOnMouseMove(move("user"));
    v.image.SetPicBoxOnMouseUp(mouse("user up"));
    v.image.SetPicBoxOnPaint([&](TObject*) {
        EXPECT_NE(box->GetCanvas(), nullptr);
        calls.push_back("user paint");
    });
    v.image.SetPicBoxOnClick([&](TObject*) { calls.push_back("click"); });
    v.image.SetPicBoxOnDblClick([&](TObject*) { calls.push_back("dblclick"); });
    v.image.OnMouseDown = [&](TObject* sender, TMouseButton, TShiftState, int x, int y) {
        EXPECT_EQ(sender, &v.image);
        calls.push_back("viewer down " + std::to_string(x) + "," + std::to_string(y));
    };

    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(3, 4));
    QTest::mouseMove(box, QPoint(5, 6));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(5, 6));
    // A double click as Qt delivers it: press, release, press, double click, release.
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(7, 8));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(7, 8));
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(7, 8));
    QTest::mouseDClick(box, Qt::LeftButton, {}, QPoint(7, 8));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(7, 8));
    QTest::mousePress(v.image.viewport(), Qt::LeftButton, {}, QPoint(150, 150));
    QTest::mouseRelease(v.image.viewport(), Qt::LeftButton, {}, QPoint(150, 150));
    const std::vector<std::string> expected = {
        "control down 3,4", "user down 3,4",  "control move 5,6",   "user move 5,6", "click",
        "user up 5,6",      "control up 5,6", "control down 7,8",   "user down 7,8", "click",
        "user up 7,8",      "control up 7,8", "control down 7,8",   "user down 7,8", "dblclick",
        "user up 7,8",      "control up 7,8", "viewer down 150,150"};
    // Moves that QTest adds before presses are not part of the order under test.
    std::vector<std::string> seen;
    for (const auto& c : calls)
        if (c.find("move") == std::string::npos || c.find("5,6") != std::string::npos)
            seen.push_back(c);
    EXPECT_EQ(seen, expected);

    calls.clear();
    box->repaint();
    EXPECT_EQ(calls, (std::vector<std::string>{"control paint", "user paint"}));
    EXPECT_EQ(box->GetCanvas(), nullptr);

    // Context menus: the paint box's own, else the viewer's.
    QMenu viewerMenu;
    QMenu boxMenu;
    viewerMenu.addAction("viewer");
    boxMenu.addAction("box");
    v.image.SetPopupMenu(&viewerMenu);
    QContextMenuEvent onBox(QContextMenuEvent::Mouse, QPoint(1, 1), box->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(box, &onBox);
    EXPECT_TRUE(viewerMenu.isVisible());
    viewerMenu.hide();
    v.image.SetPicBoxPopupMenu(&boxMenu);
    QApplication::sendEvent(box, &onBox);
    EXPECT_TRUE(boxMenu.isVisible());
    EXPECT_FALSE(viewerMenu.isVisible());
    boxMenu.hide();
}

TEST(PGImage, PaintsMarginsInItsColourAndThePictureInThePaintBox) {
    Viewer v(true);
    v.image.SetColor(RGB(0, 0, 255));
    v.image.SetCenter(true);
    v.image.SetPixelGraphic(Picture(100, 50));
    QImage shot = v.image.grab().toImage();
    EXPECT_EQ(shot.pixel(10, 10), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(50 + 20, 75 + 30), qRgb(20, 30, 0));
    EXPECT_EQ(shot.pixel(50 + 99, 75 + 49), qRgb(99, 49, 0));
    EXPECT_EQ(shot.pixel(150, 125), qRgb(0, 0, 255));

    // Scrolled by 10 pixels, the picture moves with its paint box.
    v.image.SetCenter(false);
    v.image.SetPixelGraphic(Picture(400, 100));
    v.image.horizontalScrollBar()->setValue(10);
    shot = v.image.grab().toImage();
    EXPECT_EQ(shot.pixel(0, 0), qRgb(10, 0, 0));
    EXPECT_EQ(shot.pixel(5, 150), qRgb(0, 0, 255));

    // Without a picture: the empty frame. An exception in a paint handler comes as a box after the paint.
    MessageBoxSpy spy;
    v.image.setProperty("PicBoxFrameColor", QVariant::fromValue<TColor>(RGB(255, 0, 0)));
    v.image.OnPaint = [](TObject*) { throw EPGEmpty("PixelGraphic is empty"); };
    v.image.SetPixelGraphic(nullptr);
    shot = v.image.grab().toImage();
    EXPECT_EQ(shot.pixel(100, 100), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_TRUE(spy.Requests.empty());
    v.image.OnPaint = nullptr;
    QApplication::processEvents();
    ASSERT_FALSE(spy.Requests.empty());
    EXPECT_EQ(spy.Requests[0].Caption, "Ошибка");
    EXPECT_EQ(spy.Requests[0].Text, "PixelGraphic is empty");
}

TEST(PGImage, PropertiesHaveTheirDefaultsAndFormsSetThemByName) {
    TPGImage image;
    EXPECT_EQ(image.size(), QSize(100, 100));
    EXPECT_EQ(image.GetBorderWidth(), 2);
    EXPECT_EQ(image.frameWidth(), 2);
    EXPECT_EQ(image.GetStretch(), sNeverKAR);
    EXPECT_EQ(image.GetStretchMode(), smFast);
    EXPECT_EQ(image.GetPalette8BitSys24BitGraphic(), pOptimized252Sys16);
    EXPECT_EQ(image.GetZoomFactor(), 1.0L);
    EXPECT_EQ(image.GetEffectiveZoom(), 1.0L);
    EXPECT_EQ(image.GetColor(), clBtnFace);
    EXPECT_EQ(image.GetPicBoxColor(), clBtnFace);
    EXPECT_EQ(image.property("PicBoxFrameColor").value<TColor>(), clBtnShadow);
    EXPECT_EQ(image.property("ReadWarningAction").value<TPGWarningAction>(), pgwaOKCancelBox);
    EXPECT_EQ(image.GetAutoSizeMaxWidth(), std::numeric_limits<int>::max());
    EXPECT_TRUE(image.GetUseThread());
    EXPECT_TRUE(image.GetPicBox()->hasMouseTracking());
    EXPECT_FALSE(image.GetPicBox()->autoFillBackground());
    EXPECT_EQ(image.GetPicBox()->parentWidget(), image.viewport());

    EXPECT_TRUE(image.setProperty("Stretch", "sAlwaysKAR"));
    EXPECT_EQ(image.GetStretch(), sAlwaysKAR);
    EXPECT_TRUE(image.setProperty("StretchMode", "smPrecise"));
    EXPECT_EQ(image.GetStretchMode(), smPrecise);
    EXPECT_TRUE(image.setProperty("Palette8BitSys8BitGraphic", "pGray256"));
    EXPECT_EQ(image.GetPalette8BitSys8BitGraphic(), pGray256);
    EXPECT_TRUE(image.setProperty("ZoomFactor", 2.5));
    EXPECT_EQ(image.GetZoomFactor(), 2.5L);
    EXPECT_TRUE(image.setProperty("PicBoxColor", QVariant::fromValue<TColor>(RGB(1, 2, 3))));
    EXPECT_FALSE(image.GetPicBoxParentColor());
    EXPECT_EQ(image.GetPicBoxColor(), RGB(1, 2, 3));

    // The frame: none, a plain box, or the sunken panel.
    EXPECT_TRUE(image.setProperty("Ctl3D", false));
    EXPECT_EQ(image.GetBorderWidth(), 1);
    EXPECT_EQ(image.frameWidth(), 1);
    EXPECT_TRUE(image.setProperty("BorderStyle", "bsNone"));
    EXPECT_EQ(image.GetBorderWidth(), 0);
    EXPECT_EQ(image.frameWidth(), 0);

    // Hints follow the viewer unless set on their own.
    image.SetShowHint(false);
    EXPECT_FALSE(image.GetPicBoxShowHint());
    image.SetShowHint(true);
    EXPECT_TRUE(image.GetPicBoxShowHint());
    image.SetPicBoxShowHint(false);
    EXPECT_FALSE(image.GetPicBoxParentShowHint());
    EXPECT_FALSE(image.GetPicBoxShowHint());
}

TEST_F(PGImageFiles, LoadingAndSavingKeepNamePictureAndCursorConsistent) {
    Viewer v(false);
    int changes = 0;
    v.image.OnPixelGraphicChange = [&](TObject*) { ++changes; };
    const QString path = dir.filePath("a.bmp");
    try {
        v.image.SaveToFile(path);
        ADD_FAILURE() << "saved without a picture";
    } catch (const EPGEmpty& e) {
        EXPECT_EQ(e.message(), "PixelGraphic is empty");
    }

    // Saving keeps the picture object and takes the name without loading the file back.
    v.image.SetPixelGraphic(Picture(30, 20));
    TPixelGraphic* shown = v.image.GetPixelGraphic();
    changes = 0;
    v.image.SaveToFile(path);
    EXPECT_EQ(v.image.GetPixelGraphic(), shown);
    EXPECT_EQ(v.image.GetFileName(), path);
    EXPECT_EQ(changes, 0);

    // Loading through the property, with the hourglass up and progress from the picture being loaded.
    std::vector<TObject*> senders;
    v.image.OnPixelGraphicProgress = [&](TObject* sender, int, int, bool&) {
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        senders.push_back(sender);
    };
    v.image.setProperty("FileName", path);
    ASSERT_NE(v.image.GetPixelGraphic(), nullptr);
    EXPECT_EQ(v.image.GetPixelGraphic()->GetPixelColor(29, 19), RGB(29, 19, 0));
    EXPECT_EQ(v.image.GetPicBox()->size(), QSize(30, 20));
    EXPECT_EQ(v.image.GetFileName(), path);
    EXPECT_EQ(changes, 1);
    ASSERT_FALSE(senders.empty());
    EXPECT_EQ(senders, std::vector<TObject*>(senders.size(), v.image.GetPixelGraphic()));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A file no reader knows: raised, and the viewer is empty, nameless and laid out.
    QFile junk(dir.filePath("b.xyz"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();
    EXPECT_THROW(v.image.LoadFromFile(junk.fileName()), EPGUnknownFileFormat);
    EXPECT_EQ(v.image.GetPixelGraphic(), nullptr);
    EXPECT_EQ(v.image.GetFileName(), "");
    EXPECT_EQ(v.image.GetPicBox()->size(), QSize(0, 0));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A folder name empties the viewer but is kept; emptying by hand keeps the name too.
    const QString folder = dir.path() + "/";
    v.image.LoadFromFile(folder);
    EXPECT_EQ(v.image.GetPixelGraphic(), nullptr);
    EXPECT_EQ(v.image.GetFileName(), folder);
    v.image.SetPixelGraphic(Picture(2, 2));
    v.image.SetPixelGraphic(nullptr);
    EXPECT_EQ(v.image.GetFileName(), folder);
    EXPECT_EQ(changes, 5);
}
