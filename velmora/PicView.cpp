// The picture window: a tool window around a viewer set for records' pictures.
#include "velmora/PicView.h"

#include "framework/Controls.h"
#include "image-library/widgets/PGImage.h"
#include "ui_PicView.h"

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
