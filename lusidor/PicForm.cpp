// The picture window's form and the viewer settings every picture window shares.
#include "PicForm.h"

#include "image-library/PGraphic.h"

TPictForm::TPictForm(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    PGImage1->SetBorderStyle(bsNone);
    PGImage1->SetActionMode(amMoveResizeCreateSelection);
    PGImage1->SetAllow24BitStretch(true);
    PGImage1->SetDither(false);
    PGImage1->SetPalette8BitSys24BitGraphic(pGray256);
    PGImage1->SetPalette8BitSys8BitGraphic(pGray256);
    PGImage1->SetStretch(sZoomKAR);
    PGImage1->setProperty("ReduceOnLoad", true);
    PGImage1->setProperty("ProgressClockVisible", false);
    PGImage1->setProperty("ShowHourGlass", false);
    PGImage1->SetSelectionColor2(0x000000);
}

TPictForm::~TPictForm() = default;
