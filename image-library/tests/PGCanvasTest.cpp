#include "image-library/PGCanvas.h"
#include "image-library/PGraphic.h"

#include <QPainter>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

bool Listed(const TPGCanvas* c) {
    const auto items = PGCanvasList.Items();
    return std::find(items.begin(), items.end(), c) != items.end();
}

std::unique_ptr<TPixelGraphic> Picture(int bitCountNum, TPaletteIdent kind = pTrueColor) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(8, 6, uint8_t(bitCountNum));
    if (bitCountNum < 3)
        p->SetPaletteIdent(kind);
    return p;
}

void FillRect(TPixelGraphic& p, const QRect& r, const QColor& c) {
    p.GetCanvas()->Draw([&](QPainter& painter) { painter.fillRect(r, c); });
}

} // namespace

TEST(PGCanvas, LineOnAFourBitPictureIsReadBackAsItsIndex) {
    auto p = Picture(1, pSys16);
    p->GetCanvas()->Draw([](QPainter& painter) {
        painter.setPen(QColor(255, 0, 0));
        painter.drawLine(1, 2, 6, 2);
    });
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(p->GetPixelValue(x, y), (y == 2 && x >= 1 && x <= 6) ? 9u : 0u) << x << ", " << y;
}

TEST(PGCanvas, DrawingStartsFromThePixelsAndKeepsDirectWrites) {
    auto p = Picture(3);
    FillRect(*p, QRect(0, 0, 8, 1), QColor(10, 20, 30));
    EXPECT_EQ(p->GetScanLine(0)[0], 30) << "top row, blue first";
    p->SetPixelColor(5, 5, RGB(1, 2, 3)); // after the flush, outside any later drawing
    p->SetPixelColor(4, 4, clWhite);
    FillRect(*p, QRect(4, 4, 1, 1), QColor(0, 0, 0, 128)); // half black over the white written directly
    EXPECT_EQ(p->GetPixelColor(5, 5), RGB(1, 2, 3));
    EXPECT_EQ(p->GetPixelColor(7, 0), RGB(10, 20, 30));
    EXPECT_NEAR(GetRValue(p->GetPixelColor(4, 4)), 127, 2);
}

TEST(PGCanvas, EachDrawingFiresOneChangeOfThePicture) {
    auto p = Picture(2, pGray256);
    int changes = 0;
    p->SetOnChange([&](TObject* sender) { changes += sender == p.get(); });
    FillRect(*p, QRect(0, 0, 3, 3), Qt::gray);
    p->GetCanvas()->Draw([](QPainter& painter) {
        painter.drawPoint(0, 0);
        painter.drawPoint(1, 1);
    });
    EXPECT_EQ(changes, 2);
}

TEST(PGCanvas, PictureChangesReleaseTheShadowSafelyAndKeepTheDrawing) {
    auto p = Picture(2, pGray256);
    FillRect(*p, QRect(0, 0, 8, 6), QColor(200, 200, 200));
    p->SetPaletteColor(0, RGB(255, 0, 0));
    EXPECT_EQ(p->GetPixelValue(3, 3), 200u) << "written back through the table drawn with";
    EXPECT_FALSE(Listed(p->GetCanvas()));

    p->GetCanvas()->Draw([&](QPainter& painter) {
        painter.fillRect(0, 0, 4, 4, Qt::white);
        p->SetFormat(3, 3, 2);
    });
    EXPECT_EQ(p->GetPixelValue(1, 1), 0u);

    auto noTable = Picture(2); // a paletted picture without a table cannot take drawn colours
    FillRect(*noTable, QRect(0, 0, 8, 6), Qt::white);
    EXPECT_EQ(noTable->GetPixelValue(2, 2), 0u);
}

TEST(PGCanvasList, HoldsCanvasesWithAShadowInTheOrderTheyWereMade) {
    auto a = Picture(3);
    auto b = Picture(2, pGray16);
    TPixelGraphic empty;
    const uint8_t* blockA = a->GetBits();
    FillRect(*a, QRect(0, 0, 1, 1), Qt::white);
    FillRect(*b, QRect(0, 0, 8, 6), QColor(51, 51, 51));
    FillRect(empty, QRect(0, 0, 1, 1), Qt::white);
    EXPECT_EQ(PGCanvasList.Items(), (std::vector<TPGCanvas*>{a->GetCanvas(), b->GetCanvas()}))
        << "a second picture does not release the first one's shadow; an empty one holds none";

    FillRect(*a, QRect(1, 1, 1, 1), Qt::white);
    FreePGCanvasesOf(blockA);
    EXPECT_EQ(PGCanvasList.Items(), std::vector<TPGCanvas*>{b->GetCanvas()});
    EXPECT_EQ(a->GetPixelColor(1, 1), clWhite) << "releasing the shadow keeps what was drawn";

    FreeAllPGCanvases();
    EXPECT_TRUE(PGCanvasList.Items().empty());
    EXPECT_EQ(b->GetPixelValue(7, 5), 3u);
    FillRect(*b, QRect(0, 0, 1, 1), Qt::white);
    b.reset();
    EXPECT_TRUE(PGCanvasList.Items().empty()) << "a picture's canvas leaves the list with it";
}
