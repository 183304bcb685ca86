#include "framework/ErrorBox.h"
#include "framework/TimeStamp.h"
#include "framework/testing/CaptionFit.h"
#include "image-library/PGraphic.h"
#include "image-library/widgets/PGImage.h"
#include "ui_Unit2.h"
#include "ui_Unit3.h"
#include "velmora/PicView.h"
#include "velmora/Unit2.h"
#include "velmora/Unit3.h"
#include "velmora/tests/VelmoraFixture.h"

#include "binary-dataset/tests/LockHolder.h"
#include "binary-dataset/tests/TableBytes.h"
#include "framework/testing/FakeClock.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace {

const std::vector<TTestRecord> Dozen = {
    {"a1.bmp", "Грипп", "Alpha", "Иванов", QDate(2024, 3, 1), QTime(9, 15, 30)},
    {"a2.bmp", "грипп Б", "alpha", "Петров", QDate(2024, 3, 2), QTime(10, 30)},
    {"b1.bmp", "Корь", "Beta", "Сидоров", QDate(2024, 3, 3), QTime(23, 59, 30)},
    {"sub\\b2.bmp", "ABC", "Beta", "иванова", QDate(2024, 3, 4), QTime(0, 0)},
    {"  ", "abc", "Gamma", "Орлов", QDate(2024, 3, 5), QTime(12, 0)},
    {"..\\out.bmp", "Гепатит", "Gamma", "Орлова", QDate(2024, 3, 6), QTime(10, 15, 59)},
    {"c1.bmp", "Гепатит", "Delta", "Иванов", QDate(2024, 3, 7), QTime(10, 16)},
    {"c2.bmp", "Краснуха", "Дельта", "Смирнов", QDate(2024, 3, 8), QTime(8, 0)},
    {"c3.bmp", "краснуха", "дельта", "Смирнова", QDate(2024, 3, 9), QTime(18, 45, 10)},
    {"same.bmp", "Грипп", "Epsilon", "Кузнецов", QDate(2024, 3, 10), QTime(7, 5)},
    {"same.bmp", "Грипп", "Epsilon", "Кузнецов", QDate(2024, 3, 11), QTime(7, 6)},
    {"missing.bmp", "Корь", "Zeta", "Попов", QDate(2024, 3, 12), QTime(21, 0)},
};

void WriteBmp(const QString& path, int width) {
    TPixelGraphic picture;
    picture.SetFormat(width, 8, 3);
    picture.SaveToFile(path);
}

// Closes whatever modal window or popup menu opens next, as the user would.
void CloseNextModal() {
    QTimer::singleShot(0, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        else if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        else
            CloseNextModal();
    });
}

class VelmoraTest : public VelmoraFixture {
protected:
    // The main window over the dozen records, with its picture window.
    std::unique_ptr<TForm1> MainWindowWithRecords() {
        auto form = std::make_unique<TForm1>(Folder);
        form->Form4 = new TForm4(form.get());
        AppendElsewhere(Dozen);
        form->N10Click();
        return form;
    }

    static void MakeCurrent(TForm1& form, const QString& name, int column = 0) {
        TRecordGrid& grid = *form.Form().RxDBGrid1;
        const int row = RowOf(grid, name);
        ASSERT_GE(row, 0) << name.toStdString();
        grid.setCurrentIndex(grid.model()->index(row, column));
    }

    static void DoubleClick(TForm1& form, const QString& name, int column = 0) {
        MakeCurrent(form, name, column);
        TRecordGrid& grid = *form.Form().RxDBGrid1;
        // What the platform sends for a double click: a click, then the double click and its release.
        const QPoint at = grid.visualRect(grid.currentIndex()).center();
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, at);
    }

    static QStringList Query(TForm3& query, int field, const QString& text, bool caseSensitive = false) {
        Ui::TForm3& ui = query.Form();
        (field == 0 ? ui.RadioButton0 : field == 1 ? ui.RadioButton1 : ui.RadioButton2)->setChecked(true);
        ui.Edit1->setText(text);
        ui.CheckBox1->setChecked(caseSensitive);
        query.Button1Click();
        return Names(*ui.RxDBGrid1);
    }
};

} // namespace

