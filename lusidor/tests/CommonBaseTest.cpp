// "Добавить в общую БД" from the main window: probes measured and added through the forms reach the records
// table once, their pictures the picture folder, and what the table cannot hold is named, never cut.
#include "binary-dataset/CommonBase.h"
#include "MeasureFormFixture.h"
#include "framework/testing/FileSizeLimit.h"
#include "binary-dataset/bindata.h"

namespace {

constexpr qint64 EmptyTableSize = 692;
constexpr qint64 RecordSize = 195;

class CommonBaseTest : public MeasureFormTest {
protected:
    // The command from the menu, and the one box it showed as "caption: text".
    QString AddToBase() {
        Boxes.Requests.clear();
        Form->N9->trigger();
        EXPECT_EQ(Boxes.Requests.size(), 1u);
        return BoxTexts().join("\n---\n");
    }
    QByteArray Bytes(const QString& Path) const {
        QFile file(Path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // Every node of the navigator, depth first.
    QStringList Navigator() const {
        QStringList texts;
        for (QTreeWidgetItemIterator it(Form->TreeView1); *it; ++it)
            texts << (*it)->text(0);
        return texts;
    }
};

// Each record of the table, its sixteen fields as the records viewer reads them.
QStringList TableRows(const QString& Path) {
    TBinaryDataSet data;
    data.SetTableName(Path);
    data.SetReadOnly(true);
    data.Open();
    QStringList rows;
    for (data.First(); !data.Eof(); data.Next()) {
        QStringList fields;
        for (int i = 0; i < data.FieldCount(); ++i)
            fields << data.Fields(i).AsString();
        rows << fields.join(u'|');
    }
    return rows;
}

// The record a probe measured at the entry form's fixed clock becomes, in the table's field order.
QString RowOf(const TProbe& P) {
    const QStringList fields = {P.Infection->Pict->FileName,
                                QString::number(P.Value),
                                P.Name,
                                P.Infection->Name,
                                P.Supplier,
                                QString::number(P.Luminosity),
                                P.Patient,
                                P.Note,
                                QString::number(P.Rect.Top),
                                QString::number(P.Rect.Left),
                                QString::number(P.Rect.Bottom),
                                QString::number(P.Rect.Right),
                                "09.12.2026",
                                "23:59:59",
                                P.Reaction,
                                QString::number(P.Threshold)};
    return fields.join(u'|');
}

} // namespace

TEST_F(CommonBaseTest, AddsEveryProbeOnceWithItsPictureAndNamesWhatItRefuses) {
    QDir(Folder()).mkpath("base/pictures");
    const QString base = Folder() + "base/";
    const QByteArray settings = standardSettings + "\r\n[DataBase]\r\nFolder=base\r\n";
    TForm1& form = Start(TForm1::SpecialMode, settings);
    // A different picture of the name b.bmp waits in the picture folder.
    Store("base/pictures/b.bmp", "another picture");

    auto grey = Grey({"111111", "191111", "111111", "111191"});
    TPict* a = Open(*grey, "a.bmp");
    ASSERT_TRUE(a);
    Entry->PostavBox->setEditText("Лаб-1");
    Entry->BolnEdit->setText("Иванов");
    Click(a, {1, 1});
    Add("E1");
    Click(a, {4, 3});
    Entry->PrimEdit->setText("повтор");
    Add("S2");
    // What the table cannot hold: a patient outside Windows-1251 and a note of 31 letters; a rectangle no
    // picture of the forms reaches.
    Entry->BolnEdit->setText("李");
    Entry->PrimEdit->setText(QString(31, u'п'));
    Add("S3");
    Entry->BolnEdit->setText("Иванов");
    Entry->PrimEdit->clear();
    Add("S4");
    TInfection* flu = a->InfectionsAt(0);
    ASSERT_EQ(flu->ProbeCount(), 4);
    flu->ProbesAt(3)->SetRect(Rect(0, 0, 40000, 1));
    TPict* b = Open(*grey, "b.bmp");
    ASSERT_TRUE(b);
    Click(b, {1, 1});
    Add("S1");
    const QStringList navigator = Navigator();

    const QString refused = "Не добавлены (3):\n"
                            "a.bmp / Грипп / S3: пациент: знак «李» не записывается в кодировке "
                            "Windows-1251; примечание длиннее 30 "
                            "знаков\n"
                            "a.bmp / Грипп / S4: координаты области вне пределов от -32768 до 32767\n"
                            "b.bmp / Грипп / S1: в папке " +
                            base + "pictures/ уже есть другой файл с этим именем";
    EXPECT_EQ(AddToBase(), "Информация: Общая база данных: " + base + "\nДобавлено записей: 2.\n" + refused);
    const QString table = base + TableFileName;
    EXPECT_EQ(TableRows(table), QStringList({RowOf(*flu->ProbesAt(0)), RowOf(*flu->ProbesAt(1))}));
    EXPECT_EQ(QFileInfo(table).size(), EmptyTableSize + 2 * RecordSize);
    EXPECT_EQ(Bytes(base + "pictures/a.bmp"), Bytes(Images() + "a.bmp"));
    EXPECT_EQ(Bytes(base + "pictures/b.bmp"), "another picture");
    EXPECT_EQ(Navigator(), navigator);

    // Again: nothing new. A new probe of the same picture finds its identical copy and is added.
    EXPECT_EQ(AddToBase(), "Информация: Общая база данных: " + base +
                               "\nДобавлено записей: 0.\nУже были в базе: 2.\n" + refused);
    EXPECT_EQ(QFileInfo(table).size(), EmptyTableSize + 2 * RecordSize);
    form.TreeView1->setCurrentItem(a->Node);
    Click(a, {1, 1});
    Add("S5");
    EXPECT_TRUE(AddToBase().contains("\nДобавлено записей: 1.\nУже были в базе: 2.\nНе добавлены (3):"));
    EXPECT_EQ(TableRows(table).size(), 3);
    EXPECT_EQ(Bytes(base + "pictures/a.bmp"), Bytes(Images() + "a.bmp"));

    // The folder is read, never written back.
    Entry.reset();
    form.close();
    EXPECT_TRUE(Stored().endsWith("Mode=2\r\n\r\n[DataBase]\r\nFolder=base\r\n")) << Stored().toStdString();
}

TEST_F(CommonBaseTest, ATableThatCannotBeOpenedOrWrittenIsAnErrorAndKeepsWholeRecords) {
    // Without the key the common database is the program folder.
    Start();
    auto grey = Grey({"111111", "191111", "111111", "111191"});
    TPict* a = Open(*grey, "a.bmp");
    ASSERT_TRUE(a);
    Click(a, {1, 1});
    Add("S1");
    Click(a, {4, 3});
    Add("S2");
    const QString table = Folder() + TableFileName;
    Store(TableFileName, "not a table");
    EXPECT_EQ(AddToBase(), "Ошибка: Ошибка открытия файла Базы Данных \"" + table +
                               "\".\nNot a binary data set file.\nДобавлено записей: 0.");
    EXPECT_EQ(Bytes(table), "not a table");

    // A disk that fills after the first record: the second is cut back whole.
    QFile::remove(table);
    {
        const FileSizeLimit limit(EmptyTableSize + RecordSize + 100);
        EXPECT_EQ(AddToBase(), "Ошибка: Ошибка записи в файл Базы Данных \"" + table +
                                   "\".\nStream write error\nДобавлено записей: 1.");
    }
    EXPECT_EQ(TableRows(table).size(), 1);
    EXPECT_EQ(QFileInfo(table).size(), EmptyTableSize + RecordSize);
    EXPECT_EQ(Bytes(Folder() + "pictures/a.bmp"), Bytes(Images() + "a.bmp"));
}
