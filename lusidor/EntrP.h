// TForm2: the small floating form in which the user names the sample just measured and adds it to the
// navigator as a standard or a sample.
#pragma once

#include "ui_EntrP.h"

#include <QDateTime>
#include <QDialog>
#include <functional>

class TForm1;

// The warning when a probe's name is taken within its infection; the navigator and the properties dialog
// give it too.
extern const QString DuplicateProbeNameText;

class TForm2 : public QDialog, public Ui::TForm2 {
    Q_OBJECT
public:
    explicit TForm2(TForm1& Main);

    void FormActivate();
    // After a measurement: the form becomes the active window with the name in ProbaEdit selected, so that
    // what the user types next names the sample.
    void TakeProbeName();
    void SpinEdit1Change(int Value);
    // "Добавить": the measured sample of the active picture window becomes a probe of the named infection.
    void Button1Click();

    // When Infection is not in InfectBox's list, asks whether to append it; Yes appends it.
    void OfferInfection(const QString& Infection);
    // Shows a threshold without taking it back as the user's: 0 shows as 1 and the measurement keeps 0.
    void ShowThreshold(int32_t Threshold);

    // Set while "Добавить" creates a probe: the navigator's selection change then leaves this form alone.
    bool Adding = false;
    // The date and time a new probe gets, read once per addition.
    std::function<QDateTime()> Clock = &QDateTime::currentDateTime;

protected:
    // FormCloseQuery: the user cannot close the form; the program's end destroys it.
    void closeEvent(QCloseEvent* Event) override;
    // Escape would hide a dialog.
    void reject() override {}
    void changeEvent(QEvent* Event) override;

private:
    void FormCreate();

    TForm1& Main;
};