TEST_F(VelmoraTest, StartUp_EmptyFolder_CreatesTheTableAndShowsAnEmptyGrid) {
    TForm1 form(Folder);
    const std::vector<TTestField> fields = {
        {"FNAME", 1, 44, 40},  {"PROBA", 3, 4, 0},  {"PROBANAME", 1, 12, 8}, {"INFECT", 1, 24, 20},
        {"POSTAV", 1, 24, 20}, {"VALUE", 2, 2, 0},  {"BOLN", 1, 24, 20},     {"PRIM", 1, 34, 30},
        {"TOP", 2, 2, 0},      {"LEFT", 2, 2, 0},   {"BUTTOM", 2, 2, 0},     {"RIGHT", 2, 2, 0},
        {"DATES", 9, 4, 0},    {"TIMES", 10, 4, 0}, {"REACT", 1, 5, 1},      {"TOLERANCE", 2, 2, 0},
    };
    const QByteArray bytes = ReadFileBytes(Table);
    EXPECT_EQ(bytes.size(), 692);
    EXPECT_EQ(LE32At(bytes, 8), 195);
    EXPECT_EQ(LE32At(bytes, 32), 692);
    EXPECT_EQ(bytes, TableBytes(fields));
    EXPECT_FALSE(StartupFailed());
    EXPECT_TRUE(form.BinaryDataSet1.Active());
    EXPECT_EQ(form.windowTitle(), "База Данных Velmora");
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    // The program's own icon on every window of it, not Qt's.
    const QImage icon = QImage(":/icons/Velmora.png").convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_FALSE(icon.isNull());
    const TForm4 picture(&form);
    const TForm3 query(Folder);
    for (const QWidget* window : {static_cast<const QWidget*>(&form), static_cast<const QWidget*>(&picture),
                                  static_cast<const QWidget*>(&query)})
        EXPECT_EQ(window->windowIcon()
                      .pixmap(icon.size())
                      .toImage()
                      .convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  icon)
            << window->metaObject()->className();
    const QAbstractItemModel& model = *form.Form().RxDBGrid1->model();
    EXPECT_EQ(model.rowCount(), 0);
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c)
        titles << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles, QStringList({"Изображение", "Инфекция", "Имя пробы", "Светимость", "Значение",
                                   "Реакция", "Поставщик", "Пациент", "Дата", "Время", "Примечание"}));
    EXPECT_FALSE(QDir(Folder + "pictures").exists());
}

TEST_F(VelmoraTest, StartUp_DamagedOrUncreatableTable_ShowsTheBoxAndFails) {
    WriteFileBytes(Table, "this is no table");
    for (const QString& folder : {Folder, Folder + "missing/"}) {
        MessageBoxSpy boxes;
        TForm1 form(folder);
        ASSERT_EQ(boxes.Requests.size(), 1u) << folder.toStdString();
        EXPECT_EQ(boxes.Requests[0].Text, "Ошибка открытия файла Базы Данных");
        EXPECT_EQ(boxes.Requests[0].Caption, "Ошибка");
        EXPECT_EQ(boxes.Requests[0].Type, mtError);
        EXPECT_TRUE(StartupFailed());
        EXPECT_FALSE(form.BinaryDataSet1.Active());
    }
    EXPECT_EQ(ReadFileBytes(Table), "this is no table");

    // A dangling link in the table's place is a table that cannot be opened: nothing appears at its target.
    const QString target = Folder + "elsewhere.dat";
    ASSERT_TRUE(QFile::remove(Table));
    ASSERT_TRUE(QFile::link(target, Table));
    MessageBoxSpy boxes;
    TForm1 form(Folder);
    ASSERT_EQ(boxes.Requests.size(), 1u);
    EXPECT_EQ(boxes.Requests[0].Text, "Ошибка открытия файла Базы Данных");
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(QFileInfo(Table).isSymLink());
}

