#include "image-library/PGCursors.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

enum TKind { Screen, Black, White };

TKind KindAt(const TPGCursorPlanes& p, int x, int y) {
    if (x < 0 || y < 0 || x >= PGCursorSize || y >= PGCursorSize || p.ShowsScreen(x, y))
        return Screen;
    return p.IsWhite(x, y) ? White : Black;
}

// Every pixel of kind Inner has no screen pixel among its eight neighbours, and both kinds are there.
void ExpectEnclosed(TPGCursorId id, TKind inner, TKind outline) {
    const TPGCursorPlanes& p = PGCursorPlanes(id);
    int inners = 0, outlines = 0;
    for (int y = 0; y < PGCursorSize; ++y)
        for (int x = 0; x < PGCursorSize; ++x) {
            const TKind k = KindAt(p, x, y);
            inners += k == inner;
            outlines += k == outline;
            for (int dy = -1; dy <= 1 && k == inner; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    ASSERT_NE(KindAt(p, x + dx, y + dy), Screen)
                        << "cursor " << id << " at " << x << ", " << y;
                }
        }
    EXPECT_GT(inners, 0);
    EXPECT_GT(outlines, 0);
}

} // namespace

TEST(PGCursors, CursorsShowTheirPlanesWithTheirHotSpots) {
    const struct {
        TPGCursorId Id;
        QPoint HotSpot;
    } cases[] = {
        {PGCursorMoveImage, {16, 12}},
        {PGCursorMovingImage, {16, 12}},
        {PGCursorCreateSelection, {15, 15}},
        {PGCursorMoveSelection, {16, 15}},
    };
    for (const auto& c : cases) {
        const QCursor& cursor = PGCursor(c.Id);
        EXPECT_EQ(cursor.hotSpot(), c.HotSpot) << c.Id;
        const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(32, 32)) << c.Id;
        const TPGCursorPlanes& planes = PGCursorPlanes(c.Id);
        for (int y = 0; y < PGCursorSize; ++y)
            for (int x = 0; x < PGCursorSize; ++x) {
                const QRgb expected = KindAt(planes, x, y) == Screen  ? 0x00000000u
                                      : KindAt(planes, x, y) == White ? 0xFFFFFFFFu
                                                                      : 0xFF000000u;
                ASSERT_EQ(image.pixel(x, y), expected) << "cursor " << c.Id << " at " << x << ", " << y;
            }
        for (const QPoint corner : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)})
            EXPECT_EQ(KindAt(planes, corner.x(), corner.y()), Screen) << c.Id;
    }
}

TEST(PGCursors, HandsAreWhiteInBlackAndTheArrowBlackInWhite) {
    ExpectEnclosed(PGCursorMoveImage, White, Black);
    ExpectEnclosed(PGCursorMovingImage, White, Black);
    ExpectEnclosed(PGCursorMoveSelection, Black, White);
}

TEST(PGCursors, CrossIsDashedThreeAndThreeOnItsCentreLinesAndOpenInTheMiddle) {
    const TPGCursorPlanes& p = PGCursorPlanes(PGCursorCreateSelection);
    for (int y = 0; y < PGCursorSize; ++y)
        for (int x = 0; x < PGCursorSize; ++x)
            if (x != 15 && y != 15) {
                ASSERT_EQ(KindAt(p, x, y), Screen) << x << ", " << y;
            }
    EXPECT_EQ(KindAt(p, 15, 15), Screen);
    // Walking out from the centre along each arm: the opening, then dashes of three starting black; only
    // the dash the edge cuts may be shorter.
    for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
        QPoint at(15, 15);
        while (KindAt(p, at.x(), at.y()) == Screen)
            at += step;
        TKind expected = Black;
        int run = 0;
        for (; at.x() >= 0 && at.y() >= 0 && at.x() < 32 && at.y() < 32; at += step) {
            if (run == 3) {
                expected = expected == Black ? White : Black;
                run = 0;
            }
            ASSERT_EQ(KindAt(p, at.x(), at.y()), expected) << at.x() << ", " << at.y();
            ++run;
        }
    }
}
