// "Добавить в общую БД" from the main window: probes measured and added through the forms reach the records
// table once, their pictures the picture folder, and what the table cannot hold is named, never cut.
#include "binary-dataset/CommonBase.h"
#include "CommonBaseWriter.h"
#include "MeasureFormFixture.h"
#include "binary-dataset/bindata.h"
#include "framework/testing/FileSizeLimit.h"

#include <csignal>
#include <sched.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

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
    // Picture a.bmp with the probes S1 and S2 of the infection "Грипп", measured at its two bright spots.
    TPict* MeasureTwoProbes() {
        const auto grey = Grey({"111111", "191111", "111111", "111191"});
        TPict* a = Open(*grey, "a.bmp");
        if (!a)
            return nullptr;
        Click(a, {1, 1});
        Add("S1");
        Click(a, {4, 3});
        Add("S2");
        return a;
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
                            "a.bmp / Грипп / S3: пациент: знак «李» (U+674E) не записывается в кодировке "
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

TEST_F(CommonBaseTest, AProbeOnceAddedIsNeverAddedAgainInTheSessionWhateverBecameOfItsRecord) {
    QDir(Folder()).mkpath("base");
    const QString base = Folder() + "base/";
    const QString table = base + TableFileName;
    Start(TForm1::SpecialMode, standardSettings + "\r\n[DataBase]\r\nFolder=base\r\n");
    TPict* a = MeasureTwoProbes();
    ASSERT_TRUE(a);
    EXPECT_EQ(AddToBase(), "Информация: Общая база данных: " + base + "\nДобавлено записей: 2.");
    // In the records viewer, S1's record is deleted and S2's infection corrected.
    {
        TBinaryDataSet viewer;
        viewer.SetTableName(table);
        viewer.Open();
        viewer.First();
        viewer.Delete();
        viewer.Edit();
        viewer.FieldByName("INFECT").SetAsString("Корь");
        viewer.Post();
    }
    Form->TreeView1->setCurrentItem(a->Node);
    Click(a, {1, 1});
    Add("S3");
    EXPECT_EQ(AddToBase(),
              "Информация: Общая база данных: " + base + "\nДобавлено записей: 1.\nУже были в базе: 2.");
    QStringList rows = TableRows(table);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith("a.bmp|") && rows[0].contains("|S2|Корь|")) << rows[0].toStdString();
    EXPECT_EQ(rows[1], RowOf(*a->InfectionsAt(0)->ProbesAt(2)));
}

TEST_F(CommonBaseTest, ATableThatCannotBeOpenedOrWrittenIsAnErrorAndKeepsWholeRecords) {
    // Without the key the common database is the program folder.
    Start();
    ASSERT_TRUE(MeasureTwoProbes());
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

namespace {

// The writer on its own, over a database folder and an image folder that a user without rights may reach.
class CommonBaseWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(Base) && QDir().mkpath(Images));
        ASSERT_EQ(chmod(QFile::encodeName(Dir.path()).constData(), 0755), 0);
        QFile picture(Images + "a.bmp");
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write(QByteArray(64 * 1024, 'p'));
    }

    static TProbeRecord Probe(const QString& Name, const QString& FileName = "a.bmp") {
        TProbeRecord probe;
        probe.FileName = FileName;
        probe.Infection = "Грипп";
        probe.Name = Name;
        probe.Date = probe.Time = 1.0e12;
        return probe;
    }

    QTemporaryDir Dir;
    const QString Base = Dir.path() + "/base/";
    const QString Images = Dir.path() + "/IMAGES/";
    const QString Pictures = Base + PictureFolderName;
};

} // namespace