TEST_F(VelmoraTest, MainWindow_ShowsOthersRecordsAfterRefreshAndEditsAndDeletesThem) {
    TForm1 form(Folder);
    TRecordGrid& grid = *form.Form().RxDBGrid1;
    AppendElsewhere(Dozen);
    EXPECT_EQ(grid.model()->rowCount(), 0) << "nothing before \"Обновить\"";
    form.Form().N10->trigger();
    ASSERT_EQ(grid.model()->rowCount(), 12);
    EXPECT_EQ(Names(grid).mid(0, 4), QStringList({"a1.bmp", "a2.bmp", "b1.bmp", "sub\\b2.bmp"}));
    EXPECT_EQ(grid.model()->index(0, 9).data().toString(), "9:15:30");
    EXPECT_EQ(grid.model()->index(1, 1).data().toString(), "грипп Б");

    // "Примечание" reaches the file; "Светимость" cannot be edited.
    const int c1 = RowOf(grid, "c1.bmp");
    EXPECT_TRUE(grid.model()->setData(grid.model()->index(c1, 10), "заметка"));
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(c1, 3)) & Qt::ItemIsEditable);
    {
        TBinaryDataSet fresh;
        fresh.SetTableName(Table);
        fresh.Open();
        fresh.SetRecNo(7);
        EXPECT_EQ(fresh.FieldByName("PRIM").AsString(), "заметка");
    }

    // A right click makes its row current; the popup's "Удалить" deletes that row's record.
    const QRect cell = grid.visualRect(grid.model()->index(RowOf(grid, "c2.bmp"), 2));
    CloseNextModal();
    QContextMenuEvent click(QContextMenuEvent::Mouse, cell.center(),
                            grid.viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(grid.viewport(), &click);
    EXPECT_EQ(form.BinaryDataSet1.FieldByName("FNAME").AsString(), "c2.bmp");
    form.Form().N7->trigger();
    EXPECT_EQ(RowOf(grid, "c2.bmp"), -1);
    EXPECT_EQ(grid.model()->rowCount(), 11);
    form.N10Click();
    EXPECT_EQ(RowOf(grid, "c2.bmp"), -1);
    TBinaryDataSet fresh;
    fresh.SetTableName(Table);
    fresh.Open();
    EXPECT_EQ(fresh.GetRecordCount(), 11);
    for (fresh.First(); !fresh.Eof(); fresh.Next())
        EXPECT_NE(fresh.FieldByName("FNAME").AsString(), "c2.bmp");

    // Ctrl+Del asks first; only Yes deletes.
    MakeCurrent(form, "c3.bmp");
    for (const TModalResult answer : {mrNo, mrYes}) {
        MessageBoxSpy boxes(answer);
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
        ASSERT_EQ(boxes.Requests.size(), 1u);
        EXPECT_EQ(boxes.Requests[0].Text, "Удалить запись?");
        EXPECT_EQ(boxes.Requests[0].Caption, "Вопрос");
        EXPECT_EQ(boxes.Requests[0].Buttons, TMsgDlgButtons(mbYes | mbNo));
        EXPECT_EQ(RowOf(grid, "c3.bmp") == -1, answer == mrYes);
    }
    EXPECT_EQ(grid.model()->rowCount(), 10);
}

TEST_F(VelmoraTest, MainWindow_TextCellsTakeNoMoreCharactersThanTheirFieldHolds) {
    const auto form = MainWindowWithRecords();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    TRecordGrid& grid = *form->Form().RxDBGrid1;
    const std::map<QString, int> fieldSizes = {{"FNAME", 40},  {"INFECT", 20}, {"PROBANAME", 8}, {"REACT", 1},
                                               {"POSTAV", 20}, {"BOLN", 20},   {"PRIM", 30}};
    const int row = RowOf(grid, "c1.bmp"); // physical record 7
    std::map<QString, QString> typedInto;
    for (int column = 0; column < grid.model()->columnCount(); ++column) {
        grid.setCurrentIndex(grid.model()->index(row, column));
        if (!(grid.model()->flags(grid.currentIndex()) & Qt::ItemIsEditable))
            continue;
        const QString field = grid.DataModel()->Columns()[column].FieldName;
        SCOPED_TRACE(field.toStdString());
        QTest::keyClick(&grid, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_TRUE(editor);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        const QString typed = QStringLiteral("Жx").repeated(fieldSizes.at(field));
        // Key by key, as the keyboard sends Cyrillic letters: with their text and no key code of their own.
        for (const QChar letter : typed) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(letter));
            QApplication::sendEvent(editor, &key);
        }
        const QString kept = typed.left(fieldSizes.at(field));
        EXPECT_EQ(editor->text(), kept) << "the editor takes what the field holds";
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents(); // the grid commits an editor's text after the key's event
        typedInto[field] = kept;
    }
    EXPECT_EQ(typedInto.size(), fieldSizes.size()) << "every text column is editable";
    TBinaryDataSet fresh;
    fresh.SetTableName(Table);
    fresh.Open();
    fresh.SetRecNo(7);
    for (const auto& [field, kept] : typedInto)
        EXPECT_EQ(fresh.FieldByName(field).AsString(), kept)
            << field.toStdString() << ": what was shown is stored";
}

