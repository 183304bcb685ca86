// The records viewer's start-up: the application with Qt's Russian texts, the image library, then the forms
// in their order.
#include "framework/ErrorBox.h"
#include "framework/QtTranslation.h"
#include "image-library/PGraphicInit.h"
#include "velmora/PicView.h"
#include "velmora/Unit2.h"
#include "velmora/Unit3.h"

#include <QApplication>

int main(int argc, char** argv) {
    UseRussianLocale();
    QApplication application(argc, argv);
    InstallQtTranslation();
    const TPGraphicScope library;
    const QString programFolder = QCoreApplication::applicationDirPath() + u'/';
    TForm1 form1(programFolder);
    TForm3 form3(programFolder); // stays hidden: every query makes a window of its own
    form1.Form4 = new TForm4(&form1);
    // A table that could not be opened was reported, and the program ends before its loop.
    if (StartupFailed())
        return 1;
    form1.show();
    return application.exec();
}
