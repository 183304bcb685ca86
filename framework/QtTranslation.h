// Qt's own texts (standard buttons, the file, print and message dialogs) in the programs' Russian.
#pragma once

#include <QString>

class QTranslator;

// Loads Qt's Russian translation "qtbase_ru.qm" from Folder (by default Qt's translations folder) and
// installs it for the whole application, which owns it. Returns the installed translator, or nullptr when
// the file is missing or unreadable: the standard dialogs then stay in English, which is no error.
QTranslator* InstallQtTranslation(const QString& Folder = QString());
