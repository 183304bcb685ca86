// The controls that paint over pictures: invalidation through transparent parents, and what they paint.
#include "image-library/widgets/PGControls.h"
#include "image-library/widgets/PGImage.h"

#include <QApplication>
#include <QPaintEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Counts the Invalidate calls of any of the controls.
template <class Control> struct Counting : Control {
    using Control::Control;
    void Invalidate() override {
        ++count;
        Control::Invalidate();
    }
    int count = 0;
};

// A shown form filled in one colour, recording the region it repaints.
struct Form : QWidget {
    Form() {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, FormColor);
        setPalette(p);
        resize(200, 150);
    }
    void Show() {
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
        QApplication::processEvents();
        painted = QRegion();
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(e)->region();
        return QWidget::event(e);
    }
    QImage Shot() { return grab().toImage(); }
    static inline const QColor FormColor{0, 128, 0};
    QRegion painted;
};

QRgb Rgb(TColor c) {
    return ColorToQColor(c).rgb();
}

} // namespace

TEST(PGControls, InvalidatingGoesThroughTransparentParentsOnceAndReachesTransparentChildren) {
    Form form;
    auto* panel = new Counting<TPGPanel>(&form);
    panel->setGeometry(20, 30, 120, 80);
    auto* check = new Counting<TPGCheckBox>(panel);
    check->setGeometry(5, 5, 60, 20);
    auto* bevelPanel = new TPGPanel(&form);
    auto* bevel = new Counting<TPGBevel>(bevelPanel);
    auto* group = new Counting<TPGGroupBox>(&form);
    group->setGeometry(150, 10, 40, 100);
    auto* groupBevel = new Counting<TPGBevel>(group);
    form.Show();

    // The check box invalidates the whole panel, which invalidates its rectangle on the form and then its
    // transparent children; the check box does not invalidate the panel a second time.
    check->Invalidate();
    EXPECT_EQ(panel->count, 1);
    EXPECT_EQ(check->count, 2);
    EXPECT_FALSE(check->InvalidatingParent);
    QApplication::processEvents();
    EXPECT_TRUE(form.painted.contains(panel->geometry()));

    // Bevels go with their panel and their group box; opaque children do not.
    group->Invalidate();
    EXPECT_EQ(groupBevel->count, 1);
    bevelPanel->Invalidate();
    EXPECT_EQ(bevel->count, 1);
    // Many transparent siblings are invalidated once each, not once per order of them.
    std::vector<Counting<TPGLabel>*> labels;
    for (int i = 0; i < 12; ++i)
        labels.push_back(new Counting<TPGLabel>(bevelPanel));
    bevel->Invalidate();
    EXPECT_EQ(bevel->count, 3);
    for (const auto* label : labels)
        EXPECT_EQ(label->count, 1);
    check->SetTransparent(false);
    const int checks = check->count;
    panel->Invalidate();
    EXPECT_EQ(check->count, checks);
    EXPECT_TRUE(IsTransparentPGControl(bevel));
    EXPECT_FALSE(IsTransparentPGControl(check));
    EXPECT_FALSE(IsTransparentPGControl(&form));

    // The viewer invalidates the transparent controls placed on it.
    TPGImage viewer;
    auto* label = new Counting<TPGLabel>(viewer.viewport());
    viewer.Invalidate();
    EXPECT_EQ(label->count, 1);
}

TEST(PGControls, TransparentControlsShowTheParentAndOpaqueOnesTheirColour) {
    Form form;
    auto* check = new TPGCheckBox(&form);
    check->setGeometry(10, 10, 150, 20);
    auto* label = new TPGLabel(&form);
    label->setText("WWWWWWWW");
    label->setGeometry(10, 50, 100, 30);
    form.Show();
    EXPECT_EQ(form.Shot().pixel(155, 12), Form::FormColor.rgb());
    check->SetColor(RGB(0, 0, 255));
    check->SetTransparent(false);
    EXPECT_EQ(form.Shot().pixel(155, 12), qRgb(0, 0, 255));
    check->SetTransparent(true);
    EXPECT_EQ(form.Shot().pixel(155, 12), Form::FormColor.rgb());

    // A label moved by SetBounds leaves no trace: its old rectangle is repainted on the form.
    QApplication::processEvents();
    form.painted = QRegion();
    label->SetBounds(10, 100, 100, 30);
    QApplication::processEvents();
    EXPECT_TRUE(form.painted.contains(QRect(10, 50, 100, 30)));
    const QImage shot = form.Shot();
    for (int y = 50; y < 80; ++y)
        for (int x = 10; x < 110; ++x)
            ASSERT_EQ(shot.pixel(x, y), Form::FormColor.rgb()) << x << "," << y;
}

TEST(PGControls, PanelAndGroupBoxPaintOnlyTheirBordersWhenTransparent) {
    // A raised panel over a picture: 2 pixels of bevel and 3 of border, the inside shows the picture.
    TPGImage viewer;
    viewer.SetBorderStyle(bsNone);
    viewer.SetBounds(0, 0, 200, 200);
    auto picture = std::make_unique<TPixelGraphic>();
    picture->SetFormat(200, 200, 3);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            picture->SetPixelColor(x, y, RGB(uint8_t(x), uint8_t(y), 50));
    viewer.SetPixelGraphic(std::move(picture));
    auto* panel = new TPGPanel(viewer.viewport());
    panel->BevelWidth = 2;
    panel->BorderWidth = 3;
    panel->SetColor(RGB(0, 0, 255));
    panel->SetBounds(20, 30, 100, 80);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    const QImage shot = viewer.grab().toImage();
    const int my = 30 + 40;
    EXPECT_EQ(shot.pixel(20, my), Rgb(clBtnHighlight));
    EXPECT_EQ(shot.pixel(21, my), Rgb(clBtnHighlight));
    EXPECT_EQ(shot.pixel(119, my), Rgb(clBtnShadow));
    EXPECT_EQ(shot.pixel(70, 109), Rgb(clBtnShadow));
    for (int x = 22; x < 25; ++x)
        EXPECT_EQ(shot.pixel(x, my), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(25, my), qRgb(25, my, 50));
    EXPECT_EQ(shot.pixel(114, 104), qRgb(114, 104, 50));

    // A group box without caption: only the frame, from H div 2 - 1, shadow outside the highlight.
    Form form;
    auto* group = new TPGGroupBox(&form);
    group->setGeometry(10, 10, 100, 100);
    form.Show();
    const int top = QFontMetrics(group->font()).height() / 2 - 1;
    QImage g = form.Shot().copy(group->geometry());
    EXPECT_EQ(g.pixel(50, top - 1), Form::FormColor.rgb());
    EXPECT_EQ(g.pixel(50, top), Rgb(clBtnShadow));
    EXPECT_EQ(g.pixel(50, top + 1), Rgb(clBtnHighlight));
    EXPECT_EQ(g.pixel(0, 50), Rgb(clBtnShadow));
    EXPECT_EQ(g.pixel(99, 50), Rgb(clBtnHighlight));
    EXPECT_EQ(g.pixel(50, 50), Form::FormColor.rgb());
    // Opaque, it fills in its colour.
    group->SetColor(RGB(255, 0, 0));
    group->SetTransparent(false);
    g = form.Shot().copy(group->geometry());
    EXPECT_EQ(g.pixel(50, 50), qRgb(255, 0, 0));
    EXPECT_EQ(g.pixel(50, top - 1), qRgb(255, 0, 0));
}
