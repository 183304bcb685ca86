// TRotateForm: the rotate dialog. It previews the active picture turned by the chosen angle and, on OK,
// turns it for good with Undo bringing back the picture from before the dialog.
#pragma once

#include "ui_PRotate.h"

#include <QDialog>
#include <memory>

class TPictForm;
class TPixelGraphic;

class TRotateForm : public QDialog, public Ui::TRotateForm {
    Q_OBJECT
public:
    explicit TRotateForm(TPictForm& Window, QWidget* Parent = nullptr);
    ~TRotateForm() override;

    // Degrees in the sense of TPixelGraphic::Rotate, from the angle choice and the direction.
    long double Angle() const;

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void RxSpinEdit1Change(const QString& Text);

    // The picture from before the dialog, without a measurement's outline; every preview starts from it. OK
    // hands it to the window as the picture Undo returns, "Отмена" back to the viewer.
    std::unique_ptr<TPixelGraphic> Unrotated;
    // A measured picture as it was shown, outline included, which "Отмена" gives back instead.
    std::unique_ptr<TPixelGraphic> Outlined;

public slots:
    // Esc and the window's close button end the dialog as "Отмена" does.
    void reject() override;

private:
    void FormCreate();

    TPictForm& Window;
};