TEST_F(VelmoraTest, MainWindow_WithoutRecords_CommandsDoNothingAndAFailedRefreshKeepsTheRecordsShown) {
    TForm1 form(Folder);
    form.Form4 = new TForm4(&form);
    TRecordGrid& grid = *form.Form().RxDBGrid1;
    for (bool open : {true, false}) {
        if (!open)
            form.BinaryDataSet1.Close();
        form.RxDBGrid1DblClick();
        form.Form().N7->trigger();
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_FALSE(form.Form4->isVisible());
    }
    form.N10Click();
    AppendElsewhere(Dozen);
    form.N10Click();
    EXPECT_EQ(grid.model()->rowCount(), 12);
    WriteFileBytes(Table, "damaged");
    MessageBoxSpy boxes;
    form.N10Click();
    ASSERT_EQ(boxes.Requests.size(), 1u);
    EXPECT_EQ(boxes.Requests[0].Text, "Not a binary data set file.");
    EXPECT_EQ(boxes.Requests[0].Caption, "Ошибка");
    EXPECT_EQ(grid.model()->rowCount(), 12) << "the records shown before stay";
    EXPECT_TRUE(form.BinaryDataSet1.Active());

    boxes.Requests.clear();
    form.Form().N9->trigger();
    ASSERT_EQ(boxes.Requests.size(), 1u);
    EXPECT_EQ(boxes.Requests[0].Text, QStringLiteral(VELMORA_VERSION));
    EXPECT_EQ(boxes.Requests[0].Caption, "Информация");

    // "&Выход" closes the main window, which closes the table.
    form.show();
    form.Form().N2->trigger();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(VelmoraTest, MainWindow_TableHeldByAnotherProgram_EachActionWaitsOnceReportsOnceAndKeepsTheRecords) {
    // More records than one read of the table holds, so that the end of the grid must be read anew.
    std::vector<TTestRecord> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back({QStringLiteral("r%1.bmp").arg(i), "Грипп", "", "", QDate(2026, 12, 9), QTime(12, 0)});
    TForm1 form(Folder);
    AppendElsewhere(many);
    form.N10Click();
    form.show();
    TRecordGrid& grid = *form.Form().RxDBGrid1;
    ASSERT_EQ(grid.model()->rowCount(), 3000);
    grid.grab(); // the first rows are read
    const QString held =
        QStringLiteral("Файл таблицы \"%1\" занят другой программой. Попробуйте ещё раз позже.").arg(Table);
    MessageBoxSpy boxes;
    TLockHolder holder(Table, LOCK_EX);
    ASSERT_TRUE(holder.Held);
    // How long an action waited on the tick count, and the boxes it brought.
    const auto action = [&](const std::function<void()>& Act) {
        const FakeClock clock(1000, 100);
        const size_t before = boxes.Requests.size();
        Act();
        QCoreApplication::processEvents(); // the report of what a paint could not read comes after it
        QStringList texts;
        for (size_t i = before; i < boxes.Requests.size(); ++i)
            texts << boxes.Requests[i].Caption + ": " + boxes.Requests[i].Text;
        return std::pair(clock.Now - 1000, texts);
    };
    const auto atMost = [](uint32_t Waited, uint32_t Limit) { return Waited <= Limit + 2 * 100; };

    // A scroll to the end: the first record out of reach waits the limit, the others of the paint do not.
    auto [waited, texts] = action([&] {
        grid.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
        grid.grab();
    });
    EXPECT_GE(waited, TableLockWaitMs);
    EXPECT_TRUE(atMost(waited, TableLockWaitMs)) << waited;
    EXPECT_EQ(texts, QStringList{"Ошибка: " + held});
    EXPECT_EQ(grid.model()->index(2999, 0).data().toString(), "") << "what cannot be read shows nothing";
    // Repaints, as the box's closing brings, meet the trouble again at once and say nothing more.
    std::tie(waited, texts) = action([&] { grid.grab(); });
    EXPECT_TRUE(atMost(waited, 0)) << waited;
    EXPECT_EQ(texts, QStringList());
    // "Обновить" waits its limit once, says why and keeps the records shown before.
    std::tie(waited, texts) = action([&] { form.Form().N10->trigger(); });
    EXPECT_TRUE(atMost(waited, TableLockWaitMs)) << waited;
    EXPECT_EQ(texts, QStringList{"Ошибка: " + held});
    ASSERT_EQ(grid.model()->rowCount(), 3000);
    // The user's next scroll reports again, without waiting again; the rows read before still show.
    std::tie(waited, texts) = action([&] {
        grid.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
        grid.grab();
    });
    EXPECT_TRUE(atMost(waited, 0)) << waited;
    EXPECT_EQ(texts, QStringList{"Ошибка: " + held});
    EXPECT_EQ(grid.model()->index(0, 0).data().toString(), "r0.bmp");
    // A move to the last record fails as a command: its box is the only one, and the grid stays on the record
    // the dataset could keep.
    const int current = grid.currentIndex().row();
    std::tie(waited, texts) = action([&] {
        QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
        grid.grab();
    });
    EXPECT_EQ(texts, QStringList{"Ошибка: " + held});
    EXPECT_EQ(grid.currentIndex().row(), current);
    EXPECT_EQ(grid.DataModel()->CurrentRow(), current);
    EXPECT_EQ(grid.selectionModel()->selectedIndexes(), QModelIndexList{grid.currentIndex()});

    holder.Let();
    std::tie(waited, texts) = action([&] { grid.grab(); });
    EXPECT_EQ(texts, QStringList());
    EXPECT_EQ(grid.model()->index(2999, 0).data().toString(), "r2999.bmp") << "readable again";
    form.Form().N10->trigger();
    EXPECT_EQ(boxes.Requests.size(), 4u);
    EXPECT_EQ(grid.model()->rowCount(), 3000);
}

TEST_F(VelmoraTest, PictureWindow_ShowsOnlyTheCurrentRecordsPictureFromThePictureFolder) {
    ASSERT_TRUE(QDir(Folder).mkdir("pictures"));
    WriteBmp(Folder + "pictures/a1.bmp", 21);
    WriteBmp(Folder + "pictures/same.bmp", 22);
    WriteBmp(Folder + "out.bmp", 23); // outside the picture folder: never shown
    const auto form = MainWindowWithRecords();
    form->show();
    TForm4& window = *form->Form4;
    TPGImage& viewer = *window.PGImage1();
    const auto shownWidth = [&] {
        return viewer.GetPixelGraphicNoWait() ? viewer.GetPixelGraphicNoWait()->GetWidth() : 0;
    };
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.size(), QSize(386, 375));

    DoubleClick(*form, "");
    EXPECT_FALSE(window.isVisible()) << "a blank name opens no window";
    DoubleClick(*form, "a1.bmp", 1);
    EXPECT_FALSE(window.isVisible()) << "another column does nothing";
    DoubleClick(*form, "a1.bmp");
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(shownWidth(), 21);
    EXPECT_EQ(window.windowTitle(), Folder + "pictures/a1.bmp");
    // A floating window of the main window, above it only, opened over the grid's right part below the
    // menu bar, away from the first columns.
    EXPECT_EQ(window.windowType(), Qt::Tool);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window.windowHandle()->flags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(window.windowHandle()->transientParent(), form->windowHandle());
    const TRecordGrid& grid = *form->Form().RxDBGrid1;
    const QRect gridArea(grid.mapToGlobal(QPoint(0, 0)), grid.size());
    // The grid's vertical scroll bar stays uncovered.
    const int scrollBar = grid.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &grid);
    EXPECT_EQ(window.frameGeometry().topRight(), gridArea.topRight() - QPoint(scrollBar, 0));
    EXPECT_GE(window.frameGeometry().top(),
              form->menuBar()->mapToGlobal(QPoint(0, form->menuBar()->height())).y());

    MakeCurrent(*form, "same.bmp");
    const TPixelGraphic* same = viewer.GetPixelGraphicNoWait();
    EXPECT_EQ(shownWidth(), 22);
    form->BinaryDataSet1.Next();
    EXPECT_EQ(form->BinaryDataSet1.FieldByName("FNAME").AsString(), "same.bmp");
    EXPECT_EQ(viewer.GetPixelGraphicNoWait(), same) << "a same-name neighbour is not loaded again";

    // Neither a missing file nor a name that leaves the picture folder shows anything, and no box comes.
    for (const QString name : {"missing.bmp", "..\\out.bmp", ""}) {
        MakeCurrent(*form, "a1.bmp");
        ASSERT_EQ(shownWidth(), 21) << "the earlier picture loads again";
        MakeCurrent(*form, name);
        EXPECT_EQ(shownWidth(), 0) << name.toStdString();
        EXPECT_EQ(viewer.GetFileName(), "");
        EXPECT_EQ(window.windowTitle(), "");
        EXPECT_EQ(window.windowHandle()->title(), " ") << "the desktop shows no program name for it";
        EXPECT_TRUE(window.isVisible());
    }
    // Where the user moved it, it opens again.
    window.move(40, 50);
    window.hide();
    DoubleClick(*form, "..\\out.bmp");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(shownWidth(), 0);
    EXPECT_EQ(window.pos(), QPoint(40, 50));

    // "Обновить" reads the table once and shows only the picture of the record that ends up current: the
    // first record's never flashes up, and the picture on show stays as it is.
    MakeCurrent(*form, "same.bmp");
    const TPixelGraphic* shown = viewer.GetPixelGraphicNoWait();
    QStringList captions;
    QObject::connect(&window, &QWidget::windowTitleChanged, &window,
                     [&](const QString& title) { captions << title; });
    int reads = 0;
    form->BinaryDataSet1.AfterOpen = [&](TDataSet*) { ++reads; };
    form->Form().N10->trigger();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(captions, QStringList());
    EXPECT_EQ(viewer.GetPixelGraphicNoWait(), shown);
    EXPECT_EQ(form->BinaryDataSet1.FieldByName("FNAME").AsString(), "same.bmp");
}

