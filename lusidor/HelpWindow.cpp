// The help window and the seam through which the main window asks for a topic.
#include "HelpWindow.h"

#include "framework/Controls.h"
#include "framework/ErrorBox.h"

#include <QFileInfo>
#include <QMainWindow>
#include <QUrl>

namespace {

THelpHandler& Handler() {
    static THelpHandler handler;
    return handler;
}

} // namespace

THelpWindow::THelpWindow(QWidget* Owner) : QTextBrowser(Owner) {
    setWindowFlag(Qt::Window);
    setWindowTitle("Справка Lusidor");
    setOpenLinks(true);
    resize(560, 420);
}

THelpHandler SetHelpHandler(THelpHandler NewHandler) {
    return std::exchange(Handler(), std::move(NewHandler));
}

void ShowHelp(QWidget* Owner, const QString& Folder, const QString& Topic) {
    if (Handler())
        Handler()(Owner, Folder, Topic);
    else
        ShowHelpPage(Owner, Folder, Topic);
}

void ShowHelpPage(QWidget* Owner, const QString& Folder, const QString& Topic) {
    const QString page = Folder + Topic + ".html";
    if (!QFileInfo(page).isFile()) {
        ShowError("Файл справки \"" + page + "\" не найден.", false);
        return;
    }
    auto* window = Owner->findChild<THelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new THelpWindow(Owner);
        // Inside the main window's client area, clear of the menu the user came from.
        if (const auto* main = qobject_cast<const QMainWindow*>(Owner); main && main->centralWidget())
            PlaceInside(*window, *main->centralWidget());
    }
    window->setSearchPaths({Folder});
    window->setSource(QUrl::fromLocalFile(page));
    window->show();
    window->raise();
    window->activateWindow();
}
