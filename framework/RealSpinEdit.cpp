// The real spin edit: a decimal point shown, a point or a comma taken.
#include "framework/RealSpinEdit.h"

#include <QLocale>

TRealSpinEdit::TRealSpinEdit(QWidget* Parent) : QDoubleSpinBox(Parent) {
    setLocale(QLocale::c());
}

QValidator::State TRealSpinEdit::validate(QString& Input, int& Position) const {
    Input.replace(u',', u'.');
    return QDoubleSpinBox::validate(Input, Position);
}