TEST_F(VelmoraTest, QueryWindow_RunsFromTheMenuAndFiltersByTextDatesAndTimes) {
    const auto form = MainWindowWithRecords();
    CloseNextModal();
    form->Form().N8->trigger();
    EXPECT_EQ(form->Form3, nullptr);
    EXPECT_EQ(form->Form().RxDBGrid1->model()->rowCount(), 12);

    MakeCurrent(*form, "c2.bmp");
    form->N7Click();
    TForm3 query(Folder);
    Ui::TForm3& ui = query.Form();
    EXPECT_EQ(query.windowTitle(), "Запрос Velmora");
    EXPECT_EQ(ui.GroupBox1->title(), " Параметры запроса ");
    EXPECT_EQ(ui.RxDBGrid1->DataModel()->Columns()[2].Width, 72);
    EXPECT_GT(ui.RxDBGrid1->columnWidth(2), form->Form().RxDBGrid1->columnWidth(2) * 72 / 64 - 2);
    EXPECT_FALSE(query.BinaryDataSet1.CanModify());
    EXPECT_EQ(Query(query, 0, ""),
              QStringList({"a1.bmp", "a2.bmp", "b1.bmp", "sub\\b2.bmp", "", "..\\out.bmp", "c1.bmp", "c3.bmp",
                           "same.bmp", "same.bmp", "missing.bmp"}))
        << "every live record; the deleted one never";
    EXPECT_FALSE(ui.RxDBGrid1->model()->flags(ui.RxDBGrid1->model()->index(0, 10)) & Qt::ItemIsEditable);
    EXPECT_EQ(Query(query, 0, " грипп "), QStringList({"a1.bmp", "a2.bmp", "same.bmp", "same.bmp"}));
    EXPECT_EQ(Query(query, 0, "Грипп", true), QStringList({"a1.bmp", "same.bmp", "same.bmp"}));
    EXPECT_EQ(Query(query, 0, "КРАСНУХА"), QStringList({"c3.bmp"}));
    EXPECT_EQ(Query(query, 0, "ab"), QStringList({"sub\\b2.bmp", ""}));
    EXPECT_EQ(Query(query, 1, "alpha"), QStringList({"a1.bmp", "a2.bmp"}));
    EXPECT_EQ(Query(query, 2, "Иванов", true), QStringList({"a1.bmp", "c1.bmp"}));
    EXPECT_EQ(Query(query, 2, "иванов"), QStringList({"a1.bmp", "sub\\b2.bmp", "c1.bmp"}));

    // A check-box click after "Выполнить" changes nothing until the next one, paints included.
    EXPECT_EQ(Query(query, 0, "ABC", true), QStringList({"sub\\b2.bmp"}));
    ui.CheckBox1->click();
    ui.RxDBGrid1->viewport()->repaint();
    EXPECT_EQ(Names(*ui.RxDBGrid1), QStringList({"sub\\b2.bmp"}));
    query.Button1Click();
    EXPECT_EQ(Names(*ui.RxDBGrid1), QStringList({"sub\\b2.bmp", ""}));

    ui.SpeedButton1->click();
    ui.SpeedButton2->click();
    EXPECT_TRUE(ui.DateEdit1->isEnabled());
    ui.DateEdit1->setDate(QDate(2024, 3, 3));
    ui.DateEdit2->setDate(QDate(2024, 3, 5));
    EXPECT_EQ(Query(query, 0, ""), QStringList({"b1.bmp", "sub\\b2.bmp", ""}));
    ui.SpeedButton1->click();
    ui.SpeedButton2->click();
    EXPECT_FALSE(ui.DateEdit2->isEnabled());

    ui.SpeedButton4->click();
    ui.SpeedButton5->click();
    ui.RxSpinEdit3->setValue(10);
    ui.RxSpinEdit4->setValue(30);
    ui.RxSpinEdit1->setValue(10);
    ui.RxSpinEdit2->setValue(15);
    EXPECT_EQ(Query(query, 0, ""), QStringList({"a2.bmp", "..\\out.bmp", "c1.bmp"}));
    ui.SpeedButton4->click();
    ui.RxSpinEdit3->setValue(23);
    ui.RxSpinEdit4->setValue(59);
    EXPECT_EQ(Query(query, 0, "Корь"), QStringList({"b1.bmp", "missing.bmp"})) << "23:59:30 is in 23:59";
    ui.SpeedButton4->click();
    ui.RxSpinEdit1->setValue(10);
    ui.RxSpinEdit2->setValue(30);
    ui.RxSpinEdit3->setValue(10);
    ui.RxSpinEdit4->setValue(15);
    EXPECT_EQ(Query(query, 0, ""), QStringList()) << "10:30 to 10:15";
}

