// The entry form: typing limits, the threshold box, the refusal to close and the addition of a probe.
#include "EntrP.h"

#include "Main.h"
#include "PicForm.h"
#include "framework/Controls.h"
#include "framework/ErrorBox.h"
#include "framework/MessageBox.h"
#include "framework/TimeStamp.h"

#include <QCloseEvent>
#include <QScopeGuard>
#include <QValidator>

const QString DuplicateProbeNameText = "Такое имя пробы уже есть. Введите другое имя пробы";

namespace {

// A length limit on what the user types. QLineEdit's maxLength would also cut the texts the program sets,
// such as a sum of seven digits or names filled from the navigator; such a longer text may still be
// shortened.
class TTypingLimit : public QValidator {
public:
    TTypingLimit(QLineEdit* Edit, int MaxLength)
        : QValidator(Edit), Edit(Edit), MaxLength(MaxLength), Previous(Edit->text().size()) {
        connect(Edit, &QLineEdit::textChanged, this, [this](const QString& Text) { Previous = Text.size(); });
    }
    State validate(QString& Input, int&) const override {
        // A text set by the program leaves the edit unmodified while it is checked.
        if (!Edit->isModified() || Input.size() <= MaxLength || Input.size() < Previous)
            return Acceptable;
        return Invalid;
    }

private:
    const QLineEdit* Edit;
    const qsizetype MaxLength;
    qsizetype Previous;
};

void LimitTyping(QLineEdit* Edit, int MaxLength) {
    Edit->setValidator(new TTypingLimit(Edit, MaxLength));
}

} // namespace

TForm2::TForm2(TForm1& Main) : QDialog(&Main), Main(Main) {
    setupUi(this);
    setWindowFlags(FloatingWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(401, 82);
    CenterOnScreen(*this);
    LimitTyping(ProbaEdit, 4);
    LimitTyping(InfectBox->lineEdit(), 10);
    LimitTyping(PostavBox->lineEdit(), 8);
    LimitTyping(BolnEdit, 20);
    // Typing is off, the arrows stay: QAbstractSpinBox::setReadOnly would stop both.
    SpinEdit1->findChild<QLineEdit*>()->setReadOnly(true);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TForm2::SpinEdit1Change);
    connect(Button1, &QPushButton::clicked, this, [this] { CallGuarded([this] { Button1Click(); }); });
    FormCreate();
}

void TForm2::FormCreate() {
    Button1->setFixedHeight(PrimEdit->sizeHint().height());
    ShowThreshold(Main.Measurement.Threshold);
}

void TForm2::FormActivate() {
    ProbaEdit->setFocus();
}

void TForm2::TakeProbeName() {
    activateWindow();
    ProbaEdit->selectAll();
    ProbaEdit->setFocus();
}

void TForm2::changeEvent(QEvent* Event) {
    QDialog::changeEvent(Event);
    if (Event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TForm2::closeEvent(QCloseEvent* Event) {
    Event->ignore();
}

void TForm2::SpinEdit1Change(int Value) {
    Main.Measurement.Threshold = Value;
}

void TForm2::ShowThreshold(int32_t Threshold) {
    const QSignalBlocker blocker(SpinEdit1);
    SpinEdit1->setValue(Threshold);
}

void TForm2::Button1Click() {
    const QString infection = InfectBox->currentText().trimmed();
    const QString probeName = ProbaEdit->text().trimmed();
    // One reading, so that the date and the time name the same day.
    const double now = DateTimeToMSecs(Clock());
    const auto warn = [](const QString& Text) { MessageBox(Text, "Предупреждение", mtWarning); };
    // The video window and no window at all have no record to add to.
    TPictForm* form = Main.ActiveChild();
    if (!form || !form->Pict || !form->PGImage1->GetSelection())
        return warn("Выделите область");
    if (infection.isEmpty())
        return warn("Введите имя инфекции");
    if (probeName.isEmpty())
        return warn("Введите имя пробы");
    TPict& pict = *form->Pict;
    const int index = pict.IndexOfInfection(infection);
    TInfection* existing = index >= 0 ? pict.InfectionsAt(index) : nullptr;
    if (existing && existing->IndexOfProbe(probeName) != -1)
        return warn(DuplicateProbeNameText);
    // Converted before anything is created, so that a panel without a number adds nothing.
    bool isNumber = false;
    const int luminosity = Main.Panel7->text().toInt(&isNumber);
    if (!isNumber)
        return ShowError("'" + Main.Panel7->text() + "' is not a valid integer value", false);
    const TRect rect = form->PGImage1->GetSelectionRect();
    {
        Adding = true;
        const auto added = qScopeGuard([this] { Adding = false; });
        TInfection* target = existing ? existing : pict.FindOrAddInfection(infection);
        const bool standard = TProbe::IsStandardName(probeName);
        TProbe* probe = standard ? target->AddStandard(probeName) : target->FindOrAddProbe(probeName);
        probe->SetRect(rect);
        probe->SetSupplier(PostavBox->currentText());
        probe->SetPatient(BolnEdit->text());
        probe->SetNote(PrimEdit->text());
        // What "Порог" shows, also where the region grew with a 0 from the profile that the box shows as 1.
        probe->SetThreshold(uint8_t(SpinEdit1->value()));
        probe->SetLuminosity(uint8_t(luminosity));
        probe->SetDate(now);
        probe->SetTime(now);
        probe->SetValue(Main.Measurement.MeasuredValue);
        if (!standard && existing && existing->Standard)
            probe->SetReaction("?");
        Main.ShowProbeProperties(Main.TreeView1->currentItem());
    }
    OfferInfection(infection);
}

void TForm2::OfferInfection(const QString& Infection) {
    if (InfectBox->findText(Infection, Qt::MatchExactly | Qt::MatchCaseSensitive) != -1)
        return;
    if (MessageBox("Такой инфекции нет в списке. Добавить ее в список?", "Вопрос", mtConfirmation,
                   mbYes | mbNo) != mrYes)
        return;
    // The first item of an empty list would otherwise replace the text being typed.
    const QString text = InfectBox->currentText();
    InfectBox->addItem(Infection);
    InfectBox->setEditText(text);
}
