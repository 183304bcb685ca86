#include "framework/ErrorBox.h"
#include "framework/Exception.h"
#include "framework/SystemColors.h"
#include "framework/testing/MessageBoxSpy.h"

#include <QApplication>
#include <QPalette>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

TEST(ErrorBox, ShowsTheErrorBoxAndEndsTheProgramBeforeOrInsideTheLoop) {
    MessageBoxSpy spy;
    ShowError("Файл не найден", false);
    ASSERT_EQ(spy.Requests.size(), 1u);
    EXPECT_EQ(spy.Requests[0].Text, "Файл не найден");
    EXPECT_EQ(spy.Requests[0].Caption, "Ошибка");
    EXPECT_EQ(spy.Requests[0].Type, mtError);
    EXPECT_EQ(spy.Requests[0].Buttons, unsigned(mbOK));
    EXPECT_FALSE(StartupFailed());

    // Before the loop runs, ending can only be noted for main.
    ShowError("Порт", true);
    EXPECT_TRUE(StartupFailed());

    // Inside the loop it leaves with exit code 1.
    QTimer::singleShot(0, [] { ShowError("Порт", true); });
    EXPECT_EQ(QApplication::exec(), 1);
    EXPECT_EQ(spy.Requests.size(), 3u);
}

TEST(ErrorBox, HandlersShowTheMessageOfWhateverWasRaisedAndPaintsDeferIt) {
    MessageBoxSpy spy;
    CallGuarded([] { throw Exception("Unknown file format"); });
    CallGuarded([] { throw std::runtime_error("disk full"); });
    ASSERT_EQ(spy.Requests.size(), 2u);
    EXPECT_EQ(spy.Requests[0].Text, "Unknown file format");
    EXPECT_EQ(spy.Requests[1].Text, "disk full");

    CallGuarded([] { throw Exception("during paint"); }, true);
    EXPECT_EQ(spy.Requests.size(), 2u);
    QApplication::processEvents();
    ASSERT_EQ(spy.Requests.size(), 3u);
    EXPECT_EQ(spy.Requests[2].Text, "during paint");
    EXPECT_EQ(spy.Requests[2].Caption, "Ошибка");
}

TEST(SystemColors, ResolveThroughTheApplicationPaletteAndLeavePlainColoursAlone) {
    const QPalette palette = QApplication::palette();
    EXPECT_EQ(ColorToRGB(clBtnFace), QRgbToColor(palette.color(QPalette::Button).rgb()));
    EXPECT_EQ(ColorToRGB(clBtnShadow), QRgbToColor(palette.color(QPalette::Dark).rgb()));
    EXPECT_EQ(ColorToRGB(RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(ColorToQColor(RGB(255, 0, 0)), QColor(255, 0, 0));
}
