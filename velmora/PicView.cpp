// The picture window: a tool window around a viewer set for records' pictures.
#include "velmora/PicView.h"

#include "framework/Controls.h"
#include "image-library/widgets/PGImage.h"
#include "ui_PicView.h"

#include <QWindow>

TForm4::TForm4(QWidget* Owner) : QWidget(Owner, FloatingWindow), ui(std::make_unique<Ui::TForm4>()) {
    ui->setupUi(this);
    TPGImage& viewer = *ui->PGImage1;
    viewer.SetBorderStyle(bsNone);
    viewer.SetAutoScroll(false);
    viewer.SetActionMode(amNone);
    viewer.SetAllow24BitStretch(true);
    viewer.SetPalette8BitSys24BitGraphic(pGray256);
    viewer.SetPalette8BitSys8BitGraphic(pGray256);
    viewer.SetStretch(sAlwaysKAR);
    viewer.setProperty("ProgressClockVisible", false);
}

TForm4::~TForm4() {
    ReleaseForm(*this);
}

TPGImage* TForm4::PGImage1() const {
    return ui->PGImage1;
}

bool TForm4::event(QEvent* Event) {
    const bool result = QWidget::event(Event);
    // The caption stays empty until a picture loads, but Qt hands the desktop the program's name for a
    // window without a title: the desktop gets a blank one instead.
    if ((Event->type() == QEvent::Show || Event->type() == QEvent::WindowTitleChange) &&
        windowTitle().isEmpty() && windowHandle())
        windowHandle()->setTitle(QStringLiteral(" "));
    return result;
}
