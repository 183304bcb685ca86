// Qt's own texts (standard buttons, the file, print and message dialogs) and its locale-dependent texts
// (month and day names, file sizes and dates) in the programs' Russian.
#pragma once

#include <QString>

class QTranslator;

// Loads Qt's Russian translation "qtbase_ru.qm" from Folder (by default Qt's translations folder) and
// installs it for the whole application, which owns it. Returns the installed translator, or nullptr when
// the file is missing or unreadable: the standard dialogs then stay in English, which is no error.
QTranslator* InstallQtTranslation(const QString& Folder = QString());

// Makes Russian the locale of Qt's texts whatever the user's environment: the default locale, which the
// widgets' month and day names follow, and the system locale, which the file dialogs' sizes and dates follow
// and which Qt reads from the environment once. Call it before the application is made. Numbers whose
// format the programs fix are not written through a locale.
void UseRussianLocale();
