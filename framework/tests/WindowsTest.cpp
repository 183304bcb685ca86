// Where the programs' dialogs, boxes and floating windows open, what stays above what, and which windows
// take input while a dialog runs.
#include "framework/Controls.h"
#include "framework/FileDialogs.h"
#include "framework/MessageBox.h"
#include "framework/testing/ModalDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>
#include <QMenuBar>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

// The program's main window, shown, with a floating window that holds a check box.
struct TProgramWindows {
    TProgramWindows() {
        Main.setMenuBar(new QMenuBar);
        Main.menuBar()->addMenu("Файл");
        Main.setCentralWidget(new QWidget);
        Main.resize(900, 700);
        Main.show();
        Box->resize(80, 24);
        Floating.resize(120, 40);
        Floating.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Floating));
    }

    QMainWindow Main;
    QWidget Floating{&Main, FloatingWindow};
    QCheckBox* Box = new QCheckBox("АРУ", &Floating);
};

// Whether the window system is offered to minimise or maximise Window: by its flags, and where the window
// manager looks only at the window's kind (openbox), by its announcement as a toolbar.
bool Minimisable(const QWidget& Window) {
    return Window.windowHandle()->flags() & Qt::WindowMinimizeButtonHint ||
           !Window.testAttribute(Qt::WA_X11NetWmWindowTypeToolBar);
}
bool Maximisable(const QWidget& Window) {
    return Window.windowHandle()->flags() & Qt::WindowMaximizeButtonHint;
}

} // namespace

TEST(Windows, FloatingWindowsStayAboveTheMainWindowOnlyAndEveryDialogIsOwnedAboveThemAndBlocksThem) {
    TProgramWindows program;
    EXPECT_EQ(program.Floating.windowHandle()->transientParent(), program.Main.windowHandle());
    EXPECT_FALSE(program.Floating.windowFlags() & Qt::WindowStaysOnTopHint);
    // Without a dialog the floating window takes clicks, and nothing owns a dialog but the main window.
    ClickThroughWindow(program.Box);
    EXPECT_TRUE(program.Box->isChecked());
    EXPECT_EQ(DialogOwner(), &program.Main);

    const TMessageBoxHandler previous = SetMessageBoxHandler({});
    const std::pair<const char*, std::function<void()>> openers[] = {
        {"message box", [] { MessageBox("Текст", "Предупреждение", mtWarning, mbOK); }},
        {"open dialog", [] { TOpenDialog().Execute(); }},
        {"save dialog", [] { TSaveDialog().Execute(); }},
    };
    for (const auto& [name, open] : openers)
        WhileDialogRuns(open, [&, name = name](QWidget* modal) {
            ASSERT_NE(modal, nullptr) << name;
            EXPECT_EQ(modal->parentWidget(), &program.Main) << name;
            EXPECT_EQ(modal->windowHandle()->transientParent(), program.Main.windowHandle()) << name;
            EXPECT_FALSE(modal->windowFlags() & Qt::WindowStaysOnTopHint) << name;
            EXPECT_FALSE(Minimisable(*modal) || Maximisable(*modal)) << name;
            // However short its text, a box is as wide as the window manager needs to show its whole title.
            EXPECT_GE(modal->width(), TitleBarWidth(*modal)) << name;
            // A box asked from inside a dialog belongs to that dialog, above it.
            EXPECT_EQ(DialogOwner(), modal) << name;
            ClickThroughWindow(program.Box);
            EXPECT_TRUE(program.Box->isChecked()) << name;
        });
    SetMessageBoxHandler(previous);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(Windows, OnlyTheMainWindowCanBeMinimisedAndAMaximisedWindowRestored) {
    TProgramWindows program;
    EXPECT_TRUE(Minimisable(program.Main) && Maximisable(program.Main));
    EXPECT_FALSE(Minimisable(program.Floating) || Maximisable(program.Floating));
    EXPECT_TRUE(program.Floating.windowHandle()->flags() & Qt::WindowCloseButtonHint);
    const struct {
        Qt::WindowFlags Flags;
        Qt::WindowState State;
        bool Maximisable;
    } cases[] = {{Qt::Window, Qt::WindowNoState, false},
                 {Qt::Dialog | Qt::WindowMinMaxButtonsHint, Qt::WindowNoState, false},
                 {FloatingWindow | Qt::FramelessWindowHint, Qt::WindowNoState, false},
                 {FloatingWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint, Qt::WindowNoState, false},
                 {Qt::Dialog, Qt::WindowMaximized, true}};
    for (const auto& test : cases) {
        QWidget window(&program.Main, test.Flags);
        window.setWindowState(test.State);
        window.show();
        // A maximised window stays what it is, which openbox lets minimise.
        EXPECT_EQ(Minimisable(window), test.Maximisable) << test.Flags;
        EXPECT_EQ(Maximisable(window), test.Maximisable) << test.Flags;
        // Only those buttons went: a frameless window stays frameless, a title alone gets no close button.
        EXPECT_EQ(window.windowHandle()->flags() & Qt::FramelessWindowHint,
                  test.Flags & Qt::FramelessWindowHint);
        EXPECT_EQ(bool(window.windowHandle()->flags() & Qt::WindowCloseButtonHint),
                  !(test.Flags & Qt::CustomizeWindowHint));
    }
}

TEST(Windows, AFloatingWindowOpensAtTheCornerOfItsAreaThatLeavesTheUsersWindowFreeUnlessPlacedBefore) {
    TProgramWindows program;
    QWidget* area = program.Main.centralWidget();
    const QRect client = ScreenRect(*area);
    const QRect menu = ScreenRect(*program.Main.menuBar());
    ASSERT_GT(client.width(), 700);
    ASSERT_GT(client.height(), 500);
    const QPoint topLeft = client.topLeft();
    const QPoint topRight = client.topRight();
    const QPoint bottomLeft = client.bottomLeft();
    const QRect small({0, 0}, QSize(200, 150));
    const struct {
        QSize Size;
        QRect Spare;
        QPoint Corner; // the corner of the area the window's frame shares
    } cases[] = {
        {{300, 200}, {}, topRight},
        // Wider than the area: its left edge stays inside.
        {{client.width() + 50, 200}, {}, topLeft},
        {{300, 200}, small.translated(topRight - small.topRight()), topLeft},
        {{300, 200}, QRect(topLeft, QSize(client.width(), 150)), client.bottomRight()},
        // Least covered at the bottom left.
        {{300, 200},
         QRect(client.topLeft() + QPoint(100, 0), client.bottomRight() - QPoint(0, 50)),
         bottomLeft},
    };
    for (const auto& c : cases) {
        QWidget window(&program.Main, FloatingWindow);
        window.resize(c.Size);
        PlaceInside(window, *area, c.Spare);
        window.show();
        const QRect frame = window.frameGeometry();
        EXPECT_TRUE(frame.topLeft() == c.Corner || frame.topRight() == c.Corner ||
                    frame.bottomLeft() == c.Corner || frame.bottomRight() == c.Corner)
            << c.Size.width() << " " << c.Corner.x() << "," << c.Corner.y();
        if (c.Size.width() < client.width()) {
            EXPECT_TRUE(client.contains(frame)) << c.Corner.x() << "," << c.Corner.y();
        }
        EXPECT_GT(frame.top(), menu.bottom());
    }
    QWidget placed(&program.Main, FloatingWindow);
    placed.move(10, 20);
    PlaceInside(placed, *area);
    EXPECT_EQ(placed.pos(), QPoint(10, 20));
}