TEST_F(VelmoraTest, Forms_DestroyedWhileShownWithUnfinishedEdits_RunNoHandlerOnAHalfGoneForm) {
    // Hiding a window moves the focus out of the edit that holds it; the window's handlers see it happen.
    const auto destroyWhileEditing = [](std::unique_ptr<QWidget> form, const std::function<QWidget*()>& edit,
                                        const QString& text) {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QWidget* editor = edit();
        ASSERT_TRUE(editor);
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Backspace);
        ASSERT_TRUE(editor->hasFocus());
        form.reset();
    };
    for (int hour : {0, 2}) {
        auto query = std::make_unique<TForm3>(Folder);
        Ui::TForm3& ui = query->Form();
        ui.SpeedButton4->click();
        ui.SpeedButton5->click();
        QSpinBox* edit = hour == 0 ? ui.RxSpinEdit1 : ui.RxSpinEdit3;
        destroyWhileEditing(
            std::move(query), [edit] { return edit; }, "7");
    }
    auto main = MainWindowWithRecords();
    TRecordGrid& grid = *main->Form().RxDBGrid1;
    MakeCurrent(*main, "c1.bmp", 10);
    destroyWhileEditing(
        std::move(main),
        [&grid] {
            grid.edit(grid.currentIndex());
            return QApplication::focusWidget() != &grid ? QApplication::focusWidget() : nullptr;
        },
        "note");
    auto picture = std::make_unique<TForm1>(Folder);
    auto* window = new TForm4(picture.get());
    window->show();
    picture.reset();
}