TEST_F(CommonBaseWriterTest, RefusesWhatTheTableCannotHoldOrTheViewerWouldReadElsewhereAndGoesOn) {
    std::vector<TProbeRecord> probes = {Probe("S1"),           Probe("S2", "sub\\a.bmp"),
                                        Probe("S3", " a.bmp"), Probe("S4", "a.bmp\t"),
                                        Probe("S5"),           Probe("S6")};
    probes[0].Note = QString("до") + QChar(0) + "после";
    probes[4].Patient = "Иванов 😀";
    TCommonBaseWriter writer(Base, Images);
    writer.Add(probes);
    EXPECT_EQ(writer.Refused,
              QStringList({"a.bmp / Грипп / S1: примечание: знак U+0000 не записывается в поле таблицы",
                           "sub\\a.bmp / Грипп / S2: имя файла: знак «\\» читается как разделитель папок",
                           " a.bmp / Грипп / S3: имя файла начинается или кончается пробелом",
                           "a.bmp\t / Грипп / S4: имя файла начинается или кончается пробелом",
                           "a.bmp / Грипп / S5: пациент: знак «😀» (U+1F600) не записывается в кодировке "
                           "Windows-1251"}));
    EXPECT_EQ(writer.Added, 1) << "the probes after a refused one are tried";
    EXPECT_EQ(TableRows(Base + TableFileName).size(), 1);
}

TEST_F(CommonBaseWriterTest, APictureThatCannotBeCopiedSaysWhyAndLeavesNothingBehind) {
    CreateRecordTableWhenMissing(Base + TableFileName);
    ASSERT_EQ(chmod(QFile::encodeName(Base + TableFileName).constData(), 0666), 0);
    const struct {
        const char* Case;
        QString Reason;
        // Sets the scene, in this process or in the child that runs the writer; false when it cannot here.
        std::function<bool()> Scene;
        bool InChild;
    } cases[] = {
        {"a file where the folder should be", "на месте папки " + Pictures + " стоит файл",
         [&] { return QFile(QDir::cleanPath(Pictures)).open(QIODevice::WriteOnly); }, false},
        {"no permission", "нет прав на запись в папку " + Pictures,
         [&] {
             // The owner of a folder may write into it whatever its mode: the child acts as another user.
             return QDir().mkpath(Pictures) && chmod(QFile::encodeName(Pictures).constData(), 0555) == 0 &&
                    (geteuid() != 0 || (setfsuid(65534), setfsuid(65534) == 65534));
         },
         true},
        {"no space", "на диске нет места для копии изображения в папке " + Pictures,
         [&] {
             const QByteArray folder = QFile::encodeName(Pictures);
             return QDir().mkpath(Pictures) && unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    mount("tmpfs", folder.constData(), "tmpfs", 0, "size=8k") == 0;
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        QDir(Pictures).removeRecursively();
        QFile::remove(QDir::cleanPath(Pictures));
        if (!c.InChild) {
            ASSERT_TRUE(c.Scene());
            TCommonBaseWriter writer(Base, Images);
            writer.Add({Probe("S1")});
            EXPECT_EQ(writer.Refused, QStringList{"a.bmp / Грипп / S1: " + c.Reason});
            continue;
        }
        // The child says 'S' when it cannot set the scene here, else the writer's refusals.
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(60);
            close(out[0]);
            QByteArray said = "S";
            if (c.Scene()) {
                TCommonBaseWriter writer(Base, Images);
                writer.Add({Probe("S1")});
                said = writer.Refused.join('\n').toUtf8() + "\n" + QByteArray::number(writer.Added) + "\n" +
                       QDir(Pictures).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).join(',').toUtf8();
            }
            [[maybe_unused]] const ssize_t written = write(out[1], said.constData(), size_t(said.size()));
            _exit(0);
        }
        close(out[1]);
        QByteArray said;
        char chunk[4096];
        for (ssize_t got; (got = read(out[0], chunk, sizeof chunk)) > 0;)
            said.append(chunk, got);
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "the child was killed";
        if (said == "S") {
            std::cout << "[  SKIPPED ] " << c.Case << ": not possible on this machine (mounts, users)\n";
            continue;
        }
        EXPECT_EQ(QString::fromUtf8(said), "a.bmp / Грипп / S1: " + c.Reason + "\n0\n")
            << "refused, nothing added, no copy or part of one left";
    }
}
