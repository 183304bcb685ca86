// Qt translates its standard texts itself; the programs only hand it the Russian catalogue.
#include "framework/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

QTranslator* InstallQtTranslation(const QString& Folder) {
    const QString folder = Folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : Folder;
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_ru"), folder) ||
        !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator.release();
}

void UseRussianLocale() {
    qputenv("LC_ALL", "ru_RU.UTF-8");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}
