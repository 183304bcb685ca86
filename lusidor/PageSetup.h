// TPageSetupForm: the page settings of the print command: paper, orientation and margins. It works on any
// printer Qt can print to, PDF output included, where the platform's own page dialog may refuse to open.
#pragma once

#include "framework/RealSpinEdit.h"

#include <QDialog>
#include <QPageLayout>

class QComboBox;
class QPrinter;
class QPushButton;
class QRadioButton;

class TPageSetupForm : public QDialog {
    Q_OBJECT
public:
    // Shows Printer's page layout; OK gives Printer the one set here, "Отмена" leaves it as it was.
    explicit TPageSetupForm(QPrinter& Printer, QWidget* Parent = nullptr);

    // The layout the controls describe.
    QPageLayout Layout() const;

    QComboBox* ComboBox1;       // the paper
    QRadioButton* RadioButton1; // portrait
    QRadioButton* RadioButton2; // landscape
    // The margins in millimetres: left, top, right, bottom.
    TRealSpinEdit* SpinEdit1;
    TRealSpinEdit* SpinEdit2;
    TRealSpinEdit* SpinEdit3;
    TRealSpinEdit* SpinEdit4;
    QPushButton* Button1; // OK
    QPushButton* Button2; // "Отмена"

private:
    void Button1Click();

    QPrinter& Printer;
};
