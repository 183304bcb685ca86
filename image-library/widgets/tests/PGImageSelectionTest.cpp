// The viewer's selection, mouse state machine, timers and cursors, driven by mouse events through the window
// system layer, so the implicit grab and the application's button state are those of real use.
#define QTEST_QPA_MOUSE_HANDLING
#include "image-library/PGCursors.h"
#include "image-library/widgets/PGImage.h"

#include <QApplication>
#include <QDialog>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTest>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<TPixelGraphic> Picture(int w, int h) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelColor(x, y, RGB(uint8_t(x), uint8_t(y), 100));
    return p;
}

// A shown 200 x 200 viewer without border over a picture of the given size, zoomed by Zoom.
struct Viewer {
    explicit Viewer(int pw = 100, int ph = 100, int zoom = 1) {
        image.SetBorderStyle(bsNone);
        image.SetStretch(sZoomKAR);
        image.SetZoomFactor(zoom);
        image.SetBounds(0, 0, 200, 200);
        image.SetPixelGraphic(Picture(pw, ph));
        image.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&image));
        image.OnSelectionChange = [this](TObject*) { ++changes; };
        image.OnSelectionMade = [this](TObject*) { ++made; };
    }
    TPicBox* Box() const { return image.GetPicBox(); }
    // Mouse actions at paint-box points as the box lies now. A release stays where the pointer is: Qt
    // would report a move to any other place first.
    void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(image.windowHandle(), b, {}, Window(p));
    }
    void Move(QPoint p) { QTest::mouseMove(image.windowHandle(), Window(p)); }
    void Release(Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(image.windowHandle(), b, {}, at); }
    void Drag(QPoint from, QPoint to) {
        const QPoint end = Window(to);
        Press(from);
        QTest::mouseMove(image.windowHandle(), end);
        at = end;
        Release();
    }
    QPoint Window(QPoint p) {
        at = Box()->mapTo(&image, p);
        return at;
    }
    QPoint at;
    TRect Rect() const { return image.GetSelectionRect(); }
    QImage Shot() { return image.grab().toImage(); }
    TPGImage image;
    int changes = 0;
    int made = 0;
};

// The client-area strips along a frame at r (paint-box coordinates) that reach E pixels out.
QRegion Strips(QRect r, int e) {
    const int l = r.left(), t = r.top(), rt = r.left() + r.width(), b = r.top() + r.height();
    return QRegion(l - e, t - e, e, b - t + 2 * e) + QRegion(l - e, t - e, rt - l + 2 * e, e) +
           QRegion(rt, t - e, e, b - t + 2 * e) + QRegion(l - e, b, rt - l + 2 * e, e);
}

// Records what the viewport and the paint box repaint, in client coordinates.
struct PaintRecorder : QObject {
    explicit PaintRecorder(TPGImage& image) : image(image) {
        image.viewport()->installEventFilter(this);
        image.GetPicBox()->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            QRegion r = static_cast<QPaintEvent*>(e)->region();
            if (o == image.GetPicBox())
                r.translate(image.GetPicBox()->pos());
            painted += r;
        }
        return false;
    }
    TPGImage& image;
    QRegion painted;
};

bool SameCursor(const QCursor& c, TPGCursorId id) {
    const TPGCursorPlanes& planes = PGCursorPlanes(id);
    return c.shape() == Qt::BitmapCursor && c.hotSpot() == QPoint(planes.HotX, planes.HotY) &&
           c.pixmap().cacheKey() == PGCursor(id).pixmap().cacheKey();
}

} // namespace

