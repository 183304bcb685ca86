// TSpinButton: two small arrow buttons in one control that step a value up and down; the value itself is
// shown by a control beside it.
#pragma once

#include <QWidget>

class QToolButton;

class TSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TSpinButton(QWidget* Parent = nullptr);

    QToolButton* UpButton() const { return Up; }
    QToolButton* DownButton() const { return Down; }

signals:
    void UpClick();
    void DownClick();

private:
    QToolButton* Up;
    QToolButton* Down;
};
