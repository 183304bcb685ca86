// TForm3: the splash window shown at start-up and again as the about window, with the program's picture.
#pragma once

#include "ui_ImageM.h"

#include <QPointer>
#include <QWidget>

class TForm1;

class TForm3 : public QWidget, public Ui::TForm3 {
    Q_OBJECT
public:
    // The picture stored in the program: a 400 x 262 JPEG.
    static inline const QString PictureResource = QStringLiteral(":/JPG/JPG_1");

    // A new window, shown at once, centred on the screen and above every other window. Picture is read
    // through the library's reader registry; one that cannot be read leaves the window empty.
    explicit TForm3(QWidget* Owner = nullptr, const QString& Picture = PictureResource);

    // The main window to tell when this one closes; it may come into being after the splash.
    QPointer<TForm1> MainForm;

    void PGImage1NewAutoSize(int PGImageWidth, int PGImageHeight);

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormCreate(const QString& Picture);
    void FormClose();
};