TEST(PGImageSelection, BoundsStoreAsGivenAndRepaintOnlyTheStripsAlongTheFrame) {
    Viewer v;
    v.image.SetSelectionBounds(10, 20, 30, 40);
    EXPECT_EQ(v.Rect(), Rect(10, 20, 40, 60));
    EXPECT_EQ(v.changes, 1);
    v.image.SetSelectionBounds(10, 20, 30, 40);
    v.image.SetSelectionHeight(40);
    EXPECT_EQ(v.changes, 1);
    v.image.SetSelectionRect(Rect(-5, 7, 100, 8));
    EXPECT_EQ(v.image.GetSelectionWidth(), 105);
    v.image.SetSelectionRect(Rect(10, 20, 40, 60));

    // Frames with and without handles: the old and the new strips are repainted at once, nothing else.
    for (const TActionMode mode : {amMoveImage, amMoveResizeCreateSelection}) {
        v.image.SetActionMode(mode);
        v.image.SetSelection(true);
        QApplication::processEvents();
        PaintRecorder recorder(v.image);
        v.image.SetSelectionBounds(50, 45, 12, 9);
        const int e = mode == amMoveResizeCreateSelection ? 8 : 1;
        EXPECT_FALSE(recorder.painted.isEmpty());
        EXPECT_TRUE((recorder.painted - Strips(QRect(10, 20, 30, 40), e) - Strips(QRect(50, 45, 12, 9), e))
                        .isEmpty());
        v.image.SetSelection(false);
        v.image.SetSelectionRect(Rect(10, 20, 40, 60));
    }

    // A change asked for inside a paint handler is painted after it: Qt refuses nested repaints.
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) { warnings << m; });
    v.image.SetSelection(true);
    bool once = true;
    v.image.SetPicBoxOnPaint([&](TObject*) {
        if (std::exchange(once, false))
            v.image.SetSelectionBounds(60, 60, 5, 5);
    });
    v.Box()->repaint();
    QApplication::processEvents();
    qInstallMessageHandler(previous);
    v.image.SetPicBoxOnPaint(nullptr);
    EXPECT_EQ(v.Rect(), Bounds(60, 60, 5, 5));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
    v.image.SetSelection(false);

    // Edges past the 32-bit range: stored as given, reported saturated, painted and clicked cleanly.
    v.image.SetActionMode(amMoveResizeCreateSelection);
    v.image.SetSelectionBounds(INT_MAX - 5, INT_MIN + 2, 100, 10);
    v.image.SetSelection(true);
    EXPECT_EQ(v.Rect(), Rect(INT_MAX - 5, INT_MIN + 2, INT_MAX, INT_MIN + 12));
    EXPECT_EQ(v.image.GetSelectionPicBoxRect().Right, int64_t(INT_MAX) + 95);
    v.Shot();
    v.Drag(QPoint(50, 50), QPoint(60, 61));
    EXPECT_EQ(v.Rect(), Rect(50, 50, 61, 62));
}

TEST(PGImageSelection, MouseCreatesMovesAndResizesTheSelection) {
    for (const int z : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "zoom " << z);
        Viewer v(100, 100, z);
        v.image.SetActionMode(amMoveResizeCreateSelection);
        // From pixel (5, 5) to (2, 9): both pixels inside.
        v.Drag(QPoint(5 * z, 5 * z), QPoint(2 * z, 9 * z));
        EXPECT_EQ(v.Rect(), Bounds(2, 5, 4, 5));
        EXPECT_TRUE(v.image.GetSelection());
        EXPECT_EQ(v.made, 1);

        // Each handle hits on its 5 x 5 rectangle and misses at its exclusive right and bottom edges.
        v.image.SetSelectionRect(Bounds(20, 20, 10, 10));
        const int l = 20 * z, t = 20 * z, r = 30 * z, b = 30 * z, mx = (l + r) / 2, my = (t + b) / 2;
        const QPoint corners[] = {{l - 8, t - 8},  {mx - 2, t - 8}, {r + 3, t - 8},  {l - 8, my - 2},
                                  {r + 3, my - 2}, {l - 8, b + 3},  {mx - 2, b + 3}, {r + 3, b + 3}};
        for (int i = 0; i < 8; ++i) {
            SCOPED_TRACE(testing::Message() << "handle " << i);
            for (const QPoint p : {corners[i], corners[i] + QPoint(4, 4), corners[i] + QPoint(5, 2),
                                   corners[i] + QPoint(2, 5)}) {
                v.Press(p);
                EXPECT_EQ(v.image.GetDragState() == 4 + i,
                          p.x() - corners[i].x() < 5 && p.y() - corners[i].y() < 5);
                v.Release();
                v.image.SetSelectionRect(Bounds(20, 20, 10, 10));
            }
        }
        // A left handle dragged past the right edge: width 1, right edge kept.
        v.Drag(QPoint(l - 5, my), QPoint(90 * z, my));
        EXPECT_EQ(v.Rect(), Rect(29, 20, 30, 30));
        // The bottom-right handle drags both far edges, never below one pixel.
        v.image.SetSelectionRect(Bounds(20, 20, 10, 10));
        v.Drag(QPoint(r + 5, b + 5), QPoint(r + 5 + 7 * z, b + 5 + 3 * z));
        EXPECT_EQ(v.Rect(), Bounds(20, 20, 17, 13));
        v.Drag(QPoint(37 * z + 5, 33 * z + 5), QPoint(2 * z, 2 * z));
        EXPECT_EQ(v.Rect(), Bounds(20, 20, 1, 1));

        // A 10 x 10 selection moved far left stops with one column on the picture.
        v.image.SetActionMode(amMoveSelection);
        v.image.SetSelectionRect(Bounds(40, 40, 10, 10));
        v.Drag(QPoint(45 * z, 45 * z), QPoint(-300, 45 * z));
        EXPECT_EQ(v.Rect(), Bounds(-9, 40, 10, 10));
        v.Drag(QPoint(80 * z, 80 * z), QPoint(90 * z, 90 * z));
        EXPECT_EQ(v.Rect(), Bounds(-9, 40, 10, 10)); // outside the selection: nothing in this mode

        // The right button does nothing; any release ends a drag; moving the picture is no selection.
        v.image.SetActionMode(amCreateSelection);
        const int made = v.made;
        v.Press(QPoint(10, 10), Qt::RightButton);
        EXPECT_EQ(v.image.GetDragState(), 0);
        v.Release(Qt::RightButton);
        v.Press(QPoint(10, 10));
        EXPECT_EQ(v.image.GetDragState(), 3);
        v.Press(QPoint(12, 12), Qt::RightButton);
        v.Release(Qt::RightButton);
        EXPECT_EQ(v.image.GetDragState(), 0);
        EXPECT_EQ(v.made, made + 1);
        v.Release();
        EXPECT_EQ(v.made, made + 1);
    }
    Viewer big(400, 400);
    big.image.SetActionMode(amMoveSelectionMoveImage);
    big.Drag(QPoint(100, 100), QPoint(90, 95));
    EXPECT_EQ(big.made, 0);
    EXPECT_EQ(big.image.horizontalScrollBar()->value(), 10);
}

