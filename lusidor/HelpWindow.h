// The program's help: one HTML page per topic in the help folder beside the program, shown in a single
// reused window. The showing goes through a replaceable handler so that tests can hear which topic was asked.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <functional>

// The window that shows the pages; a child of the main window so that it goes with it.
class THelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* Owner);
};

// Owner is the main window, Folder the help folder (with its trailing "/"), Topic the page's name.
using THelpHandler = std::function<void(QWidget* Owner, const QString& Folder, const QString& Topic)>;

// Installs Handler (an empty one restores the default) and returns the one it replaces.
THelpHandler SetHelpHandler(THelpHandler Handler);
void ShowHelp(QWidget* Owner, const QString& Folder, const QString& Topic);

// The default: Folder + Topic + ".html" in Owner's help window, created at the first call and reused; a
// missing page gives the error box that names it.
void ShowHelpPage(QWidget* Owner, const QString& Folder, const QString& Topic);
