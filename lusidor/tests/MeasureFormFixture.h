// The main window with its entry form in the special mode, grey pictures opened from the image folder,
// clicks that measure and the entry form's "Добавить": the fixture of the tests that measure and add probes.
#pragma once

#include "EntrP.h"
#include "MainTestFixture.h"
#include "image-library/widgets/PGImage.h"

#include <QTest>
#include <QTreeWidget>

class MeasureFormTest : public NavigatorTest {
protected:
    void TearDown() override {
        Entry.reset();
        NavigatorTest::TearDown();
    }

    // The main window in Mode with its entry form, as the program starts them.
    TForm1& Start(int Mode = TForm1::SpecialMode, const QByteArray& Settings = standardSettings) {
        QDir(Folder()).mkpath("IMAGES");
        TForm1& form = Make(Settings);
        Entry = std::make_unique<TForm2>(form);
        form.EntryForm = Entry.get();
        Entry->Clock = [] { return QDateTime(QDate(2026, 12, 9), QTime(23, 59, 59, 999)); };
        form.resize(1000, 700);
        form.show();
        QCoreApplication::processEvents();
        form.SetMode(Mode);
        return form;
    }

    // Saves Picture into the image folder and opens it through the navigator.
    TPict* Open(TPixelGraphic& Picture, const QString& Name = "a.bmp") {
        Picture.SaveToFile(Images() + Name);
        Form->OpenImageFile(Images() + Name);
        const int index = Form->Base->IndexOf(Name);
        return index >= 0 ? Form->Base->Items(index) : nullptr;
    }
    // A grey picture from rows of digits, each digit times Scale.
    static std::unique_ptr<TPixelGraphic> Grey(std::initializer_list<QByteArray> Rows, int Scale = 10) {
        auto p = std::make_unique<TPixelGraphic>();
        p->SetFormat(int(Rows.begin()->size()), int(Rows.size()), 3);
        int y = 0;
        for (const QByteArray& row : Rows) {
            for (int x = 0; x < row.size(); ++x) {
                const auto v = uint8_t((row[x] - '0') * Scale);
                p->SetPixelColor(x, y, RGB(v, v, v));
            }
            ++y;
        }
        return p;
    }
    static TPixelGraphic& Shown(TPict* Pict) { return *Pict->Form->PGImage1->GetPixelGraphic(); }
    static void Click(TPict* Pict, QPoint At) {
        QWidget* box = Pict->Form->PGImage1->GetPicBox();
        QTest::mousePress(box, Qt::LeftButton, {}, At);
        QTest::mouseRelease(box, Qt::LeftButton, {}, At);
    }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const TMessageBoxRequest& request : Boxes.Requests)
            texts << request.Caption + ": " + request.Text;
        return texts;
    }
    QStringList Properties() const {
        QStringList values;
        for (int row = 0; row < Form->ListView1->topLevelItemCount(); ++row)
            values << Form->ListView1->topLevelItem(row)->text(1);
        return values;
    }
    // The entry form filled as the user would, then "Добавить".
    void Add(const QString& Probe, const QString& Infection = "Грипп") {
        Entry->ProbaEdit->setText(Probe);
        Entry->InfectBox->setEditText(Infection);
        Entry->Button1->click();
    }

    std::unique_ptr<TForm2> Entry;
};
