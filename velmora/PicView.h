// TForm4: the floating picture window that shows the current record's picture.
#pragma once

#include <QWidget>
#include <memory>

class TPGImage;
namespace Ui {
class TForm4;
}

class TForm4 : public QWidget {
    Q_OBJECT

public:
    // A floating window of Owner, the main window, created hidden.
    explicit TForm4(QWidget* Owner);
    ~TForm4() override;

    TPGImage* PGImage1() const;

protected:
    bool event(QEvent* Event) override;

private:
    std::unique_ptr<Ui::TForm4> ui;
};