TEST_F(VelmoraTest, QueryWindow_CouplesTheHoursEmptiesToZeroAndReportsATableWithoutItsFields) {
    const auto form = MainWindowWithRecords();
    TForm3 query(Folder);
    Ui::TForm3& ui = query.Form();
    query.show();
    QTest::mouseClick(ui.SpeedButton4, Qt::LeftButton);
    QTest::mouseClick(ui.SpeedButton5, Qt::LeftButton);
    EXPECT_TRUE(ui.RxSpinEdit1->isEnabled() && ui.RxSpinEdit4->isEnabled());
    EXPECT_FALSE(ui.DateEdit1->isEnabled());
    const auto type = [](QSpinBox* edit, const QString& text) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        QFocusEvent left(QEvent::FocusOut);
        QApplication::sendEvent(edit, &left);
    };
    type(ui.RxSpinEdit1, "15");
    EXPECT_EQ(ui.RxSpinEdit3->minimum(), 15);
    type(ui.RxSpinEdit3, "12");
    EXPECT_EQ(ui.RxSpinEdit3->value(), 15) << "the upper hour cannot go below the lower";
    QTest::keyClick(ui.RxSpinEdit3, Qt::Key_Down);
    EXPECT_EQ(ui.RxSpinEdit3->value(), 15);
    type(ui.RxSpinEdit3, "20");
    EXPECT_EQ(ui.RxSpinEdit1->maximum(), 20);
    type(ui.RxSpinEdit1, "20");
    QTest::keyClick(ui.RxSpinEdit1, Qt::Key_Up);
    EXPECT_EQ(ui.RxSpinEdit1->value(), 20) << "nor the lower above the upper";
    type(ui.RxSpinEdit2, "45");
    type(ui.RxSpinEdit4, "5");
    EXPECT_EQ(ui.RxSpinEdit2->value(), 45);
    EXPECT_EQ(ui.RxSpinEdit4->value(), 5) << "the minutes are not coupled";
    type(ui.RxSpinEdit2, "");
    EXPECT_EQ(ui.RxSpinEdit2->value(), 0);
    EXPECT_EQ(ui.RxSpinEdit2->text(), "0");
    type(ui.RxSpinEdit1, "");
    EXPECT_EQ(ui.RxSpinEdit1->value(), 0);
    // An emptied upper hour is 0 even above a lower bound, and takes the lower hour down with it.
    type(ui.RxSpinEdit1, "10");
    type(ui.RxSpinEdit2, "30");
    type(ui.RxSpinEdit4, "59");
    type(ui.RxSpinEdit3, "");
    EXPECT_EQ(ui.RxSpinEdit3->text(), "0");
    EXPECT_EQ(ui.RxSpinEdit1->value(), 0);
    query.Button1Click();
    EXPECT_EQ(query.Query().TimeTo, TimeToMSecs(QTime(0, 59)));
    EXPECT_EQ(query.Query().TimeFrom, TimeToMSecs(QTime(0, 30)));

    // A table without the fields the filter reads.
    form->BinaryDataSet1.Close();
    QFile::remove(Table);
    {
        TBinaryDataSet other;
        other.SetTableName(Table);
        other.FieldDefs.Add("FNAME", ftString, 40);
        other.FieldDefs.Add("INFECT", ftString, 20);
        other.CreateTable();
        other.Open();
        other.Append();
        other.FieldByName("FNAME").SetAsString("x.bmp");
        other.Post();
    }
    MessageBoxSpy boxes;
    query.Button1Click();
    ASSERT_EQ(boxes.Requests.size(), 1u);
    EXPECT_EQ(boxes.Requests[0].Text, "Ошибка при выполнении запроса");
    EXPECT_TRUE(query.isVisible());
    EXPECT_FALSE(query.BinaryDataSet1.Active());
}

