// GoogleTest main for tests that may touch Qt: the application exists, on the offscreen platform and in the
// programs' Russian locale, and the image library is started before any test runs; a message box that no
// test asked for fails the test instead of blocking.
#include "framework/MessageBox.h"
#include "framework/QtTranslation.h"
#include "image-library/PGraphicInit.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The programs' locale, so that what they show in Russian and the numbers they keep in their own format
    // are checked as the user sees them.
    UseRussianLocale();
    QApplication app(argc, argv);
    const TPGraphicScope library;
    ::testing::InitGoogleTest(&argc, argv);
    SetMessageBoxHandler([](const TMessageBoxRequest& r) {
        ADD_FAILURE() << "unexpected message box \"" << r.Caption.toStdString()
                      << "\": " << r.Text.toStdString();
        return CautiousAnswer(r.Buttons);
    });
    return RUN_ALL_TESTS();
}
