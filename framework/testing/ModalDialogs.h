// A test's view of a dialog while it runs: the modal dialog seen from inside its loop, and clicks that
// reach a window as the window system's would, so that Qt drops those a modal dialog blocks.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

// A left click on Control's centre, delivered through its window.
inline void ClickThroughWindow(QWidget* Control) {
    QTest::mouseClick(Control->window()->windowHandle(), Qt::LeftButton, {},
                      Control->mapTo(Control->window(), Control->rect().center()));
}

// Runs Open, which shows a dialog and waits for it. From inside the dialog's loop, Inspect gets the modal
// dialog, or null when the dialog is not modal; then the dialog is closed, modal or not, so that Open
// returns.
inline void WhileDialogRuns(const std::function<void()>& Open, const std::function<void(QWidget*)>& Inspect) {
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        Inspect(modal);
        if (modal) {
            modal->close();
            return;
        }
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(window);
                dialog && dialog->isVisible() && dialog->windowType() == Qt::Dialog)
                dialog->reject();
    });
    Open();
}
