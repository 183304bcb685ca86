// The entry form: typing limits, the threshold box, the refusal to close and the addition of a probe.
#include "EntrP.h"

#include "Main.h"
#include "framework/MessageBox.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QValidator>

const QString DuplicateProbeNameText = "Такое имя пробы уже есть. Введите другое имя пробы";

namespace {

// A length limit on what the user types. QLineEdit's maxLength would also cut the texts the program sets,
// such as a sum of seven digits or names filled from the navigator; a longer text may still be shortened.
class TTypingLimit : public QValidator {
public:
    TTypingLimit(QLineEdit* Edit, int MaxLength)
        : QValidator(Edit), MaxLength(MaxLength), Previous(Edit->text().size()) {
        connect(Edit, &QLineEdit::textChanged, this, [this](const QString& Text) { Previous = Text.size(); });
    }
    State validate(QString& Input, int&) const override {
        return Input.size() <= MaxLength || Input.size() < Previous ? Acceptable : Invalid;
    }

private:
    const qsizetype MaxLength;
    qsizetype Previous;
};

void LimitTyping(QLineEdit* Edit, int MaxLength) {
    Edit->setValidator(new TTypingLimit(Edit, MaxLength));
}

} // namespace

TForm2::TForm2(TForm1& Main, QWidget* parent) : QDialog(parent), Main(Main) {
    setupUi(this);
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(401, 82);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    LimitTyping(ProbaEdit, 4);
    LimitTyping(InfectBox->lineEdit(), 10);
    LimitTyping(PostavBox->lineEdit(), 8);
    LimitTyping(BolnEdit, 20);
    // Typing is off, the arrows stay: QAbstractSpinBox::setReadOnly would stop both.
    SpinEdit1->findChild<QLineEdit*>()->setReadOnly(true);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TForm2::SpinEdit1Change);
    FormCreate();
}

void TForm2::FormCreate() {
    Button1->setFixedHeight(PrimEdit->sizeHint().height());
    ShowThreshold(Main.Measurement.Threshold);
}

void TForm2::FormActivate() {
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
