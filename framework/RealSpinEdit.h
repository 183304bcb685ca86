// TRealSpinEdit: the spin edit of real values. It shows its value with a decimal point whatever the user's
// locale, and takes a comma typed as the decimal separator, as a Russian keyboard gives it, for that point.
#pragma once

#include <QDoubleSpinBox>

class TRealSpinEdit : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit TRealSpinEdit(QWidget* Parent = nullptr);

    // A comma becomes the point in the text itself, so the field never shows a separator it does not read;
    // without this the comma would pass for a group separator and be dropped ("30,5" read as 305).
    QValidator::State validate(QString& Input, int& Position) const override;
};
