// The page settings dialog: its controls, filled from the printer's layout and handed back on OK.
#include "PageSetup.h"

#include "framework/Controls.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// Two margins of at most 50 mm leave a printable area on the smallest paper offered, A5 at 148 mm.
constexpr double MaxMarginMm = 50;

// A paper as the programs name it in Russian: its format and its size in millimetres, "A4 (210 × 297 мм)".
// Qt names papers in English ("Letter / ANSI A", "Custom (…)"), and its Russian catalogue keeps those.
QString PaperName(const QPageSize& Size) {
    const QSizeF mm = Size.size(QPageSize::Millimeter);
    const QString format = Size.id() == QPageSize::Custom ? QStringLiteral("Нестандартный")
                                                          : Size.name().section(QStringLiteral(" / "), 0, 0);
    return QStringLiteral("%1 (%2 × %3 мм)").arg(format).arg(qRound(mm.width())).arg(qRound(mm.height()));
}

} // namespace

TPageSetupForm::TPageSetupForm(QPrinter& Printer, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ComboBox1(new QComboBox), RadioButton1(new QRadioButton("Книжная")),
      RadioButton2(new QRadioButton("Альбомная")), SpinEdit1(new TRealSpinEdit), SpinEdit2(new TRealSpinEdit),
      SpinEdit3(new TRealSpinEdit), SpinEdit4(new TRealSpinEdit), Button1(new QPushButton("OK")),
      Button2(new QPushButton("Отмена")), Printer(Printer) {
    setWindowTitle("Параметры страницы");
    const QPageLayout current = Printer.pageLayout();
    for (const QPageSize::PageSizeId id :
         {QPageSize::A3, QPageSize::A4, QPageSize::A5, QPageSize::B5, QPageSize::Letter, QPageSize::Legal})
        ComboBox1->addItem(PaperName(QPageSize(id)), QVariant::fromValue(QPageSize(id)));
    int paper = -1;
    for (int i = 0; i < ComboBox1->count() && paper < 0; ++i)
        if (ComboBox1->itemData(i).value<QPageSize>().isEquivalentTo(current.pageSize()))
            paper = i;
    if (paper < 0) {
        // A paper the printer came with stays on offer.
        ComboBox1->addItem(PaperName(current.pageSize()), QVariant::fromValue(current.pageSize()));
        paper = ComboBox1->count() - 1;
    }
    ComboBox1->setCurrentIndex(paper);
    (current.orientation() == QPageLayout::Landscape ? RadioButton2 : RadioButton1)->setChecked(true);
    const QMarginsF margins = current.margins(QPageLayout::Millimeter);
    const double values[] = {margins.left(), margins.top(), margins.right(), margins.bottom()};
    TRealSpinEdit* const edits[] = {SpinEdit1, SpinEdit2, SpinEdit3, SpinEdit4};
    for (int i = 0; i < 4; ++i) {
        TRealSpinEdit* edit = edits[i];
        edit->setDecimals(1);
        edit->setRange(0, MaxMarginMm);
        edit->setValue(values[i]);
    }

    auto* paperGroup = new QGroupBox(" Бумага ");
    (new QHBoxLayout(paperGroup))->addWidget(ComboBox1);
    auto* orientationGroup = new QGroupBox(" Ориентация ");
    auto* orientation = new QHBoxLayout(orientationGroup);
    orientation->addWidget(RadioButton1);
    orientation->addWidget(RadioButton2);
    auto* marginGroup = new QGroupBox(" Поля (мм) ");
    auto* marginForm = new QFormLayout(marginGroup);
    marginForm->addRow("Левое", SpinEdit1);
    marginForm->addRow("Верхнее", SpinEdit2);
    marginForm->addRow("Правое", SpinEdit3);
    marginForm->addRow("Нижнее", SpinEdit4);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(Button1, QDialogButtonBox::AcceptRole);
    buttons->addButton(Button2, QDialogButtonBox::RejectRole);
    Button1->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(paperGroup);
    layout->addWidget(orientationGroup);
    layout->addWidget(marginGroup);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepTitleWhole(*this);
    connect(Button1, &QPushButton::clicked, this, &TPageSetupForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

QPageLayout TPageSetupForm::Layout() const {
    return QPageLayout(
        ComboBox1->currentData().value<QPageSize>(),
        RadioButton2->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(SpinEdit1->value(), SpinEdit2->value(), SpinEdit3->value(), SpinEdit4->value()),
        QPageLayout::Millimeter);
}

void TPageSetupForm::Button1Click() {
    Printer.setPageLayout(Layout());
    accept();
}
