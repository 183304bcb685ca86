// The rotate dialog: the angle rule, the preview from the untouched copy, and the two ways out.
#include "PRotate.h"

#include "PicForm.h"
#include "framework/ErrorBox.h"
#include "image-library/PGraphic.h"

#include <QLineEdit>

TRotateForm::TRotateForm(TPictForm& Window, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      Window(Window) {
    setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    connect(Button1, &QPushButton::clicked, this, [this] { CallGuarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { CallGuarded([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { CallGuarded([this] { Button3Click(); }); });
    // The editor itself: the spin box reports only texts it accepts, and an empty one is not.
    connect(RxSpinEdit1->findChild<QLineEdit*>(), &QLineEdit::textChanged, this,
            &TRotateForm::RxSpinEdit1Change);
    RxSpinEdit1->setFocus();
    FormCreate();
}

TRotateForm::~TRotateForm() = default;

void TRotateForm::FormCreate() {
    // A measurement's outline is drawing over the picture, not part of it: the clean picture the window
    // keeps is the one turned. The window itself is left as it is until OK, and "Отмена" gives back the
    // picture as it was shown, outline and all.
    if (Window.Measured && Window.KeptGraphic) {
        Unrotated = std::make_unique<TPixelGraphic>();
        Unrotated->Assign(Window.KeptGraphic.get());
        Outlined = Window.PGImage1->GetPixelGraphicCopy();
    } else {
        Unrotated = Window.PGImage1->GetPixelGraphicCopy();
    }
}

long double TRotateForm::Angle() const {
    long double angle = 0;
    if (RadioButton2->isChecked())
        angle = 90;
    else if (RadioButton3->isChecked())
        angle = 180;
    else if (RadioButton1->isChecked())
        angle = RxSpinEdit1->value();
    return RadioButton4->isChecked() ? -angle : angle;
}

void TRotateForm::Button3Click() {
    TPixelGraphic* picture = Window.PGImage1->GetPixelGraphic();
    if (!Unrotated || !picture)
        return;
    picture->SetInterpolate(0);
    picture->Rotate(true, *Unrotated, Angle());
}

void TRotateForm::Button1Click() {
    if (!Unrotated)
        return;
    TPixelGraphic* picture = Window.PGImage1->GetPixelGraphic();
    if (!picture)
        return;
    picture->SetInterpolate(1);
    picture->Rotate(true, *Unrotated, Angle());
    // Handed over only once the turn succeeded: after a failed one "Отмена" still brings the picture back.
    Window.KeptGraphic = std::move(Unrotated);
    Window.Modified = true;
    Window.Measured = false;
    accept();
}

void TRotateForm::Button2Click() {
    reject();
}

void TRotateForm::reject() {
    // Whatever the preview left, the viewer gets the picture from before the dialog back.
    if (Unrotated)
        Window.PGImage1->SetPixelGraphic(Outlined ? std::move(Outlined) : std::move(Unrotated));
    QDialog::reject();
}

void TRotateForm::RxSpinEdit1Change(const QString& Text) {
    // The zero is selected, so the angle typed next replaces it instead of being written in front of it.
    if (Text.isEmpty()) {
        RxSpinEdit1->setValue(0);
        RxSpinEdit1->selectAll();
    }
}
