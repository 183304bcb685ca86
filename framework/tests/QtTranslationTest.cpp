// Qt's Russian catalogue: the standard buttons read in Russian once it is installed, and a missing catalogue
// leaves them in English without complaint.
#include "framework/QtTranslation.h"

#include <QCoreApplication>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

QString ButtonText(QDialogButtonBox::StandardButton Button) {
    QDialogButtonBox box(Button);
    return box.button(Button)->text();
}

QString MessageBoxButtonText(QMessageBox::StandardButton Button) {
    QMessageBox box;
    box.setStandardButtons(Button);
    return box.button(Button)->text();
}

} // namespace

TEST(QtTranslation, InstalledCatalogueTranslatesTheStandardButtons_AMissingOneChangesNothing) {
    const QTemporaryDir empty;
    EXPECT_EQ(InstallQtTranslation(empty.path()), nullptr);
    EXPECT_EQ(ButtonText(QDialogButtonBox::Cancel), QStringLiteral("Cancel"));

    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("qtbase_ru.qm"))))
        GTEST_SKIP() << "qtbase_ru.qm is not in " << folder.toStdString()
                     << " (Debian package qt6-translations-l10n)";
    QTranslator* translator = InstallQtTranslation();
    ASSERT_NE(translator, nullptr);
    EXPECT_EQ(translator->parent(), QCoreApplication::instance());
    const struct {
        QDialogButtonBox::StandardButton Button;
        const char* Text;
    } buttons[] = {{QDialogButtonBox::Cancel, "Отмена"},
                   {QDialogButtonBox::Yes, "Да"},
                   {QDialogButtonBox::No, "Нет"},
                   {QDialogButtonBox::Open, "Открыть"},
                   {QDialogButtonBox::Save, "Сохранить"}};
    for (const auto& b : buttons)
        EXPECT_EQ(ButtonText(b.Button).remove(u'&').toStdString(), b.Text);
    EXPECT_EQ(MessageBoxButtonText(QMessageBox::No).remove(u'&').toStdString(), "Нет");
    // The other tests expect Qt's English.
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(ButtonText(QDialogButtonBox::Cancel), QStringLiteral("Cancel"));
}

TEST(QtTranslation, TheProgramsLocaleIsRussianForWidgetsAndForTheFileDialogsSystemLocale) {
    // The tests' main makes the locale as the programs' start does.
    for (const QLocale& locale : {QLocale(), QLocale::system()}) {
        EXPECT_EQ(locale.language(), QLocale::Russian);
        EXPECT_EQ(locale.standaloneMonthName(12).toStdString(), "декабрь");
        EXPECT_EQ(locale.dayName(1, QLocale::ShortFormat).toStdString(), "пн");
        EXPECT_EQ(locale.toString(QDate(2026, 12, 9), QLocale::ShortFormat).toStdString(), "09.12.2026");
        EXPECT_EQ(locale.formattedDataSize(1536).toStdString(), "1,50 KiB");
    }
}