TEST(PGImageSelection, CursorsFollowTheModeThePlaceAndTheHandlers) {
    Viewer fits;
    fits.image.SetPicBoxCursor(QCursor(Qt::CrossCursor));
    fits.Press(QPoint(50, 50));
    EXPECT_EQ(fits.image.GetDragState(), 0);
    EXPECT_EQ(fits.Box()->cursor().shape(), Qt::CrossCursor);
    fits.Release();
    // Over the viewer's own surface its handler chooses.
    fits.image.OnSetCursor = [](TObject*, QCursor& c) { c = QCursor(Qt::IBeamCursor); };
    fits.Move(QPoint(150, 150));
    EXPECT_EQ(fits.image.viewport()->cursor().shape(), Qt::IBeamCursor);

    Viewer v(400, 400);
    QScrollBar* h = v.image.horizontalScrollBar();
    QScrollBar* vb = v.image.verticalScrollBar();
    v.Move(QPoint(50, 50));
    EXPECT_TRUE(SameCursor(v.Box()->cursor(), PGCursorMoveImage));
    v.Press(QPoint(50, 50));
    EXPECT_TRUE(SameCursor(v.Box()->cursor(), PGCursorMovingImage));
    v.Move(QPoint(40, 43));
    EXPECT_EQ(h->value(), 10);
    EXPECT_EQ(vb->value(), 7);
    v.Release();
    EXPECT_TRUE(SameCursor(v.Box()->cursor(), PGCursorMoveImage));
    h->setValue(0);
    vb->setValue(0);

    v.image.SetActionMode(amMoveResizeCreateSelection);
    v.Move(QPoint(50, 50));
    EXPECT_TRUE(SameCursor(v.Box()->cursor(), PGCursorCreateSelection));
    v.image.SetSelectionRect(Bounds(20, 20, 10, 10));
    v.image.SetSelection(true);
    v.Move(QPoint(25, 25));
    EXPECT_TRUE(SameCursor(v.Box()->cursor(), PGCursorMoveSelection));
    const struct {
        QPoint at;
        Qt::CursorShape shape;
    } handles[] = {{{15, 15}, Qt::SizeFDiagCursor}, {{25, 14}, Qt::SizeVerCursor},
                   {{35, 15}, Qt::SizeBDiagCursor}, {{14, 25}, Qt::SizeHorCursor},
                   {{36, 25}, Qt::SizeHorCursor},   {{15, 35}, Qt::SizeBDiagCursor},
                   {{25, 36}, Qt::SizeVerCursor},   {{35, 35}, Qt::SizeFDiagCursor}};
    for (const auto& handle : handles) {
        v.Move(handle.at);
        EXPECT_EQ(v.Box()->cursor().shape(), handle.shape);
    }

    // Handlers may replace the cursor; an override cursor silences them.
    int calls = 0;
    v.image.PicBoxOnSetCursor = [&](TObject* sender, QCursor& c) {
        EXPECT_EQ(sender, &v.image);
        ++calls;
        c = QCursor(Qt::PointingHandCursor);
    };
    v.Move(QPoint(60, 60));
    EXPECT_EQ(v.Box()->cursor().shape(), Qt::PointingHandCursor);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int before = calls;
    v.Move(QPoint(61, 60));
    EXPECT_EQ(calls, before);
    QApplication::restoreOverrideCursor();
    EXPECT_GT(calls, 0);
}