TEST_F(VelmoraTest, QueryWindow_DateTakesDigitsTypedAfterASingleClickAndNamesMonthsInRussian) {
    TForm3 query(Folder);
    Ui::TForm3& ui = query.Form();
    query.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&query));
    QTest::mouseClick(ui.SpeedButton1, Qt::LeftButton);
    QDateEdit& edit = *ui.DateEdit1;
    edit.setDate(QDate(2024, 12, 9));
    auto* text = edit.findChild<QLineEdit*>();
    ASSERT_NE(text, nullptr);
    const auto clickAt = [&](int Position) {
        // Between the characters Position - 1 and Position of "09.12.2024".
        const QString shown = text->text();
        const int x =
            text->contentsRect().left() + 2 + text->fontMetrics().horizontalAdvance(shown.left(Position));
        QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(x, text->height() / 2));
    };
    const struct {
        int Position;
        const char* Typed;
        QDate Expected;
    } cases[] = {
        {1, "15", QDate(2024, 12, 15)}, {4, "3", QDate(2024, 3, 15)}, {9, "2025", QDate(2025, 3, 15)}};
    for (const auto& c : cases) {
        clickAt(c.Position);
        QTest::keyClicks(text, c.Typed);
        EXPECT_EQ(edit.date().toString(Qt::ISODate), c.Expected.toString(Qt::ISODate)) << c.Typed;
    }

    // The calendar speaks the programs' Russian: month and day names.
    edit.setDate(QDate(2024, 12, 9));
    QCalendarWidget& calendar = *edit.calendarWidget();
    const auto* month = calendar.findChild<QToolButton*>("qt_calendar_monthbutton");
    ASSERT_NE(month, nullptr);
    EXPECT_EQ(month->text().toLower().toStdString(), "декабрь");
    const auto* days = calendar.findChild<QTableView*>("qt_calendar_calendarview");
    ASSERT_NE(days, nullptr);
    QStringList header;
    for (int column = 0; column < days->model()->columnCount(); ++column)
        header << days->model()->index(0, column).data().toString().toLower();
    EXPECT_TRUE(header.contains("пн")) << header.join(' ').toStdString();
}

// Every caption of the viewer's windows whole in its own font.
TEST_F(VelmoraTest, EveryWindowShowsItsCaptionsWhole) {
    const auto form = MainWindowWithRecords();
    TForm3 query(Folder);
    const std::pair<const char*, QWidget*> windows[] = {
        {"main", form.get()}, {"picture", form->Form4}, {"query", &query}};
    for (const auto& [name, window] : windows)
        ExpectCaptionsFit(*window, name);
}
