// The clipped-caption oracle of the window tests: it must see a label, a check box, a push button and a
// group title cut by their own width or height or by their container, and pass the same texts with room.
#include "framework/testing/CaptionFit.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

TEST(CaptionFit, SeesEveryKindOfCutCaptionAndPassesTheWholeOnes) {
    const QString text = QStringLiteral("Интенсивность");
    QDialog window;
    window.resize(400, 300);
    auto* group = new QGroupBox(text, &window);
    group->setGeometry(0, 0, 400, 200);
    auto* label = new QLabel(text, group);
    auto* box = new QCheckBox(text, group);
    auto* button = new QPushButton(text, group);
    auto* hidden = new QLabel(text, &window);
    hidden->setGeometry(0, 250, 5, 5);
    hidden->hide();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const int width = label->fontMetrics().horizontalAdvance(text), height = label->fontMetrics().height();
    // With room: what each control asks for; without: a few pixels less than its text.
    const auto placeAll = [&](bool Room, int Height) {
        label->setGeometry(10, 30, Room ? label->sizeHint().width() : width - 4, Height);
        box->setGeometry(10, 70, box->sizeHint().width() - (Room ? 0 : 6), box->sizeHint().height());
        button->setGeometry(10, 110, Room ? button->sizeHint().width() : width, button->sizeHint().height());
    };
    placeAll(true, height);
    EXPECT_TRUE(ClippedCaptions(window).empty());

    placeAll(false, height);
    EXPECT_EQ(ClippedCaptions(window).size(), 3u); // the label, the check box and the button
    placeAll(true, height - 2);
    EXPECT_EQ(ClippedCaptions(window).size(), 1u); // the label's lower edge

    placeAll(true, height);
    group->setGeometry(0, 0, width / 2, 200); // the title and everything inside it run past the group box
    const auto faults = ClippedCaptions(window);
    ASSERT_EQ(faults.size(), 4u);
    EXPECT_NE(faults[0].find("QGroupBox"), std::string::npos) << faults[0];
}
