// The acquisition program's start: the application with Qt's Russian texts, the image library, the
// program's texts, then its forms in their fixed order, the main window first.
#include "EntrP.h"
#include "ExportUnit.h"
#include "ImageM.h"
#include "Main.h"

#include "framework/ErrorBox.h"
#include "framework/QtTranslation.h"
#include "image-library/PGraphicInit.h"
#include "vs_options.h"

#include <QApplication>

int ProgramMain(int argc, char** argv) {
    UseRussianLocale();
    QApplication application(argc, argv);
    InstallQtTranslation();
    TPGraphicScope library;
    MainUnitStart();

    // The splash belongs to the program rather than to the main window, which is made after it.
    QWidget splashOwner;
    const QPointer<TForm3> splash = new TForm3(&splashOwner);
    splash->repaint();

    TForm1 form1(QCoreApplication::applicationDirPath() + "/");
    if (StartupFailed())
        return 1;
    if (splash) {
        splash->MainForm = &form1;
        form1.SplashWindow = splash.data();
    }
    TForm2 form2(form1);
    form1.EntryForm = &form2;
    TVs_optionsFrame vs_optionsFrame(&form1);
    TFormExport formExport(form1);
    form1.showMaximized();
    return application.exec();
}

int main(int argc, char** argv) {
    return ProgramMain(argc, argv);
}
