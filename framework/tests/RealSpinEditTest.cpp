// The real spin edit as a user types into it: a decimal comma or point, what is refused, and the point it
// shows whatever the locale.
#include "framework/RealSpinEdit.h"

#include <QLocale>
#include <QScopeGuard>
#include <QTest>
#include <gtest/gtest.h>

TEST(RealSpinEdit, TypedCommaOrPointIsTheDecimalPointAndTheFieldShowsAPoint) {
    // A user whose locale writes a decimal comma.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(previous); });
    TRealSpinEdit edit;
    edit.setDecimals(1);
    edit.setRange(0, 360);
    edit.setSingleStep(0.5);
    edit.show();
    edit.setFocus();
    const struct {
        const char* Typed;
        const char* Shown;
        double Value;
    } cases[] = {{"30,5", "30.5", 30.5},
                 {"30.5", "30.5", 30.5},
                 {",5", ".5", 0.5},
                 {"7,", "7.", 7},
                 // What cannot be a value of the field is refused key by key: a second separator, a second
                 // decimal, a number past the maximum.
                 {"1,2,3", "1.2", 1.2},
                 {"0,25", "0.2", 0.2},
                 {"400", "40", 40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        edit.selectAll();
        QTest::keyClicks(&edit, c.Typed);
        EXPECT_EQ(edit.text(), c.Shown);
        EXPECT_DOUBLE_EQ(edit.value(), c.Value);
    }
    // Leaving the field and its arrows write the value with one decimal and a point.
    edit.selectAll();
    QTest::keyClicks(&edit, "12,5");
    QTest::keyClick(&edit, Qt::Key_Up);
    EXPECT_EQ(edit.text(), "13.0");
    edit.setValue(7);
    EXPECT_EQ(edit.text(), "7.0");
}
