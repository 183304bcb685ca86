// The probe properties dialog: the probe's texts, stored on OK after the name is checked within its
// infection.
#include "Prop.h"

#include "EntrP.h"
#include "Main.h"
#include "PicForm.h"
#include "framework/ErrorBox.h"
#include "framework/MessageBox.h"

TPropForm::TPropForm(TProbe& Probe, TForm1& MainForm, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      Probe(Probe), MainForm(MainForm) {
    setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    connect(Button3, &QPushButton::clicked, this, [this] { CallGuarded([this] { Button3Click(); }); });
    connect(Button2, &QPushButton::clicked, this, &TPropForm::Button2Click);
    FormCreate();
    Edit1->setFocus();
}

void TPropForm::FormCreate() {
    setWindowTitle("Свойства: " + Probe.Name);
    Edit1->setText(Probe.Name);
    ComboBox1->setEditText(Probe.Supplier);
    Edit3->setText(Probe.Patient);
    Edit4->setText(Probe.Note);
    Edit2->setText(Probe.Reaction);
}

void TPropForm::Button3Click() {
    const QString name = Edit1->text().trimmed();
    if (name != Probe.Name) {
        if (Probe.Infection->IndexOfProbe(name) != -1) {
            MessageBox(DuplicateProbeNameText, "Предупреждение", mtWarning);
            return;
        }
        Probe.SetName(name);
    }
    Probe.SetSupplier(ComboBox1->currentText().trimmed());
    Probe.SetPatient(Edit3->text().trimmed());
    Probe.SetNote(Edit4->text().trimmed());
    Probe.SetReaction(Edit2->text().trimmed());
    // The probe the dialog changed, which need not be the selected one.
    MainForm.ShowProbeProperties(Probe.Node);
    accept();
}

void TPropForm::Button2Click() {
    reject();
}