TEST(PGImageSelection, TimersAnimateTheFrameAndScrollWhileTheButtonIsDown) {
    Viewer v(400, 400);
    v.image.SetSelectionRect(Bounds(10, 12, 20, 20));
    // The animation runs exactly while the selection is shown.
    v.image.SetSelection(true);
    EXPECT_TRUE(v.image.GetFrameTimer().isActive());
    EXPECT_EQ(v.image.GetFrameTimer().interval(), 50);
    v.changes = 0;
    v.image.SetSelection(false);
    v.image.SetSelection(false);
    EXPECT_FALSE(v.image.GetFrameTimer().isActive());
    EXPECT_EQ(v.changes, 1);

    // The frame just outside the selected pixels follows the stripe formula and shifts by one per tick. The
    // test steps both timers itself.
    QSignalBlocker frameTicks(const_cast<QTimer*>(&v.image.GetFrameTimer()));
    QSignalBlocker scrollTicks(const_cast<QTimer*>(&v.image.GetScrollTimer()));
    v.image.SetSelection(true);
    const QRgb color1 = qRgb(255, 255, 255), color2 = qRgb(255, 0, 0);
    const auto expectFrame = [&](int l, int t, int phase) {
        const QImage shot = v.Shot();
        int checked = 0;
        for (int y = t - 1; y <= t + 20; ++y)
            for (int x = l - 1; x <= l + 20; ++x) {
                if (x != l - 1 && x != l + 20 && y != t - 1 && y != t + 20)
                    continue;
                const bool second = (((x + y - l - t - phase) % 8) + 8) % 8 >= 4;
                ASSERT_EQ(shot.pixel(x, y), second ? color2 : color1) << x << "," << y;
                ++checked;
            }
        EXPECT_EQ(checked, 4 * 21);
    };
    expectFrame(10, 12, 0);
    v.image.SelectionTimer();
    expectFrame(10, 12, 1);
    v.image.SetSelectionRect(Bounds(37, 23, 20, 20));
    expectFrame(37, 23, 1);
    for (int i = 0; i < 7; ++i)
        v.image.SelectionTimer();
    expectFrame(37, 23, 0);

    // Auto-scroll during a drag with the pointer left of the view: 5 per tick, down to 0.
    QScrollBar* h = v.image.horizontalScrollBar();
    v.image.SetActionMode(amCreateSelection);
    h->setValue(20);
    v.Press(QPoint(60, 60));
    EXPECT_TRUE(v.image.GetScrollTimer().isActive());
    v.Move(QPoint(10, 60)); // client x = 10 - 20
    v.image.DragScrollTimer();
    EXPECT_EQ(h->value(), 15);
    for (int i = 0; i < 5; ++i)
        v.image.DragScrollTimer();
    EXPECT_EQ(h->value(), 0);
    v.Release();
    EXPECT_FALSE(v.image.GetScrollTimer().isActive());

    // A release lost to a modal box opened during the drag: the timer no longer scrolls, and the next move
    // ends the drag.
    h->setValue(20);
    v.Press(QPoint(60, 60));
    v.Move(QPoint(10, 60));
    const int made = v.made;
    {
        QDialog box;
        box.setModal(true);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        v.Release();
    }
    EXPECT_EQ(v.image.GetDragState(), 3);
    v.image.DragScrollTimer();
    EXPECT_EQ(h->value(), 20);
    v.Move(QPoint(70, 70));
    EXPECT_EQ(v.image.GetDragState(), 0);
    EXPECT_FALSE(v.image.GetScrollTimer().isActive());
    EXPECT_EQ(v.made, made + 1);
}
