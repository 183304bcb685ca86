// The splash and about window: it shows the stored picture and closes at a click on it.
#include "ImageM.h"

#include "Main.h"
#include "framework/Controls.h"
#include "framework/Exception.h"
#include "framework/SystemColors.h"
#include "image-library/PGraphic.h"

#include <QCloseEvent>
#include <QFile>

// Resources of a static library are registered only on request; this must stand outside any namespace.
static void RegisterSplashResource() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(splash);
        return true;
    }();
    (void)registered;
}

TForm3::TForm3(QWidget* Owner, const QString& Picture) : QWidget(Owner, SplashWindow) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    PGImage1->SetBorderStyle(bsNone);
    PGImage1->SetPicBoxColor(clBtnFace);
    PGImage1->SetUseThread(false);
    PGImage1->setProperty("ReduceOnLoad", true);
    PGImage1->setProperty("ProgressClockVisible", false);
    PGImage1->OnNewAutoSize = [this](TObject*, int width, int height) { PGImage1NewAutoSize(width, height); };
    PGImage1->SetAutoSize(true);
    PGImage1->SetPicBoxOnMouseDown([this](TObject*, TMouseButton, TShiftState, int, int) { close(); });
    resize(404, 266);
    FormCreate(Picture);
    CenterOnScreen(*this);
    show();
}

void TForm3::FormCreate(const QString& Picture) {
    RegisterSplashResource();
    QFile stream(Picture);
    if (!stream.open(QIODevice::ReadOnly))
        return;
    auto picture = std::make_unique<TPixelGraphic>();
    // Nobody is asked about a damaged picture at start-up: any fault leaves the window empty.
    picture->SetReadWarningAction(pgwaRaise);
    try {
        picture->LoadFromStream(stream);
    } catch (const Exception&) {
        // Start-up goes on with an empty splash rather than stopping at a damaged picture.
        return;
    }
    PGImage1->SetPixelGraphic(std::move(picture));
}

void TForm3::PGImage1NewAutoSize(int PGImageWidth, int PGImageHeight) {
    // The frame's bevel takes two pixels on every side.
    resize(PGImageWidth + 4, PGImageHeight + 4);
}

void TForm3::closeEvent(QCloseEvent* Event) {
    FormClose();
    QWidget::closeEvent(Event);
}

void TForm3::FormClose() {
    if (!MainForm)
        return;
    // Two about windows may be open; the main window remembers only the last one.
    if (MainForm->SplashWindow == this)
        MainForm->SplashWindow = nullptr;
    MainForm->SplashClosed();
}
