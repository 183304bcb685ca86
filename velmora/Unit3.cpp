// The query window: its controls, the coupling of the hours, and running the query.
#include "velmora/Unit3.h"

#include "framework/Controls.h"
#include "framework/ErrorBox.h"
#include "framework/TimeStamp.h"
#include "ui_Unit3.h"

#include <QDate>
#include <QLineEdit>

TForm3::TForm3(const QString& ProgramFolder, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TForm3>()), ProgramFolder(ProgramFolder) {
    ui->setupUi(this);
    setWindowState(Qt::WindowMaximized);
    RadioGroup1.addButton(ui->RadioButton0, 0);
    RadioGroup1.addButton(ui->RadioButton1, 1);
    RadioGroup1.addButton(ui->RadioButton2, 2);
    for (QDateEdit* edit : {ui->DateEdit1, ui->DateEdit2}) {
        edit->setDate(QDate::currentDate());
        if (auto* text = edit->findChild<QLineEdit*>())
            text->installEventFilter(this);
    }
    for (QSpinBox* edit : {ui->RxSpinEdit1, ui->RxSpinEdit2, ui->RxSpinEdit3, ui->RxSpinEdit4}) {
        edit->installEventFilter(this);
        // A typed value out of range goes to the nearest allowed one.
        edit->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    }
    BinaryDataSet1.SetReadOnly(true);
    BinaryDataSet1.SetFiltered(true);
    BinaryDataSet1.OnFilterRecord = [this](TDataSet* DataSet, bool& Accept) {
        Accept = Filter.Accept(*DataSet);
    };
    BinaryDataSet1.BeforeOpen = [this](TDataSet*) { Filter.Unbind(); };
    ui->RxDBGrid1->SetDataModel(&GridModel);

    connect(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(&RadioGroup1, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    for (QToolButton* button : {ui->SpeedButton1, ui->SpeedButton2, ui->SpeedButton4, ui->SpeedButton5})
        connect(button, &QToolButton::toggled, this, [this] { SpeedButtonClick(); });
    connect(ui->RxSpinEdit1, &QSpinBox::valueChanged, this, [this] { RxSpinEdit1Change(); });
    connect(ui->RxSpinEdit3, &QSpinBox::valueChanged, this, [this] { RxSpinEdit3Change(); });
    FormCreate();
}

TForm3::~TForm3() {
    ReleaseForm(*this);
}

void TForm3::FormCreate() {
    BinaryDataSet1.SetTableName(ProgramFolder + TableFileName);
}

void TForm3::done(int result) {
    // FormClose: every way of closing the window ends here (its close button and Escape included).
    BinaryDataSet1.Close();
    QDialog::done(result);
}

TRecordQuery TForm3::CaptureQuery() const {
    TRecordQuery query;
    query.Field = std::max(0, RadioGroup1.checkedId());
    query.CaseSensitive = ui->CheckBox1->isChecked();
    query.QueryText = ui->Edit1->text().trimmed();
    query.DateFrom = DateToDayNumber(ui->DateEdit1->date());
    query.DateFromOn = ui->SpeedButton1->isChecked();
    query.DateTo = DateToDayNumber(ui->DateEdit2->date());
    query.DateToOn = ui->SpeedButton2->isChecked();
    const auto minuteOf = [](const QSpinBox* hour, const QSpinBox* minute) {
        return TimeToMSecs(QTime(hour->value(), minute->value()));
    };
    query.TimeFrom = minuteOf(ui->RxSpinEdit1, ui->RxSpinEdit2);
    query.TimeFromOn = ui->SpeedButton4->isChecked();
    query.TimeTo = minuteOf(ui->RxSpinEdit3, ui->RxSpinEdit4);
    query.TimeToOn = ui->SpeedButton5->isChecked();
    return query;
}

void TForm3::Button1Click() {
    try {
        if (BinaryDataSet1.Active())
            BinaryDataSet1.Close();
        // The query is taken once, here: the filter never reads the controls, so what the grid shows
        // changes only with the next "Выполнить".
        Filter.Query = CaptureQuery();
        BinaryDataSet1.Open();
    } catch (...) {
        BinaryDataSet1.Close();
        ShowError(QStringLiteral("Ошибка при выполнении запроса"), false);
    }
}

void TForm3::RadioGroup1Click() {
    ui->Edit1->setEnabled(true);
}

void TForm3::SpeedButtonClick() {
    ui->DateEdit1->setEnabled(ui->SpeedButton1->isChecked());
    ui->DateEdit2->setEnabled(ui->SpeedButton2->isChecked());
    for (QSpinBox* edit : {ui->RxSpinEdit1, ui->RxSpinEdit2})
        edit->setEnabled(ui->SpeedButton4->isChecked());
    for (QSpinBox* edit : {ui->RxSpinEdit3, ui->RxSpinEdit4})
        edit->setEnabled(ui->SpeedButton5->isChecked());
}

void TForm3::RxSpinEdit1Change() {
    // Raising the minimum raises a lower upper hour with it.
    ui->RxSpinEdit3->setMinimum(ui->RxSpinEdit1->value());
}

void TForm3::RxSpinEdit3Change() {
    ui->RxSpinEdit1->setMaximum(ui->RxSpinEdit3->value());
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    // A click into a date puts the caret into one of its parts; that part is selected, so that the digits
    // typed next replace it, as they would in a date edit of the system. A drag keeps what it selected.
    if (event->type() == QEvent::MouseButtonRelease)
        if (auto* text = qobject_cast<QLineEdit*>(watched); text && !text->hasSelectedText())
            if (auto* edit = qobject_cast<QDateEdit*>(text->parentWidget()))
                edit->setSelectedSection(edit->currentSection());
    // RxSpinEdit1Exit, for all four spin edits: an emptied one counts as 0 when left, also the upper hour
    // above a lower bound, which then comes down with it.
    if (event->type() == QEvent::FocusOut)
        if (auto* edit = qobject_cast<QSpinBox*>(watched); edit && edit->cleanText().trimmed().isEmpty()) {
            edit->setMinimum(0);
            edit->setValue(0);
        }
    return QDialog::eventFilter(watched, event);
}
