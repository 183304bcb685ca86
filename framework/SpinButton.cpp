// The spin button: the arrows stacked, each half of the control's height.
#include "framework/SpinButton.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* MakeArrow(QWidget* Parent, Qt::ArrowType Arrow, const QString& Name) {
    auto* button = new QToolButton(Parent);
    button->setObjectName(Name);
    button->setArrowType(Arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    return button;
}

} // namespace

TSpinButton::TSpinButton(QWidget* Parent)
    : QWidget(Parent), Up(MakeArrow(this, Qt::UpArrow, "UpButton")),
      Down(MakeArrow(this, Qt::DownArrow, "DownButton")) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Up);
    layout->addWidget(Down);
    connect(Up, &QToolButton::clicked, this, &TSpinButton::UpClick);
    connect(Down, &QToolButton::clicked, this, &TSpinButton::DownClick);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    setFixedWidth(18);
}
