// TPropForm: the probe properties dialog, where a probe's name and texts are changed.
#pragma once

#include "ui_Prop.h"

#include <QDialog>

class TForm1;
class TProbe;

class TPropForm : public QDialog, public Ui::TPropForm {
    Q_OBJECT
public:
    TPropForm(TProbe& Probe, TForm1& MainForm, QWidget* Parent = nullptr);

    // OK stores the fields and closes, unless the new name is taken in the probe's infection: then the
    // dialog stays open with nothing stored. "Отмена" closes and stores nothing.
    void Button3Click();
    void Button2Click();

private:
    void FormCreate();

    TProbe& Probe;
    TForm1& MainForm;
};
